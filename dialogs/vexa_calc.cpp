// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vexa_calc.h"
#include "dialogs/dialog_layout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/vexa_chanel_setup.h"
#include "gui/message_box.h"
#include "settings/c_format.h"

TForm_Calc* Form_Calc = nullptr;

namespace {

// Names of the per-channel point edits by row; the channel number follows ("MaskEdit_Vfix_N_3").
constexpr const char* kPointRowNames[kCalcPointRows] = {
    "MaskEdit_Const_", "MaskEdit_Vfix_N_", "MaskEdit_Vfix_V_", "MaskEdit_Pout_N_", "MaskEdit_Pout_V_"};
constexpr int kEditWidth = 62;

QLabel* Heading(const QString& text, bool bold = false) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  QFont font = label->font();
  font.setBold(bold);
  label->setFont(font);
  return label;
}

std::uint32_t Validity(bool valid) { return valid ? kValidColor : kInvalidColor; }

}  // namespace

TForm_Calc::TForm_Calc() : TSettingsDialog(tr("Расчет коэффициентов"), "Form_Calc") {
  QFont arial("Arial");
  arial.setPixelSize(12);
  setFont(arial);
  BuildLayout();
  flags_ = CalcValidity(Values);  // a computation before the first fill must not divide by zero
  const auto changed = [this] { Data_change(); };
  for (TEdit* edit : {Edit_const, Edit_Vrms_N, Edit_Vrms_V, Edit_Out_N, Edit_Out_V}) {
    OnChange(edit, changed);
    connect(edit, &QLineEdit::returnPressed, this, [this] { key_enter_test('\r'); });
  }
  for (TMaskEdit* edit : MaskEdit_tab) {
    OnChange(edit, changed);
    connect(edit, &QLineEdit::returnPressed, this, [this] { key_enter_test('\r'); });
  }
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(Button_Enter, &QPushButton::clicked, this, [this] { Button_EnterClick(); });
  connect(Button_Esc, &QPushButton::clicked, this, [this] { Button_EscClick(); });
  SetButtons(Button_Enter, Button_Esc);
  Button_Enter->setEnabled(false);
  Button_Esc->setEnabled(false);
}

void TForm_Calc::BuildLayout() {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  constexpr int kRefColumn = 0, kFirstChanel = 2;
  grid->setColumnMinimumWidth(1, 12);  // between the reference values and the channels
  auto* rangeHeading = Heading(tr("Диапазон (значение)           параметра"));
  rangeHeading->setFixedWidth(kEditWidth + 40);
  grid->addWidget(rangeHeading, 0, kRefColumn, 2, 1, Qt::AlignBottom | Qt::AlignHCenter);
  grid->addWidget(Heading(tr("Значения АЦП x 4")), 0, kFirstChanel, 1, 4);
  for (int c = 0; c < 4; ++c) grid->addWidget(Heading(tr("Канал %1").arg(c + 1), true), 1, kFirstChanel + c);

  const auto edit = [](const char* name) {
    auto* e = new TEdit;
    e->setObjectName(name);
    e->setFixedWidth(kEditWidth);
    e->setAlignment(Qt::AlignRight);
    return e;
  };
  Edit_const = edit("Edit_const");
  Edit_Vrms_N = edit("Edit_Vrms_N");
  Edit_Vrms_V = edit("Edit_Vrms_V");
  Edit_Out_N = edit("Edit_Out_N");
  Edit_Out_V = edit("Edit_Out_V");
  for (int row = 0; row < kCalcPointRows; ++row) {
    for (int c = 0; c < 4; ++c) {
      auto* e = new TMaskEdit("99999;1; ");
      e->setObjectName(QString(kPointRowNames[row]) + QString::number(c + 1));
      e->setFixedWidth(kEditWidth);
      MaskEdit_tab[4 * row + c] = e;
    }
  }

  // Three rows: a caption over the reference edits of the row and the row's points per channel.
  struct Row {
    const char* caption;
    const char* columns;  // heading over the channel columns, when it changes
    std::vector<TEdit*> references;
    std::vector<int> pointRows;
  };
  const Row rows[] = {
      {QT_TR_NOOP("Расчет тока (напряжения) датчика (coeff_curr_b)"), nullptr, {Edit_const}, {0}},
      {QT_TR_NOOP("Расчет значения параметра (coeff_data_a, coeff_data_b)"),
       nullptr,
       {Edit_Vrms_N, Edit_Vrms_V},
       {1, 2}},
      {QT_TR_NOOP("Расчет коэфф. аналоговых выходов (coeff_out_a, coeff_out_b)"),
       QT_TR_NOOP("Значения ЦАП"),
       {Edit_Out_N, Edit_Out_V},
       {3, 4}},
  };
  int line = 2;
  for (const Row& row : rows) {
    auto* caption = new QLabel(tr(row.caption));
    QFont font = caption->font();
    font.setBold(true);
    caption->setFont(font);
    grid->addWidget(caption, line++, 0, 1, kFirstChanel + 4);
    if (row.columns != nullptr) grid->addWidget(Heading(tr(row.columns)), line++, kFirstChanel, 1, 4);
    for (std::size_t k = 0; k < row.pointRows.size(); ++k, ++line) {
      grid->addWidget(row.references[k], line, kRefColumn, Qt::AlignHCenter);
      for (int c = 0; c < 4; ++c)
        grid->addWidget(MaskEdit_tab[4 * row.pointRows[k] + c], line, kFirstChanel + c);
    }
    grid->setRowMinimumHeight(line++, 6);
  }
  QPushButton** const calcButtons[] = {&Button1, &Button2, &Button3, &Button4};
  for (int c = 0; c < 4; ++c) {
    auto* button = new QPushButton(tr("Вычислить"));
    button->setObjectName(QString("Button%1").arg(c + 1));
    grid->addWidget(button, line, kFirstChanel + c, Qt::AlignHCenter);
    *calcButtons[c] = button;
  }

  Button5 = new QPushButton(tr("Сброс"));
  Button5->setObjectName("Button5");
  Button_Enter = new QPushButton(tr("Принять"));
  Button_Enter->setObjectName("Button_Enter");
  Button_Esc = new QPushButton(tr("Отменить"));
  Button_Esc->setObjectName("Button_Esc");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button5);
  buttons->addStretch(1);
  buttons->addWidget(Button_Enter);
  buttons->addWidget(Button_Esc);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addLayout(grid);
  layout->addSpacing(10);
  layout->addLayout(buttons);
}

void TForm_Calc::FillControls() {
  flags_ = CalcValidity(Values);
  const auto reference = [](TEdit* edit, float value, bool valid) {
    edit->SetText(CFormat("%6.2f", double{value}));
    edit->SetColor(Validity(valid));
  };
  reference(Edit_const, Values.const_, flags_.current);
  reference(Edit_Vrms_N, Values.Vrms_N, flags_.parameter);
  reference(Edit_Vrms_V, Values.Vrms_V, flags_.parameter);
  reference(Edit_Out_N, Values.Out_N, flags_.output);
  reference(Edit_Out_V, Values.Out_V, flags_.output);
  for (int c = 0; c < 4; ++c) {
    const bool valid[kCalcPointRows] = {flags_.currentCh[c], flags_.parameterCh[c], flags_.parameterCh[c],
                                        flags_.outputCh[c], flags_.outputCh[c]};
    for (int row = 0; row < kCalcPointRows; ++row) {
      TMaskEdit* edit = MaskEdit_tab[4 * row + c];
      edit->SetText(CFormat("%5u", unsigned{CalcPoint(Values, row, c)}));
      edit->SetColor(Validity(valid[row]));
    }
  }
}

void TForm_Calc::StoreControls() {
  CalcEntry entry{Edit_const->EnteredText(), Edit_Vrms_N->EnteredText(), Edit_Vrms_V->EnteredText(),
                  Edit_Out_N->EnteredText(), Edit_Out_V->EnteredText(),  {}};
  for (std::size_t i = 0; i < MaskEdit_tab.size(); ++i) entry.point[i] = MaskEdit_tab[i]->EnteredText();
  AcceptCalc(Values, entry);
}

void TForm_Calc::Calc_chanel(int c) {
  bool computed = false;
  const std::string report = CalcCoefficients(Values, flags_, c, ModuleSettings.ChanSet[c], computed);
  if (computed && FormSetChanel != nullptr) FormSetChanel->Out_chanel_form();
  MessageBoxes().Show(report, kResultsCaption, BoxButtons::Ok);
}

void TForm_Calc::Button5Click() {
  Values = {};
  Out_calc_form();
}
