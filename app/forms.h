// The program's six forms, created once in a fixed order and kept for the whole run.
#pragma once

#include <QWidget>

class TFormMain;

// The settings dialogs as the main window needs them so far: real hidden top-level forms with their
// captions and the fill steps the window calls; their contents come with their own work.
class TSettingsDialog : public QWidget {
 public:
  explicit TSettingsDialog(const QString& caption);
  virtual void Out_data_form() {}
};

class TFormSetChanel : public TSettingsDialog {
 public:
  TFormSetChanel();
  void Out_chanel_form() {}
  // Enables the output-zero test controls together.
  void Set_pwm_enabled(bool enabled) { pwmEnabled_ = enabled; }
  bool PwmEnabled() const { return pwmEnabled_; }

 private:
  bool pwmEnabled_ = false;
};

class TFormInterf : public TSettingsDialog {
 public:
  TFormInterf();
};
class TFormLogic : public TSettingsDialog {
 public:
  TFormLogic();
};
class TForm_Led_tenu : public TSettingsDialog {
 public:
  TForm_Led_tenu();
};
class TForm_Calc : public TSettingsDialog {
 public:
  TForm_Calc();
  // The reference values the text report prints; zero until entered.
  float Vrms_N = 0, Vrms_V = 0, Out_N = 0, Out_V = 0;
};

extern TFormMain* FormMain;
extern TFormSetChanel* FormSetChanel;
extern TFormInterf* FormInterf;
extern TFormLogic* FormLogic;
extern TForm_Led_tenu* Form_Led_tenu;
extern TForm_Calc* Form_Calc;

// Creates the six forms in their order; the main window first. Tests call it too.
void CreateForms();
// Frees them in reverse order (at exit, and between tests).
void DestroyForms();
