// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/adapter.h"

#include <algorithm>

#include <cstdio>

namespace sim {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char cell[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += cell;
  }
  return text;
}

void Adapter::SetFaults(const Faults& faults) {
  faults_ = faults;
  random_.seed(faults.seed);
  settingsAnswers_ = 0;
}

// Requests are told apart by their first byte; a write's length is in its count byte.
std::optional<std::size_t> Adapter::ExpectedLength() const {
  if (pending_.empty()) return std::nullopt;
  switch (pending_[0]) {
    case 0x10:
    case 0x40:
      return 3;
    case 0x44:
      return 6;
    case 0x42:
      if (pending_.size() < 5) return std::nullopt;
      return 6 + static_cast<std::size_t>(pending_[4]);
    default:
      return 1;  // not a request: dropped byte by byte
  }
}

void Adapter::Quiet(double nowMs) {
  if (!pending_.empty() && nowMs - lastByteMs_ > kQuietMs) pending_.clear();
}

std::vector<Exchange> Adapter::Receive(const std::vector<std::uint8_t>& bytes, double nowMs) {
  std::vector<Exchange> exchanges;
  Quiet(nowMs);
  for (const std::uint8_t byte : bytes) {
    pending_.push_back(byte);
    lastByteMs_ = nowMs;
    const auto expected = ExpectedLength();
    if (!expected || pending_.size() < *expected) continue;
    std::vector<std::uint8_t> request;
    request.swap(pending_);
    if (*expected == 1 && request[0] != 0x10 && request[0] != 0x40 && request[0] != 0x44 &&
        request[0] != 0x42)
      continue;  // noise
    ++requests_;
    Exchange exchange{request, std::nullopt};
    if (!faults_.noAnswer) exchange.answer = Handle(request, nowMs);
    exchanges.push_back(std::move(exchange));
  }
  return exchanges;
}

std::optional<Answer> Adapter::Handle(const std::vector<std::uint8_t>& request, double nowMs) {
  const std::uint8_t command = request[0];
  if (command == 0x10) {  // set-up steps; step 1 also leaves module mode
    if (request[1] == 0x28) open_ = false;
    const std::uint8_t head = faults_.setupRefused ? 0x90 : 0x10;
    return Damage({head, request[1]});
  }
  if (command == 0x40) {
    if (faults_.noModule) return Damage({0xC0, request[1]});
    open_ = true;
    return Damage({0x40, request[1]});
  }
  if (!open_) return std::nullopt;  // the adapter passes nothing on before the module is open

  const auto address = static_cast<std::uint16_t>(request[2] << 8 | request[3]);
  const std::uint8_t count = request[4];
  if (command == 0x44) {
    std::optional<std::vector<std::uint8_t>> data;
    if (!(faults_.refuseReadAt && *faults_.refuseReadAt == address))
      data = module_.Read(address, count, nowMs);
    if (!data) return Damage({0xC4, request[1], request[2], request[3], count});
    if (address < kChanLiveBase && !data->empty()) {
      const unsigned n = settingsAnswers_++;
      if (faults_.changeSettingsAnswers.count(n))
        (*data)[n % data->size()] ^= static_cast<std::uint8_t>((n + 1) | 1);
    }
    std::vector<std::uint8_t> answer{0x44, request[1], request[2], request[3], count};
    answer.insert(answer.end(), data->begin(), data->end());
    return Damage(std::move(answer));
  }
  // A write: the data lie between the count byte and the closing byte.
  const std::vector<std::uint8_t> data(request.begin() + 5, request.end() - 1);
  const bool refused = faults_.refuseWriteAt && *faults_.refuseWriteAt == address;
  const bool ok = !refused && module_.Write(address, data, nowMs);
  return Damage({static_cast<std::uint8_t>(ok ? 0x42 : 0xC2), request[1], request[2], request[3], count});
}

bool Adapter::RandomFault(Answer& answer) {
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  if (faults_.faultRate <= 0 || chance(random_) >= faults_.faultRate || answer.bytes.empty()) return true;
  std::vector<std::uint8_t>& bytes = answer.bytes;
  switch (std::uniform_int_distribution<int>(0, 5)(random_)) {
    case 0:
      ++injected_.dropped;
      return false;
    case 1:
      // A byte at least: an answer cut to nothing is a dropped one.
      if (bytes.size() < 2) {
        ++injected_.dropped;
        return false;
      }
      ++injected_.cut;
      bytes.resize(std::uniform_int_distribution<std::size_t>(1, bytes.size() - 1)(random_));
      break;
    case 2: {
      // A byte of the head that says whose answer it is (the kind, and the address or the set-up
      // step), its refusal bit kept: a change a line can show. Data changed unnoticed is a fault of
      // its own (changeSettingsAnswers).
      ++injected_.changed;
      const bool memory = (bytes[0] & 0x7F) == 0x42 || (bytes[0] & 0x7F) == 0x44;
      std::vector<std::size_t> telling = {0};
      if (memory && bytes.size() >= 4) telling.insert(telling.end(), {2, 3});
      if ((bytes[0] & 0x7F) == 0x10 && bytes.size() >= 2) telling.push_back(1);
      const std::size_t at =
          telling[std::uniform_int_distribution<std::size_t>(0, telling.size() - 1)(random_)];
      const int most = at == 0 ? 0x7F : 0xFF;
      bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ std::uniform_int_distribution<int>(1, most)(random_));
      break;
    }
    case 3:
      ++injected_.delayed;
      answer.gapAfter = std::max<std::size_t>(1, bytes.size() / 2);
      answer.gapMs = 60;  // twice the link's quiet time
      break;
    case 4:
      ++injected_.extra;
      bytes.push_back(static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(random_)));
      break;
    default:
      ++injected_.refused;
      bytes[0] |= 0x80;
      break;
  }
  return true;
}

std::optional<Answer> Adapter::Damage(std::vector<std::uint8_t> bytes) {
  Answer answer;
  if (faults_.cutTo && bytes.size() > *faults_.cutTo) bytes.resize(*faults_.cutTo);
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  if (faults_.corruptProbability > 0 || faults_.dropProbability > 0) {
    std::vector<std::uint8_t> kept;
    for (const std::uint8_t byte : bytes) {
      if (faults_.dropProbability > 0 && chance(random_) < faults_.dropProbability) continue;
      const bool flip = faults_.corruptProbability > 0 && chance(random_) < faults_.corruptProbability;
      kept.push_back(flip ? static_cast<std::uint8_t>(byte ^ 0x5A) : byte);
    }
    bytes.swap(kept);
  }
  answer.bytes = std::move(bytes);
  answer.delayMs = faults_.delayMs;
  if (faults_.gapMs > 0 && answer.bytes.size() > 1) {
    answer.gapAfter = answer.bytes.size() / 2;
    answer.gapMs = faults_.gapMs;
  }
  if (!RandomFault(answer)) return std::nullopt;
  return answer;
}

}  // namespace sim
