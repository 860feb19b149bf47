// SPDX-License-Identifier: GPL-3.0-or-later
// The module's front as the main window shows it, and the program's icon drawn from it.
#pragma once

#include <QImage>
#include <QPixmap>

// 64 x 44 pixels, for the window's top panel.
QPixmap ModulePicture();

// The same picture centred in a transparent square of size x size pixels, drawn at that size
// rather than scaled from the small one.
QImage ModuleIcon(int size);
