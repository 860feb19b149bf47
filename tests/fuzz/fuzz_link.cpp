// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the link engine fed any stream of received bytes between ticks, from any state. It
// must stay inside its buffers, show at most one box per exchange it started, and send no further
// block of a settings write once the module has refused one.
#include <cstdint>
#include <cstdlib>

#include "tests/link/fakes.h"

namespace {

bool IsChannelWrite(const link_test::Bytes& sent, std::size_t at) {
  return at + 4 < sent.size() && sent[at] == 0x42 && sent[at + 1] == 0x28 && sent[at + 2] == 0x00 &&
         sent[at + 3] < 0xC0 && sent[at + 4] == 0x2C;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  link_test::Harness h;
  // The first byte picks the state to start from.
  switch (data[0] % 4) {
    case 0:
      h.engine.Request_code = Req_setup;
      break;
    case 1:
      h.Connect();
      h.engine.Request_code = Req_read_param;
      break;
    case 2:
      h.Connect();
      h.engine.Request_code = Req_write_param;
      break;
    default:
      h.Connect();
      h.engine.Request_code = Req_block;
      break;
  }
  std::size_t frames = 0, refusedAt = SIZE_MAX;
  // Then: a byte of 0xF0 or more ticks that many times less 0xEF; a run of others arrives at once.
  for (std::size_t i = 1; i < size;) {
    if (data[i] >= 0xF0) {
      for (int t = 0; t < data[i] - 0xEF; ++t) {
        const std::size_t before = h.port.written.size();
        h.Tick();
        if (h.port.written.size() != before) ++frames;
        if (h.window.lamp == kColorYellow && refusedAt == SIZE_MAX) refusedAt = h.port.written.size();
        if (h.engine.Rx_len < 0 || h.engine.Rx_len > 100) std::abort();
      }
      ++i;
      continue;
    }
    link_test::Bytes run;
    while (i < size && data[i] < 0xF0 && run.size() < 200) run.push_back(data[i++]);
    h.Answer(run);
    if (h.engine.Rx_len < 0 || h.engine.Rx_len > 100) std::abort();
  }
  if (h.window.boxes.size() > frames + 1) std::abort();  // a box storm
  if (refusedAt != SIZE_MAX)
    for (std::size_t at = refusedAt; at < h.port.written.size(); ++at)
      if (IsChannelWrite(h.port.written, at)) std::abort();  // the chain went on after a refusal
  return 0;
}
