// SPDX-License-Identifier: GPL-3.0-or-later
// What a benchmark reads of its own process: resident memory and the entries of a /proc folder
// (descriptors, threads).
#pragma once

#include <dirent.h>

#include <fstream>
#include <string>

inline long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

inline int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}
