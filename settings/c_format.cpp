// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/c_format.h"

#include <cstdarg>
#include <cstdio>

#include <locale.h>

#include <clocale>
#include <string>

namespace {

int FormatInC(char* buffer, std::size_t size, const char* format, std::va_list args) {
#if defined(__MINGW32__)
  // mingw's own C99 formatting (the system's older one writes three exponent digits), which takes
  // its point from the locale: switched to "C" for this thread alone while it runs.
  const int shared = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "C");
  const int length = __mingw_vsnprintf(buffer, size, format, args);
  std::setlocale(LC_NUMERIC, numeric.c_str());
  _configthreadlocale(shared);
  return length;
#elif defined(_WIN32)
  // The bounded call returns -1 when the text does not fit, not the length it needs: count first.
  static const _locale_t c = _create_locale(LC_ALL, "C");
  std::va_list counting;
  va_copy(counting, args);
  const int length = _vscprintf_l(format, c, counting);
  va_end(counting);
  if (length >= 0 && static_cast<std::size_t>(length) < size)
    _vsnprintf_s_l(buffer, size, _TRUNCATE, format, c, args);
  return length;
#else
  // uselocale is per thread, so other threads keep their locale.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  const locale_t previous = uselocale(c);
  const int length = std::vsnprintf(buffer, size, format, args);
  uselocale(previous);
  return length;
#endif
}

}  // namespace

std::string CFormat(const char* format, ...) {
  char small[128];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = FormatInC(small, sizeof small, format, args);
  va_end(args);
  std::string result;
  if (length >= 0 && static_cast<std::size_t>(length) < sizeof small) {
    result.assign(small, static_cast<std::size_t>(length));
  } else if (length >= 0) {
    result.resize(static_cast<std::size_t>(length) + 1);
    FormatInC(result.data(), result.size(), format, again);
    result.resize(static_cast<std::size_t>(length));
  }
  va_end(again);
  return result;
}
