// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/module_settings.h"

#include <cstring>

TModuleSettings ModuleSettings{};

void ClearSettings(TModuleSettings& record) { std::memset(&record, 0, sizeof record); }
