// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_return.h"

#include <QSocketNotifier>

#include "platform/kernel.h"
#include "platform/port_wait.h"
#include "platform/ports.h"

TPortReturn::TPortReturn() {
  look_.setInterval(platform::kPortLookMs);
  connect(&look_, &QTimer::timeout, this, [this] { Look(); });
}

TPortReturn::~TPortReturn() { Stop(); }

void TPortReturn::Start(const std::string& name) {
  told_ = seen_ = 0;
  Watch(name);
}

// The first look comes with the first change or after half a second, not at once: a device that
// failed and still opens would otherwise be connected again at the speed of its failing.
void TPortReturn::Watch(const std::string& name) {
  Stop();
  name_ = name;
  watch_ = std::make_unique<platform::PortWatch>(name);
  if (watch_->Descriptor() >= 0) {
    notifier_ = new QSocketNotifier(watch_->Descriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
      if (watch_ != nullptr && watch_->Drain()) Look();
    });
  }
  look_.start();
}

void TPortReturn::Stop() {
  look_.stop();
  if (notifier_ != nullptr) {
    // It may be the notifier whose signal runs now.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  watch_.reset();
}

void TPortReturn::Refuse(std::uint32_t code) {
  Watch(name_);
  Tell(code);
}

void TPortReturn::Look() {
  if (!Waiting()) return;
  if (platform::ProbePort(name_) == platform::PortState::Free) {
    Stop();
    if (Returned) Returned(platform::DeviceBehind(name_));
    return;
  }
  Tell(platform::GetLastError());
}

void TPortReturn::Tell(std::uint32_t code) {
  // Not there (yet) is what waiting expects; a refusal is told once, not every half second.
  if (platform::ClassifyOpenError(code) == platform::OpenRefusal::Other && platform::DeviceGoneError(code)) {
    told_ = seen_ = 0;
    return;
  }
  // Only a refusal seen twice in a row: udev sets a new node's owner and mode a moment after it
  // made the node.
  if (code != seen_) {
    seen_ = code;
    return;
  }
  if (code == told_) return;
  told_ = code;
  if (Refused) Refused(code);
}
