// SPDX-License-Identifier: GPL-3.0-or-later
// "Другой порт…": a device path typed by the engineer, checked before it joins the port menu; the
// paths typed in this run are offered again.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>

#include <string>

class QComboBox;

class TFormOtherPort : public QDialog {
  Q_DECLARE_TR_FUNCTIONS(TFormOtherPort)

 public:
  explicit TFormOtherPort(QWidget* parent = nullptr);
  // The path typed and accepted (trimmed), or empty when cancelled. Remembered for the next time.
  QString Ask();

  QComboBox* ComboBox_Path;
};

// The caption of the box that says why a typed path was refused.
inline constexpr const char* kOtherPortCaption = QT_TRANSLATE_NOOP("Messages", "Другой порт");

// Why a typed path cannot be a serial port, as the window says it; empty when it can (a character
// device: a UART, a USB adapter, a pseudo-terminal, a virtual port).
std::string NotAPortMessage(const std::string& path);
