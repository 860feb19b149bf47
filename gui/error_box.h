// SPDX-License-Identifier: GPL-3.0-or-later
// The error box for an exception that reached an event handler or the top level: the exception's
// message for a standard exception, an empty one for any other kind. The program goes on.
#pragma once

#include <exception>
#include <utility>

void ShowException(std::exception_ptr error);

// Runs handler; an exception of any kind goes to the error box.
template <class Handler>
void Guarded(Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    ShowException(std::current_exception());
  }
}
