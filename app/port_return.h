// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for the adapter of a link that went away to come back: woken by the system where it tells
// (inotify through a socket notifier), and looking at the latest every half second, so that waiting
// costs nothing a user could measure.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;
namespace platform {
class PortWatch;
}

class TPortReturn : public QObject {
 public:
  TPortReturn();
  ~TPortReturn() override;

  // Waits for the port name (a device path, a /dev/serial/by-id name, "COMn") to open.
  void Start(const std::string& name);
  void Stop();
  // The port opened for a look refused the open that followed: waiting goes on, the refusal told as
  // a look's is.
  void Refuse(std::uint32_t code);
  bool Waiting() const { return watch_ != nullptr; }

  // It opens now: waiting is over; device is where the name leads now.
  std::function<void(const std::string& device)> Returned;
  // It is there but refused to open, with the system's code: told once for each reason in a row.
  std::function<void(std::uint32_t code)> Refused;

 private:
  void Watch(const std::string& name);
  void Look();
  void Tell(std::uint32_t code);

  std::string name_;
  std::unique_ptr<platform::PortWatch> watch_;
  QSocketNotifier* notifier_ = nullptr;  // a child, on watch_'s descriptor
  QTimer look_;
  std::uint32_t told_ = 0;  // the refusal last told
  std::uint32_t seen_ = 0;  // the refusal of the last look
};
