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

TPortReturn::~TPortReturn() = default;

void TPortReturn::Start(const std::string& name) {
  Stop();
  name_ = name;
  told_ = 0;
  // The first look comes with the first change or after half a second, not at once: a device that
  // failed and still opens would otherwise be connected again at the speed of its failing.
  watch_ = std::make_unique<platform::PortWatch>(name);
  if (watch_->Descriptor() >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(watch_->Descriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Look(); });
  }
  look_.start();
}

void TPortReturn::Stop() {
  look_.stop();
  notifier_.reset();
  watch_.reset();
}

void TPortReturn::Look() {
  if (!Waiting()) return;
  watch_->Drain();
  if (platform::ProbePort(name_) == platform::PortState::Free) {
    Stop();
    if (Returned) Returned(platform::DeviceBehind(name_));
    return;
  }
  const std::uint32_t code = platform::GetLastError();
  // Not there (yet) is what waiting expects; a refusal is told once, not every half second.
  if (platform::ClassifyOpenError(code) == platform::OpenRefusal::Other && platform::DeviceGoneError(code)) {
    told_ = 0;
    return;
  }
  if (code == told_) return;
  told_ = code;
  if (Refused) Refused(code);
}
