// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QToolButton>

#include "gui/text_edit.h"
#include "gui/up_down.h"
#include "settings/text_number.h"
#include "tests/dialogs/dialog_support.h"

namespace {

using dialogs_test::Type;

TEST(MaskEdit, TypesAsAPersonDoes) {
  struct Case {
    const char* mask;
    const char* shown;
    const char* keys;
    const char* want;
  };
  const Case cases[] = {
      {"9999;1;0", "1234", "<home>42", "4234"},  // overwrite, no selection needed
      {"9999;1;0", "1234", "<all>42", "42  "},
      {"9999;1;0", "1234", "<end>5", "1234"},  // a full field takes no more at its end
      {"9999;1;0", "1234", "<end><bs><bs>", "12  "},
      {"9999;1;0", "1234", "<home><del>", " 234"},
      {"9999;1;0", "  12", "<all>-7a+", "7   "},  // no sign, no letters
      {"99.9;1;0", "10.0", "<home>35.4", "35.4"},
      {"99.9;1;0", "10.0", "<home>359", "35.9"},  // the point is stepped over
      {"99.9;1;0", "10.0", "<all>1.5", " 1.5"},
      {"99.9;1;0", "10.0", "<all>0,4", " 0.4"},
      {"99.9;1;0", "10.0", "<all>.5", "  .5"},
      {"99.9;1;0", "10.0", "<end><bs><bs>", "1 . "},
      {"99.9;1;0", "10.0", "<home>3.", "30.0"},  // digits after the cursor are kept
      {"99999;1; ", "    0", "<all>65535", "65535"},
      {"99;1;0", "26", "<home>42", "42"},
  };
  for (const Case& c : cases) {
    TMaskEdit edit(c.mask);
    edit.SetText(c.shown);
    Type(&edit, c.keys);
    EXPECT_EQ(edit.Text(), c.want) << c.mask << " " << c.shown << " " << c.keys;
  }
}

TEST(MaskEdit, TextReadsAsTheConversionExpectsAndRemembersWhatWasShown) {
  TMaskEdit time("99.9;1;0");
  EXPECT_EQ(time.Text(), "  . ");
  EXPECT_EQ(TextToNumber(time.Text(), 4), 0.0);
  time.SetText("10.0");
  EXPECT_FALSE(time.EnteredText().has_value());
  Type(&time, "<all>1.5");
  EXPECT_EQ(TextToNumber(time.Text(), 4), 1.5);
  EXPECT_EQ(time.EnteredText(), " 1.5");
  Type(&time, "<all>10.0");
  EXPECT_FALSE(time.EnteredText().has_value()) << "typed back as shown: untouched";

  TMaskEdit number("9999;1;0");
  number.SetText("65535");  // wider than the mask: cut to its positions
  EXPECT_EQ(number.Text(), "6553");
  QApplication::clipboard()->setText("4x2");
  Type(&number, "<all>");
  QTest::keyClick(&number, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(number.Text(), "42  ");
  number.setText("abc9");  // a route around the keys still ends in the mask
  EXPECT_EQ(number.Text(), "   9");
}

TEST(MaskEdit, PlainEditLimitsTypingAndCutsOnlyASelection) {
  TEdit edit;
  edit.SetMaxLength(5);
  edit.SetText("12.345678");  // the program may show more than a person may type
  Type(&edit, "<end>9");
  EXPECT_EQ(edit.Text(), "12.345678");
  Type(&edit, "<home>");
  QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(edit.Text(), "12.345678") << "nothing selected, nothing cut";
  Type(&edit, "<all>1234567");
  EXPECT_EQ(edit.Text(), "12345");
}

TEST(UpDown, StepsTheEditWithinItsRangeWithoutWrapping) {
  TMaskEdit edit("9999;1;0");
  TUpDown upDown(&edit, 0, 4095);
  int clicks = 0;
  upDown.OnClick = [&](TUpDown::Button) { ++clicks; };
  edit.SetText("4094");
  QTest::mouseClick(upDown.UpButton(), Qt::LeftButton);
  EXPECT_EQ(edit.Text(), "4095");
  QTest::mouseClick(upDown.UpButton(), Qt::LeftButton);
  EXPECT_EQ(edit.Text(), "4095");
  edit.SetText("   0");
  QTest::mouseClick(upDown.DownButton(), Qt::LeftButton);
  EXPECT_EQ(edit.Text(), "   0");
  QTest::keyClick(&edit, Qt::Key_Up);
  EXPECT_EQ(TextToNumber(edit.Text(), 4), 1);
  EXPECT_EQ(clicks, 4);
  EXPECT_TRUE(edit.EnteredText().has_value()) << "a step is the user's entry";

  // Held down, the arrow repeats; a box opened by the handler takes the release, and the repeat
  // must end with it instead of opening box after box.
  QWidget elsewhere;
  clicks = 0;
  upDown.OnClick = [&](TUpDown::Button) {
    if (++clicks > 1) return;
    QTest::qWait(500);  // the box's own event loop, while the arrow is still held
    QTest::mouseRelease(&elsewhere, Qt::LeftButton);
  };
  QTest::mousePress(upDown.DownButton(), Qt::LeftButton);
  QTest::qWait(700);  // the repeat delay and several periods
  EXPECT_EQ(clicks, 1);
}

}  // namespace
