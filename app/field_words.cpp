// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/field_words.h"

#include <array>

#include "dialogs/dialog_layout.h"
#include "settings/chanel_rules.h"
#include "settings/field_rules.h"
#include "settings/field_table.h"
#include "settings/system_rules.h"

using namespace settings_text;

namespace {

QString Tr(const char* context, const char* text) { return QCoreApplication::translate(context, text); }
QString Own(const char* text) { return Tr("FieldWords", text); }

// The dialogs' own texts, in their own translation contexts, so that both read alike.
constexpr const char* kChanelDialog = QT_TRANSLATE_NOOP("TFormSetChanel", "Настройка каналов измерения VEXA");
constexpr const char* kInterfDialog = QT_TRANSLATE_NOOP("TFormInterf", "Настройка интерфейсов модуля VEXA");
constexpr const char* kLogicDialog =
    QT_TRANSLATE_NOOP("TFormLogic", "Настройка логической сигнализации модуля VEXA");
constexpr const char* kLedDialog =
    QT_TRANSLATE_NOOP("TForm_Led_tenu", "Управление светодиодами варианта 'Tenu'");

// A control of a dialog: its slot, its group box and its label, in the dialog's translation context.
struct Label {
  int slot;
  const char* group;
  const char* label;
};
constexpr const char* kGeneral = QT_TRANSLATE_NOOP("TFormSetChanel", "Общие настройки");
constexpr const char* kSensor = QT_TRANSLATE_NOOP("TFormSetChanel", "Тест датчика");
constexpr const char* kParameter = QT_TRANSLATE_NOOP("TFormSetChanel", "Параметр измерения");
constexpr const char* kOutput = QT_TRANSLATE_NOOP("TFormSetChanel", "Аналоговый выход");
constexpr std::array<Label, 15> kChanelLabels = {{
    {kPointHist, kGeneral, QT_TRANSLATE_NOOP("TFormSetChanel", "Гистерезис по уставкам")},
    {kPointTime, kGeneral, QT_TRANSLATE_NOOP("TFormSetChanel", "Время реакции выхода за уставки")},
    {kAdcMin, kSensor, QT_TRANSLATE_NOOP("TFormSetChanel", "Мин. уровень АЦП")},
    {kAdcMax, kSensor, QT_TRANSLATE_NOOP("TFormSetChanel", "Макс. уровень АЦП")},
    {kAdcHist, kSensor, QT_TRANSLATE_NOOP("TFormSetChanel", "Гистер. АЦП ")},
    {kAdcTime, kSensor, QT_TRANSLATE_NOOP("TFormSetChanel", "Время реакции на выход датчика из строя")},
    {kParamCurr_B, kSensor, QT_TRANSLATE_NOOP("TFormSetChanel", "Коэфф. пересчета тока датчика")},
    {kParamCoff_A, kParameter, QT_TRANSLATE_NOOP("TFormSetChanel", "Коэффиц. А")},
    {kParamCoff_B, kParameter, QT_TRANSLATE_NOOP("TFormSetChanel", "Коэффиц. B")},
    {kOutCoff_A, kOutput, QT_TRANSLATE_NOOP("TFormSetChanel", "Коэффиц. А")},
    {kOutCoff_B, kOutput, QT_TRANSLATE_NOOP("TFormSetChanel", "Коэффиц. B")},
    {kOutCurrMax, kOutput, QT_TRANSLATE_NOOP("TFormSetChanel", "Максим. ток выхода, мА")},
    {kOutZero, kOutput, QT_TRANSLATE_NOOP("TFormSetChanel", "Смещение нуля")},
    {kFormatSlot, kGeneral, QT_TRANSLATE_NOOP("TFormSetChanel", "Формат отображения")},
    {kAproxSlot, kGeneral, QT_TRANSLATE_NOOP("TFormSetChanel", "Глубина буфера усреднения")},
}};

constexpr const char* kRs485 = QT_TRANSLATE_NOOP("TFormInterf", "Интерфейс RS485");
constexpr const char* kCan = QT_TRANSLATE_NOOP("TFormInterf", "Интерфейс CAN2.0B");
constexpr std::array<Label, 9> kInterfLabels = {{
    {kWrLock, kRs485, QT_TRANSLATE_NOOP("TFormInterf", "Разрешить изменение парам. модуля")},
    {kRs485En, kRs485, QT_TRANSLATE_NOOP("TFormInterf", "Включить интерфейс RS485")},
    {kRs485Speed, kRs485, QT_TRANSLATE_NOOP("TFormInterf", "Скорость обмена, бит/с")},
    {kRs485Adres, kRs485, QT_TRANSLATE_NOOP("TFormInterf", "Адрес модуля от 1 до 247")},
    {kCanEn, kCan, QT_TRANSLATE_NOOP("TFormInterf", "Включить интерфейс CAN2.0B")},
    {kPres, kCan, QT_TRANSLATE_NOOP("TFormInterf", "Передавать сообщ. присутствия")},
    {kCanSpeed, kCan, QT_TRANSLATE_NOOP("TFormInterf", "Скорость обмена, кбит/с")},
    {kCanAdres, kCan, QT_TRANSLATE_NOOP("TFormInterf", "Адрес модуля на шине от 0 до 65535")},
    {kCanTime, kCan, QT_TRANSLATE_NOOP("TFormInterf", "Период отправки данных, с")},
}};

constexpr const char* kLeds[3] = {"W1", "W2", "Al"};

QString Channel(int ch) { return Tr("TFormSetChanel", "Канал %1").arg(ch + 1); }
QString YesNo(bool on) {
  return on ? Own(QT_TRANSLATE_NOOP("FieldWords", "да")) : Own(QT_TRANSLATE_NOOP("FieldWords", "нет"));
}

const Field* FieldNamed(const std::string& name) {
  const auto& names = Names();
  const auto it = names.find(name);
  return it == names.end() ? nullptr : &Fields()[static_cast<std::size_t>(it->second.field)];
}

// The LED byte's events as the dialog's rows name them, those checked.
QString CheckedEvents(std::uint32_t bits, bool system) {
  QStringList names;
  for (int e = 0; e < 8; ++e)
    if ((bits >> e) & 1U)
      names << DialogText(!system ? kChanelEventCaptions[e]
                          : e < 6 ? kLedSystemEventCaptions[e]
                                  : QT_TRANSLATE_NOOP("Dialogs", "Резерв"));
  return names.isEmpty() ? Own(QT_TRANSLATE_NOOP("FieldWords", "ни одного")) : names.join(", ");
}

}  // namespace

QString FieldWords::Where() const {
  QStringList parts;
  for (const QString& part : {group, label})
    if (!part.isEmpty()) parts << part.trimmed();
  return parts.join(" · ");
}

FieldWords WordsOf(const std::string& fieldName) {
  const Field* f = FieldNamed(fieldName);
  if (f == nullptr) return {{}, {}, QString::fromStdString(fieldName)};
  switch (f->rule) {
    case Rule::Chanel: {
      const QString dialog = Tr("TFormSetChanel", kChanelDialog);
      if (f->slot >= kPoint0 && f->slot <= kPoint3)
        return {dialog, Channel(f->ch) + " · " + Tr("TFormSetChanel", kGeneral),
                Tr("TFormSetChanel", "Уставка %1").arg(f->slot - kPoint0 + 1)};
      if (f->slot >= kInvertedSlot)
        return {dialog, Channel(f->ch) + " · " + Tr("TFormSetChanel", kGeneral),
                Tr("TFormSetChanel", "Уставка %1").arg(f->slot - kInvertedSlot + 1) + " · " +
                    Tr("TFormSetChanel", "Флаг инверсии уставки")};
      for (const Label& l : kChanelLabels)
        if (l.slot == f->slot)
          return {dialog, Channel(f->ch) + " · " + Tr("TFormSetChanel", l.group),
                  Tr("TFormSetChanel", l.label)};
      break;
    }
    case Rule::Interface:
      for (const Label& l : kInterfLabels)
        if (l.slot == f->slot)
          return {Tr("TFormInterf", kInterfDialog), Tr("TFormInterf", l.group), Tr("TFormInterf", l.label)};
      if (f->slot >= kCan0 && f->slot < kCan0 + 4)
        return {
            Tr("TFormInterf", kInterfDialog), Tr("TFormInterf", kCan),
            Tr("TFormInterf", "Передавать данные по каналам") + " · " + QString::number(f->slot - kCan0 + 1)};
      break;
    case Rule::Logic: {
      const QString dialog = Tr("TFormLogic", kLogicDialog);
      if (f->slot == kTimeStartSlot)
        return {dialog, {}, Tr("TFormLogic", "Длител. блокир. лог. выходов после сброса модуля, сек")};
      if (f->slot == kTimePointSlot)
        return {dialog, {}, Tr("TFormLogic", "Длител. отображ. уставок (для варианта 'Pano'), сек")};
      const int group = f->slot / 8, event = f->slot % 8;
      if (group < 4)
        return {dialog,
                Tr("TFormLogic", "Логическая сигнализация каналов измерения") + " · " + Channel(group),
                DialogText(kChanelEventCaptions[event])};
      return {dialog, Tr("TFormLogic", "Логическая сигнализация системы"),
              DialogText(kLogicSystemEventCaptions[event])};
    }
    case Rule::Led: {
      const int group = f->slot / 3;
      return {Tr("TForm_Led_tenu", kLedDialog),
              group < 4 ? Tr("TForm_Led_tenu", "Каналы измерения") + " · " + Channel(group)
                        : Tr("TForm_Led_tenu", "Система"),
              kLeds[f->slot % 3]};
    }
    case Rule::Number:
      return {Tr("TFormMain", "Настройка модуля VEXA"), {}, Tr("TFormMain", "Номер модуля VEXA")};
    case Rule::Year:
      return {Tr("TFormMain", "Настройка модуля VEXA"), {}, Tr("TFormMain", "Год выпуска  VEXA")};
    case Rule::None:
      break;
  }
  // Bits no dialog shows: named as the settings text names them.
  return {Own(QT_TRANSLATE_NOOP("FieldWords", "не показывается в диалогах")),
          {},
          QString::fromStdString(fieldName)};
}

QString ShownValue(const TModuleSettings& r, const std::string& fieldName) {
  const Field* f = FieldNamed(fieldName);
  if (f == nullptr) return {};
  const std::uint32_t raw = Raw(r, *f);
  switch (f->rule) {
    case Rule::Chanel:
      if (f->slot < kChanTextCount)
        return QString::fromStdString(ChanelTexts(r.ChanSet[f->ch])[static_cast<std::size_t>(f->slot)])
            .trimmed();
      if (f->slot >= kInvertedSlot) return YesNo(raw != 0);
      break;
    case Rule::Interface:
      if (f->kind == Kind::Flag) return YesNo(raw != 0);
      if (f->unit == Unit::HalfSecond)
        return QString::fromStdString(HalfSecondText(static_cast<std::uint8_t>(raw))).trimmed();
      break;
    case Rule::Logic:
      if (f->unit == Unit::FifthSecond)
        return QString::fromStdString(FifthSecondText(static_cast<std::uint8_t>(raw))).trimmed();
      return raw == 0 ? QString("-") : QString::number(raw);
    case Rule::Led:
      return CheckedEvents(raw, f->slot / 3 == 4);
    default:
      break;
  }
  if (const auto second = UnitOf(r, *f)) return QString::fromStdString(second->text);
  return QString::fromStdString(ValueOf(r, *f).text);
}

std::vector<ShownDifference> ShownDifferences(const TModuleSettings& a, const TModuleSettings& b,
                                              CompareScope scope) {
  std::vector<ShownDifference> shown;
  for (const FieldDifference& d : CompareSettings(a, b, scope))
    shown.push_back({d.name, WordsOf(d.name), ShownValue(a, d.name), ShownValue(b, d.name)});
  return shown;
}
