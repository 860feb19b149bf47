// vexa_setup: the desktop tool. Creates its six forms in order and runs the message loop; an
// exception that reaches an event handler is shown in the error box and the program goes on.
#include <QApplication>
#include <QLocale>

#include <clocale>
#include <exception>

#include "app/forms.h"
#include "app/vexa_main_v1.h"
#include "comm/Sioclasses.h"
#include "gui/error_box.h"

namespace {

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
  }
};

}  // namespace

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  app.setApplicationName("vexa_setup");
  // Numbers print with a point whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
  SetSioApplicationErrorHandler(ShowException);
  int code = 0;
  Guarded([&] {
    CreateForms();
    FormMain->show();
    code = app.exec();
  });
  DestroyForms();
  return code;
}
