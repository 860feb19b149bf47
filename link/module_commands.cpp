// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/module_commands.h"

void MenuExec_BlockClick(LinkEngine& engine, ICommandHost& host) {
  engine.Request_code = host.BlockChecked() ? Req_unblock : Req_block;
}

void MenuExec_ResetClick(LinkEngine& engine, ICommandHost& host) {
  if (host.Confirm(kResetQuestion)) engine.Request_code = Req_reset;
}

void MenuExec_ReadParamClick(LinkEngine& engine, ICommandHost&) { engine.Request_code = Req_read_param; }

void MenuExec_WriteParamClick(LinkEngine& engine, ICommandHost& host) {
  if (!host.Confirm(kWriteQuestion)) return;
  if (host.BlockChecked()) {
    engine.Request_code = Req_write_param;
  } else {
    host.Warn(kWriteNeedsBlock);
  }
}

void MenuExec_SaveEEPROMClick(LinkEngine& engine, ICommandHost& host) {
  if (!host.Confirm(kSaveQuestion)) return;
  if (host.BlockChecked()) {
    engine.Request_code = Req_save_eeprom;
  } else {
    host.Warn(kSaveNeedsBlock);
  }
}
