// The settings block: what each pick writes, what each stored code shows, and when two blocks
// count as different.
#include "sensorctl/settings/settings_block.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/settings/choice_words_for.h"

namespace {

SettingsBlock RandomBlock(std::mt19937& random) {
  SettingsBlock block;
  for (auto& byte : block.bytes) byte = static_cast<std::uint8_t>(random());
  return block;
}

SettingsBlock BlockWith(std::uint8_t byte0, std::uint8_t byte1) {
  SettingsBlock block = {};
  block.bytes[0] = byte0;
  block.bytes[1] = byte1;
  return block;
}

const ChoiceWords kEnglish{u"Second(s)", u"Minute(s)", u"Minimum", u"Maximum"};

// --- Encoding: every pick touches its own bits and nothing else. ---

struct PickCase {
  const char* name;
  std::function<void(SettingsBlock&)> pick;
  int byteIndex;           // the byte the field lies in
  std::uint8_t fieldMask;  // the field's bits in that byte
  std::uint8_t fieldBits;  // what the field holds after the pick
};

const PickCase kPicks[] = {
    {"enable", [](SettingsBlock& b) { SetSensorEnabled(b, true); }, 0, 0x01, 0x01},
    {"disable", [](SettingsBlock& b) { SetSensorEnabled(b, false); }, 0, 0x01, 0x00},
    {"range row 0 (Minimum, code 0)", [](SettingsBlock& b) { SetRangeRow(b, 0); }, 0, 0x06, 0x00},
    {"range row 1 (Maximum, code 2)", [](SettingsBlock& b) { SetRangeRow(b, 1); }, 0, 0x06, 0x04},
    {"off row 0 (10 s, code 1)", [](SettingsBlock& b) { SetOffDelayRow(b, 0); }, 1, 0x0F, 0x01},
    {"off row 1 (1 min, code 3)", [](SettingsBlock& b) { SetOffDelayRow(b, 1); }, 1, 0x0F, 0x03},
    {"off row 2 (3 min, code 4)", [](SettingsBlock& b) { SetOffDelayRow(b, 2); }, 1, 0x0F, 0x04},
    {"on row 0 (0.5 s, code 0)", [](SettingsBlock& b) { SetOnDelayRow(b, 0); }, 1, 0xF0, 0x00},
    {"on row 1 (1 s, code 1)", [](SettingsBlock& b) { SetOnDelayRow(b, 1); }, 1, 0xF0, 0x10},
    {"on row 2 (3 s, code 2)", [](SettingsBlock& b) { SetOnDelayRow(b, 2); }, 1, 0xF0, 0x20},
};

TEST(SettingsBlockPicks, EachPickSetsItsFieldAndKeepsEveryOtherBit) {
  std::mt19937 random(20240611);
  for (const PickCase& pick : kPicks) {
    for (int round = 0; round < 300; ++round) {
      SettingsBlock before = RandomBlock(random);
      SettingsBlock after = before;
      pick.pick(after);
      for (int i = 0; i < static_cast<int>(kSettingsBlockSize); ++i) {
        std::uint8_t mask = i == pick.byteIndex ? pick.fieldMask : 0;
        ASSERT_EQ(after.bytes[i] & ~mask, before.bytes[i] & ~mask)
            << pick.name << ": byte " << i << " changed outside its field";
      }
      ASSERT_EQ(after.bytes[pick.byteIndex] & pick.fieldMask, pick.fieldBits) << pick.name;
    }
  }
}

TEST(SettingsBlockPicks, RowsTheListDoesNotHaveChangeNothing) {
  std::mt19937 random(7);
  const std::function<void(SettingsBlock&, int)> setters[] = {SetRangeRow, SetOffDelayRow,
                                                              SetOnDelayRow};
  const std::vector<int> rangeRows = {-1, 2, 3, INT_MIN, INT_MAX};
  const std::vector<int> delayRows = {-1, 3, 4, 15, INT_MIN, INT_MAX};
  for (int s = 0; s < 3; ++s) {
    for (int row : s == 0 ? rangeRows : delayRows) {
      SettingsBlock before = RandomBlock(random);
      SettingsBlock after = before;
      setters[s](after, row);
      EXPECT_EQ(std::memcmp(before.bytes, after.bytes, kSettingsBlockSize), 0)
          << "setter " << s << " row " << row;
    }
  }
}

TEST(SettingsBlockPicks, PickedRowCarriesTheCheckMarkAndTheRowText) {
  // After an apply, "Current" equals the picked block: its check mark and button text must
  // match the row the user picked.
  for (int row = 0; row < 2; ++row) {
    SettingsBlock block = BlockWith(0xFF, 0xFF);
    SetRangeRow(block, row);
    EXPECT_EQ(DecodeRangeIndex(block), row);
    EXPECT_EQ(RangeText(block, kEnglish), RangeRowText(row, kEnglish));
  }
  for (int row = 0; row < 3; ++row) {
    SettingsBlock block = BlockWith(0xFF, 0xFF);
    SetOffDelayRow(block, row);
    EXPECT_EQ(OffDelayCheckRow(block), row);
    EXPECT_EQ(OffDelayText(block, kEnglish), OffDelayRowText(row, kEnglish));
    block = BlockWith(0xFF, 0xFF);
    SetOnDelayRow(block, row);
    EXPECT_EQ(OnDelayCheckRow(block), row);
    EXPECT_EQ(OnDelayText(block, kEnglish), OnDelayRowText(row, kEnglish));
  }
}

// --- Decoding: every value of bytes 0 and 1. ---

TEST(SettingsBlockDecoding, EveryValueOfByteZero) {
  const int kRangeIndexOfCode[] = {0, 1, 1, 3};
  const char16_t* kRangeTextOfCode[] = {u"  Minimum", u"  Maximum", u"  Maximum", u""};
  for (int value = 0; value < 256; ++value) {
    SettingsBlock block = BlockWith(static_cast<std::uint8_t>(value), 0x5A);
    int code = (value >> 1) & 3;
    EXPECT_EQ(SensorEnabled(block), (value & 1) != 0) << value;
    EXPECT_EQ(DecodeRangeIndex(block), kRangeIndexOfCode[code]) << value;
    EXPECT_EQ(RangeText(block, kEnglish), kRangeTextOfCode[code]) << value;
  }
}

TEST(SettingsBlockDecoding, EveryValueOfByteOne) {
  // Codes past these have no text.
  const char16_t* kOffText[] = {u"  5 Second(s)",  u"  10 Second(s)", u"  30 Second(s)",
                                u"  1 Minute(s)",  u"  3 Minute(s)",  u"  5 Minute(s)",
                                u"  10 Minute(s)", u"  15 Minute(s)"};
  const int kOffCheckRow[16] = {0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const char16_t* kOnText[] = {u"  0.5 Second(s)", u"  1 Second(s)", u"  3 Second(s)",
                               u"  5 Second(s)"};
  for (int value = 0; value < 256; ++value) {
    SettingsBlock block = BlockWith(0xA5, static_cast<std::uint8_t>(value));
    int off = value & 0x0F;
    int on = value >> 4;
    EXPECT_EQ(OffDelayText(block, kEnglish), off < 8 ? kOffText[off] : u"") << value;
    EXPECT_EQ(OffDelayCheckRow(block), kOffCheckRow[off]) << value;
    EXPECT_EQ(OnDelayText(block, kEnglish), on < 4 ? kOnText[on] : u"") << value;
    // The code itself, also where it has no text: the list then checks no row.
    EXPECT_EQ(OnDelayCheckRow(block), on) << value;
  }
}

// The texts of the rows a list has follow from the tests above: each pick writes its row's code,
// the row's text is the text of the picked block, and the text of every code is pinned.
TEST(SettingsBlockDecoding, RowsTheListDoesNotHaveNoText) {
  for (int row : {-1, 2, 3, INT_MAX}) EXPECT_EQ(RangeRowText(row, kEnglish), u"") << row;
  for (int row : {-1, 3, 4, INT_MIN}) {
    EXPECT_EQ(OffDelayRowText(row, kEnglish), u"") << row;
    EXPECT_EQ(OnDelayRowText(row, kEnglish), u"") << row;
  }
}

TEST(SettingsBlockDecoding, WordsAreTakenAsTheyAreNeitherParsedNorCut) {
  // A translation may hold a '%' and may be as long as a loaded string can be.
  std::u16string longWord(1023, u'w');
  ChoiceWords odd{u"%s %d %%", longWord, u"100%", u"%n"};
  SettingsBlock block = BlockWith(0x02, 0x17);  // range code 1, off code 7, on code 1
  EXPECT_EQ(RangeText(block, odd), u"  %n");
  EXPECT_EQ(OffDelayText(block, odd), u"  15 " + longWord);
  EXPECT_EQ(OnDelayText(block, odd), u"  1 %s %d %%");
  EXPECT_EQ(RangeRowText(0, odd), u"  100%");
  EXPECT_EQ(OnDelayRowText(0, odd), u"  0.5 %s %d %%");
}

// --- Texts in every language of the string table. ---

// With the test below, the English texts pinned above are what the program shows.
TEST(SettingsBlockTexts, TheStringTableHoldsTheEnglishWordsPinnedHere) {
  const ChoiceWords words = ChoiceWordsFor(kEnglishUnitedStates);
  EXPECT_EQ(std::tie(words.seconds, words.minutes, words.minimum, words.maximum),
            std::tie(kEnglish.seconds, kEnglish.minutes, kEnglish.minimum, kEnglish.maximum));
}

TEST(SettingsBlockTexts, EveryLanguageBuildsItsChoicesFromItsOwnWords) {
  // The formats are the same in every language; only the words differ.
  struct Expected {
    const char16_t* prefix;  // the text before the word
    std::u16string ChoiceWords::*word;
  };
  const Expected kOff[8] = {{u"  5 ", &ChoiceWords::seconds},  {u"  10 ", &ChoiceWords::seconds},
                            {u"  30 ", &ChoiceWords::seconds}, {u"  1 ", &ChoiceWords::minutes},
                            {u"  3 ", &ChoiceWords::minutes},  {u"  5 ", &ChoiceWords::minutes},
                            {u"  10 ", &ChoiceWords::minutes}, {u"  15 ", &ChoiceWords::minutes}};
  const Expected kOn[4] = {{u"  0.5 ", &ChoiceWords::seconds}, {u"  1 ", &ChoiceWords::seconds},
                           {u"  3 ", &ChoiceWords::seconds}, {u"  5 ", &ChoiceWords::seconds}};
  const Expected kRange[4] = {{u"  ", &ChoiceWords::minimum}, {u"  ", &ChoiceWords::maximum},
                              {u"  ", &ChoiceWords::maximum}, {nullptr, nullptr}};
  for (std::uint16_t language : StringTableLanguages()) {
    ChoiceWords words = ChoiceWordsFor(language);
    ASSERT_FALSE(words.seconds.empty() || words.minutes.empty() || words.minimum.empty() ||
                 words.maximum.empty())
        << language;
    for (int code = 0; code < 16; ++code) {
      SettingsBlock block = BlockWith(0, static_cast<std::uint8_t>(code | code << 4));
      std::u16string off = code < 8 ? kOff[code].prefix + words.*kOff[code].word : u"";
      std::u16string on = code < 4 ? kOn[code].prefix + words.*kOn[code].word : u"";
      EXPECT_EQ(OffDelayText(block, words), off) << language << " code " << code;
      EXPECT_EQ(OnDelayText(block, words), on) << language << " code " << code;
    }
    for (int code = 0; code < 4; ++code) {
      SettingsBlock block = BlockWith(static_cast<std::uint8_t>(code << 1), 0);
      std::u16string range = kRange[code].prefix ? kRange[code].prefix + words.*kRange[code].word
                                                 : u"";
      EXPECT_EQ(RangeText(block, words), range) << language << " code " << code;
    }
    EXPECT_EQ(OffDelayRowText(1, words), u"  1 " + words.minutes) << language;
    EXPECT_EQ(OnDelayRowText(0, words), u"  0.5 " + words.seconds) << language;
  }
}

// --- Comparison. ---

TEST(BlocksDifferTest, SingleDifferingByte) {
  std::mt19937 random(99);
  for (int index : {0, 1, 2, 3, 4, 63, 64, 124, 127}) {
    for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      SettingsBlock current = RandomBlock(random);
      SettingsBlock working = current;
      working.bytes[index] ^= flip;
      EXPECT_TRUE(BlocksDiffer(working, current)) << "byte " << index << " flip " << int(flip);
      EXPECT_TRUE(BlocksDiffer(current, working)) << "byte " << index << " flip " << int(flip);
    }
  }
}

TEST(BlocksDifferTest, EqualBlocksDoNotDiffer) {
  std::mt19937 random(5);
  for (int round = 0; round < 50; ++round) {
    SettingsBlock a = RandomBlock(random);
    SettingsBlock b = a;
    EXPECT_FALSE(BlocksDiffer(a, b));
    EXPECT_FALSE(BlocksDiffer(a, a));
  }
}

TEST(BlocksDifferTest, StoredRangeCodeOneDiffersOnceMaximumIsPicked) {
  // Code 1 reads as Maximum, but picking Maximum stores code 2: the next apply writes "New".
  SettingsBlock current = BlockWith(0x02, 0x00);
  EXPECT_EQ(RangeText(current, kEnglish), u"  Maximum");
  SettingsBlock working = current;
  SetRangeRow(working, 1);
  EXPECT_EQ(working.bytes[0], 0x04);
  EXPECT_TRUE(BlocksDiffer(working, current));
}

TEST(BlocksDifferTest, PickingTheStoredValueLeavesTheBlocksEqual) {
  std::mt19937 random(31);
  for (const PickCase& pick : kPicks) {
    SettingsBlock current = RandomBlock(random);
    pick.pick(current);  // "Current" already holds the value the pick writes
    SettingsBlock working = current;
    pick.pick(working);
    EXPECT_FALSE(BlocksDiffer(working, current)) << pick.name;
  }
}

TEST(BlocksDifferTest, RangeCodeThreeIsKeptUntilARowIsPicked) {
  SettingsBlock current = BlockWith(0x06 | 0xF8, 0x9F);  // range code 3, off 15, on 9
  SettingsBlock working = current;
  SetOffDelayRow(working, 1);
  EXPECT_EQ(working.bytes[0], current.bytes[0]);
  EXPECT_EQ(DecodeRangeIndex(working), 3);
  EXPECT_EQ(RangeText(working, kEnglish), u"");
  EXPECT_EQ(working.bytes[1], 0x93);
}

}  // namespace
