// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/help_windows.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextBlock>
#include <QUrl>

#include "gui/message_box.h"
#include "translations/language.h"
#include "vexa_version.h"

QString FindGuide() {
  const QString programs = QCoreApplication::applicationDirPath();
  // The edition in the window's language, its pictures beside it.
  const QString name = CurrentLanguage() == UiLanguage::English ? "guide.en.md" : "guide.md";
  // Installed (Linux, Windows), then a build tree's copy for its programs and its tests.
  const QString places[] = {
      programs + "/../share/vexa-setup/" + name,
      programs + "/docs/" + name,
      programs + "/../docs/" + name,
      programs + "/../../docs/" + name,
  };
  for (const QString& place : places)
    if (QFileInfo(place).isFile()) return QDir::cleanPath(QFileInfo(place).absoluteFilePath());
  return {};
}

TFormGuide::TFormGuide(QWidget* parent) : QTextBrowser(parent) {
  setWindowFlag(Qt::Window);
  setObjectName("FormGuide");
  setWindowTitle(tr("Правила работы"));
  // Qt's Markdown gives headings no anchors: the contents' links are followed here.
  setOpenLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.hasFragment() && (url.isRelative() || url.isLocalFile())) {
      ShowHeading(url.fragment(QUrl::FullyDecoded));
    } else {
      QDesktopServices::openUrl(url);
    }
  });
  resize(860, 680);
}

QString HeadingSlug(const QString& heading) {
  QString slug;
  for (const QChar c : heading.toLower()) {
    if (c.isLetterOrNumber() || c == '_' || c == '-') {
      slug += c;
    } else if (c == ' ') {
      slug += '-';
    }
  }
  return slug;
}

bool TFormGuide::ShowHeading(const QString& slug) {
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0 || HeadingSlug(block.text()) != slug) continue;
    // The heading at the top of the view, not merely somewhere in it.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    QTextCursor at(block);
    setTextCursor(at);
    ensureCursorVisible();
    return true;
  }
  return false;
}

bool TFormGuide::Load() {
  const QString guide = FindGuide();
  if (guide.isEmpty()) {
    MessageBoxes().Show(QCoreApplication::translate("Messages",
                                                    "Руководство пользователя (%1) не найдено ни рядом с "
                                                    "программой, ни в ее папке документации.")
                            .arg(CurrentLanguage() == UiLanguage::English ? "guide.en.md" : "guide.md")
                            .toStdString(),
                        QT_TRANSLATE_NOOP("Messages", "Правила работы"), BoxButtons::Ok);
    return false;
  }
  // The pictures are found beside the guide; links within it move through its headings.
  setSource(QUrl::fromLocalFile(guide), QTextDocument::MarkdownResource);
  return true;
}

QString AboutText() {
  const QString guide = FindGuide();
  return QCoreApplication::translate(
             "Messages",
             "Настройка модуля VEXA (vexa_setup), версия %1\n"
             "Qt %2\n\n"
             "© 2026 разработчики vexa_setup.\n"
             "Свободная программа: GNU GPL версии 3 или более поздней (GPL-3.0-or-later), "
             "без каких-либо гарантий.\n\n"
             "Руководство пользователя: %3")
      .arg(VEXA_VERSION, qVersion(),
           guide.isEmpty() ? QCoreApplication::translate("Messages", "не найдено")
                           : QDir::toNativeSeparators(guide));
}
