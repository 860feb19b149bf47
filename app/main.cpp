// vexa_setup: the desktop tool. Creates its six forms in order and runs the message loop; an
// exception that reaches an event handler is shown in the error box and the program goes on.
#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <clocale>
#include <exception>

#include "app/forms.h"
#include "app/vexa_main_v1.h"
#include "comm/Sioclasses.h"
#include "gui/message_box.h"

namespace {

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      MessageBoxes().ShowError(e.what());
    } catch (...) {
      MessageBoxes().ShowError("");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  app.setApplicationName("vexa_setup");
  // Numbers print with a point whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
  SetSioApplicationErrorHandler([](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      MessageBoxes().ShowError(e.what());
    } catch (...) {
      MessageBoxes().ShowError("");
    }
  });
  int code = 0;
  try {
    CreateForms();
    FormMain->show();
    // For start-up measurements: quit as soon as the window has been shown.
    if (qEnvironmentVariableIsSet("VEXA_EXIT_WHEN_SHOWN")) QTimer::singleShot(0, &app, &QApplication::quit);
    code = app.exec();
  } catch (const std::exception& e) {
    MessageBoxes().ShowError(e.what());
  }
  DestroyForms();
  return code;
}
