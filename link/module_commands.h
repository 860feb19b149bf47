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

inline constexpr const char* kAttentionCaption = VEXA_TR_NOOP("Messages", "Внимание!");
inline constexpr const char* kResetQuestion = VEXA_TR_NOOP("Messages", "Выполнить сброс модуля?");
inline constexpr const char* kWriteQuestion =
    VEXA_TR_NOOP("Messages", "Выполнить загрузку параметров в модуль VEXA?");
inline constexpr const char* kSaveQuestion =
    VEXA_TR_NOOP("Messages", "Выполнить сохранение текущих настроек VEXA в энергонезависимой памяти?");
inline constexpr const char* kWriteNeedsBlock =
    VEXA_TR_NOOP("Messages", "При загрузке параметров логические выходы должны быть заблокированы!");
inline constexpr const char* kSaveNeedsBlock =
    VEXA_TR_NOOP("Messages", "При записи параметров логические выходы должны быть заблокированы!");

void MenuExec_BlockClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_ResetClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_ReadParamClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_WriteParamClick(LinkEngine& engine, ICommandHost& host);
void MenuExec_SaveEEPROMClick(LinkEngine& engine, ICommandHost& host);
