#include "settings/c_format.h"

#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#include <locale.h>
#else
#include <locale.h>
#include <clocale>
#endif

namespace {

int FormatInC(char* buffer, std::size_t size, const char* format, std::va_list args) {
#ifdef _WIN32
  static const _locale_t c = _create_locale(LC_ALL, "C");
  return _vsnprintf_s_l(buffer, size, _TRUNCATE, format, c, args);
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
