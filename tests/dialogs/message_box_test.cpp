#include <gtest/gtest.h>

#include "gui/message_box.h"

namespace {

TEST(MessageBox, IconFitsTheCaption) {
  struct Case {
    const char* caption;
    BoxButtons buttons;
    BoxIcon icon;
  };
  const Case cases[] = {
      {"Сообщение", BoxButtons::Ok, BoxIcon::Information},  {"Результаты", BoxButtons::Ok, BoxIcon::Information},
      {"Внимание!", BoxButtons::YesNo, BoxIcon::Question},  {"Внимание!", BoxButtons::Ok, BoxIcon::Warning},
      {"Ошибка связи", BoxButtons::Ok, BoxIcon::Error},     {"Ошибка!", BoxButtons::Ok, BoxIcon::Error},
  };
  for (const Case& c : cases) EXPECT_EQ(IconFor(c.caption, c.buttons), c.icon) << c.caption;
}

}  // namespace
