// The configuration parser when memory runs out: every allocation of a parse is made to fail in
// turn. What the file added must be taken back to the last unit, so that lists the parser
// appends to afterwards hold exactly their entries. (Found by tests/fuzz/appwatch_config: when
// the end of an entry could not be stored, its text stayed behind and became the start of the
// next entry appended.)
//
// A program of its own, since it replaces operator new and delete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "appwatch/monitor_config_parse.h"
#include "tests/support/failing_allocations.h"

namespace {

using Names = std::vector<std::u16string>;

char16_t Latin1(uint8_t byte) { return byte; }

Names ToNames(const NameList& list) {
  Names names;
  for (size_t i = 0; i < NameCount(list); ++i) names.emplace_back(NameAt(list, i));
  return names;
}

ConfigParseResult Parse(const std::string& text, NameList& executables, NameList& classes) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  return ParseMonitorConfig(bytes, Latin1, executables, classes, nullptr, nullptr);
}

const std::string kAlready = "[Executable]\r\nalready.exe\r\n[ClassName]\r\nAlready\r\n";
const std::string kFile =
    "[Executable]\r\ncaf\xe9.exe\r\nb.exe\r\n[ClassName]\r\nNotepad\r\n[Debug]\r\n200\r\n";

TEST(MonitorConfigOutOfMemory, EveryFailedAllocationTakesBackWhatTheFileAdded) {
  // How many allocations a parse into lists of one entry each makes.
  size_t allocations = 0;
  {
    NameList executables;
    NameList classes;
    Parse(kAlready, executables, classes);
    std::vector<uint8_t> bytes(kFile.begin(), kFile.end());
    ArmAllocationFailure();
    ParseMonitorConfig(bytes, Latin1, executables, classes, nullptr, nullptr);
    allocations = DisarmAllocationFailure();
  }
  ASSERT_GT(allocations, 2u);

  for (size_t k = 0; k < allocations; ++k) {
    NameList executables;
    NameList classes;
    Parse(kAlready, executables, classes);
    const NameList executablesBefore = executables;
    const NameList classesBefore = classes;
    std::vector<uint8_t> bytes(kFile.begin(), kFile.end());

    ArmAllocationFailure(k);
    ConfigParseResult result =
        ParseMonitorConfig(bytes, Latin1, executables, classes, nullptr, nullptr);
    DisarmAllocationFailure();

    ASSERT_EQ(result, ConfigParseResult::kOutOfMemory) << "allocation " << k;
    EXPECT_EQ(executables.units, executablesBefore.units) << "allocation " << k;
    EXPECT_EQ(executables.ends, executablesBefore.ends) << "allocation " << k;
    EXPECT_EQ(classes.units, classesBefore.units) << "allocation " << k;
    EXPECT_EQ(classes.ends, classesBefore.ends) << "allocation " << k;

    // The same lists take the file again, with memory enough this time.
    ASSERT_EQ(Parse(kFile, executables, classes), ConfigParseResult::kParsed);
    EXPECT_EQ(ToNames(executables), (Names{u"already.exe", u"caf\u00e9.exe", u"b.exe"}))
        << "allocation " << k;
    EXPECT_EQ(ToNames(classes), (Names{u"Already", u"Notepad", u"[Debug]", u"200"}))
        << "allocation " << k;
  }
}

}  // namespace
