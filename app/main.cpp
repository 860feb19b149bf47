// SPDX-License-Identifier: GPL-3.0-or-later
// vexa_setup: the desktop tool. Creates its six forms in order and runs the message loop; an
// exception that reaches an event handler is shown in the error box and the program goes on.
#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>

#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#endif

#include "app/forms.h"
#include "app/vexa_main_v1.h"
#include "gui/error_box.h"
#include "platform/kernel.h"
#include "settings/file_io.h"
#include "translations/language.h"
#include "vexa_version.h"

namespace {

const char* const kHelp =
    R"(usage: vexa_setup [--help] [--version] [--lang ru|en] [Qt options such as -platform NAME] [FILE.vxa]
Sets up and services a VEXA four-channel measurement module through an Ixor serial adapter. The
window shows the module's live state. The program reads the module's settings, lets you edit them
in five dialogs, writes them to the module and stores them in its non-volatile memory. Settings are
kept in .vxa files and printed as text reports (.txt); a calculator works out the channels' coefficients.

)"
#ifdef Q_OS_WIN
    R"(Choose the adapter in the window's menu "Connection -> COM port" ("Соединение -> Выбор COM
порта" in Russian): COM1 to COM4, and the other COM ports Windows knows, listed with their devices
in brackets. Then "Connection -> Connect" ("Соединить").
)"
#else
    R"(Choose the adapter in the window's menu "Connection -> COM port" ("Соединение -> Выбор COM
порта" in Russian): COM1 to COM4 are /dev/ttyS0 to /dev/ttyS3, USB adapters are listed with their
stable names in brackets, and "VEXA module simulator" ("Имитатор модуля VEXA") is a built-in
simulated module for training. Then "Connection -> Connect" ("Соединить"). The port's device must
be readable and writable for the user (on Debian: membership of the group dialout).
)"
#endif
    R"(
  FILE.vxa     a settings file to open at start, as "File -> Open…" ("Файл -> Открыть") would
  --lang ru|en the window's language: Russian or English (without it, the one chosen in
               "View -> Язык / Language", else Russian for a Russian system locale, else English)
  --help       this text
  --version    the program's version
)";

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
  }
};

#ifdef Q_OS_UNIX
int gSignalPipe[2] = {-1, -1};

// SIGTERM and SIGINT (a session ending, Ctrl-C in the terminal) close the window as its close box
// does, so that the port is released and nothing is lost without the usual question.
void CloseOnSignals(QObject* context) {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
    char byte = 0;
    if (read(gSignalPipe[1], &byte, 1) == 1 && FormMain != nullptr) FormMain->close();
  });
  struct sigaction action {};
  action.sa_handler = [](int) {
    const char byte = 1;
    (void)!write(gSignalPipe[0], &byte, 1);
  };
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is needed.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      platform::OutputToParentConsole();
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--version") {
      platform::OutputToParentConsole();
      std::printf("vexa_setup %s\n%s", VEXA_VERSION, kLicenceNotice);
      return 0;
    }
  }
  TApplication app(argc, argv);
  app.setApplicationName("vexa_setup");
  // What Qt left of the arguments, as UTF-8 on every system: --lang and at most one settings file.
  QStringList files = QCoreApplication::arguments().mid(1);
  std::optional<UiLanguage> language;
  const auto refuse = [](const QString& why) {
    platform::OutputToParentConsole();
    std::fprintf(stderr, "vexa_setup: %s\n(vexa_setup --help lists the arguments)\n",
                 why.toStdString().c_str());
    return 2;
  };
  for (qsizetype i = 0; i < files.size();) {
    if (files[i] != "--lang" && !files[i].startsWith("--lang=")) {
      ++i;
      continue;
    }
    if (language) return refuse("--lang is given twice");
    const bool joined = files[i].startsWith("--lang=");
    const QString code = joined ? files[i].mid(7) : i + 1 < files.size() ? files[i + 1] : QString();
    language = LanguageFromCode(code);
    if (!language) return refuse("--lang takes ru or en");
    files.remove(i, joined ? 1 : 2);
  }
  for (const QString& arg : files) {
    if (arg.startsWith('-')) return refuse("unknown option " + arg);
    if (files.size() > 1) return refuse("one settings file at most");
  }
  if (!InstallLanguage(ChooseLanguage(language, RememberedLanguage(), QLocale::system())))
    std::fprintf(stderr, "vexa_setup: the translation could not be loaded; the window stays Russian\n");
  // Numbers print with a point whatever the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
  int code = 0;
  Guarded([&] {
    CreateForms();
#ifdef Q_OS_UNIX
    CloseOnSignals(&app);
#endif
    FormMain->show();
    // A file given (from a file manager, say) is opened once the window is there for its messages.
    if (!files.isEmpty()) FormMain->LoadSettingsFile(PathFromUtf8(files.front().toStdString()));
    code = app.exec();
  });
  DestroyForms();
  return code;
}
