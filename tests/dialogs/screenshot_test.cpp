// Renders both dialogs with a commissioned channel's values into the build folder. On Xvfb:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb build/tests/dialogs/dialogs_tests --gtest_filter='Screenshot*'
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "tests/dialogs/dialog_support.h"

namespace {

TEST(Screenshot, ChanelDialogAndCalculator) {
  ClearSettings(ModuleSettings);
  TChanSet& c = ModuleSettings.ChanSet[1];
  c = {1,          9,      20,     3,      0x52,  4.5F,  12.0F, 18.25F, 0.0F, 0.25F,
       0.0048828F, -25.0F, 0.125F, 800.0F, 32.0F, 20.0F, 60,    980,    4};
  dialogs_test::Dialogs dialogs([] { return true; });
  TCalcValues& v = Form_Calc->Values;
  v = {20,
       0,
       100,
       4,
       20,
       {4000, 4096, 0, 0},
       {800, 800, 0, 0},
       {4000, 4000, 0, 0},
       {650, 655, 0, 0},
       {3270, 3275, 0, 0}};
  FormSetChanel->TabControl1->setCurrentIndex(1);
  FormSetChanel->Set_pwm_enabled(true);
  for (QWidget* dialog : std::initializer_list<QWidget*>{FormSetChanel, Form_Calc}) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  }
  EXPECT_TRUE(FormSetChanel->grab().save(QString(VEXA_SHOT_DIR) + "/chanel_dialog.png"));
  EXPECT_TRUE(Form_Calc->grab().save(QString(VEXA_SHOT_DIR) + "/calc_dialog.png"));
  // Nothing clipped: every caption and shown text fits its control.
  for (QWidget* dialog : std::initializer_list<QWidget*>{FormSetChanel, Form_Calc}) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
      const auto fits = [&](const QString& text, int margin) {
        return w->fontMetrics().horizontalAdvance(text) + margin <= w->width();
      };
      if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !label->wordWrap()) {
        EXPECT_TRUE(fits(label->text(), 0)) << label->text().toStdString();
      } else if (auto* button = qobject_cast<QAbstractButton*>(w); button != nullptr) {
        EXPECT_TRUE(fits(button->text(), 8)) << button->text().toStdString();
      } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit != nullptr) {
        EXPECT_TRUE(fits(edit->text(), 6)) << edit->objectName().toStdString();
      }
    }
  }
}

}  // namespace
