// The program's six forms, created once in a fixed order and kept for the whole run.
#pragma once

#include "dialogs/settings_dialog.h"
#include "dialogs/vexa_calc.h"
#include "dialogs/vexa_chanel_setup.h"

class TFormMain;

// The settings dialogs still to be built: hidden forms with their captions and the fill step the
// window calls.
class TPlainSettingsDialog : public TSettingsDialog {
 public:
  TPlainSettingsDialog(const QString& caption, const QString& name);
  void Out_data_form() { Fill(); }

 protected:
  void FillControls() override {}
  void StoreControls() override {}
  void OnShow() override { Out_data_form(); }
  void OnClose() override { Accept(true); }
};

class TFormInterf : public TPlainSettingsDialog {
 public:
  TFormInterf();
};
class TFormLogic : public TPlainSettingsDialog {
 public:
  TFormLogic();
};
class TForm_Led_tenu : public TPlainSettingsDialog {
 public:
  TForm_Led_tenu();
};

extern TFormMain* FormMain;
extern TFormInterf* FormInterf;
extern TFormLogic* FormLogic;
extern TForm_Led_tenu* Form_Led_tenu;

// Creates the six forms in their order; the main window first. Tests call it too.
void CreateForms();
// Frees them in reverse order (at exit, and between tests).
void DestroyForms();
