// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/forms.h"

#include "app/vexa_main_v1.h"

TFormMain* FormMain = nullptr;

void CreateForms() {
  FormMain = new TFormMain;
  FormSetChanel =
      new TFormSetChanel(FormMain->Engine(), [] { return FormMain->MenuExec_Block->isChecked(); });
  FormInterf = new TFormInterf;
  FormLogic = new TFormLogic;
  Form_Led_tenu = new TForm_Led_tenu;
  Form_Calc = new TForm_Calc;
}

void DestroyForms() {
  delete Form_Calc;
  delete Form_Led_tenu;
  delete FormLogic;
  delete FormInterf;
  delete FormSetChanel;
  delete FormMain;
  FormMain = nullptr;
  FormSetChanel = nullptr;
  FormInterf = nullptr;
  FormLogic = nullptr;
  Form_Led_tenu = nullptr;
  Form_Calc = nullptr;
}
