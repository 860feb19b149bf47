// SPDX-License-Identifier: GPL-3.0-or-later
// What the port component hands on: the line's events to its handlers and its clients, and its
// state to the indicator.
#include "comm/SioComm.h"

#include <algorithm>
#include <vector>

#include "comm/Sioutils.h"
#include "platform/kernel.h"
#include "platform/serial.h"

using namespace platform;

// --- dispatcher ---------------------------------------------------------------------------------

TSioDispatcher::~TSioDispatcher() {
  if (comm_ != nullptr) comm_->RemoveClient(this);
}

void TSioDispatcher::DataEvent(PSioData data, int count) {
  if (active_) user_->DataChanged(data, count);
}

void TSioDispatcher::LineEvent(DWORD evtMask) {
  if (active_) user_->LineChanged(evtMask);
}

void TSioDispatcher::SetDTRState(bool state) {
  if (comm_ != nullptr) comm_->SetDTR(state);
}
void TSioDispatcher::PurgeRead() {
  if (comm_ != nullptr) comm_->PurgeRead();
}
void TSioDispatcher::PurgeWrite() {
  if (comm_ != nullptr) comm_->PurgeWrite();
}
void TSioDispatcher::PurgeReadWrite() {
  if (comm_ != nullptr) comm_->PurgeReadWrite();
}
int TSioDispatcher::WriteBuf(const void* data, int count) {
  return comm_ != nullptr ? comm_->WriteBuf(data, count) : 0;
}
bool TSioDispatcher::WriteText(const std::string& text) { return comm_ != nullptr && comm_->WriteText(text); }
bool TSioDispatcher::WriteChar(char ch) { return comm_ != nullptr && comm_->WriteChar(ch); }

TSioDisplayBase::~TSioDisplayBase() {
  for (TSioCustomComm* comm : std::vector<TSioCustomComm*>(comms_)) comm->DisplayRemoved(this);
}

void TSioCustomComm::SetDisplay(TSioDisplayBase* value) {
  if (value == display_) return;
  if (display_ != nullptr) std::erase(display_->comms_, this);
  display_ = value;
  if (value != nullptr) value->comms_.push_back(this);
}

void TSioCustomComm::DisplayRemoved(TSioDisplayBase* display) {
  if (display == display_) SetDisplay(nullptr);
}

void TSioCustomComm::InsertClient(TSioDispatcher* dispatcher) {
  dispatcher->comm_ = this;
  clients_->push_back(dispatcher);
}

void TSioCustomComm::RemoveClient(TSioDispatcher* dispatcher) {
  const auto it = std::find(clients_->begin(), clients_->end(), dispatcher);
  if (it == clients_->end()) return;
  dispatcher->comm_ = nullptr;
  clients_->erase(it);
}

void TSioCustomComm::DestroyClients() {
  while (!clients_->empty()) RemoveClient(clients_->back());
}

void TSioCustomComm::UpdateDisplay() {
  if (display_ != nullptr) display_->UpdateDisplay(this);
}

void TSioCustomComm::DoEvent(DWORD evtMask) {
  GuardedStep([&] {
    UpdateDisplay();
    if (evtMask & EV_RXCHAR) {
      HandleDataEvent();
      evtMask &= ~EV_RXCHAR;
    }
    if (evtMask != 0) HandleLineEvent(evtMask);
  });
}

void TSioCustomComm::HandleDataEvent() {
  const int waiting = ReadBufUsed();
  if (waiting <= 0) return;
  if (!clients_->empty()) {
    std::vector<std::uint8_t> block(static_cast<std::size_t>(waiting));
    const int read = ReadBuf(block.data(), waiting);
    if (read > 0) WriteBuffer(block.data(), read);  // only what really arrived
  } else if (OnRxChar) {
    OnRxChar(this, waiting);
  }
}

void TSioCustomComm::HandleLineEvent(DWORD evtMask) {
  if (evtMask & EV_ERR) ClearLineErrors();
  if (!clients_->empty()) WriteEvents(evtMask);
  const std::pair<DWORD, TNotifyEvent*> order[] = {
      {EV_RXFLAG, &OnRxFlag},     {EV_CTS, &OnCts},         {EV_DSR, &OnDsr},       {EV_RING, &OnRing},
      {EV_RLSD, &OnRlsd},         {EV_TXEMPTY, &OnTxEmpty}, {EV_BREAK, &OnBreak},   {EV_PERR, &OnPErr},
      {EV_RX80FULL, &OnRx80Full}, {EV_EVENT1, &OnEvent1},   {EV_EVENT2, &OnEvent2},
  };
  for (const auto& [bit, handler] : order)
    if ((evtMask & bit) && *handler) (*handler)(this);
}

// A handler may detach or destroy any client, a later one too: each is looked up again before its
// call, so none that left is called.
void TSioCustomComm::ForEachClient(const std::function<void(TSioDispatcher*)>& call) {
  const std::vector<TSioDispatcher*> clients = *clients_;
  for (TSioDispatcher* client : clients)
    if (clients_ && std::find(clients_->begin(), clients_->end(), client) != clients_->end()) call(client);
}

void TSioCustomComm::WriteEvents(DWORD evtMask) {
  if (!controlsEnabled_) return;
  ForEachClient([&](TSioDispatcher* client) { client->LineEvent(evtMask); });
}

void TSioCustomComm::WriteBuffer(PSioData data, int count) {
  if (controlsEnabled_) ForEachClient([&](TSioDispatcher* client) { client->DataEvent(data, count); });
  if (OnRxBuf) OnRxBuf(this, data, count);
}

// --- consumer base ------------------------------------------------------------------------------

TSioCommComponent::~TSioCommComponent() { dispatcher_.reset(); }

void TSioCommComponent::SetComm(TSioCustomComm* value) {
  if (TSioCustomComm* old = dispatcher_->Comm(); old != nullptr) old->RemoveClient(dispatcher_.get());
  if (value != nullptr) value->InsertClient(dispatcher_.get());
}

// The port forgets its clients when it is destroyed, which clears the dispatcher's link: Comm() then
// gives null by itself. This notice stays for callers that remove the port otherwise.
void TSioCommComponent::CommRemoved(TSioCustomComm* comm) {
  if (comm != nullptr && comm == dispatcher_->Comm()) comm->RemoveClient(dispatcher_.get());
}
