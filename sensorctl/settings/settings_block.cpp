#include "sensorctl/settings/settings_block.h"

#include <cstring>
#include <iterator>

#include "shared/format_bounded.h"

namespace {

// Byte 0: bit 0 is sensorEnabled, bits 1-2 the range code.
constexpr std::uint8_t kSensorEnabledBit = 0x01;
constexpr std::uint8_t kClearRange = 0xF9;
constexpr int kRangeShift = 1;
constexpr std::uint8_t kRangeMask = 0x03;
// Byte 1: low nibble the delay until off, high nibble the delay until on.
constexpr std::uint8_t kKeepOnDelay = 0xF0;
constexpr std::uint8_t kKeepOffDelay = 0x0F;

// The delay-until-off list offers three codes of the eight that have a text.
constexpr std::uint8_t kOffDelayRowCodes[] = {1, 3, 4};
struct DelayDisplay {
  int number;
  bool inMinutes;
};
constexpr DelayDisplay kOffDelayDisplay[] = {{5, false}, {10, false}, {30, false}, {1, true},
                                             {3, true},  {5, true},   {10, true},  {15, true}};
constexpr int kOffDelayCodesWithText = 8;
// Delay until on: code 0 reads "0.5", codes 1-3 are whole seconds; the list offers codes 0-2.
constexpr int kOnDelaySeconds[] = {0, 1, 3, 5};  // [0] unused: code 0 has its own format
constexpr int kOnDelayCodesWithText = 4;
constexpr int kOnDelayRows = 3;

int RangeCode(const SettingsBlock& block) { return (block.bytes[0] >> kRangeShift) & kRangeMask; }
int OffDelayCode(const SettingsBlock& block) { return block.bytes[1] & 0x0F; }
int OnDelayCode(const SettingsBlock& block) { return block.bytes[1] >> 4; }

std::size_t Length(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// "  %s" with one word.
std::u16string FormatWord(const char16_t* format, const std::u16string& word) {
  // Room for the format, the whole word and the terminator: a translated word is never cut.
  std::u16string buffer(Length(format) + word.size() + 1, u'\0');
  FormatBounded(buffer.data(), buffer.size(), format, word.c_str());
  buffer.resize(Length(buffer.c_str()));
  return buffer;
}

// "  %d %s" with a number and a unit.
std::u16string FormatNumberWord(int number, const std::u16string& word) {
  constexpr int kDigitsRoom = 12;  // any int with its sign
  std::u16string buffer(Length(u"  %d %s") + kDigitsRoom + word.size() + 1, u'\0');
  FormatBounded(buffer.data(), buffer.size(), u"  %d %s", number, word.c_str());
  buffer.resize(Length(buffer.c_str()));
  return buffer;
}

std::u16string OffDelayCodeText(int code, const ChoiceWords& words) {
  if (code < 0 || code >= kOffDelayCodesWithText) return {};
  const DelayDisplay& display = kOffDelayDisplay[code];
  return FormatNumberWord(display.number, display.inMinutes ? words.minutes : words.seconds);
}

std::u16string OnDelayCodeText(int code, const ChoiceWords& words) {
  if (code == 0) return FormatWord(u"  0.5 %s", words.seconds);
  if (code < 0 || code >= kOnDelayCodesWithText) return {};
  return FormatNumberWord(kOnDelaySeconds[code], words.seconds);
}

}  // namespace

void SetSensorEnabled(SettingsBlock& block, bool enabled) {
  if (enabled) {
    block.bytes[0] |= kSensorEnabledBit;
  } else {
    block.bytes[0] &= static_cast<std::uint8_t>(~kSensorEnabledBit);
  }
}

void SetRangeRow(SettingsBlock& block, int row) {
  if (row == 0) {
    block.bytes[0] &= kClearRange;  // code 0
  } else if (row == 1) {
    block.bytes[0] = static_cast<std::uint8_t>((block.bytes[0] & 0xFD) | 0x04);  // code 2
  }
}

void SetOffDelayRow(SettingsBlock& block, int row) {
  if (row < 0 || row >= static_cast<int>(std::size(kOffDelayRowCodes))) return;
  block.bytes[1] = static_cast<std::uint8_t>((block.bytes[1] & kKeepOnDelay) | kOffDelayRowCodes[row]);
}

void SetOnDelayRow(SettingsBlock& block, int row) {
  if (row < 0 || row >= kOnDelayRows) return;
  block.bytes[1] = static_cast<std::uint8_t>((block.bytes[1] & kKeepOffDelay) | (row << 4));
}

bool SensorEnabled(const SettingsBlock& block) { return (block.bytes[0] & kSensorEnabledBit) != 0; }

int DecodeRangeIndex(const SettingsBlock& block) {
  int code = RangeCode(block);
  return code == 2 ? 1 : code;
}

int OffDelayCheckRow(const SettingsBlock& block) {
  switch (OffDelayCode(block)) {
    case 3:
      return 1;
    case 4:
      return 2;
    default:
      return 0;
  }
}

int OnDelayCheckRow(const SettingsBlock& block) { return OnDelayCode(block); }

std::u16string RangeText(const SettingsBlock& block, const ChoiceWords& words) {
  // Code 1 is never written by this program but reads as Maximum; code 3 has no text.
  return RangeRowText(DecodeRangeIndex(block), words);
}

std::u16string OffDelayText(const SettingsBlock& block, const ChoiceWords& words) {
  return OffDelayCodeText(OffDelayCode(block), words);
}

std::u16string OnDelayText(const SettingsBlock& block, const ChoiceWords& words) {
  return OnDelayCodeText(OnDelayCode(block), words);
}

std::u16string RangeRowText(int row, const ChoiceWords& words) {
  switch (row) {
    case 0:
      return FormatWord(u"  %s", words.minimum);
    case 1:
      return FormatWord(u"  %s", words.maximum);
    default:
      return {};
  }
}

std::u16string OffDelayRowText(int row, const ChoiceWords& words) {
  if (row < 0 || row >= static_cast<int>(std::size(kOffDelayRowCodes))) return {};
  return OffDelayCodeText(kOffDelayRowCodes[row], words);
}

std::u16string OnDelayRowText(int row, const ChoiceWords& words) {
  if (row < 0 || row >= kOnDelayRows) return {};
  return OnDelayCodeText(row, words);
}

bool BlocksDiffer(const SettingsBlock& working, const SettingsBlock& current) {
  // Word by word, first to last, stopping at the first difference. memcpy keeps the loads
  // free of alignment and aliasing assumptions about the byte array.
  constexpr std::size_t kWordSize = sizeof(std::uint32_t);
  static_assert(kSettingsBlockSize % kWordSize == 0);
  for (std::size_t offset = 0; offset < kSettingsBlockSize; offset += kWordSize) {
    std::uint32_t a;
    std::uint32_t b;
    std::memcpy(&a, working.bytes + offset, kWordSize);
    std::memcpy(&b, current.bytes + offset, kWordSize);
    if (a != b) return true;
  }
  return false;
}
