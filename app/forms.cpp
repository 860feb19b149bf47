#include "app/forms.h"

#include "app/vexa_main_v1.h"

TFormMain* FormMain = nullptr;
TFormInterf* FormInterf = nullptr;
TFormLogic* FormLogic = nullptr;
TForm_Led_tenu* Form_Led_tenu = nullptr;

TPlainSettingsDialog::TPlainSettingsDialog(const QString& caption, const QString& name)
    : TSettingsDialog(caption, name) {
  resize(420, 300);
}

TFormInterf::TFormInterf() : TPlainSettingsDialog("Настройка интерфейсов модуля VEXA", "FormInterf") {}
TFormLogic::TFormLogic()
    : TPlainSettingsDialog("Настройка логической сигнализации модуля VEXA", "FormLogic") {}
TForm_Led_tenu::TForm_Led_tenu()
    : TPlainSettingsDialog("Управление светодиодами варианта 'Tenu'", "Form_Led_tenu") {}

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
