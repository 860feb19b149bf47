// SPDX-License-Identifier: GPL-3.0-or-later
// The diagram's redraw on a full day, timed without the benchmark library so that the same program
// runs on Windows (under Wine here) as on Linux: the median of a second's redraws at two window
// widths, thinned only and thinned then painted. One line per case, the same on both systems.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/diagram_day.h"
#include "tests/support/offscreen_fonts.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing_support::NameOffscreenFontFolder();
  QApplication app(argc, argv);
  testing_support::UseOffscreenFonts();
  DiagramDay& day = TheDay();
  for (const int width : {900, 1920}) {
    for (const bool paint : {false, true}) {
      TFormDiagram diagram(day.history, day.settings);
      PrepareForRedraws(diagram, width);
      if (!QTest::qWaitForWindowExposed(&diagram)) {
        std::fprintf(stderr, "bench_diagram_redraw: the diagram was not shown\n");
        return 1;
      }
      std::vector<double> ms;
      QElapsedTimer total;
      total.start();
      for (std::int64_t step = 0; total.elapsed() < 1000 || ms.size() < 5; ++step) {
        QElapsedTimer one;
        one.start();
        RedrawStep(diagram, step, paint);
        ms.push_back(static_cast<double>(one.nsecsElapsed()) / 1e6);
      }
      std::nth_element(ms.begin(), ms.begin() + static_cast<std::ptrdiff_t>(ms.size() / 2), ms.end());
      std::printf("diagram redraw, full day on the 60-minute span, %d px%s: median %.2f ms of %zu\n", width,
                  paint ? ", painted" : "", ms[ms.size() / 2], ms.size());
    }
  }
  return 0;
}
