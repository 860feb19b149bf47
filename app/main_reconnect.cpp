// SPDX-License-Identifier: GPL-3.0-or-later
// The loss of the link's port; and, with "Переподключать автоматически", the window's side of a
// pulled adapter: the loss said once without a box, the port awaited, and the link connected again
// with the usual steps once the port opens.
#include <QStatusBar>
#include <QThread>

#include <cstdio>

#include "app/vexa_main_v1.h"
#include "gui/error_box.h"
#include "platform/kernel.h"
#include "platform/ports.h"
#include "views/line_monitor.h"

// A device that vanishes fails every later step of the component, each with its error: the first
// one is shown and ends the link at once, before its box opens, so that neither the later ones nor
// the engine's no-answer watch add boxes of their own.
void TFormMain::PortError(std::exception_ptr error) {
  if (QThread::currentThread() != thread()) {  // not from a step handed to the window: no box
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
    }
    return;
  }
  if (portErrorShown_) return;
  portErrorShown_ = true;
  std::string message = tr("связь прервана").toStdString();
  std::uint32_t code = 0;
  try {
    std::rethrow_exception(error);
  } catch (const ESioCommError& e) {
    message = TranslatedMessage(e.what());
    code = e.SystemCode();
  } catch (const std::exception& e) {
    message = TranslatedMessage(e.what());
  } catch (...) {
  }
  ActionLinkLost(message);
  const bool writing = engine_.Writing();
  // Not for a link the user is ending: "Отключить" closes, whatever the line does meanwhile.
  const bool await = MenuConn_Reconnect->isChecked() && !awaitedPort_.empty() &&
                     engine_.Disconnect_req == 0 && platform::DeviceGoneError(code);
  if (sioComm1_.Active()) engine_.Status_no_connect();
  if (await) AwaitAdapter(message);
  // A write cut short is said in a box whatever follows: the module may hold part of it.
  if (!await || writing) ShowException(error);
}

void TFormMain::AwaitAdapter(const std::string& reason) {
  Timer1.stop();  // nothing is on the line: waiting costs no ticks
  MenuConn_Connect->setEnabled(false);
  MenuConn_COM1->setEnabled(false);
  MenuConn_Discon->setEnabled(true);  // stops the waiting
  // The port first: the status bar is as wide as the window, and the reason may be long.
  LinkNote(tr("Адаптер отключен, ожидание его возвращения на %1… (%2)")
               .arg(QString::fromStdString(awaitedPort_), QString::fromStdString(reason)));
  portReturn_.Start(awaitedPort_);
}

void TFormMain::AdapterRefused(std::uint32_t code) {
  std::string why = platform::ErrorText(code);
  if (const std::string hint = platform::OpenRefusalHint(code); !hint.empty())
    why += ". " + QCoreApplication::translate("Messages", hint.c_str()).toStdString();
  LinkNote(tr("Адаптер на месте, но порт не открывается: %1").arg(QString::fromStdString(why)));
}

void TFormMain::AdapterReturned(const std::string& device) {
  Timer1.start();
  // A USB adapter may come back as another ttyUSB: the choice that named the old one follows it.
  if (QAction* chosen = portGroup_->checkedAction();
      chosen != nullptr && chosen->data().isValid() &&
      chosen->data().toString().toStdString() != awaitedPort_ &&
      chosen->data().toString().toStdString() != device) {
    chosen->setData(QString::fromStdString(device));
    chosen->setText(QString::fromStdString(device + "  (" + awaitedPort_ + ")"));
  }
  returnedDevice_ = device;
  MenuConn_ConnectClick();
  returnedDevice_.clear();
}

void TFormMain::ReturnedPortOpened(bool opened, std::uint32_t refusal) {
  if (opened) {
    LinkNote(tr("Адаптер снова на месте: %1").arg(QString::fromStdString(returnedDevice_)));
    return;
  }
  // Taken between the look and the open (a service that grabs new ports, a node made twice): no
  // box, the waiting goes on.
  Timer_TimeOut.stop();
  Timer1.stop();
  portReturn_.Refuse(refusal);
}

void TFormMain::StopAwaiting() {
  portReturn_.Stop();
  Timer1.start();
  Status_no_connect();
  LinkNote(tr("Ожидание адаптера прекращено."));
}

void TFormMain::LinkNote(const QString& note) {
  if (note.isEmpty())
    statusBar()->clearMessage();
  else
    statusBar()->showMessage(note);
  exchanges_.SetNote(note.toStdString());
  if (monitor_ != nullptr) monitor_->Refresh();
}
