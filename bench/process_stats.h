// SPDX-License-Identifier: GPL-3.0-or-later
// What a benchmark reads of its own process: CPU time, resident memory and the entries of a /proc
// folder (descriptors, threads).
#pragma once

#include <dirent.h>
#include <sys/resource.h>

#include <fstream>
#include <string>

// User and system time of all the process's threads so far.
inline double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

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
