// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/other_port.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "platform/ports.h"

namespace {

QStringList& TypedThisRun() {
  static QStringList paths;
  return paths;
}

}  // namespace

TFormOtherPort::TFormOtherPort(QWidget* parent) : QDialog(parent) {
  setObjectName("FormOtherPort");
  setWindowTitle(tr("Другой порт"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Путь к устройству последовательного порта\n"
                                  "(например, /dev/ttyUSB0, /dev/pts/3, COM7):"),
                               this));
  ComboBox_Path = new QComboBox(this);
  ComboBox_Path->setObjectName("ComboBox_Path");
  ComboBox_Path->setEditable(true);
  ComboBox_Path->setInsertPolicy(QComboBox::NoInsert);
  // Inline completion would turn a typed folder into a longer path remembered from before; the
  // remembered ones are in the list.
  ComboBox_Path->setCompleter(nullptr);
  ComboBox_Path->setMinimumWidth(320);
  layout->addWidget(ComboBox_Path);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("Buttons");
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString TFormOtherPort::Ask() {
  ComboBox_Path->clear();
  ComboBox_Path->addItems(TypedThisRun());
  ComboBox_Path->setCurrentIndex(TypedThisRun().isEmpty() ? -1 : 0);
  ComboBox_Path->lineEdit()->selectAll();
  ComboBox_Path->setFocus();
  if (exec() != QDialog::Accepted) return {};
  const QString path = ComboBox_Path->currentText().trimmed();
  if (path.isEmpty()) return {};
  TypedThisRun().removeAll(path);
  TypedThisRun().prepend(path);
  return path;
}

std::string NotAPortMessage(const std::string& path) {
  const auto Message = [&](const char* text) {
    return QCoreApplication::translate("Messages", text).arg(QString::fromStdString(path)).toStdString();
  };
  switch (platform::KindOfPath(path)) {
    case platform::PathKind::Device:
      return {};
    case platform::PathKind::Missing:
      return Message(QT_TRANSLATE_NOOP("Messages", "Устройство %1 не найдено."));
    case platform::PathKind::RegularFile:
      return Message(QT_TRANSLATE_NOOP("Messages", "%1 — обычный файл, а не последовательный порт."));
    case platform::PathKind::Folder:
      return Message(QT_TRANSLATE_NOOP("Messages", "%1 — папка, а не последовательный порт."));
    case platform::PathKind::Other:
      break;
  }
  return Message(QT_TRANSLATE_NOOP("Messages", "%1 — не устройство последовательного порта."));
}
