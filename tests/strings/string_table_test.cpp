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

TEST(StringTableLanguages, AllThirtySevenLanguagesArePresent) {
  const std::vector<std::uint16_t> kExpected = {
      1,    4,    7,    10,   16,   17,   19,   20,   29,   30,   1026, 1028, 1029,
      1030, 1032, 1033, 1035, 1036, 1037, 1038, 1042, 1045, 1046, 1048, 1049, 1050,
      1051, 1055, 1058, 1060, 1061, 1062, 1063, 2070, 2074, 3084, 3098};
  EXPECT_EQ(StringTableLanguages(), kExpected);
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
    const char16_t* apply;  // what the Apply button then reads
    const char* why;
  };
  const Case kCases[] = {
      {1033, 1033, u"Apply", "exact"},
      {1036, 1036, u"Appliquer", "French (France), exact"},
      {3084, 3084, u"Appliquer", "French (Canada), exact"},
      {0x0407, 7, u"Übernehmen", "German (Germany) -> German"},
      {0x0807, 7, u"Übernehmen", "German (Switzerland) -> German"},
      {0x0C0A, 10, u"Aplicar", "Spanish (modern sort) -> Spanish"},
      {0x040A, 10, u"Aplicar", "Spanish (traditional sort) -> Spanish"},
      {0x0816, 2070, u"Aplicar", "Portuguese (Portugal), exact"},
      {0x0416, 1046, u"Aplicar", "Portuguese (Brazil), exact"},
      {0x081A, 2074, u"Primeni", "Serbian (Latin), exact"},
      {0x0C1A, 3098, u"Примени", "Serbian (Cyrillic), exact"},
      {0x041A, 1050, u"Primijeni", "Croatian, exact"},
      {0x241A, 1033, u"Apply", "Serbian (Latin, Serbia): no table for it nor for primary 0x1A"},
      {0x0404, 1028, u"套用", "Chinese (Taiwan), exact"},
      {0x0804, 4, u"应用", "Chinese (PRC) -> Chinese"},
      {0x0C04, 4, u"应用", "Chinese (Hong Kong) -> primary Chinese, which is the simplified table"},
      {0x0411, 17, u"適用", "Japanese -> Japanese"},
      {0x0C01, 1, u"تطبيق", "Arabic (Egypt) -> Arabic"},
      {0x040D, 1037, u"החל", "Hebrew, exact"},
      {0x0414, 20, u"Bruk", "Norwegian (Bokmal) -> Norwegian"},
      {0x0809, 1033, u"Apply", "English (United Kingdom): no neutral English table"},
      {0x100C, 1033, u"Apply", "French (Switzerland): no neutral French table"},
      {0x0436, 1033, u"Apply", "Afrikaans: absent"},
      {0x0000, 1033, u"Apply", "neutral"},
      {0xFFFF, 1033, u"Apply", "nonsense"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(StringTableLanguageFor(c.uiLanguage), c.table) << c.why;
    EXPECT_EQ(Text(c.uiLanguage, 109), c.apply) << c.why;
  }
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
      EXPECT_TRUE(found) << script.language << " string " << id;
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

TEST(StringTableScripts, SimplifiedAndTraditionalChineseAreKeptApart) {
  // The two tables share some characters, but the description cannot be the same text.
  EXPECT_NE(Text(4, 104), Text(1028, 104));
  EXPECT_NE(Text(4, 103), Text(1028, 103));
}

TEST(StringTableScripts, SerbianLatinAndCyrillicSayTheSameInTwoScripts) {
  for (int id : kStringIds) {
    std::u16string latin = Text(2074, id);
    std::u16string cyrillic = Text(3098, id);
    EXPECT_NE(latin, cyrillic) << id;
    for (char16_t c : latin) EXPECT_FALSE(IsCyrillic(c)) << id;
  }
}

}  // namespace
