// SPDX-License-Identifier: GPL-3.0-or-later
// The "Действие" menu's commands: confirmations, the blocked-outputs precondition, the request set.
#pragma once

#include <string_view>

#include "link/link_engine.h"

// The window's side of the commands.
class ICommandHost {
 public:
  virtual ~ICommandHost() = default;
  virtual bool BlockChecked() = 0;
  // A Yes/No box titled "Внимание!"; true only for Yes.
  virtual bool Confirm(std::string_view text) = 0;
  // An OK box titled "Внимание!".
  virtual void Warn(std::string_view text) = 0;
};

inline constexpr const char* kAttentionCaption = "Внимание!";
inline constexpr const char* kResetQuestion = "Выполнить сброс модуля?";
inline constexpr const char* kWriteQuestion = "Выполнить загрузку параметров в модуль VEXA?";
inline constexpr const char* kSaveQuestion =
    "Выполнить сохранение текущих настроек VEXA в энергонезависимой памяти?";
inline constexpr const char* kWriteNeedsBlock =
    "При загрузке параметров логические выходы должны быть заблокированы!";
inline constexpr const char* kSaveNeedsBlock =
    "При записи параметров логические выходы должны быть заблокированы!";

void MenuExec_BlockClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_ResetClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_ReadParamClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_WriteParamClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_SaveEEPROMClick(LinkEngine& engine, ICommandHost& host);
