// SPDX-License-Identifier: GPL-3.0-or-later
// "Помощь": the user's guide shown inside the program, and what the program is.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTextBrowser>

// The guide's file: installed beside the program (share/vexa-setup on Linux, docs\ in the Windows
// folder) or a build tree's copy in its docs/; empty when there is none.
QString FindGuide();

// The guide rendered from its Markdown, pictures and tables included.
class TFormGuide : public QTextBrowser {
  Q_DECLARE_TR_FUNCTIONS(TFormGuide)

 public:
  explicit TFormGuide(QWidget* parent = nullptr);
  // Loads the guide; false, with the reason in a message box, when there is none.
  bool Load();
  // Scrolls to the heading that a link of the guide's contents names ("#соединение-с-модулем":
  // the heading's text in lower case, blanks as hyphens, punctuation dropped); false without one.
  bool ShowHeading(const QString& slug);
};

// A heading's name in the guide's links.
QString HeadingSlug(const QString& heading);

// "О программе ...": name, version, Qt's version, the licence and where the guide is.
QString AboutText();
