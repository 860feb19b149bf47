// SPDX-License-Identifier: GPL-3.0-or-later
// The line monitor's table as an engineer reads it while the module is polled: the place read and
// the row selected stay as exchanges come and the oldest go, the newest is followed only from the
// bottom, and an answer the column cuts is whole in its tool tip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolTip>

#include <chrono>

#include "tests/support/patience.h"
#include "views/line_monitor.h"

namespace {

using namespace std::chrono_literals;

class LineMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record_.NewConnection("COM5");
    record_.OnExchange = [this](const Exchange&) { monitor_.ExchangeEnded(); };
  }
  // Exchange i: a status read, answered in full but every seventh.
  void Exchanges(int count) {
    static const std::uint8_t kRequest[] = {0x44, 0x28, 0x01, 0xC0, 0x10, 0x00};
    for (int k = 0; k < count; ++k, ++made_) {
      now_ += 100ms;
      record_.Sent(kRequest, 6);
      if (made_ % 7 != 0)
        for (const int b : {0x44, 0x28, 0x01, 0xC0, 0x10}) record_.Received(static_cast<std::uint8_t>(b));
      if (made_ % 7 != 0)
        for (int b = 0; b < 16; ++b) record_.Received(static_cast<std::uint8_t>(made_ + b));
      record_.End();
    }
  }
  QString Time(int row) const { return monitor_.Table_Exchanges->model()->index(row, 0).data().toString(); }
  // The time of the row at the top of the view, and of the last one.
  QString TopShown() const { return Time(monitor_.Table_Exchanges->rowAt(0)); }
  QString NewestTime() const { return QString::fromStdString(ClockText(record_.Entries().back().sent)); }
  bool UpToDate() const {
    const int rows = monitor_.Table_Exchanges->model()->rowCount();
    return rows > 0 && Time(rows - 1) == NewestTime();
  }

  std::chrono::system_clock::time_point now_ = std::chrono::system_clock::from_time_t(1'796'000'000);
  ExchangeRecord record_{[this] { return now_; }};
  TFormLineMonitor monitor_{record_};
  int made_ = 0;
};

TEST_F(LineMonitorTest, KeepsTheReadersPlaceWhileExchangesCome) {
  Exchanges(1000);
  monitor_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&monitor_));
  QTableView* table = monitor_.Table_Exchanges;
  ASSERT_EQ(table->model()->rowCount(), 1000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowAt(table->viewport()->height() - 2) == 999; },
                              testing_support::kPatienceMs))
      << "shown from its newest row";

  // Scrolled up to read, a row clicked.
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
  for (int i = 0; i < 15; ++i) QTest::keyClick(table, Qt::Key_PageDown);
  const int clicked = table->rowAt(table->viewport()->height() / 2);
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    table->visualRect(table->model()->index(clicked, 1)).center());
  const QString top = TopShown(), selected = Time(clicked);
  ASSERT_GT(table->rowAt(0), 60);

  Exchanges(50);  // the fifty oldest go
  ASSERT_TRUE(QTest::qWaitFor([&] { return UpToDate(); }, testing_support::kPatienceMs));
  EXPECT_EQ(table->model()->rowCount(), 1000);
  EXPECT_EQ(TopShown(), top) << "the place read stays";
  const QModelIndexList chosen = table->selectionModel()->selectedRows();
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_EQ(Time(chosen[0].row()), selected) << "the row selected stays selected";

  // Back at the bottom, the newest is followed again.
  QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
  Exchanges(30);
  ASSERT_TRUE(QTest::qWaitFor([&] { return UpToDate(); }, testing_support::kPatienceMs));
  EXPECT_EQ(table->rowAt(table->viewport()->height() - 2), 999);

  // The failures only: the same, each kept row a failure.
  QTest::mouseClick(monitor_.CheckBox_FailuresOnly, Qt::LeftButton, {}, QPoint(5, 5));
  const int failures = table->model()->rowCount();
  Exchanges(14);  // two failures come, two go
  const QString lastFailure = QString::fromStdString(ClockText(record_.Entries()[998].sent));
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Time(failures - 1) == lastFailure; }, testing_support::kPatienceMs));
  EXPECT_EQ(table->model()->rowCount(), failures);
}

TEST_F(LineMonitorTest, AnAnswerTheColumnCutsIsWholeInItsToolTip) {
  Exchanges(2);  // the first without an answer, the second with 21 bytes
  monitor_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&monitor_));
  QTableView* table = monitor_.Table_Exchanges;
  const auto hover = [&](int row) {
    const QPoint at = table->visualRect(table->model()->index(row, 2)).center();
    QHelpEvent event(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table->viewport(), &event);
  };
  hover(0);
  EXPECT_FALSE(QToolTip::isVisible()) << "\"-\" fits";
  hover(1);
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text().toStdString(), HexBytes(record_.Entries()[1].answer));
  QToolTip::hideText();
}

}  // namespace
