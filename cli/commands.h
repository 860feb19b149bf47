// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's commands; each returns an exit code of cli/common.h.
#pragma once

#include <string>

#include "cli/arguments.h"
#include "settings/module_settings.h"

// Commands with the module.
int CmdPorts();
int CmdStatus(const Args& args);
int CmdRead(const Args& args);
int CmdWrite(const Args& args);
int CmdModuleCommand(const Args& args);  // store, block, unblock, reset
int CmdVerify(const Args& args);

// Commands with files (diff also with a module).
int CmdReport(const Args& args);
int CmdShow(const Args& args);
int CmdBuild(const Args& args);
int CmdSet(const Args& args);
int CmdDiff(const Args& args);

// A settings file's record; kDone or the failure told.
int OpenOrFail(const std::string& utf8Name, TModuleSettings& record);
// The settings the module holds, read twice unless once (both reads must agree; a third decides).
int ReadModule(const Args& args, TModuleSettings& record);
