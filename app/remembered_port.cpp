// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remembered_port.h"

#include <QAction>
#include <QSettings>

#include "app/vexa_main_v1.h"
#include "platform/ports.h"

namespace {

// A file of its own on every system (an INI file, not Windows' registry), so that a test can put
// it aside with QSettings::setPath.
QSettings Stored() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "vexa-setup", "port"); }

bool Keep(const char* key, const QVariant& value) {
  QSettings stored = Stored();
  stored.setValue(key, value);
  stored.sync();
  return stored.status() == QSettings::NoError;
}

}  // namespace

QString RememberedPort() { return Stored().value("port").toString(); }

bool RememberPort(const QString& port) { return Keep("port", port); }

bool RememberedReconnect() { return Stored().value("reconnect", false).toBool(); }

bool RememberReconnect(bool on) { return Keep("reconnect", on); }

void TFormMain::ChooseRememberedPort() {
  const QString port = RememberedPort();
  if (port == "sim") {
    Menu_sel_Sim->setChecked(true);
    return;
  }
  for (int n = 1; n <= 4; ++n)
    if (port == QString("COM%1").arg(n)) {
      Menu_sel_COM[n - 1]->setChecked(true);
      return;
    }
  // A device that is gone (an adapter not plugged in) leaves "COM 1", as at the first start.
  if (port.isEmpty() || platform::KindOfPath(port.toStdString()) != platform::PathKind::Device) return;
  // "\\.\COM5" names a device whether or not its adapter is plugged: only an open tells.
  const bool comName = port.startsWith("\\\\.\\");
  if (comName && platform::ProbePort(port.toStdString()) == platform::PortState::NotFound) return;
  QAction* choice = AddPortChoice(comName ? port.mid(4) : port, port.toStdString());
  choice->setProperty("discovered", false);
  choice->setProperty("typed", true);
  choice->setChecked(true);
}

QString TFormMain::ChosenPort() const {
  if (Menu_sel_Sim->isChecked()) return "sim";
  for (int n = 1; n <= 4; ++n)
    if (Menu_sel_COM[n - 1]->isChecked()) return QString("COM%1").arg(n);
  const QAction* other = portGroup_->checkedAction();
  return other != nullptr ? other->data().toString() : QString("COM1");
}
