// SPDX-License-Identifier: GPL-3.0-or-later
// "Сравнить с модулем": the fields where the window's settings and the module's differ, in the
// dialogs' words, saved as text for a commissioning record or taken into the window.
#pragma once

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "app/field_words.h"
#include "gui/file_dialog.h"
#include "settings/module_settings.h"

// What a comparison is of: the two records and where they came from.
struct Comparison {
  TModuleSettings window{}, module{};
  // The record as last read, written, saved or loaded: a field that differs from it was edited.
  TModuleSettings kept{};
  QString source;  // the file the window's settings came from, else how they came
  QString time, port, moduleText;
};

// The rows of a comparison: those of ShownDifferences, the window first, with each field's source.
struct ComparisonRow {
  ShownDifference difference;
  QString source;  // the file, or "изменено"
};
std::vector<ComparisonRow> ComparisonRows(const Comparison& comparison);
// The comparison as text, as "Сохранить" writes it.
std::string ComparisonText(const Comparison& comparison, const std::vector<ComparisonRow>& rows);

class TFormCompare : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(TFormCompare)

 public:
  // take: the module's values into the window, after the question.
  explicit TFormCompare(std::function<void(const TModuleSettings&)> take);
  void Show(const Comparison& comparison);
  const std::vector<ComparisonRow>& Rows() const { return rows_; }

  QLabel* Label_Heading;
  QTableWidget* Table_Differences;
  QPushButton *Button_Save, *Button_Take, *Button_Close;
  TFileDialog SaveDialog{FileDialogKind::Save, QCoreApplication::translate("Messages", kTextFileFilter)};

 private:
  void Save();
  void Take();

  std::function<void(const TModuleSettings&)> take_;
  Comparison comparison_;
  std::vector<ComparisonRow> rows_;
};

inline constexpr const char* kCompareSame =
    QT_TRANSLATE_NOOP("Messages", "Настройки окна совпадают с настройками модуля %1.");
inline constexpr const char* kTakeQuestion =
    QT_TRANSLATE_NOOP("Messages",
                      "Изменения, не загруженные в модуль и не сохраненные в файл, будут потеряны. Заменить "
                      "настройки окна значениями модуля?");
inline constexpr const char* kReadsDisagree =
    QT_TRANSLATE_NOOP("Messages",
                      "Настройки модуля прочитаны трижды по-разному (линия искажает байты?). Сравнение не "
                      "выполнено.");
