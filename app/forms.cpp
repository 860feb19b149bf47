#include "app/forms.h"

#include "app/vexa_main_v1.h"

TFormMain* FormMain = nullptr;
TFormSetChanel* FormSetChanel = nullptr;
TFormInterf* FormInterf = nullptr;
TFormLogic* FormLogic = nullptr;
TForm_Led_tenu* Form_Led_tenu = nullptr;
TForm_Calc* Form_Calc = nullptr;

TSettingsDialog::TSettingsDialog(const QString& caption) : QWidget(nullptr, Qt::Window) {
  setWindowTitle(caption);
  resize(420, 300);
}

TFormSetChanel::TFormSetChanel() : TSettingsDialog("Настройка каналов измерения VEXA") {}
TFormInterf::TFormInterf() : TSettingsDialog("Настройка интерфейсов модуля VEXA") {}
TFormLogic::TFormLogic() : TSettingsDialog("Настройка логической сигнализации модуля VEXA") {}
TForm_Led_tenu::TForm_Led_tenu() : TSettingsDialog("Управление светодиодами варианта 'Tenu'") {}
TForm_Calc::TForm_Calc() : TSettingsDialog("Расчет коэффициентов") {}

void CreateForms() {
  FormMain = new TFormMain;
  FormSetChanel = new TFormSetChanel;
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
