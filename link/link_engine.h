// SPDX-License-Identifier: GPL-3.0-or-later
// The adapter link engine: a 10 ms tick that sends one request at a time, collects the answer until
// the line is quiet and dispatches it to the decoders and the next request of its chain.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "link/exchange_record.h"
#include "link/link_interfaces.h"
#include "settings/module_settings.h"
#include "settings/user_text.h"

constexpr int Req_setup = 1;
constexpr int Req_status = 2;
constexpr int Req_unblock = 3;
constexpr int Req_block = 4;
constexpr int Req_reset = 5;
constexpr int Req_read_param = 6;
constexpr int Req_write_param = 7;
constexpr int Req_save_eeprom = 9;
constexpr int Req_out_zero = 11;

inline constexpr const char* kLinkErrorCaption = VEXA_TR_NOOP("Messages", "Ошибка связи");
inline constexpr const char* kNoAnswerText = VEXA_TR_NOOP("Messages", "Нет ответа от модуля Ixor");
// Something answered, but not as the adapter does (cut, garbled, another device, endless data): the
// monitor counts it so, not as no answer.
inline constexpr const char* kNotAnAnswerText = VEXA_TR_NOOP("Messages", "Ответ модуля Ixor не распознан");
inline constexpr const char* kModeRefusedText =
    VEXA_TR_NOOP("Messages", "Режим работы не поддерживается модулем Ixor");
inline constexpr const char* kNoVexaText = VEXA_TR_NOOP("Messages", "Модуль VEXA не обнаружен.");
inline constexpr const char* kMessageCaption = VEXA_TR_NOOP("Messages", "Сообщение");
inline constexpr const char* kReadDoneText =
    VEXA_TR_NOOP("Messages", "Параметры работы из модуля прочитаны.");
inline constexpr const char* kWriteDoneText =
    VEXA_TR_NOOP("Messages", "Параметры работы в модуль загружены.");

// The module command a request frame belongs to (Req_block, Req_unblock, Req_save_eeprom, Req_reset,
// and Req_read_param or Req_write_param for each frame of those chains), 0 for any other frame:
// how a window tells which exchange answered its command.
int CommandOfRequest(std::span<const std::uint8_t> request);

class LinkEngine {
 public:
  LinkEngine(ILinkPort& port, ILinkWindow& window, TModuleSettings& record = ModuleSettings)
      : port_(port), window_(window), record_(record) {}

  // Link state; the window and the commands read and set some of it.
  int Request_code = 0;
  int Wait_reply = 0;
  int Wait_first_byte = 0;
  int TimeOut_count = 0;
  int Rx_quiet_count = 0;
  int Poll_count = 50;
  int Connected = 0;
  int Disconnect_req = 0;
  std::uint8_t Head_only = 0;
  std::uint8_t Done_message = 0;
  std::uint8_t Rx_buf[100] = {};
  int Rx_len = 0;
  std::uint8_t Tx_buf[8] = {};

  // True while a settings write waits to be sent or its chain of frames runs.
  bool Writing() const { return writing_ || Request_code == Req_write_param; }
  // While held, an answer is still dispatched to its decoder but its chain sends no further frame,
  // so whatever runs ends with the exchange under way; requests set later still go out. What a
  // command that is given up uses to stop a settings write between blocks.
  void HoldChains(bool hold) { holdChains_ = hold; }
  // A read into another record than the window's: the dialogs, the number and year fields and the
  // completion message are left alone, and the number and year are kept as the module holds them.
  // done(true) when the last block is in; done(false) when the read ends short (the link lost, an
  // answer refused or cut, another request sent in its place).
  // The read is the next request to go out: a read of the window's already under way ends as the
  // window's.
  void ReadAside(TModuleSettings& into, std::function<void(bool)> done);
  bool ReadingAside() const { return active_.into != nullptr || pending_.into != nullptr; }
  // Where every exchange goes as it ends (none by default).
  void SetExchangeRecord(ExchangeRecord* record) { exchanges_ = record; }

  void Send_messages(const std::uint8_t* data, int length);
  void SioComm1OnRxChar(int count);
  void Timer1Timer();
  void Timer2Timer();
  void Status_connect();
  void Status_no_connect();

 private:
  void SendRequest(int code);
  // Reads up to count bytes into the reply; how many there were.
  int TakeBytes(int count);
  void Dispatch();
  void DispatchReply();
  int NeededLength() const;
  void DispatchRead();
  void DispatchWrite();
  void SendChannelWrite(int ch);

  ILinkPort& port_;
  ILinkWindow& window_;
  TModuleSettings& record_;
  std::uint8_t work_[60] = {};
  bool writing_ = false;
  bool holdChains_ = false;
  bool dispatching_ = false;
  std::uint8_t asked_[4] = {};  // the first bytes of the request last sent
  int replyTicks_ = 0;          // ticks since the request last sent
  unsigned linkDowns_ = 0;      // calls of Status_no_connect so far
  ExchangeRecord* exchanges_ = nullptr;
  struct Aside {
    TModuleSettings* into = nullptr;
    std::function<void(bool)> done;
  };
  Aside pending_;  // asked for, its request not yet sent
  Aside active_;   // its chain under way
  static void End(Aside& aside, bool whole);
};
