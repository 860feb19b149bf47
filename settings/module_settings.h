// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record of one module: byte-exact mirror of the module's parameter memory and of the settings
// file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the record is copied byte for byte to little-endian files and frames");

#pragma pack(push, 1)

// One measurement channel; the first 44 bytes' worth of fields travel to the module (floats as 3 bytes).
struct TChanSet {
  std::uint8_t Aprox;      // averaging depth - 1
  std::uint8_t AdcTime;    // sensor failure reaction time code: (v + 1) * 0.5 s
  std::uint8_t AdcHist;    // sensor test hysteresis, ADC counts
  std::uint8_t PointTime;  // set-point reaction time code: (v + 1) * 0.5 s
  std::uint8_t Format;     // bits 0-1 display format, bits 4-7 set-point inversion flags
  float Point0;
  float Point1;
  float Point2;
  float Point3;
  float PointHist;
  float ParamCurr_B;
  float ParamCoff_A;
  float ParamCoff_B;
  float OutCoff_A;
  float OutCoff_B;
  float OutCurrMax;
  std::uint16_t AdcMin;
  std::uint16_t AdcMax;
  std::uint16_t OutZero;
};

// Module-wide settings; travels to the module unchanged.
struct TSysSet {
  std::uint16_t Number;
  std::uint8_t Year;
  std::uint8_t RS485_WrLock;
  std::uint8_t RS485_En;
  std::uint8_t RS485_speed;
  std::uint8_t RS485_adres;
  std::uint8_t CAN_En;
  std::uint8_t Pres;
  std::uint8_t CAN_0;
  std::uint8_t CAN_1;
  std::uint8_t CAN_2;
  std::uint8_t CAN_3;
  std::uint8_t CAN_Speed;
  std::uint16_t CAN_adres;
  std::uint8_t CAN_Time;     // (v + 1) * 0.5 s
  std::uint8_t LedTenu[15];  // byte 3 * group + led, bit = event
  std::uint8_t Logic[20];    // one output number per event, two events a byte
  std::uint8_t Time_Start;   // (v + 1) * 0.2 s
  std::uint8_t Time_Point;   // (v + 1) * 0.2 s
};

// Per-channel data kept only in settings files; the reserved bytes are carried through untouched.
struct TChanAux {
  std::uint8_t Reserved0[12];
  float SensTestHist;
  std::uint8_t Reserved1[16];
};

struct TModuleSettings {
  TChanSet ChanSet[4];
  TSysSet SysSet;
  TChanAux ChanAux[4];
};

#pragma pack(pop)

constexpr int kChannelCount = 4;
constexpr std::size_t kChanSetSize = 55;
constexpr std::size_t kSysSetSize = 54;
constexpr std::size_t kChanAuxSize = 32;

static_assert(sizeof(TChanSet) == kChanSetSize);
static_assert(offsetof(TChanSet, Aprox) == 0);
static_assert(offsetof(TChanSet, AdcTime) == 1);
static_assert(offsetof(TChanSet, AdcHist) == 2);
static_assert(offsetof(TChanSet, PointTime) == 3);
static_assert(offsetof(TChanSet, Format) == 4);
static_assert(offsetof(TChanSet, Point0) == 5);
static_assert(offsetof(TChanSet, Point1) == 9);
static_assert(offsetof(TChanSet, Point2) == 13);
static_assert(offsetof(TChanSet, Point3) == 17);
static_assert(offsetof(TChanSet, PointHist) == 21);
static_assert(offsetof(TChanSet, ParamCurr_B) == 25);
static_assert(offsetof(TChanSet, ParamCoff_A) == 29);
static_assert(offsetof(TChanSet, ParamCoff_B) == 33);
static_assert(offsetof(TChanSet, OutCoff_A) == 37);
static_assert(offsetof(TChanSet, OutCoff_B) == 41);
static_assert(offsetof(TChanSet, OutCurrMax) == 45);
static_assert(offsetof(TChanSet, AdcMin) == 49);
static_assert(offsetof(TChanSet, AdcMax) == 51);
static_assert(offsetof(TChanSet, OutZero) == 53);

static_assert(sizeof(TSysSet) == kSysSetSize);
static_assert(offsetof(TSysSet, Number) == 0);
static_assert(offsetof(TSysSet, Year) == 2);
static_assert(offsetof(TSysSet, RS485_WrLock) == 3);
static_assert(offsetof(TSysSet, RS485_En) == 4);
static_assert(offsetof(TSysSet, RS485_speed) == 5);
static_assert(offsetof(TSysSet, RS485_adres) == 6);
static_assert(offsetof(TSysSet, CAN_En) == 7);
static_assert(offsetof(TSysSet, Pres) == 8);
static_assert(offsetof(TSysSet, CAN_0) == 9);
static_assert(offsetof(TSysSet, CAN_1) == 10);
static_assert(offsetof(TSysSet, CAN_2) == 11);
static_assert(offsetof(TSysSet, CAN_3) == 12);
static_assert(offsetof(TSysSet, CAN_Speed) == 13);
static_assert(offsetof(TSysSet, CAN_adres) == 14);
static_assert(offsetof(TSysSet, CAN_Time) == 16);
static_assert(offsetof(TSysSet, LedTenu) == 17);
static_assert(offsetof(TSysSet, Logic) == 32);
static_assert(offsetof(TSysSet, Time_Start) == 52);
static_assert(offsetof(TSysSet, Time_Point) == 53);

static_assert(sizeof(TChanAux) == kChanAuxSize);
static_assert(offsetof(TChanAux, Reserved0) == 0);
static_assert(offsetof(TChanAux, SensTestHist) == 12);
static_assert(offsetof(TChanAux, Reserved1) == 16);

static_assert(sizeof(TModuleSettings) == 4 * kChanSetSize + kSysSetSize + 4 * kChanAuxSize);
static_assert(offsetof(TModuleSettings, SysSet) == 220);
static_assert(offsetof(TModuleSettings, ChanAux) == 274);

// The program's one settings record; touched on the GUI thread only.
extern TModuleSettings ModuleSettings;

// Sets every byte of the record to 0.
void ClearSettings(TModuleSettings& record);
