// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/exchange_verdict.h"

#include <cstdio>

namespace {

bool IsMemory(std::uint8_t command) { return command == 0x42 || command == 0x44; }

// The answer's full length: a read brings its count of data after a five-byte head, a write and
// any refusal of one the head only; set-up and opening answers are two bytes.
std::size_t ExpectedLength(std::span<const std::uint8_t> request, std::uint8_t answerHead) {
  if (!IsMemory(request[0])) return 2;
  if (request[0] == 0x42 || (answerHead & 0x80) != 0 || request.size() < 5) return 5;
  return 5 + std::size_t{request[4]};
}

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes, std::size_t most) {
  std::string text;
  char cell[4];
  for (std::size_t i = 0; i < bytes.size() && i < most; ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += cell;
  }
  if (bytes.size() > most) text += " ...";
  return text;
}

Verdict JudgeAnswer(std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer) {
  if (answer.empty()) return Verdict::NoAnswer;
  if (request.empty() || (answer[0] & 0x7F) != request[0]) return Verdict::Garbled;
  const bool memory = IsMemory(request[0]);
  // Enough of the head to tell whose answer it is: a memory answer repeats the address, a set-up
  // answer the step's second byte.
  if (answer.size() < (memory ? 4U : 2U)) return Verdict::Cut;
  if (memory && request.size() >= 4 && (answer[2] != request[2] || answer[3] != request[3]))
    return Verdict::Garbled;
  if (request[0] == 0x10 && request.size() >= 2 && answer[1] != request[1]) return Verdict::Garbled;
  const std::size_t expected = ExpectedLength(request, answer[0]);
  if (answer.size() < expected) return Verdict::Cut;
  if ((answer[0] & 0x80) != 0) return Verdict::Refused;
  return answer.size() > expected ? Verdict::Long : Verdict::Answered;
}

std::string RequestName(std::span<const std::uint8_t> request) {
  if (request.empty()) return "a request";
  char text[64];
  if (IsMemory(request[0]) && request.size() >= 4) {
    std::snprintf(text, sizeof text, request[0] == 0x44 ? "the read of %02X%02X" : "the write to %02X%02X",
                  request[2], request[3]);
    return text;
  }
  if (request[0] == 0x40) return "the opening of the module";
  if (request[0] == 0x10 && request.size() >= 2)
    return std::string(request[1] == 0x22 ? "set-up step 2" : "set-up step 1") + " (" + HexBytes(request, 3) +
           ")";
  return "the request " + HexBytes(request, 8);
}

std::string DescribeExchange(std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer) {
  const std::string name = RequestName(request);
  switch (JudgeAnswer(request, answer)) {
    case Verdict::Answered:
    case Verdict::Long:
    case Verdict::Late:  // never judged from the bytes alone
      return {};
    case Verdict::NoAnswer:
      return "no answer to " + name;
    case Verdict::Cut:
      return "the answer to " + name + " was truncated: " + std::to_string(answer.size()) + " of " +
             std::to_string(ExpectedLength(request, answer[0])) + " bytes (" + HexBytes(answer, 8) + ")";
    case Verdict::Garbled:
      return "the answer to " + name + " was corrupt or answered another request: " + HexBytes(answer, 8);
    case Verdict::Refused:
      return (request[0] == 0x10 || request[0] == 0x40 ? "the adapter refused " : "the module refused ") +
             name;
  }
  return {};
}
