#pragma once
// The 128-byte settings block of the sensor service and the texts of its choices. Plain C++:
// no Windows, so the encoding and the texts are tested on any host.
//
// Byte 0: bit 0 sensorEnabled, bits 1-2 rangeCode, bits 3-7 carried through.
// Byte 1: bits 0-3 offDelayCode, bits 4-7 onDelayCode. Bytes 2-127 are carried through untouched.

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kSettingsBlockSize = 128;

// The window offers three choices, always in this order: sensitivity (range), delay until off
// and delay until on; buttons, lists and row texts are indexed by it.
constexpr int kChoiceCount = 3;

struct SettingsBlock {
  std::uint8_t bytes[kSettingsBlockSize];
};

// The four words the choice texts are built from, in the user's language
// (strings 113 "Second(s)", 131 "Minute(s)", 115 "Minimum", 117 "Maximum").
struct ChoiceWords {
  std::u16string seconds;
  std::u16string minutes;
  std::u16string minimum;
  std::u16string maximum;
};

// Encoding: each touches only the bits of its own field. A row outside the list's rows
// changes nothing.
void SetSensorEnabled(SettingsBlock& block, bool enabled);
void SetRangeRow(SettingsBlock& block, int row);     // rows 0, 1: codes 0, 2
void SetOffDelayRow(SettingsBlock& block, int row);  // rows 0, 1, 2: codes 1, 3, 4
void SetOnDelayRow(SettingsBlock& block, int row);   // rows 0, 1, 2: codes 0, 1, 2

// Decoding for display (always of currentBlock).
bool SensorEnabled(const SettingsBlock& block);
int DecodeRangeIndex(const SettingsBlock& block);  // 0, 1 or 3; code 2 reads as 1
int OffDelayCheckRow(const SettingsBlock& block);  // 1 for code 3, 2 for code 4, else 0
int OnDelayCheckRow(const SettingsBlock& block);   // the code itself, 0 to 15

// Button texts of the stored codes, each beginning with two spaces; empty for a code that
// has no text (range 3, off-delay 8-15, on-delay 4-15).
std::u16string RangeText(const SettingsBlock& block, const ChoiceWords& words);
std::u16string OffDelayText(const SettingsBlock& block, const ChoiceWords& words);
std::u16string OnDelayText(const SettingsBlock& block, const ChoiceWords& words);

// Texts of the drop-down list rows ("  Minimum", "  10 Second(s)", "  0.5 Second(s)" ...);
// empty for a row the list does not have.
std::u16string RangeRowText(int row, const ChoiceWords& words);
std::u16string OffDelayRowText(int row, const ChoiceWords& words);
std::u16string OnDelayRowText(int row, const ChoiceWords& words);

// True when any of the 128 bytes differ (compared as 32 four-byte words, first to last).
bool BlocksDiffer(const SettingsBlock& working, const SettingsBlock& current);
