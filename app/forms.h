// SPDX-License-Identifier: GPL-3.0-or-later
// The program's six forms, created once in a fixed order and kept for the whole run.
#pragma once

#include "dialogs/vexa_calc.h"
#include "dialogs/vexa_chanel_setup.h"
#include "dialogs/vexa_interface.h"
#include "dialogs/vexa_led_tenu.h"
#include "dialogs/vexa_logic.h"

class TFormMain;

extern TFormMain* FormMain;

// Creates the six forms in their order; the main window first. Tests call it too.
void CreateForms();
// Frees them in reverse order (at exit, and between tests).
void DestroyForms();
