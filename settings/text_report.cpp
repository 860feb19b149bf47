// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/text_report.h"

#include <cstdint>
#include <functional>
#include <span>

#include "settings/c_format.h"
#include "settings/cp1251.h"
#include "settings/system_rules.h"

namespace {

std::string Dashes(int count) { return std::string(static_cast<std::size_t>(count), '-') + "\n"; }

const char* const kBlank =
    "|                                    |               |               |               |               "
    "|\n";
const char* const kChannelHeader =
    "| Наименование параметра             |    Канал 1    |    Канал 2    |    Канал 3    |    Канал 4    "
    "|\n";

const char* const kChannelEvents[8] = {
    "| Ошибка контрольной суммы параметров|", "| Коррекция параметров работы        |",
    "| Неисправность датчика, нижний порог|", "| Неисправность датчика,верхний порог|",
    "| Выход за уставку 1                 |", "| Выход за уставку 2                 |",
    "| Выход за уставку 3                 |", "| Выход за уставку 4                 |",
};
const char* const kSystemEvents[8] = {
    "| Ошибка контрольной суммы параметров|", "| Коррекция параметров работы        |",
    "| Ошибка инициализации CAN интерфейса|", "| Блокировка лог.выходов по сбросу   |",
    "| Блокировка лог.выходов пользоват.  |", "| Блокировка работы модуля           |",
    "| Резерв 1                           |", "| Резерв 2                           |",
};

// A speed from a table, or a "?" as wide as "%5u" when a module or file brought an unknown index.
std::string SpeedText(std::span<const unsigned> table, unsigned index) {
  return index < table.size() ? CFormat("%5u", table[index]) : std::string("    ?");
}

std::string YesNo(std::uint8_t flag) { return flag != 0 ? "           Да |\n" : "          Нет |\n"; }

// One event's logic-output cell; only outputs 1..11 exist.
std::string LogicCell(const TSysSet& sys, unsigned byte, unsigned event) {
  const std::uint8_t packed = sys.Logic[byte + event / 2];
  const unsigned n = (event % 2 == 0) ? (packed & 0x0FU) : (packed >> 4);
  return (n >= 1 && n <= 11) ? CFormat(" %2u |", n) : std::string("    |");
}

double HalfSeconds(std::uint8_t code) { return (code + 1) * 0.5; }
double FifthSeconds(std::uint8_t code) { return (code + 1) * 0.2; }

class Report {
 public:
  Report(const TModuleSettings& record, const ReportRanges& ranges) : r_(record), ranges_(ranges) {}

  std::string Build() {
    Header();
    InputData();
    ChannelParameters();
    ChannelLogic();
    SystemLogic();
    Rs485();
    Can();
    TenuChannels();
    TenuSystem();
    out_ += "\n\n\n";
    out_ +=
        "  Регулировщик ___________________            Подпись ________________     Дата '___'___________ "
        "20__ \n";
    return std::move(out_);
  }

 private:
  void ChannelRow(const char* label, const std::function<std::string(int ch)>& cell) {
    out_ += label;
    for (int ch = 0; ch < kChannelCount; ++ch) out_ += cell(ch);
    out_ += "\n";
  }

  void Header() {
    out_ += "Страница 1 из 2\n";
    out_ += "                                   Параметры работы модуля VEXA\n";
    out_ += Dashes(102);
    out_ += std::string(102, '*') + "\n";
    out_ += CFormat("       Номер модуля - %04u                        Год выпуска модуля - %02u \n\n",
                    unsigned{r_.SysSet.Number}, unsigned{r_.SysSet.Year});
  }

  void InputData() {
    const double pLow = ranges_.paramLow, pHigh = ranges_.paramHigh;
    const double oLow = ranges_.outLow, oHigh = ranges_.outHigh;
    out_ += "Исходные данные каналов измерения\n";
    out_ += Dashes(102) + kChannelHeader + Dashes(102);
    out_ += CFormat(
        "| Диапазон измеряемого параметра     | % 5.1f - % 5.1f | % 5.1f - % 5.1f | % 5.1f - % 5.1f | "
        "% 5.1f - % 5.1f |\n",
        pLow, pHigh, pLow, pHigh, pLow, pHigh, pLow, pHigh);
    out_ += CFormat(
        "| Диапазон аналогового выхода, мА    | %5.2f - %5.2f | %5.2f - %5.2f | %5.2f - %5.2f | "
        "%5.2f - %5.2f |\n",
        oLow, oHigh, oLow, oHigh, oLow, oHigh, oLow, oHigh);
    out_ += kBlank;
    for (unsigned s = 1; s <= 4; ++s) {
      out_ += CFormat("| Уставка № %1u                        |", s);
      for (int ch = 0; ch < kChannelCount; ++ch) {
        const TChanSet& c = r_.ChanSet[ch];
        const float points[4] = {c.Point0, c.Point1, c.Point2, c.Point3};
        out_ += (c.Format >> (3 + s)) & 1U ? " Инв. " : "      ";
        out_ += CFormat("% 8.4g |", double{points[s - 1]});
      }
      out_ += "\n";
    }
    ChannelRow("| Гистерезис по уставкам             |",
               [&](int ch) { return CFormat("      % 8.5g |", double{r_.ChanSet[ch].PointHist}); });
    ChannelRow("| Время реакции перех.через уставку,с|",
               [&](int ch) { return CFormat("         %5.1f |", HalfSeconds(r_.ChanSet[ch].PointTime)); });
    out_ += Dashes(102) + "\n";
  }

  void ChannelParameters() {
    const auto& c = r_.ChanSet;
    // Pointers to members would lose the packing and load floats misaligned: read fields directly.
    const auto general5 = [](float value) { return CFormat("      % 8.5g |", double{value}); };
    out_ += "Параметры каналов измерения\n";
    out_ += Dashes(102) + kChannelHeader + Dashes(102);
    ChannelRow("| Формат отображения данных          |", [&](int ch) {
      static const char* const kFormats[4] = {"         #.### |", "         ##.## |", "         ###.# |",
                                              "          #### |"};
      return std::string(kFormats[c[ch].Format & 0x03U]);
    });
    ChannelRow("| Глубина усреднения измерений       |",
               [&](int ch) { return CFormat("           %3u |", c[ch].Aprox + 1U); });
    out_ += kBlank;
    ChannelRow("| Минимильный уровень АЦП            |",
               [&](int ch) { return CFormat("         %5u |", unsigned{c[ch].AdcMin}); });
    ChannelRow("| Максимальный уровень АЦП           |",
               [&](int ch) { return CFormat("         %5u |", unsigned{c[ch].AdcMax}); });
    ChannelRow("| Уровень гистерезиса АЦП            |",
               [&](int ch) { return CFormat("           %3u |", unsigned{c[ch].AdcHist}); });
    ChannelRow("| Уровень гистер. теста датчика, мА  |",
               [&](int ch) { return CFormat("         %5.2f |", double{r_.ChanAux[ch].SensTestHist}); });
    ChannelRow("| Время детектир. неиспр. датчика, с |",
               [&](int ch) { return CFormat("         %5.1f |", HalfSeconds(c[ch].AdcTime)); });
    ChannelRow("| Коэфф. вычисления тока датчика, с  |", [&](int ch) { return general5(c[ch].ParamCurr_B); });
    out_ += kBlank;
    ChannelRow("| Коэфф.А вычисл. значения параметра |",
               [&](int ch) { return CFormat("      %8.5g |", double{c[ch].ParamCoff_A}); });
    ChannelRow("| Коэфф.B вычисл. значения параметра |",
               [&](int ch) { return CFormat("      %8.4g |", double{c[ch].ParamCoff_B}); });
    out_ += kBlank;
    ChannelRow("| Коэфф.А вычисл. тока анлог. выхода |", [&](int ch) { return general5(c[ch].OutCoff_A); });
    ChannelRow("| Коэфф.B вычисл. тока анлог. выхода |", [&](int ch) { return general5(c[ch].OutCoff_B); });
    ChannelRow("| Максимальный ток аналогового выхода|", [&](int ch) { return general5(c[ch].OutCurrMax); });
    ChannelRow("| Смещение нуля аналогового выхода   |",
               [&](int ch) { return CFormat("         %5u |", unsigned{c[ch].OutZero}); });
    out_ += Dashes(102) + "\n";
  }

  void ChannelLogic() {
    out_ += "Матрица сигнализации каналов измерения,\n";
    out_ += "назначение на логические выходы\n";
    out_ += Dashes(58);
    out_ += "| Наименование параметра             |  1 |  2 |  3 |  4 |\n";
    out_ += Dashes(58);
    for (unsigned e = 0; e < 8; ++e)
      ChannelRow(kChannelEvents[e], [&](int ch) { return LogicCell(r_.SysSet, 4U * ch, e); });
    out_ += Dashes(58) + "\n";
  }

  void SystemLogic() {
    out_ += "Матрица сигнализации системы,\n";
    out_ += "назначение на логические выходы\n";
    out_ += Dashes(43);
    out_ += "| Наименование параметра             |    |\n";
    out_ += Dashes(43);
    for (unsigned e = 0; e < 8; ++e) out_ += kSystemEvents[e] + LogicCell(r_.SysSet, 16, e) + "\n";
    out_ += Dashes(43) + "\n";
    out_ += CFormat(" Длительность блокировки логических выходов после сброса, с   %5.1f\n",
                    FifthSeconds(r_.SysSet.Time_Start));
    out_ += CFormat(" Длительность отображения уставок для варианта 'Pano', c      %5.1f\n",
                    FifthSeconds(r_.SysSet.Time_Point));
    out_ += "\n";
  }

  void InterfaceHeader(const char* title) {
    out_ += title;
    out_ += Dashes(53);
    out_ += "| Наименование параметра             |   Значение   |\n";
    out_ += Dashes(53);
  }

  void Rs485() {
    const TSysSet& s = r_.SysSet;
    InterfaceHeader("Параметры интерфейса RS485\n");
    out_ += "| Разрешить работу                   |" + YesNo(s.RS485_En);
    out_ += "| Разрешить настройку модуля         |" + YesNo(s.RS485_WrLock == 0);
    out_ +=
        "| Скорость обмена                    |        " + SpeedText(kRs485Speeds, s.RS485_speed) + " |\n";
    out_ += CFormat("| Адрес модуля                       |          %3u |\n", unsigned{s.RS485_adres});
    out_ += Dashes(53) + "\n";
  }

  void Can() {
    const TSysSet& s = r_.SysSet;
    InterfaceHeader("Параметры интерфейса CAN2.0B\n");
    out_ += "| Разрешить работу                   |" + YesNo(s.CAN_En);
    out_ += "| Скорость обмена                    |        " + SpeedText(kCanSpeeds, s.CAN_Speed) + " |\n";
    out_ += CFormat("| Адрес модуля                       |        %5u |\n", unsigned{s.CAN_adres});
    out_ += "| Передавать сообщение присутствия   |" + YesNo(s.Pres);
    out_ += CFormat("| Период отправки данных каналов изм.|        %5.1f |\n", HalfSeconds(s.CAN_Time));
    const std::uint8_t send[4] = {s.CAN_0, s.CAN_1, s.CAN_2, s.CAN_3};
    for (unsigned k = 1; k <= 4; ++k)
      out_ += CFormat("| Передавать данные канала %1u         |", k) + YesNo(send[k - 1]);
    out_ += Dashes(53) + "\n";
  }

  // LED cells of LedTenu bytes first..last for event bit b, "|" closing each group of three.
  std::string TenuCells(unsigned first, unsigned last, unsigned b) const {
    std::string cells;
    for (unsigned i = first; i <= last; ++i) {
      cells += (r_.SysSet.LedTenu[i] >> b) & 1U ? " + " : "   ";
      cells += i % 3 == 2 ? "|" : "'";
    }
    return cells;
  }

  void TenuChannels() {
    out_ += "Матрица индикации варианта 'Tenu', каналы измерения\n";
    out_ += Dashes(86);
    out_ += "| Наименование параметра             |  Канал 1  |  Канал 2  |  Канал 3  |  Канал 4  |\n";
    out_ += "|                                    | W1' W2' Al| W1' W2' Al| W1' W2' Al| W1' W2' Al|\n";
    out_ += Dashes(86);
    for (unsigned b = 0; b < 8; ++b) out_ += kChannelEvents[b] + TenuCells(0, 11, b) + "\n";
    out_ += Dashes(86) + "\n";
  }

  void TenuSystem() {
    out_ += "Матрица индикации варианта 'Tenu', система\n";
    out_ += Dashes(50);
    out_ += "| Наименование параметра             | W1' W2' Al|\n";
    out_ += Dashes(50);
    for (unsigned b = 0; b < 8; ++b) out_ += kSystemEvents[b] + TenuCells(12, 14, b) + "\n";
    out_ += Dashes(50);
  }

  const TModuleSettings& r_;
  const ReportRanges& ranges_;
  std::string out_;
};

}  // namespace

std::string BuildTextReport(const TModuleSettings& record, const ReportRanges& ranges) {
  return Report(record, ranges).Build();
}

std::string TextReportBytes(const TModuleSettings& record, const ReportRanges& ranges) {
  return Utf8ToCp1251(BuildTextReport(record, ranges), true);
}

FileResult WriteTextReport(const TModuleSettings& record, const ReportRanges& ranges,
                           const std::filesystem::path& path) {
  const std::string bytes = TextReportBytes(record, ranges);
  return ReplaceWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}
