// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_cli's command line: the commands, the options each takes, and the usage text.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern const char* const kUsage;

struct Args {
  std::string command;  // "help" and "version" for --help, -h and --version
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;
  std::size_t portPosition = 0;  // how many positional arguments came before --port

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string One(const std::string& name) const {
    return Has(name) ? options.at(name).at(0) : std::string();
  }
};

// The arguments after the program's name, checked against what the command takes: an option that
// does not apply to it, a missing or extra argument or an option's value that is not read whole is
// a usage error (nothing, with problem set).
std::optional<Args> ParseArguments(const std::vector<std::string>& arguments, std::string& problem);

// A checked option's value (ParseArguments has read each one already).
unsigned long long WholeOption(const Args& args, const std::string& name, unsigned long long otherwise);
