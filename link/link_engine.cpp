// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_engine.h"

#include <algorithm>
#include <span>
#include <utility>

#include "settings/settings_codec.h"

namespace {

constexpr std::uint8_t kSetup1[] = {0x10, 0x28, 0x30};
constexpr std::uint8_t kSetup2[] = {0x10, 0x22, 0x30};
constexpr std::uint8_t kOpenModule[] = {0x40, 0x28, 0x00};
constexpr std::uint8_t kStatusRead[] = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
constexpr std::uint8_t kUnblock[] = {0x42, 0x28, 0xFF, 0xE0, 0x01, 0x41, 0x00};
constexpr std::uint8_t kBlock[] = {0x42, 0x28, 0xFF, 0xE0, 0x01, 0x40, 0x00};
constexpr std::uint8_t kReset[] = {0x42, 0x28, 0xFF, 0xE0, 0x01, 0xF2, 0x00};
constexpr std::uint8_t kReadParam[] = {0x44, 0x28, 0x00, 0xC0, 0x36, 0x00};
constexpr std::uint8_t kSaveEeprom[] = {0x42, 0x28, 0xFF, 0xE2, 0x01, 0x53, 0x00};
constexpr std::uint8_t kHeaderRead[] = {0x44, 0x28, 0x00, 0xC0, 0x03, 0x00};
constexpr int kEndlessReplyTicks = 300;  // 3 s

}  // namespace

int CommandOfRequest(std::span<const std::uint8_t> request) {
  const auto is = [&](std::span<const std::uint8_t> frame) {
    return request.size() == frame.size() && std::equal(frame.begin(), frame.end(), request.begin());
  };
  if (is(kBlock)) return Req_block;
  if (is(kUnblock)) return Req_unblock;
  if (is(kSaveEeprom)) return Req_save_eeprom;
  if (is(kReset)) return Req_reset;
  // A settings block read (not the set-up's header read) or written, by its address's high byte.
  if (request.size() >= 5 && request[1] == 0x28 && request[2] == 0x00) {
    if (request[0] == 0x44 && request[4] != kHeaderRead[4]) return Req_read_param;
    if (request[0] == 0x42) return Req_write_param;
  }
  return 0;
}

void LinkEngine::Send_messages(const std::uint8_t* data, int length) {
  if (holdChains_ && dispatching_) return;
  for (int i = 0; i < length; ++i) port_.WriteByte(data[i]);
  if (exchanges_ != nullptr) exchanges_->Sent(data, length);
  for (int i = 0; i < 4; ++i) asked_[i] = i < length ? data[i] : 0;
  TimeOut_count = 100;
  Wait_first_byte = 1;
  Rx_quiet_count = 3;
  Rx_len = 0;
  Wait_reply = 1;
  replyTicks_ = 0;
}

void LinkEngine::SioComm1OnRxChar(int count) { TakeBytes(count); }

int LinkEngine::TakeBytes(int count) {
  int taken = 0;
  for (; taken < count; ++taken) {
    std::uint8_t byte;
    // Count is what was waiting when the event was raised; stop if the queue says otherwise. An
    // event whose bytes a tick took already is no new byte: it neither starts the quiet time again
    // nor ends the next request's watch for its first byte.
    if (!port_.ReadByte(byte)) break;
    Rx_quiet_count = 3;
    Wait_first_byte = 0;
    if (exchanges_ != nullptr) exchanges_->Received(byte);
    if (Wait_reply) Rx_buf[Rx_len++] = byte;
    if (Rx_len >= 100) Rx_len = 99;
  }
  return taken;
}

void LinkEngine::Timer1Timer() {
  // 1. Poll divider.
  if (Poll_count != 0) {
    --Poll_count;
  } else {
    Poll_count = 50;
    if (!Wait_reply && Connected && Request_code == 0) Request_code = Req_status;
  }
  // 2. Send.
  if (!Wait_reply && Request_code != 0) {
    SendRequest(Request_code);
    Request_code = 0;
  }
  // 3. No-answer watch. On a busy machine a receive event can come later than the bytes it announces:
  // a verdict of silence, or of an answer's end, is given only when nothing is waiting unread.
  if (Wait_first_byte) {
    if (TimeOut_count != 0) {
      --TimeOut_count;
    } else if (TakeBytes(port_.Waiting()) == 0) {
      Status_no_connect();
      window_.MessageBox(kNoAnswerText, kLinkErrorCaption);
    }
  }
  // An answer that never ends (a device streaming on the line) would keep the engine waiting for its
  // quiet time for ever, the window's menus with it. The longest answer takes some 40 ms.
  if (Wait_reply && !Wait_first_byte && ++replyTicks_ > kEndlessReplyTicks) {
    Status_no_connect();
    window_.MessageBox(kNotAnAnswerText, kLinkErrorCaption);
  }
  // 4. Reply.
  if (Rx_len != 0) {
    if (Rx_quiet_count != 0) {
      --Rx_quiet_count;
    } else if (TakeBytes(port_.Waiting()) == 0) {
      Dispatch();
    }
  }
  // 5. Completion.
  if (Done_message != 0 && !window_.Timer2Running()) window_.StartTimer2();
}

void LinkEngine::Timer2Timer() {
  const std::uint8_t done = Done_message;
  Done_message = 0;
  window_.StopTimer2();
  if (done == 2) {
    window_.MessageBox(kWriteDoneText, kMessageCaption);
  } else if (done == 1) {
    window_.MessageBox(kReadDoneText, kMessageCaption);
  }
}

void LinkEngine::Status_connect() {
  Connected = 1;
  window_.Status_connect();
}

void LinkEngine::Status_no_connect() {
  ++linkDowns_;
  if (exchanges_ != nullptr) exchanges_->End();
  // A request still pending would go out on the closed port at the next tick and wait a second for
  // an answer, reporting the link lost again and holding back the next connection's set-up.
  Request_code = 0;
  writing_ = false;
  Wait_first_byte = 0;
  Wait_reply = 0;
  Rx_len = 0;
  Connected = 0;
  End(active_, false);
  End(pending_, false);
  window_.SetExchangeLamp(kColorSilver);
  window_.Status_no_connect();
}

void LinkEngine::SendRequest(int code) {
  // A chain read aside that is still open when anything else is asked ended short (a refused or cut
  // answer ends it without a word); one asked for goes out now, unless something else took its place.
  End(active_, false);
  if (pending_.into != nullptr) {
    if (code == Req_read_param) {
      active_ = std::exchange(pending_, {});
    } else {
      End(pending_, false);
    }
  }
  switch (code) {
    case Req_setup:
      Send_messages(kSetup1, 3);
      break;
    case Req_status:
      Send_messages(kStatusRead, 6);
      window_.SetExchangeLamp(kColorLime);
      break;
    case Req_unblock:
      Send_messages(kUnblock, 7);
      break;
    case Req_block:
      Send_messages(kBlock, 7);
      break;
    case Req_reset:
      Send_messages(kReset, 7);
      break;
    case Req_read_param:
      Send_messages(kReadParam, 6);
      Head_only = 0;
      break;
    case Req_write_param: {
      const auto frame = std::span(work_).first<kSysFrameSize>();
      if (const auto identity = window_.IdentityToWrite()) {
        Build_sys_frame(record_.SysSet, *identity, frame);
      } else {
        const std::string number = window_.NumberText();
        const std::string year = window_.YearText();
        Build_sys_frame(record_.SysSet, number, year, frame);
      }
      Send_messages(work_, static_cast<int>(kSysFrameSize));
      writing_ = true;
      break;
    }
    case Req_save_eeprom:
      Send_messages(kSaveEeprom, 7);
      break;
    case Req_out_zero:
      Send_messages(Tx_buf, 8);
      break;
    default:
      break;  // unknown codes are dropped
  }
}

// The reply is taken as it stands; Rx_len is cleared first so that bytes arriving while a box of this
// dispatch is open start a new reply instead of being wiped when the dispatch ends.
// The bytes a reply must hold to be dispatched: the rest of the buffer still holds an earlier reply,
// which a short one would be read with (a stray byte taken for an acknowledgement, a cut read answer
// decoded as settings).
int LinkEngine::NeededLength() const {
  const std::uint8_t kind = Rx_buf[0] & 0x7F;
  if (kind != 0x42 && kind != 0x44) return 2;  // set-up and open answers
  if ((Rx_buf[0] & 0x80) || kind == 0x42) return 5;
  const bool live = Rx_buf[2] != 0;
  const bool sys = Rx_buf[3] == 0xC0;
  const int payload = live ? (sys ? 16 : 11) : (sys ? (Head_only ? 3 : 54) : 44);
  return 5 + payload;
}

void LinkEngine::Dispatch() {
  const bool settingUp = !Connected && (asked_[0] == 0x10 || asked_[0] == 0x40);
  const unsigned downs = linkDowns_;
  dispatching_ = true;
  DispatchReply();
  dispatching_ = false;
  if (holdChains_ && !Wait_reply) writing_ = false;  // the write's next block was held back
  // A set-up answer that leads nowhere (a device on the line that is no adapter) would leave the
  // window neither connected nor closed, with neither "Соединить" nor "Отключить" to get out.
  if (settingUp && !holdChains_ && !Connected && !Wait_reply && linkDowns_ == downs) {
    Status_no_connect();
    window_.MessageBox(kNotAnAnswerText, kLinkErrorCaption);
  }
}

void LinkEngine::DispatchReply() {
  Wait_reply = 0;
  if (exchanges_ != nullptr) exchanges_->End();
  const int length = Rx_len;
  Rx_len = 0;
  writing_ = false;  // until the answer turns out to continue the write chain
  // Only an answer to the request last sent is taken: its kind, and for reads and writes its address.
  const std::uint8_t kind = Rx_buf[0] & 0x7F;
  const bool memory = kind == 0x42 || kind == 0x44;
  const bool answers = kind == asked_[0] && (!memory || (Rx_buf[2] == asked_[2] && Rx_buf[3] == asked_[3]));
  if (length < NeededLength() || !answers) {
    window_.SetExchangeLamp(kColorYellow);  // the exchange failed as a refused one does: no chain goes on
    return;
  }
  if (Rx_buf[0] & 0x80) {
    Rx_buf[0] &= 0x7F;
    switch (Rx_buf[0]) {
      case 0x10:
        Status_no_connect();
        window_.MessageBox(kModeRefusedText, kLinkErrorCaption);
        break;
      case 0x40:
        Send_messages(kSetup1, 3);
        Disconnect_req = 1;
        window_.MessageBox(kNoVexaText, kLinkErrorCaption);
        break;
      case 0x44:
      case 0x42:
        window_.SetExchangeLamp(kColorYellow);
        break;
      default:
        break;
    }
    return;
  }
  switch (Rx_buf[0]) {
    case 0x10:
      if (Rx_buf[1] == 0x22) {
        Send_messages(kOpenModule, 3);
      } else if (Rx_buf[1] == 0x28) {
        if (Disconnect_req) {
          Status_no_connect();
        } else {
          Send_messages(kSetup2, 3);
        }
      }
      break;
    case 0x40:
      Status_connect();
      Send_messages(kHeaderRead, 6);
      Head_only = 1;
      break;
    case 0x42:
      DispatchWrite();
      break;
    case 0x44:
      DispatchRead();
      break;
    default:
      break;
  }
}

void LinkEngine::DispatchRead() {
  const std::uint8_t* payload = Rx_buf + 5;
  const std::uint8_t block = Rx_buf[3];
  const int ch = block == 0x00 ? 0 : block == 0x30 ? 1 : block == 0x60 ? 2 : block == 0x90 ? 3 : -1;
  std::uint8_t frame[6] = {0x44, 0x28, 0x00, 0x00, 0x00, 0x00};

  if (Rx_buf[2] != 0) {  // live data
    if (block == 0xC0) {
      window_.SetExchangeLamp(kColorSilver);
      window_.Out_module_status(payload);
      frame[2] = 0x01;
      frame[3] = 0x00;
      frame[4] = 0x0B;
      Send_messages(frame, 6);
    } else if (ch >= 0) {
      window_.Out_chanel_status(ch, payload);
      if (ch < 3) {
        frame[2] = 0x01;
        frame[3] = static_cast<std::uint8_t>(0x30 * (ch + 1));
        frame[4] = 0x0B;
        Send_messages(frame, 6);
      }
    }
    return;
  }
  // The set-up's header read always goes to the window.
  const bool aside = active_.into != nullptr && !Head_only;
  TModuleSettings& target = aside ? *active_.into : record_;
  if (block == 0xC0) {
    const DecodeOutcome outcome = Decode_sys_settings(
        target.SysSet, std::span<const std::uint8_t, kSysPayloadSize>(payload, kSysPayloadSize),
        Head_only != 0);
    if (aside) {
      target.SysSet.Number = outcome.stored->number;
      target.SysSet.Year = outcome.stored->year;
    } else {
      window_.StoredNumberAndYear(*outcome.stored);
      window_.ShowNumberAndYear(*outcome.numberText, *outcome.yearText);
      window_.RefreshViews(outcome.refresh);
    }
    if (!Head_only) {
      frame[4] = 0x2C;
      Send_messages(frame, 6);
    }
  } else if (ch >= 0) {
    const DecodeOutcome outcome = Decode_chan_settings(
        target.ChanSet[ch], std::span<const std::uint8_t, kChanPayloadSize>(payload, kChanPayloadSize));
    if (!aside) window_.RefreshViews(outcome.refresh);
    if (ch < 3) {
      frame[3] = static_cast<std::uint8_t>(0x30 * (ch + 1));
      frame[4] = 0x2C;
      Send_messages(frame, 6);
    } else if (aside) {
      Rx_buf[3] = 0x95;
      End(active_, true);
    } else {
      Rx_buf[3] = 0x95;
      Done_message = 1;
    }
  }
}

void LinkEngine::ReadAside(TModuleSettings& into, std::function<void(bool)> done) {
  End(pending_, false);
  pending_ = {&into, std::move(done)};
  Request_code = Req_read_param;
}

void LinkEngine::End(Aside& aside, bool whole) {
  if (aside.into == nullptr) return;
  const auto done = std::move(aside.done);
  aside = {};
  if (done) done(whole);
}

void LinkEngine::SendChannelWrite(int ch) {
  Build_chan_frame(record_.ChanSet[ch], ch, std::span(work_).first<kChanFrameSize>());
  Send_messages(work_, static_cast<int>(kChanFrameSize));
  writing_ = true;
}

void LinkEngine::DispatchWrite() {
  const std::uint8_t high = Rx_buf[2], low = Rx_buf[3];
  if (high == 0xFF && low == 0xE0) {
    Request_code = Req_status;
  } else if (high == 0x00) {
    switch (low) {
      case 0xC0:
        SendChannelWrite(0);
        break;
      case 0x00:
        SendChannelWrite(1);
        break;
      case 0x30:
        SendChannelWrite(2);
        break;
      case 0x60:
        SendChannelWrite(3);
        break;
      case 0x90:
        Rx_buf[3] = 0x95;
        Done_message = 2;
        break;
      default:
        break;
    }
  }
}
