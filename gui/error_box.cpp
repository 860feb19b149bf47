// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/error_box.h"

#include "gui/message_box.h"

void ShowException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    MessageBoxes().ShowError(e.what());
  } catch (...) {
    MessageBoxes().ShowError("");
  }
}
