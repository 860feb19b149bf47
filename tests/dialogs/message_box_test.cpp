// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <stdexcept>

#include "gui/error_box.h"
#include "gui/message_box.h"

namespace {

TEST(MessageBox, IconFitsTheCaption) {
  struct Case {
    const char* caption;
    BoxButtons buttons;
    BoxIcon icon;
  };
  const Case cases[] = {
      {"Сообщение", BoxButtons::Ok, BoxIcon::Information},
      {"Результаты", BoxButtons::Ok, BoxIcon::Information},
      {"Внимание!", BoxButtons::YesNo, BoxIcon::Question},
      {"Внимание!", BoxButtons::Ok, BoxIcon::Warning},
      {"Ошибка связи", BoxButtons::Ok, BoxIcon::Error},
      {"Ошибка!", BoxButtons::Ok, BoxIcon::Error},
  };
  for (const Case& c : cases) EXPECT_EQ(IconFor(c.caption, c.buttons), c.icon) << c.caption;
}

TEST(ErrorBox, ShowsAnExceptionOfAnyKind) {
  ScriptedMessageBoxes boxes;
  SetMessageBoxService(&boxes);
  Guarded([] { throw std::runtime_error("Port COM3 not found"); });
  Guarded([] { throw 42; });
  Guarded([] {});
  SetMessageBoxService(nullptr);
  ASSERT_EQ(boxes.shown.size(), 2U);
  EXPECT_EQ(boxes.shown[0].text, "Port COM3 not found");
  EXPECT_EQ(boxes.shown[1].text, "") << "any other kind: the box with an empty message";
}

}  // namespace
