// The configuration the installer lays down, read by appwatch's own parser: both lists empty,
// debug value 0; and the one line a user edits to show the monitor window is read as the debug
// value (so the default file names every section where a user expects it).
#include "appwatch/monitor_config_parse.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadDefaultConfig() {
  std::ifstream file(ZQ_DEFAULT_CONFIG, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

char16_t Latin1(uint8_t byte) { return byte; }

void Record(int32_t value, void* context) {
  static_cast<std::vector<int32_t>*>(context)->push_back(value);
}

struct Parsed {
  size_t executables = 0;
  size_t classes = 0;
  std::vector<int32_t> debugValues;
};

Parsed Parse(const std::string& text) {
  NameList executables, classes;
  Parsed parsed;
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  EXPECT_EQ(ParseMonitorConfig(bytes, Latin1, executables, classes, Record, &parsed.debugValues),
            ConfigParseResult::kParsed);
  parsed.executables = NameCount(executables);
  parsed.classes = NameCount(classes);
  return parsed;
}

TEST(DefaultConfig, EmptyListsAndDebugValueZero) {
  std::string text = ReadDefaultConfig();
  ASSERT_FALSE(text.empty());
  Parsed parsed = Parse(text);
  EXPECT_EQ(parsed.executables, 0u);
  EXPECT_EQ(parsed.classes, 0u);
  EXPECT_EQ(parsed.debugValues, std::vector<int32_t>{});  // only non-zero values are reported
}

TEST(DefaultConfig, EditedDebugLineAndListsAreRead) {
  std::string text = ReadDefaultConfig();
  size_t zero = text.find("\r\n0\r\n");
  ASSERT_NE(zero, std::string::npos) << "no debug line of its own";
  text.replace(zero + 2, 1, "200");
  text.replace(text.find("[Executable]\r\n") + 14, 0, "player.exe\r\n");
  text += "Notepad\r\n";
  Parsed parsed = Parse(text);
  EXPECT_EQ(parsed.executables, 1u);
  EXPECT_EQ(parsed.classes, 1u);
  EXPECT_EQ(parsed.debugValues, std::vector<int32_t>{200});
}

}  // namespace
