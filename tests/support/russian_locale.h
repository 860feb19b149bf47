// SPDX-License-Identifier: GPL-3.0-or-later
// Switches the C library to a Russian locale, whose decimal separator is a comma, under the name the
// system knows it by; the previous locale comes back with the object.
#pragma once

#include <clocale>
#include <string>

class RussianLocale {
 public:
  RussianLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"ru_RU.UTF-8", "Russian_Russia.1251", "ru-RU"})
      if (std::setlocale(LC_ALL, name) != nullptr) {
        active_ = true;
        break;
      }
  }
  ~RussianLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  RussianLocale(const RussianLocale&) = delete;
  RussianLocale& operator=(const RussianLocale&) = delete;
  // False when no such locale exists here (on Linux, scripts/setup generates ru_RU.UTF-8).
  bool Active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};
