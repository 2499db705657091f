// The configuration parser over byte strings: sections, headers, line ends, cuts, debug values.
// (ReadDebugValue itself is compared with the C runtime's _wtoi in debug_value_wtoi_wine_test;
// that a parse appends to filled lists is a property the appwatch_config fuzzer checks.)
#include "appwatch/monitor_config_parse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::u16string>;

struct Parsed {
  Names executables;
  Names classes;
  std::vector<int32_t> debugValues;
  ConfigParseResult result = ConfigParseResult::kParsed;
};

// ISO 8859-1: every byte is the unit of the same number; a zero byte adds nothing.
char16_t Latin1(uint8_t byte) { return byte; }

// A code page that differs from Latin-1 where tests can see it: 0x80 is the euro sign, and
// the byte 'q' has no character.
char16_t EuroAndNoQ(uint8_t byte) {
  if (byte == 0x80) return u'\u20AC';
  if (byte == 'q') return 0;
  return byte;
}

void Record(int32_t value, void* context) {
  static_cast<std::vector<int32_t>*>(context)->push_back(value);
}

Names ToNames(const NameList& list) {
  Names names;
  for (size_t i = 0; i < NameCount(list); ++i) names.emplace_back(NameAt(list, i));
  return names;
}

Parsed Parse(const std::string& text, ConvertByteFn convert = Latin1) {
  // An exact-size heap copy, so that a read past the end is caught by the address sanitizer.
  std::vector<uint8_t> bytes(text.begin(), text.end());
  NameList executables;
  NameList classes;
  Parsed parsed;
  parsed.result = ParseMonitorConfig(bytes, convert, executables, classes, Record,
                                     &parsed.debugValues);
  parsed.executables = ToNames(executables);
  parsed.classes = ToNames(classes);
  return parsed;
}

struct SectionCase {
  const char* name;
  std::string text;
  Names executables;
  Names classes;
  std::vector<int32_t> debugValues;
};

void PrintTo(const SectionCase& c, std::ostream* out) { *out << c.name; }

class MonitorConfigSections : public testing::TestWithParam<SectionCase> {};

TEST_P(MonitorConfigSections, YieldsTheseEntries) {
  const SectionCase& c = GetParam();
  Parsed parsed = Parse(c.text);
  EXPECT_EQ(parsed.result, ConfigParseResult::kParsed);
  EXPECT_EQ(parsed.executables, c.executables);
  EXPECT_EQ(parsed.classes, c.classes);
  EXPECT_EQ(parsed.debugValues, c.debugValues);
}

INSTANTIATE_TEST_SUITE_P(
    HeadersInOtherCases, MonitorConfigSections,
    testing::Values(
        SectionCase{"ExecutableLowerCaseBeforeAnyHeaderIsIgnored",
                    "[executable]\r\na.exe\r\n", {}, {}, {}},
        SectionCase{"ExecutableInOtherCaseIsAnEntry",
                    "[ClassName]\r\n[executable]\r\n[EXECUTABLE]\r\nN\r\n", {},
                    {u"[executable]", u"[EXECUTABLE]", u"N"}, {}},
        SectionCase{"ClassNameInCapitals", "[CLASSNAME]\r\nNotepad\r\n", {}, {u"Notepad"}, {}},
        SectionCase{"ClassNameInLowerCase", "[classname]\r\nEdit\r\n", {}, {u"Edit"}, {}},
        SectionCase{"DebugInCapitals", "[DEBUG]\r\n5\r\n", {}, {}, {5}},
        SectionCase{"DebugInMixedCase", "[dEbUg]\r\n6\r\n", {}, {}, {6}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DebugSection, MonitorConfigSections,
    testing::Values(
        SectionCase{"DebugFirstAddsNoEntry", "[Debug]\r\n7\r\n[Executable]\r\na.exe\r\n",
                    {u"a.exe"}, {}, {7}},
        SectionCase{"DebugStaysOnAfterLaterHeaders",
                    "[Debug]\r\n[ClassName]\r\n12\r\n[Executable]\r\n34\r\n", {u"34"}, {u"12"},
                    {12, 34}},
        SectionCase{"DigitsOfAnEntryAreAlsoADebugValue",
                    "[Debug]\r\n[Executable]\r\n7zFM.exe\r\n", {u"7zFM.exe"}, {}, {7}},
        SectionCase{"ValueOnTheHeadersOwnLineIsNotRead", "[Executable]\r\n[Debug]5\r\n",
                    {u"[Debug]5"}, {}, {}},
        SectionCase{"LastNonZeroValuesInFileOrder", "[Debug]\r\n3\r\n0\r\n9\r\n", {}, {},
                    {3, 9}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Lines, MonitorConfigSections,
    testing::Values(
        // The class section is still on after "[Debug]", whose own line becomes an entry.
        SectionCase{"SevenLineExample",
                    "[Executable]\r\na.exe\r\nb.exe\r\n[ClassName]\r\nNotepad\r\n"
                    "[Debug]\r\n200\r\n",
                    {u"a.exe", u"b.exe"}, {u"Notepad", u"[Debug]", u"200"}, {200}},
        // No byte-order mark is recognised: its bytes spoil the first header.
        SectionCase{"ByteOrderMarkIsPartOfTheFirstLine",
                    "\xEF\xBB\xBF[Executable]\r\na\r\n[ClassName]\r\nb\r\n", {}, {u"b"}, {}},
        SectionCase{"LinesBeforeTheFirstHeaderAreIgnored",
                    "junk\r\n5\r\n[Executable]\r\na\r\n", {u"a"}, {}, {}},
        SectionCase{"LastLineWithoutCrLfIsDropped", "[Executable]\r\na\r\nb", {u"a"}, {}, {}},
        SectionCase{"LastLineEndingInCrAloneIsDropped", "[Executable]\r\na\r\nb\r", {u"a"}, {},
                    {}},
        SectionCase{"LfOnlyFileYieldsNothing", "[Executable]\na.exe\nb.exe\n", {}, {}, {}},
        // The header is still recognised and two bytes skipped: "\na" goes, "b" stays.
        SectionCase{"LfOnlyHeaderIsStillRecognised", "[Executable]\nab\r\n", {u"b"}, {}, {}},
        SectionCase{"BlankLinesAreEmptyEntries", "[Executable]\r\n\r\na\r\n\r\n",
                    {u"", u"a", u""}, {}, {}},
        SectionCase{"DuplicatesStay", "[ClassName]\r\nN\r\nN\r\n", {}, {u"N", u"N"}, {}},
        SectionCase{"ClassNameEndsTheExecutableSection",
                    "[Executable]\r\na\r\n[ClassName]\r\nb\r\n[Executable]\r\nc\r\n",
                    {u"a", u"c"}, {u"b"}, {}},
        SectionCase{"LoneCrAndLoneLfArePartOfNoLine", "[Executable]\r\na\rb\nc\r\n", {u"abc"},
                    {}, {}},
        SectionCase{"ZeroBytesAddNothing", std::string("[Exec\0utable]\r\na\0b\r\n", 20),
                    {u"ab"}, {}, {}},
        // Headers are matched on the line collected so far, which a lone CR is not part of.
        SectionCase{"CrInsideAHeaderStillMakesTheHeader", "[Exec\rutable]\r\na\r\n", {u"a"}, {},
                    {}},
        // The two bytes after the bracket are skipped whatever they are.
        SectionCase{"TwoBytesAfterTheBracketAreSkipped", "[Executable]xyz\r\n", {u"z"}, {}, {}},
        SectionCase{"SkipLandingOnCrLfCompletesAnEmptyLine", "[Executable]\r\r\na\r\n",
                    {u"", u"a"}, {}, {}},
        SectionCase{"SpacesAreKept", "[ClassName]\r\n  Notepad \r\n", {}, {u"  Notepad "}, {}},
        SectionCase{"HeaderWithTrailingTextIsNoHeader", "[ClassName]\r\n[Debug] x\r\n", {},
                    {u"[Debug] x"}, {}},
        // Entries are cut to 129 characters, the front kept; 129 stay whole.
        SectionCase{"LongLineIsCutTo129Characters",
                    "[Executable]\r\n" + std::string(129, 'a') + "bcd\r\nnext\r\n",
                    {std::u16string(129, u'a'), u"next"}, {}, {}},
        SectionCase{"LineOfExactly129CharactersIsKeptWhole",
                    "[Executable]\r\n" + std::string(129, 'q') + "\r\n",
                    {std::u16string(129, u'q')}, {}, {}},
        // The rest of the header's line, less the two skipped bytes, becomes an entry (cut).
        SectionCase{"HeaderCountsTheMomentItsBracketIsRead",
                    "[ClassName]\r\n[Executable]" + std::string(300, 'x') + "\r\na\r\n",
                    {std::u16string(129, u'x'), u"a"}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    FileEndsInsideAHeader, MonitorConfigSections,
    testing::Values(SectionCase{"ExecutableHeaderAtTheVeryEnd", "[Executable]", {}, {}, {}},
                    SectionCase{"ClassNameHeaderAndCrAtTheEnd", "[ClassName]\r", {}, {}, {}},
                    SectionCase{"DebugHeaderAtTheVeryEnd", "[Debug]", {}, {}, {}},
                    SectionCase{"EmptyFile", "", {}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonitorConfigParse, EveryByteGoesThroughTheConversion) {
  Parsed parsed = Parse("[Executable]\r\n\x80 aqb\r\n", EuroAndNoQ);
  EXPECT_EQ(parsed.executables, (Names{u"\u20AC ab"}));
}

struct DebugCase {
  const char* name;
  std::string line;
  std::vector<int32_t> reported;  // what reaches the window side
};

class MonitorConfigDebugValues : public testing::TestWithParam<DebugCase> {};

TEST_P(MonitorConfigDebugValues, AfterTheDebugHeader) {
  const DebugCase& c = GetParam();
  Parsed parsed = Parse("[Debug]\r\n" + c.line + "\r\n");
  EXPECT_EQ(parsed.debugValues, c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MonitorConfigDebugValues,
    testing::Values(DebugCase{"Zero", "0", {}}, DebugCase{"LettersOnly", "abc", {}},
                    DebugCase{"Empty", "", {}}, DebugCase{"Opaque", "255", {255}},
                    DebugCase{"BeyondAByte", "256", {256}}, DebugCase{"MinusOne", "-1", {-1}},
                    DebugCase{"SpaceNumberLetter", " 42a", {42}},
                    DebugCase{"TabAndPlus", "\t+17", {17}},
                    DebugCase{"SignWithoutDigits", "-x", {}},
                    DebugCase{"TwoSigns", "+-5", {}},
                    DebugCase{"SpaceAfterSign", "- 5", {}},
                    DebugCase{"Overflow", "99999999999", {INT32_MAX}},
                    DebugCase{"NegativeOverflow", "-99999999999", {INT32_MIN}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
