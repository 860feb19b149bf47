// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the program's icon at the sizes desktop menus use, drawn from the window's picture of the
// module: make_icons DIR NAME writes DIR/<n>x<n>/apps/NAME.png.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "gui/module_picture.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icons DIR NAME\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString dir = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
    if (!QDir().mkpath(dir) || !ModuleIcon(size).save(QString("%1/%2.png").arg(dir, argv[2]))) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
