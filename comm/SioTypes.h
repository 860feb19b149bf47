// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component's exception and integer types.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

using TSioIntW = std::int32_t;     // 0 .. 2147483647 where a setting says so
using TSioPortInt = std::int32_t;  // 0 .. 2147483647
// Received bytes handed to OnRxBuf and clients; only the first Count are valid.
using PSioData = const std::uint8_t*;

// The one exception of the serial component; its message is one of the component's fixed texts.
// systemCode is the system's error code behind it, 0 when none.
class ESioCommError : public std::runtime_error {
 public:
  explicit ESioCommError(const std::string& message, std::uint32_t systemCode = 0)
      : std::runtime_error(message), systemCode_(systemCode) {}
  std::uint32_t SystemCode() const { return systemCode_; }

 private:
  std::uint32_t systemCode_;
};
