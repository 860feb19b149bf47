# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the translation file TS holds a text without its translation (one that lupdate found
# new in the sources, or one left empty) or a translation whose placeholders (%1, %11.6g: some are
# printf formats) differ from its source's. Lists each such text.
cmake_minimum_required(VERSION 3.25)
file(READ "${TS}" rest)
set(missing "")
set(placeholders "")

while(1)
  string(FIND "${rest}" "<message" at)
  if(at EQUAL -1)
    break()
  endif()
  string(SUBSTRING "${rest}" ${at} -1 rest)
  string(FIND "${rest}" "</message>" end)
  string(SUBSTRING "${rest}" 0 ${end} message)
  if(message MATCHES "type=\"unfinished\"" OR message MATCHES "<translation></translation>")
    string(REGEX MATCH "<source>([^<]*)</source>" source "${message}")
    string(APPEND missing "\n  ${CMAKE_MATCH_1}")
  else()
    string(REGEX MATCH "<source>([^<]*)</source>" source "${message}")
    set(source "${CMAKE_MATCH_1}")
    string(REGEX MATCH "<translation>([^<]*)</translation>" translation "${message}")
    set(translation "${CMAKE_MATCH_1}")
    string(REGEX MATCHALL "%[-+#0-9]*(\\.[0-9]*[a-zA-Z]|[hlLjzt]*[a-zA-Z])?" in_source "${source}")
    string(REGEX MATCHALL "%[-+#0-9]*(\\.[0-9]*[a-zA-Z]|[hlLjzt]*[a-zA-Z])?" in_translation "${translation}")
    if(NOT "${in_source}" STREQUAL "${in_translation}")
      string(APPEND placeholders "\n  ${source}")
    endif()
  endif()
  math(EXPR next "${end} + 10")
  string(SUBSTRING "${rest}" ${next} -1 rest)
endwhile()
if(missing OR placeholders)
  message(FATAL_ERROR "Texts without an English translation in translations/vexa_en.ts (the target "
                      "update_translations adds them there to be translated):${missing}\n"
                      "Translations whose placeholders differ from their source's:${placeholders}")
endif()
