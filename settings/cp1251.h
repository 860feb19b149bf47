// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 to Windows-1251, the code page of the report files.
#pragma once

#include <string>
#include <string_view>

// Characters the code page lacks (and malformed UTF-8) become '?'. With crlf, each "\n" becomes "\r\n".
std::string Utf8ToCp1251(std::string_view utf8, bool crlf = false);
