// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "settings/text_report.h"
#include "tests/support/russian_locale.h"

namespace fs = std::filesystem;
using ::testing::Contains;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const std::string D102(102, '-'), D86(86, '-'), D58(58, '-'), D53(53, '-'), D50(50, '-'), D43(43, '-');

// Written out by hand: the report of a cleared record with all calculator values 0.
const std::vector<std::string> kZeroReport = {
    "Страница 1 из 2",
    "                                   Параметры работы модуля VEXA",
    D102,
    std::string(102, '*'),
    "       Номер модуля - 0000                        Год выпуска модуля - 00 ",
    "",
    "Исходные данные каналов измерения",
    D102,
    "| Наименование параметра             |    Канал 1    |    Канал 2    |    Канал 3    |    Канал 4    |",
    D102,
    "| Диапазон измеряемого параметра     |   0.0 -   0.0 |   0.0 -   0.0 |   0.0 -   0.0 |   0.0 -   0.0 |",
    "| Диапазон аналогового выхода, мА    |  0.00 -  0.00 |  0.00 -  0.00 |  0.00 -  0.00 |  0.00 -  0.00 |",
    "|                                    |               |               |               |               |",
    "| Уставка № 1                        |             0 |             0 |             0 |             0 |",
    "| Уставка № 2                        |             0 |             0 |             0 |             0 |",
    "| Уставка № 3                        |             0 |             0 |             0 |             0 |",
    "| Уставка № 4                        |             0 |             0 |             0 |             0 |",
    "| Гистерезис по уставкам             |             0 |             0 |             0 |             0 |",
    "| Время реакции перех.через уставку,с|           0.5 |           0.5 |           0.5 |           0.5 |",
    D102,
    "",
    "Параметры каналов измерения",
    D102,
    "| Наименование параметра             |    Канал 1    |    Канал 2    |    Канал 3    |    Канал 4    |",
    D102,
    "| Формат отображения данных          |         #.### |         #.### |         #.### |         #.### |",
    "| Глубина усреднения измерений       |             1 |             1 |             1 |             1 |",
    "|                                    |               |               |               |               |",
    "| Минимильный уровень АЦП            |             0 |             0 |             0 |             0 |",
    "| Максимальный уровень АЦП           |             0 |             0 |             0 |             0 |",
    "| Уровень гистерезиса АЦП            |             0 |             0 |             0 |             0 |",
    "| Уровень гистер. теста датчика, мА  |          0.00 |          0.00 |          0.00 |          0.00 |",
    "| Время детектир. неиспр. датчика, с |           0.5 |           0.5 |           0.5 |           0.5 |",
    "| Коэфф. вычисления тока датчика, с  |             0 |             0 |             0 |             0 |",
    "|                                    |               |               |               |               |",
    "| Коэфф.А вычисл. значения параметра |             0 |             0 |             0 |             0 |",
    "| Коэфф.B вычисл. значения параметра |             0 |             0 |             0 |             0 |",
    "|                                    |               |               |               |               |",
    "| Коэфф.А вычисл. тока анлог. выхода |             0 |             0 |             0 |             0 |",
    "| Коэфф.B вычисл. тока анлог. выхода |             0 |             0 |             0 |             0 |",
    "| Максимальный ток аналогового выхода|             0 |             0 |             0 |             0 |",
    "| Смещение нуля аналогового выхода   |             0 |             0 |             0 |             0 |",
    D102,
    "",
    "Матрица сигнализации каналов измерения,",
    "назначение на логические выходы",
    D58,
    "| Наименование параметра             |  1 |  2 |  3 |  4 |",
    D58,
    "| Ошибка контрольной суммы параметров|    |    |    |    |",
    "| Коррекция параметров работы        |    |    |    |    |",
    "| Неисправность датчика, нижний порог|    |    |    |    |",
    "| Неисправность датчика,верхний порог|    |    |    |    |",
    "| Выход за уставку 1                 |    |    |    |    |",
    "| Выход за уставку 2                 |    |    |    |    |",
    "| Выход за уставку 3                 |    |    |    |    |",
    "| Выход за уставку 4                 |    |    |    |    |",
    D58,
    "",
    "Матрица сигнализации системы,",
    "назначение на логические выходы",
    D43,
    "| Наименование параметра             |    |",
    D43,
    "| Ошибка контрольной суммы параметров|    |",
    "| Коррекция параметров работы        |    |",
    "| Ошибка инициализации CAN интерфейса|    |",
    "| Блокировка лог.выходов по сбросу   |    |",
    "| Блокировка лог.выходов пользоват.  |    |",
    "| Блокировка работы модуля           |    |",
    "| Резерв 1                           |    |",
    "| Резерв 2                           |    |",
    D43,
    "",
    " Длительность блокировки логических выходов после сброса, с     0.2",
    " Длительность отображения уставок для варианта 'Pano', c        0.2",
    "",
    "Параметры интерфейса RS485",
    D53,
    "| Наименование параметра             |   Значение   |",
    D53,
    "| Разрешить работу                   |          Нет |",
    "| Разрешить настройку модуля         |           Да |",
    "| Скорость обмена                    |         4800 |",
    "| Адрес модуля                       |            0 |",
    D53,
    "",
    "Параметры интерфейса CAN2.0B",
    D53,
    "| Наименование параметра             |   Значение   |",
    D53,
    "| Разрешить работу                   |          Нет |",
    "| Скорость обмена                    |         1000 |",
    "| Адрес модуля                       |            0 |",
    "| Передавать сообщение присутствия   |          Нет |",
    "| Период отправки данных каналов изм.|          0.5 |",
    "| Передавать данные канала 1         |          Нет |",
    "| Передавать данные канала 2         |          Нет |",
    "| Передавать данные канала 3         |          Нет |",
    "| Передавать данные канала 4         |          Нет |",
    D53,
    "",
    "Матрица индикации варианта 'Tenu', каналы измерения",
    D86,
    "| Наименование параметра             |  Канал 1  |  Канал 2  |  Канал 3  |  Канал 4  |",
    "|                                    | W1' W2' Al| W1' W2' Al| W1' W2' Al| W1' W2' Al|",
    D86,
    "| Ошибка контрольной суммы параметров|   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Коррекция параметров работы        |   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Неисправность датчика, нижний порог|   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Неисправность датчика,верхний порог|   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Выход за уставку 1                 |   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Выход за уставку 2                 |   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Выход за уставку 3                 |   '   '   |   '   '   |   '   '   |   '   '   |",
    "| Выход за уставку 4                 |   '   '   |   '   '   |   '   '   |   '   '   |",
    D86,
    "",
    "Матрица индикации варианта 'Tenu', система",
    D50,
    "| Наименование параметра             | W1' W2' Al|",
    D50,
    "| Ошибка контрольной суммы параметров|   '   '   |",
    "| Коррекция параметров работы        |   '   '   |",
    "| Ошибка инициализации CAN интерфейса|   '   '   |",
    "| Блокировка лог.выходов по сбросу   |   '   '   |",
    "| Блокировка лог.выходов пользоват.  |   '   '   |",
    "| Блокировка работы модуля           |   '   '   |",
    "| Резерв 1                           |   '   '   |",
    "| Резерв 2                           |   '   '   |",
    D50,
    "",
    "",
    "",
    "  Регулировщик ___________________            Подпись ________________     Дата '___'___________ 20__ ",
};

void ExpectLines(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    EXPECT_EQ(got[i], want[i]) << "line " << i + 1;
  EXPECT_EQ(got.size(), want.size());
}

TEST(TextReport, ClearedRecordGivesTheBlankForm) {
  TModuleSettings record{};
  const std::string text = BuildTextReport(record, ReportRanges{});
  ExpectLines(Lines(text), kZeroReport);
  EXPECT_EQ(text.back(), '\n');
}

TModuleSettings Populated() {
  TModuleSettings r{};
  r.SysSet.Number = 42;
  r.SysSet.Year = 7;
  TChanSet& c1 = r.ChanSet[0];
  c1.Format = 0x21;  // "##.##", set-point 2 inverted
  c1.Point0 = 12.5F;
  c1.Point1 = -2.5F;
  c1.Point2 = 1234.5F;
  c1.PointHist = 0.25F;
  c1.PointTime = 3;
  c1.Aprox = 9;
  c1.AdcMin = 100;
  c1.AdcMax = 1000;
  c1.AdcHist = 20;
  c1.AdcTime = 69;
  c1.ParamCurr_B = 0.02F;
  c1.ParamCoff_A = 12.345678F;
  c1.ParamCoff_B = 1.234567F;
  c1.OutCoff_A = -100.0F;
  c1.OutCoff_B = 33.3F;
  c1.OutCurrMax = 20.0F;
  c1.OutZero = 4095;
  r.ChanSet[3].Format = 0x03;
  r.ChanAux[1].SensTestHist = 3.5F;
  r.SysSet.RS485_En = 1;
  r.SysSet.RS485_WrLock = 1;
  r.SysSet.RS485_speed = 4;
  r.SysSet.RS485_adres = 247;
  r.SysSet.CAN_En = 1;
  r.SysSet.CAN_2 = 1;
  r.SysSet.CAN_Speed = 6;
  r.SysSet.CAN_adres = 65534;
  r.SysSet.CAN_Time = 59;
  r.SysSet.Logic[0] = 0x01;        // channel 1, event 0 -> output 1
  r.SysSet.Logic[5] = 0xB0;        // channel 2, event 3 -> output 11
  r.SysSet.Logic[15] = 0xC0;       // channel 4, event 7 -> 12: no such output
  r.SysSet.Logic[18] = 0x05;       // system event 4 -> output 5
  r.SysSet.LedTenu[4] = 1U << 4;   // channel 2, W2, on set-point 1
  r.SysSet.LedTenu[0] = 1U << 0;   // channel 1, W1, on checksum error
  r.SysSet.LedTenu[14] = 1U << 2;  // system Al on CAN error
  r.SysSet.Time_Start = 24;
  r.SysSet.Time_Point = 9;
  return r;
}

TEST(TextReport, PopulatedRecordFillsEverySection) {
  const ReportRanges ranges{-10.0F, 99.5F, 4.0F, 20.0F};
  const auto lines = Lines(BuildTextReport(Populated(), ranges));
  const auto has = [&](const std::string& line) { EXPECT_THAT(lines, Contains(line)); };

  has("       Номер модуля - 0042                        Год выпуска модуля - 07 ");
  has("| Диапазон измеряемого параметра     | -10.0 -  99.5 | -10.0 -  99.5 | -10.0 -  99.5 | -10.0 -  99.5 "
      "|");
  has("| Диапазон аналогового выхода, мА    |  4.00 - 20.00 |  4.00 - 20.00 |  4.00 - 20.00 |  4.00 - 20.00 "
      "|");
  has("| Уставка № 1                        |          12.5 |             0 |             0 |             0 "
      "|");
  has("| Уставка № 2                        | Инв.     -2.5 |             0 |             0 |             0 "
      "|");
  has("| Уставка № 3                        |          1234 |             0 |             0 |             0 "
      "|");
  has("| Гистерезис по уставкам             |          0.25 |             0 |             0 |             0 "
      "|");
  has("| Время реакции перех.через уставку,с|           2.0 |           0.5 |           0.5 |           0.5 "
      "|");
  has("| Формат отображения данных          |         ##.## |         #.### |         #.### |          #### "
      "|");
  has("| Глубина усреднения измерений       |            10 |             1 |             1 |             1 "
      "|");
  has("| Минимильный уровень АЦП            |           100 |             0 |             0 |             0 "
      "|");
  has("| Максимальный уровень АЦП           |          1000 |             0 |             0 |             0 "
      "|");
  has("| Уровень гистерезиса АЦП            |            20 |             0 |             0 |             0 "
      "|");
  has("| Уровень гистер. теста датчика, мА  |          0.00 |          3.50 |          0.00 |          0.00 "
      "|");
  has("| Время детектир. неиспр. датчика, с |          35.0 |           0.5 |           0.5 |           0.5 "
      "|");
  has("| Коэфф. вычисления тока датчика, с  |          0.02 |             0 |             0 |             0 "
      "|");
  has("| Коэфф.А вычисл. значения параметра |        12.346 |             0 |             0 |             0 "
      "|");
  has("| Коэфф.B вычисл. значения параметра |         1.235 |             0 |             0 |             0 "
      "|");
  has("| Коэфф.А вычисл. тока анлог. выхода |          -100 |             0 |             0 |             0 "
      "|");
  has("| Коэфф.B вычисл. тока анлог. выхода |          33.3 |             0 |             0 |             0 "
      "|");
  has("| Максимальный ток аналогового выхода|            20 |             0 |             0 |             0 "
      "|");
  has("| Смещение нуля аналогового выхода   |          4095 |             0 |             0 |             0 "
      "|");
  has("| Ошибка контрольной суммы параметров|  1 |    |    |    |");
  has("| Неисправность датчика,верхний порог|    | 11 |    |    |");
  has("| Выход за уставку 4                 |    |    |    |    |");
  has("| Блокировка лог.выходов пользоват.  |  5 |");
  has(" Длительность блокировки логических выходов после сброса, с     5.0");
  has(" Длительность отображения уставок для варианта 'Pano', c        2.0");
  has("| Разрешить работу                   |           Да |");
  has("| Разрешить настройку модуля         |          Нет |");
  has("| Скорость обмена                    |        57600 |");
  has("| Адрес модуля                       |          247 |");
  has("| Скорость обмена                    |           40 |");
  has("| Адрес модуля                       |        65534 |");
  has("| Передавать сообщение присутствия   |          Нет |");
  has("| Период отправки данных каналов изм.|         30.0 |");
  has("| Передавать данные канала 2         |          Нет |");
  has("| Передавать данные канала 3         |           Да |");
  has("| Ошибка контрольной суммы параметров| + '   '   |   '   '   |   '   '   |   '   '   |");
  has("| Выход за уставку 1                 |   '   '   |   ' + '   |   '   '   |   '   '   |");
  has("| Ошибка инициализации CAN интерфейса|   '   ' + |");
  has("| Ошибка контрольной суммы параметров|   '   '   |");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "| Разрешить работу                   |           Да |"),
            2);
}

// Wide values show the blank of "% 5.1f", "% 8.4g" and "% 8.5g": one column more than "%8.5g" shows.
TEST(TextReport, WideValuesKeepTheSignBlank) {
  TModuleSettings r{};
  r.ChanSet[0].Point0 = 123456.0F;
  r.ChanSet[0].ParamCoff_A = 123456.0F;  // "%8.5g", without the blank
  r.ChanSet[0].OutCoff_A = 123456.0F;
  const std::string report = BuildTextReport(r, ReportRanges{100.0F, 250.0F, 4.0F, 20.0F});
  EXPECT_NE(report.find("| Диапазон измеряемого параметра     |  100.0 -  250.0 |"), std::string::npos);
  EXPECT_NE(report.find("| Уставка № 1                        |       1.235e+05 |"), std::string::npos);
  EXPECT_NE(report.find("| Коэфф.А вычисл. значения параметра |      1.2346e+05 |"), std::string::npos);
  EXPECT_NE(report.find("| Коэфф.А вычисл. тока анлог. выхода |       1.2346e+05 |"), std::string::npos);
}

TEST(TextReport, SpeedsAtTheEndsOfTheTablesAndBeyond) {
  TModuleSettings r{};
  r.SysSet.RS485_speed = 5;
  auto lines = Lines(BuildTextReport(r, {}));
  EXPECT_THAT(lines, Contains("| Скорость обмена                    |        115200 |"));

  // An index no dialog produces (from a module or a file): a placeholder, same width.
  r.SysSet.RS485_speed = 6;
  r.SysSet.CAN_Speed = 255;
  lines = Lines(BuildTextReport(r, {}));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "| Скорость обмена                    |            ? |"),
            2);
}

TEST(TextReport, RussianLocaleStillPrintsPoints) {
  const std::string inC = BuildTextReport(Populated(), {-10.0F, 99.5F, 4.0F, 20.0F});
  std::string inRussian;
  {
    const RussianLocale russian;
    ASSERT_TRUE(russian.Active());
    inRussian = BuildTextReport(Populated(), {-10.0F, 99.5F, 4.0F, 20.0F});
  }
  EXPECT_EQ(inRussian, inC);
  EXPECT_NE(inC.find("12.346"), std::string::npos);
}

TEST(TextReport, FileIsWindows1251WithCrLf) {
  const fs::path dir = fs::temp_directory_path() / ("vexa_report_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path path = dir / WithExtension("report", kReportExtension);
  ASSERT_EQ(WriteTextReport(Populated(), {}, path), FileOutcome::Done);
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);  // closed before the folder goes: Windows insists
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  fs::remove_all(dir);

  EXPECT_EQ(path.filename(), "report.txt");
  EXPECT_EQ(bytes.substr(0, 8), "\xD1\xF2\xF0\xE0\xED\xE8\xF6\xE0");                // "Страница"
  EXPECT_NE(bytes.find("\xD3\xF1\xF2\xE0\xE2\xEA\xE0 \xB9 2"), std::string::npos);  // "Уставка № 2"
  std::size_t lineFeeds = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n') continue;
    ++lineFeeds;
    ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at byte " << i;
  }
  EXPECT_EQ(lineFeeds, kZeroReport.size());
  const std::string footer =
      "  \xD0\xE5\xE3\xF3\xEB\xE8\xF0\xEE\xE2\xF9\xE8\xEA ___________________            "
      "\xCF\xEE\xE4\xEF\xE8\xF1\xFC ________________     \xC4\xE0\xF2\xE0 '___'___________ 20__ \r\n";
  ASSERT_GE(bytes.size(), footer.size());
  EXPECT_EQ(bytes.substr(bytes.size() - footer.size()), footer);
  EXPECT_EQ(bytes.find_first_of("\x80\x81\x98"), std::string::npos) << "no stray bytes from UTF-8";
}

TEST(TextReport, NameRuleAndUncreatableFile) {
  EXPECT_EQ(WithExtension("report", kReportExtension), "report.txt");
  EXPECT_EQ(WithExtension("report.TXT", kReportExtension), "report.TXT.txt");
  EXPECT_EQ(WithExtension("notes.txt.old", kReportExtension), "notes.txt.old");
  EXPECT_EQ(WriteTextReport(TModuleSettings{}, {}, fs::temp_directory_path()), FileOutcome::CannotCreate);
}

}  // namespace
