// SPDX-License-Identifier: GPL-3.0-or-later
// Where both programs keep the journal: the file VEXA_JOURNAL names, else journal.jsonl in the
// user's data folder, one folder for the window and vexa_cli alike. QtCore only.
#pragma once

#include <filesystem>

std::filesystem::path JournalPath();
