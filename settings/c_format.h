// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting that always uses the C locale, so numbers print with a point under any user locale.
#pragma once

#include <string>

#if defined(__GNUC__)
#define VEXA_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define VEXA_PRINTF_FORMAT(f, a)
#endif

std::string CFormat(const char* format, ...) VEXA_PRINTF_FORMAT(1, 2);
