// SPDX-License-Identifier: GPL-3.0-or-later
// What became of one exchange on the line, judged from the request sent and the bytes that came
// back, and said in words that name the request: for the command line's messages and the record of
// exchanges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

enum class Verdict {
  Answered,
  NoAnswer,
  Cut,      // the right answer, stopped short
  Garbled,  // not an answer to this request: changed on the line, or another request's
  Refused,  // the adapter or the module said no
  Late,     // stopped longer than the quiet time, taken as cut; its rest came after
  Long,     // the whole answer and more bytes after it (taken, as the link takes it)
};

// "44 28 01 C0": upper-case hexadecimal, blank-separated, " ..." after the first most bytes.
std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t most = SIZE_MAX);

Verdict JudgeAnswer(std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer);

// "the read of 00C0", "the write to FFE2", "set-up step 1 (10 28 30)", "the opening of the module".
std::string RequestName(std::span<const std::uint8_t> request);

// One line for an exchange that did not end in an answer; empty for Answered and Long, which the
// link takes.
std::string DescribeExchange(std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer);
