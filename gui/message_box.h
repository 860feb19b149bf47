// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes and the error box, as one replaceable service: the program's boxes have no owner
// window, a caption and OK or Yes/No; tests put a scripted responder in its place.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "translations/language.h"

enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// The icon a box shows, from its caption and buttons: a question for Yes/No, an error for the link
// and file errors, a warning for "Внимание!", information for notices and results.
enum class BoxIcon { Information, Question, Warning, Error };
BoxIcon IconFor(std::string_view caption, BoxButtons buttons);

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Runs a nested event loop while shown; returns the answer. Text and caption are shown in the
  // window's language; the icon follows the caption as the program states it.
  BoxAnswer Show(std::string_view text, std::string_view caption, BoxButtons buttons) {
    return Present(TranslatedMessage(text), TranslatedMessage(caption), IconFor(caption, buttons), buttons);
  }
  // The framework's error box for an exception that reached an event handler.
  void ShowError(std::string_view text) { PresentError(TranslatedMessage(text)); }

 protected:
  virtual BoxAnswer Present(std::string_view text, std::string_view caption, BoxIcon icon,
                            BoxButtons buttons) = 0;
  virtual void PresentError(std::string_view text) = 0;
};

MessageBoxService& MessageBoxes();
// Tests: replace the service (nullptr restores the real one).
void SetMessageBoxService(MessageBoxService* service);

// For tests: answers from a script and records every box shown.
class ScriptedMessageBoxes : public MessageBoxService {
 public:
  struct Shown {
    std::string text, caption;
    BoxButtons buttons;
    BoxIcon icon = BoxIcon::Error;
  };
  std::vector<Shown> shown;
  std::vector<BoxAnswer> answers;    // taken in order for Yes/No boxes
  std::function<void()> whileShown;  // runs inside the next box, as its nested loop would

 protected:
  BoxAnswer Present(std::string_view text, std::string_view caption, BoxIcon icon,
                    BoxButtons buttons) override;
  void PresentError(std::string_view text) override {
    shown.push_back({std::string(text), "error", BoxButtons::Ok, BoxIcon::Error});
  }
};
