// The string table as the host sees it: which languages it holds, that each is complete, the
// English texts, and the rule that picks a table for a UI language.
#include "sensorctl/resources/strings/string_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

std::u16string Text(std::uint16_t language, int id) {
  const char16_t* text = LookupString(language, id);
  return text != nullptr ? std::u16string(text) : std::u16string(u"<null>");
}

TEST(StringTableLanguages, AllThirtySevenLanguagesAndTheCarriedIdsArePresent) {
  const std::vector<std::uint16_t> kLanguages = {
      1,    4,    7,    10,   16,   17,   19,   20,   29,   30,   1026, 1028, 1029,
      1030, 1032, 1033, 1035, 1036, 1037, 1038, 1042, 1045, 1046, 1048, 1049, 1050,
      1051, 1055, 1058, 1060, 1061, 1062, 1063, 2070, 2074, 3084, 3098};
  // Current Serbian ids, Traditional Chinese regions, and neutral ids of languages that ship
  // only specific tables (none for 0x1A: Croatian, Serbian and Bosnian share it).
  const std::vector<std::uint16_t> kCarried = {
      0x241A, 0x281A, 0x2C1A, 0x301A, 0x701A, 0x6C1A, 0x0C04, 0x1404, 0x7C04, 0x02,
      0x05,   0x06,   0x08,   0x0B,   0x0C,   0x0D,   0x0E,   0x12,   0x15,   0x16,
      0x18,   0x19,   0x1B,   0x1F,   0x22,   0x24,   0x25,   0x26,   0x27};
  std::vector<std::uint16_t> expected = kLanguages;
  expected.insert(expected.end(), kCarried.begin(), kCarried.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(StringTableLanguages(), expected);
}

TEST(StringTableLanguages, EveryLanguageHasAllItsStringsNoneEmpty) {
  for (std::uint16_t language : StringTableLanguages()) {
    EXPECT_EQ(StringTableLanguageFor(language), language);
    ASSERT_NE(StringTableLanguageTag(language), nullptr) << language;
    for (int id : kStringIds) {
      const char16_t* text = LookupString(language, id);
      ASSERT_NE(text, nullptr) << language << " string " << id;
      std::u16string value(text);
      EXPECT_THAT(value, testing::Not(testing::IsEmpty())) << language << " string " << id;
      // LoadStringW's 1024-unit buffer must hold the whole text and its terminator.
      EXPECT_LT(value.size(), static_cast<std::size_t>(kStringBufferSize))
          << language << " string " << id;
    }
  }
}

TEST(StringTableLanguages, NumbersOutsideTheTableHaveNoText) {
  for (std::uint16_t language : {std::uint16_t{1033}, std::uint16_t{7}, std::uint16_t{0x0436}}) {
    for (int id : {-1, 0, 1, 102, 119, 130, 132, 65535}) {
      EXPECT_EQ(LookupString(language, id), nullptr) << language << " " << id;
    }
  }
}

TEST(StringTableEnglish, TextsAreExact) {
  struct Case {
    int id;
    const char16_t* text;
  };
  const Case kEnglish[] = {
      {103, u"ZQ Proximity Sensor Control"},
      {104, u"Use the Proximity sensor on your VARN notebook to turn your keyboard backlight on "
            u"or off, based on your presence in front of the computer."},
      {105, u"Sensitivity (Range):"},
      {106, u"Delay until off:"},
      {107, u"Delay until on:"},
      {108, u"Disable Proximity sensor"},
      {109, u"Apply"},
      {110, u"OK"},
      {111, u"Cancel"},
      {112, u"Feet"},
      {113, u"Second(s)"},
      {114, u"Enable"},
      {115, u"Minimum"},
      {116, u"Middle"},
      {117, u"Maximum"},
      {118, u"Waiting for the sensor service\u2026"},
      {131, u"Minute(s)"},
  };
  ASSERT_EQ(std::size(kEnglish), std::size(kStringIds));
  for (const Case& c : kEnglish) EXPECT_EQ(Text(1033, c.id), c.text) << c.id;
  EXPECT_EQ(std::u16string(StringTableLanguageTag(1033)), u"en-US");
}

TEST(StringTableFallback, PicksExactThenPrimaryNeutralThenEnglish) {
  struct Case {
    std::uint16_t uiLanguage;
    std::uint16_t table;
    std::uint16_t reads;  // the language file whose texts the user then reads
    const char* why;
  };
  const Case kCases[] = {
      {1033, 1033, 1033, "exact"},
      {1036, 1036, 1036, "French (France), exact"},
      {3084, 3084, 3084, "French (Canada), exact"},
      {0x080C, 0x0C, 1036, "French (Belgium) -> carried neutral French"},
      {0x100C, 0x0C, 1036, "French (Switzerland) -> carried neutral French"},
      {0x0407, 7, 7, "German (Germany) -> German"},
      {0x0807, 7, 7, "German (Switzerland) -> German"},
      {0x0C07, 7, 7, "German (Austria) -> German"},
      {0x0C0A, 10, 10, "Spanish (modern sort) -> Spanish"},
      {0x040A, 10, 10, "Spanish (traditional sort) -> Spanish"},
      {0x0816, 2070, 2070, "Portuguese (Portugal), exact"},
      {0x0416, 1046, 1046, "Portuguese (Brazil), exact"},
      {0x0016, 0x16, 1046, "Portuguese, neutral: carried, Brazil"},
      {0x081A, 2074, 2074, "Serbian (Latin), exact"},
      {0x0C1A, 3098, 3098, "Serbian (Cyrillic), exact"},
      {0x041A, 1050, 1050, "Croatian, exact"},
      {0x241A, 0x241A, 2074, "Serbian (Latin, Serbia): carried"},
      {0x281A, 0x281A, 3098, "Serbian (Cyrillic, Serbia): carried"},
      {0x2C1A, 0x2C1A, 2074, "Serbian (Latin, Montenegro): carried"},
      {0x301A, 0x301A, 3098, "Serbian (Cyrillic, Montenegro): carried"},
      {0x701A, 0x701A, 2074, "Serbian (Latin), script neutral: carried"},
      {0x6C1A, 0x6C1A, 3098, "Serbian (Cyrillic), script neutral: carried"},
      {0x101A, 1033, 1033, "Croatian (Bosnia): no table for it nor for the shared 0x1A"},
      {0x001A, 1033, 1033, "primary 0x1A, neutral: shared, no table"},
      {0x0404, 1028, 1028, "Chinese (Taiwan), exact"},
      {0x0804, 4, 4, "Chinese (PRC) -> Chinese, the simplified table"},
      {0x1004, 4, 4, "Chinese (Singapore) -> Chinese, the simplified table"},
      {0x0C04, 0x0C04, 1028, "Chinese (Hong Kong): carried, traditional"},
      {0x1404, 0x1404, 1028, "Chinese (Macao): carried, traditional"},
      {0x7C04, 0x7C04, 1028, "Chinese (Traditional), neutral: carried"},
      {0x0411, 17, 17, "Japanese -> Japanese"},
      {0x0C01, 1, 1, "Arabic (Egypt) -> Arabic"},
      {0x040D, 1037, 1037, "Hebrew, exact"},
      {0x0819, 0x19, 1049, "Russian (Moldova) -> carried neutral Russian"},
      {0x0818, 0x18, 1048, "Romanian (Moldova) -> carried neutral Romanian"},
      {0x0414, 20, 20, "Norwegian (Bokmal) -> Norwegian"},
      {0x0809, 1033, 1033, "English (United Kingdom): no neutral English table"},
      {0x0436, 1033, 1033, "Afrikaans: absent"},
      {0x0000, 1033, 1033, "neutral"},
      {0xFFFF, 1033, 1033, "nonsense"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(StringTableLanguageFor(c.uiLanguage), c.table) << c.why;
    for (int id : kStringIds) EXPECT_EQ(Text(c.uiLanguage, id), Text(c.reads, id)) << c.why;
  }
  // A language with two tables keeps them apart wherever a carried id could blur them.
  EXPECT_NE(Text(0x0C04, 104), Text(0x0804, 104));
  EXPECT_NE(Text(0x16, 104), Text(0x0816, 104));
  EXPECT_NE(Text(0x0C, 104), Text(0x0C0C, 104));
}

// Each language is written in its own script: a table filled with another language's text, a
// Simplified table passed off as Traditional, or a Cyrillic letter slipped into Latin Serbian
// shows up here.
bool InRange(char16_t c, char16_t low, char16_t high) { return c >= low && c <= high; }
bool IsArabic(char16_t c) { return InRange(c, 0x0600, 0x06FF); }
bool IsHebrew(char16_t c) { return InRange(c, 0x0590, 0x05FF); }
bool IsCyrillic(char16_t c) { return InRange(c, 0x0400, 0x04FF); }
bool IsGreek(char16_t c) { return InRange(c, 0x0370, 0x03FF); }
bool IsThai(char16_t c) { return InRange(c, 0x0E00, 0x0E7F); }
bool IsHangul(char16_t c) { return InRange(c, 0xAC00, 0xD7AF); }
bool IsHan(char16_t c) { return InRange(c, 0x4E00, 0x9FFF); }
bool IsKanaOrHan(char16_t c) { return InRange(c, 0x3040, 0x30FF) || IsHan(c); }
bool IsLatinOrCommon(char16_t c) {
  return c < 0x0250 || InRange(c, 0x1E00, 0x1EFF) || InRange(c, 0x2000, 0x206F);
}

TEST(StringTableScripts, EachLanguageIsWrittenInItsOwnScript) {
  struct Script {
    std::uint16_t language;
    std::function<bool(char16_t)> letter;
  };
  const Script kScripts[] = {
      {1, IsArabic},      {1037, IsHebrew},   {1026, IsCyrillic}, {1049, IsCyrillic},
      {1058, IsCyrillic}, {3098, IsCyrillic}, {1032, IsGreek},    {30, IsThai},
      {1042, IsHangul},   {4, IsHan},         {1028, IsHan},      {17, IsKanaOrHan},
      // Carried ids.
      {0x02, IsCyrillic}, {0x19, IsCyrillic}, {0x22, IsCyrillic}, {0x281A, IsCyrillic},
      {0x301A, IsCyrillic}, {0x6C1A, IsCyrillic}, {0x08, IsGreek}, {0x0D, IsHebrew},
      {0x12, IsHangul},   {0x0C04, IsHan},    {0x1404, IsHan},    {0x7C04, IsHan},
  };
  // The strings that are whole words or sentences in every language ("OK" may stay "OK").
  const int kWordy[] = {103, 104, 105, 106, 107, 108, 111, 113, 115, 117, 131};
  std::vector<std::uint16_t> nonLatin;
  for (const Script& script : kScripts) {
    nonLatin.push_back(script.language);
    for (int id : kWordy) {
      std::u16string text = Text(script.language, id);
      bool found = false;
      for (char16_t c : text) found = found || script.letter(c);
      EXPECT_TRUE(found) << script.language << " string " << id << " reads "
                         << testing::PrintToString(text);
    }
  }
  for (std::uint16_t language : StringTableLanguages()) {
    if (std::find(nonLatin.begin(), nonLatin.end(), language) != nonLatin.end()) continue;
    for (int id : kStringIds) {
      for (char16_t c : Text(language, id)) {
        EXPECT_TRUE(IsLatinOrCommon(c)) << language << " string " << id << " has U+" << std::hex
                                        << static_cast<unsigned>(c);
      }
    }
  }
}

TEST(StringTableScripts, SerbianLatinAndCyrillicSayTheSameInTwoScripts) {
  const std::uint16_t kPairs[][2] = {{2074, 3098}, {0x241A, 0x281A}, {0x2C1A, 0x301A},
                                     {0x701A, 0x6C1A}};
  for (const auto& pair : kPairs) {
    for (int id : kStringIds) {
      std::u16string latin = Text(pair[0], id);
      std::u16string cyrillic = Text(pair[1], id);
      EXPECT_NE(latin, cyrillic) << pair[0] << " " << id;
      for (char16_t c : latin) {
        EXPECT_FALSE(IsCyrillic(c)) << pair[0] << " " << id << " has U+" << std::hex
                                    << static_cast<unsigned>(c);
      }
    }
  }
}

}  // namespace
