// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's part of the journal: the record of the command under way, which the command fills in
// as it learns, appended when it ends; and the journal command that prints it back.
#pragma once

#include <filesystem>
#include <string>

#include "cli/arguments.h"
#include "journal/journal.h"

class LinkSession;

// Starts the record of a command the journal keeps (read, write, store, verify, block, unblock,
// diff with a module); other commands keep none.
void BeginCommandRecord(const Args& args);
// The record under way, or null.
journal::Record* CommandRecord();
// What the session learnt of the module: its number and year as stored, its firmware.
void NoteModule(const LinkSession& session);
// The first failure told on stderr is the record's result.
void NoteFailure(const std::string& text);
// Appends the record with the command's outcome (its exit code before diff and verify map theirs).
// A usage error did nothing and is not kept. A journal that cannot be written is said on stderr.
// A command that prints its outcome calls it first, so that the record is on disk before the
// outcome is reported; the call after the command then finds nothing left to append.
void EndCommandRecord(int code);

// A settings file as the journal names it: whole, so that it is found from anywhere.
std::string JournalFileName(const std::filesystem::path& path);

int CmdJournal(const Args& args);
