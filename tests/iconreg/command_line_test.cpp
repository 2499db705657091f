// The switch rules of iconreg's command line, over the edge cases users and installers produce.
#include "iconreg/command_line.h"
#include "iconreg/firmware_payload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

// Failures name the action (found by gtest beside ToolAction, outside the test's namespace).
void PrintTo(ToolAction action, std::ostream* out) {
  static const char* const kNames[] = {"none", "register", "remove", "firmware"};
  *out << kNames[static_cast<int>(action)];
}

namespace {

TEST(ChooseToolAction, SwitchRules) {
  struct Case {
    std::u16string commandLine;
    ToolAction action;
  };
  const Case cases[] = {
      {u"", ToolAction::None},
      {u"   ", ToolAction::None},
      {u"R", ToolAction::None},  // no delimiter
      {u"register", ToolAction::None},
      {u"/r", ToolAction::Register},
      {u"-R", ToolAction::Register},
      {u"/R", ToolAction::Register},
      {u"-r", ToolAction::Register},
      {u"-R ", ToolAction::Register},
      {u"-R trailing words", ToolAction::Register},
      {u"-C", ToolAction::Remove},
      {u"/c", ToolAction::Remove},
      {u"-U", ToolAction::FirmwareCommand},
      {u"/u", ToolAction::FirmwareCommand},
      {u"-Rx", ToolAction::None},         // a further letter: not a switch
      {u"-R\t", ToolAction::None},        // only a space or the end ends a switch
      {u"-R\t-C", ToolAction::Remove},    // the tab case skipped, the next switch acts
      {u"-Register", ToolAction::None},
      {u"-R -C", ToolAction::Register},   // only the first recognised switch acts
      {u"-C -R", ToolAction::Remove},
      {u"-x -C", ToolAction::Remove},     // the unrecognised switch is skipped
      {u"--C", ToolAction::Remove},       // the second hyphen delimits the C
      {u"//u", ToolAction::FirmwareCommand},
      {u"-", ToolAction::None},           // a lone delimiter at the end
      {u"-R -", ToolAction::Register},
      {u"-x -", ToolAction::None},
      {u"C:\\a-b -U", ToolAction::FirmwareCommand},  // the b of a-b is found first and skipped
      {u"C:\\a-r -U", ToolAction::Register},  // "-r" before a space is a switch, even in a path
      {u"x/c", ToolAction::Remove},
      {u" -U", ToolAction::FirmwareCommand},
      {u"-\u00c4 -R", ToolAction::Register},
      {u"-\U0001F600 -C", ToolAction::Remove},  // a surrogate pair is one unrecognised letter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseToolAction(c.commandLine.c_str()), c.action)
        << std::string(c.commandLine.begin(), c.commandLine.end());
  }
}

TEST(ChooseToolAction, AbsentCommandLineDoesNothing) {
  EXPECT_EQ(ChooseToolAction(nullptr), ToolAction::None);
}

TEST(ChooseToolAction, LoneDelimiterReadsNothingPastTheEnd) {
  // The text ends right after the hyphen; a read of the unit after the terminator would be
  // caught by the address sanitizer on this exact-size heap copy.
  for (const char16_t* text : {u"-", u"/", u"-x -"}) {
    std::u16string source(text);
    auto exact = std::make_unique<char16_t[]>(source.size() + 1);
    std::copy(source.begin(), source.end(), exact.get());
    exact[source.size()] = 0;
    EXPECT_EQ(ChooseToolAction(exact.get()), ToolAction::None);
  }
}

TEST(FindSwitchLetter, PositionAfterTheFirstDelimiter) {
  const char16_t* text = u"ab/c-d";
  EXPECT_EQ(FindSwitchLetter(text, kSwitchDelimiters), text + 3);
  EXPECT_EQ(FindSwitchLetter(u"abc", kSwitchDelimiters), nullptr);
  EXPECT_EQ(FindSwitchLetter(u"", kSwitchDelimiters), nullptr);
  EXPECT_EQ(FindSwitchLetter(nullptr, kSwitchDelimiters), nullptr);
  EXPECT_EQ(FindSwitchLetter(text, u""), nullptr);
  const char16_t* end = u"xy-";
  EXPECT_EQ(FindSwitchLetter(end, kSwitchDelimiters), end + 3);  // on the terminator
}

TEST(FindSwitchLetter, StepsWithTheGivenFunction) {
  // A stepping function that treats a character and a following combining mark as one, as
  // Windows' own may: the position lands after the whole character.
  auto skipCombining = [](const char16_t* p) -> const char16_t* {
    if (*p == 0) return p;
    ++p;
    while (*p >= 0x0300 && *p <= 0x036F) ++p;
    return p;
  };
  const char16_t* text = u"-\u0301R";
  EXPECT_EQ(FindSwitchLetter(text, kSwitchDelimiters, skipCombining), text + 2);
  EXPECT_EQ(ChooseToolAction(text, skipCombining), ToolAction::Register);
  EXPECT_EQ(ChooseToolAction(text), ToolAction::None);  // unit by unit the letter is the mark
}

TEST(NextUtf16Character, SurrogatePairsAndTheEnd) {
  const char16_t pair[] = u"\U0001F600x";
  EXPECT_EQ(NextUtf16Character(pair), pair + 2);
  const char16_t lone[] = {0xD800, u'x', 0};  // an unpaired high surrogate is one unit
  EXPECT_EQ(NextUtf16Character(lone), lone + 1);
  const char16_t empty[] = u"";
  EXPECT_EQ(NextUtf16Character(empty), empty);
}

TEST(ExitCodeForRemoval, OnlyOneIsSuccess) {
  EXPECT_EQ(ExitCodeForRemoval(1), 0);
  EXPECT_EQ(ExitCodeForRemoval(0), -1);
  EXPECT_EQ(ExitCodeForRemoval(-1), -1);
}

TEST(FirmwarePayload, FixedCommandBytes) {
  auto payload = FirmwarePayload();
  ASSERT_EQ(payload.size(), 128u);
  EXPECT_EQ(payload[0] | (payload[1] << 8), 1776);  // 0x06F0, little-endian
  for (size_t i = 2; i < payload.size(); ++i) EXPECT_EQ(payload[i], 0) << i;
}

}  // namespace
