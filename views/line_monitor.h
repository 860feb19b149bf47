// SPDX-License-Identifier: GPL-3.0-or-later
// "Состояние индикации": the port's modem lines, the link's counters since connecting and its last
// exchanges, with a filter for the failures and the journal saved as text.
#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <array>
#include <string>

#include "gui/file_dialog.h"
#include "link/exchange_record.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class TSioLEDDisplay;

namespace views_detail {
class ExchangeModel;
}

class TFormLineMonitor : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TFormLineMonitor)

 public:
  explicit TFormLineMonitor(const ExchangeRecord& record, QWidget* parent = nullptr);

  // Counters and table brought up to date with the record now.
  void Refresh();
  // An exchange ended: the window is brought up to date within kRefreshMs while shown.
  void ExchangeEnded();
  // The port and the connection's start, then the rows shown (all, or the failures only), one
  // ExchangeLine each, with the date.
  std::string JournalText() const;

  static constexpr int kRefreshMs = 200;

  // The counters in their order: exchanges, answered, no answer, cut short, late (taken as cut, its
  // rest after), garbled or another request's, longer than expected, refused, bytes out, bytes in,
  // the last round trip.
  static constexpr int kCounters = 11;
  TSioLEDDisplay* Leds;  // the owner binds it to the port
  QLabel* Label_Note;    // the record's note, hidden while there is none
  std::array<QLabel*, kCounters> Label_Count;
  QTableView* Table_Exchanges;
  QCheckBox* CheckBox_FailuresOnly;
  QPushButton* Button_SaveLog;
  QTimer Timer_Refresh;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void SaveLog();

  const ExchangeRecord& record_;
  views_detail::ExchangeModel* model_;
  TFileDialog saveDialog_{FileDialogKind::Save, QCoreApplication::translate("Messages", kTextFileFilter)};
};
