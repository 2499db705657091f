// Fuzz target: the settings block (sensorctl/settings/settings_block.*) and the string table that
// gives its choice texts (sensorctl/resources/strings/string_table.*).
//
// Input, little-endian:
//   bytes 0-127    the block as "Current" holds it (a shorter input is padded with zeros)
//   bytes 128-129  the UI language identifier
//   bytes 130-132  the rows picked in the sensitivity, delay-until-off and delay-until-on lists
//                  (signed: rows the lists do not have included)
//   byte 133       a byte position for the comparison of blocks
//   byte 134       bit 0: the choice words come from the rest of the input instead of the string
//                  table; bit 1: the check box state to set
//   bytes 135-     the four words (Second(s), Minute(s), Minimum, Maximum) as UTF-16 units,
//                  separated by NUL units, each cut to 1023 units as LoadStringW cuts them
//
// Checked against the settings block's tables, written out here independently: the decoded rows
// and check marks, the button and row texts (terminated, two leading spaces, within the 1024
// units of a text buffer), that every pick touches its own bits only and decodes back to the row
// picked, that picking the stored row changes nothing, and that BlocksDiffer is a byte comparison.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sensorctl/resources/strings/string_ids.h"
#include "sensorctl/resources/strings/string_table.h"
#include "sensorctl/settings/settings_block.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/settings/choice_words_for.h"

namespace {

uint8_t At(const uint8_t* data, size_t size, size_t i, uint8_t otherwise = 0) {
  return i < size ? data[i] : otherwise;
}

// --- The settings block's tables --------------------------------------------------------------------

std::u16string Num(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string ExpectedRangeText(int index, const ChoiceWords& w) {
  if (index == 0) return u"  " + w.minimum;
  if (index == 1) return u"  " + w.maximum;
  return u"";
}

std::u16string ExpectedOffDelayText(int code, const ChoiceWords& w) {
  static const int kNumbers[] = {5, 10, 30, 1, 3, 5, 10, 15};
  if (code < 0 || code > 7) return u"";  // 8-15: no text of their own
  return u"  " + Num(kNumbers[code]) + u" " + (code < 3 ? w.seconds : w.minutes);
}

std::u16string ExpectedOnDelayText(int code, const ChoiceWords& w) {
  switch (code) {
    case 0: return u"  0.5 " + w.seconds;
    case 1: return u"  1 " + w.seconds;
    case 2: return u"  3 " + w.seconds;
    case 3: return u"  5 " + w.seconds;
    default: return u"";  // 4-15
  }
}

const uint8_t kOffDelayRowCodes[] = {1, 3, 4};

void CheckText(const std::u16string& text, const std::u16string& expected, bool bounded) {
  FUZZ_CHECK(text == expected);
  FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
  FUZZ_CHECK(text.empty() || text.compare(0, 2, u"  ") == 0);
  // Texts of the string table's words fit every text buffer of the program.
  if (bounded) FUZZ_CHECK(text.size() < static_cast<size_t>(kStringBufferSize));
}

bool SameOutside(const SettingsBlock& a, const SettingsBlock& b, int byteIndex, uint8_t mask) {
  for (size_t i = 0; i < kSettingsBlockSize; ++i) {
    uint8_t keep = static_cast<uint8_t>(i == static_cast<size_t>(byteIndex) ? ~mask : 0xFF);
    if ((a.bytes[i] & keep) != (b.bytes[i] & keep)) return false;
  }
  return true;
}

bool BytesDiffer(const SettingsBlock& a, const SettingsBlock& b) {
  return std::memcmp(a.bytes, b.bytes, kSettingsBlockSize) != 0;
}

ChoiceWords WordsFromInput(const uint8_t* data, size_t size) {
  const std::u16string units = size > 135 ? fuzz::Utf16FromBytes(data + 135, size - 135) : u"";
  std::u16string words[4];
  size_t word = 0;
  for (char16_t unit : units) {
    if (unit == 0) {
      if (++word == 4) break;
    } else if (words[word].size() < 1023) {
      words[word].push_back(unit);
    }
  }
  return ChoiceWords{words[0], words[1], words[2], words[3]};
}

// One list: the pick's bits, the row read back, its text on the button, and a pick of a row the
// list does not have.
template <typename Set, typename CheckRow, typename Text, typename RowText>
void CheckPick(const SettingsBlock& current, int row, int rows, int byteIndex, uint8_t mask,
               Set set, CheckRow checkRow, Text buttonText, RowText rowText,
               const ChoiceWords& words, bool bounded) {
  SettingsBlock working = current;
  set(working, row);
  FUZZ_CHECK(SameOutside(working, current, byteIndex, mask));
  if (row < 0 || row >= rows) {
    FUZZ_CHECK(!BytesDiffer(working, current));
    FUZZ_CHECK(rowText(row, words).empty());
    return;
  }
  FUZZ_CHECK(checkRow(working) == row);
  // The button shows the picked row's own text, which is also the text of the stored code.
  CheckText(buttonText(working, words), rowText(row, words), bounded);
  SettingsBlock twice = working;
  set(twice, row);
  FUZZ_CHECK(!BytesDiffer(twice, working));
  FUZZ_CHECK(BlocksDiffer(working, current) == BytesDiffer(working, current));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SettingsBlock current{};
  std::memcpy(current.bytes, data, size < kSettingsBlockSize ? size : kSettingsBlockSize);
  const auto language = static_cast<uint16_t>(At(data, size, 128, 0x09) | At(data, size, 129, 0x04) << 8);
  const int rangeRow = static_cast<int8_t>(At(data, size, 130));
  const int offRow = static_cast<int8_t>(At(data, size, 131));
  const int onRow = static_cast<int8_t>(At(data, size, 132));
  const size_t position = At(data, size, 133) % kSettingsBlockSize;
  const uint8_t flags = At(data, size, 134);

  // --- The string table for this language ---
  const uint16_t table = StringTableLanguageFor(language);
  const std::vector<uint16_t> languages = StringTableLanguages();
  bool known = false;
  for (uint16_t id : languages) known = known || id == table;
  FUZZ_CHECK(known);
  bool exact = false;
  for (uint16_t id : languages) exact = exact || id == language;
  if (exact) FUZZ_CHECK(table == language);
  FUZZ_CHECK(StringTableLanguageTag(table) != nullptr);
  for (int id : kStringIds) {
    const char16_t* text = LookupString(language, id);
    FUZZ_CHECK(text != nullptr && text[0] != 0);
    FUZZ_CHECK(fuzz::Length16(text) < static_cast<size_t>(kStringBufferSize));
    FUZZ_CHECK(text == LookupString(table, id));
  }
  FUZZ_CHECK(LookupString(language, 0) == nullptr);
  FUZZ_CHECK(LookupString(language, 119) == nullptr);

  const bool wordsFromInput = (flags & 1) != 0;
  const ChoiceWords words = wordsFromInput ? WordsFromInput(data, size) : ChoiceWordsFor(language);
  const bool bounded = !wordsFromInput;

  // --- Decoding for display (table 1 to 3) ---
  const uint8_t b0 = current.bytes[0];
  const uint8_t b1 = current.bytes[1];
  static const int kRangeIndexOfCode[] = {0, 1, 1, 3};
  const int rangeIndex = kRangeIndexOfCode[(b0 >> 1) & 3];
  const int offCode = b1 & 0x0F;
  const int onCode = b1 >> 4;
  FUZZ_CHECK(SensorEnabled(current) == ((b0 & 1) != 0));
  FUZZ_CHECK(DecodeRangeIndex(current) == rangeIndex);
  FUZZ_CHECK(OffDelayCheckRow(current) == (offCode == 3 ? 1 : offCode == 4 ? 2 : 0));
  FUZZ_CHECK(OnDelayCheckRow(current) == onCode);
  CheckText(RangeText(current, words), ExpectedRangeText(rangeIndex, words), bounded);
  CheckText(OffDelayText(current, words), ExpectedOffDelayText(offCode, words), bounded);
  CheckText(OnDelayText(current, words), ExpectedOnDelayText(onCode, words), bounded);
  for (int row = -1; row <= 3; ++row) {
    CheckText(RangeRowText(row, words), row <= 1 ? ExpectedRangeText(row, words) : u"", bounded);
    CheckText(OffDelayRowText(row, words),
              row >= 0 && row <= 2 ? ExpectedOffDelayText(kOffDelayRowCodes[row], words) : u"",
              bounded);
    CheckText(OnDelayRowText(row, words), row >= 0 && row <= 2 ? ExpectedOnDelayText(row, words) : u"",
              bounded);
  }
  for (int row : {INT_MIN, INT_MAX}) {
    FUZZ_CHECK(RangeRowText(row, words).empty());
    FUZZ_CHECK(OffDelayRowText(row, words).empty());
    FUZZ_CHECK(OnDelayRowText(row, words).empty());
  }

  // --- Encoding: each pick ---
  CheckPick(current, rangeRow, 2, 0, 0x06, SetRangeRow, DecodeRangeIndex, RangeText, RangeRowText,
            words, bounded);
  CheckPick(current, offRow, 3, 1, 0x0F, SetOffDelayRow, OffDelayCheckRow, OffDelayText,
            OffDelayRowText, words, bounded);
  CheckPick(current, onRow, 3, 1, 0xF0, SetOnDelayRow, OnDelayCheckRow, OnDelayText,
            OnDelayRowText, words, bounded);
  {
    const bool enabled = (flags & 2) != 0;
    SettingsBlock working = current;
    SetSensorEnabled(working, enabled);
    FUZZ_CHECK(SameOutside(working, current, 0, 0x01));
    FUZZ_CHECK(SensorEnabled(working) == enabled);
    FUZZ_CHECK(BlocksDiffer(working, current) == (enabled != SensorEnabled(current)));
  }

  // Picking the row that the stored code shows writes that code back, unless the code is one the
  // list never writes (range code 1 reads as Maximum but is stored as 2).
  {
    SettingsBlock working = current;
    if (rangeIndex != 3) SetRangeRow(working, rangeIndex);
    FUZZ_CHECK(BlocksDiffer(working, current) == (((b0 >> 1) & 3) == 1));
    working = current;
    SetOffDelayRow(working, OffDelayCheckRow(current));
    const bool offWritable = offCode == 1 || offCode == 3 || offCode == 4;
    FUZZ_CHECK(BlocksDiffer(working, current) == !offWritable);
    working = current;
    SetOnDelayRow(working, OnDelayCheckRow(current));
    FUZZ_CHECK(!BlocksDiffer(working, current));  // codes 0-2 rewrite themselves, others no row
  }

  // A series of picks, as a user makes them, still touches nothing but the two field bytes.
  {
    SettingsBlock working = current;
    SetSensorEnabled(working, (flags & 2) != 0);
    SetRangeRow(working, rangeRow);
    SetOffDelayRow(working, offRow);
    SetOnDelayRow(working, onRow);
    for (size_t i = 2; i < kSettingsBlockSize; ++i) FUZZ_CHECK(working.bytes[i] == current.bytes[i]);
    FUZZ_CHECK((working.bytes[0] & 0xF8) == (b0 & 0xF8));
    FUZZ_CHECK(BlocksDiffer(working, current) == BytesDiffer(working, current));
    FUZZ_CHECK(BlocksDiffer(current, working) == BytesDiffer(working, current));
  }

  // --- BlocksDiffer: any one byte ---
  FUZZ_CHECK(!BlocksDiffer(current, current));
  {
    SettingsBlock other = current;
    other.bytes[position] = static_cast<uint8_t>(other.bytes[position] ^ (flags | 1));
    FUZZ_CHECK(BlocksDiffer(other, current));
    FUZZ_CHECK(BlocksDiffer(current, other));
  }
  return 0;
}
