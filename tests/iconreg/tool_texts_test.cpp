// The registry texts of the Control Panel item and the tool's log lines.
#include "iconreg/tool_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

TEST(ToolLogLine, StampFieldsAndLineEnd) {
  struct Case {
    ToolLogStamp stamp;
    std::u16string message;
    std::string line;
  };
  const Case cases[] = {
      {{3, 14, 9, 5, 7, 42}, u"Set ZQ Proximity Sensor Utility Icon",
       "[03:14:09:05:07:0042] Set ZQ Proximity Sensor Utility Icon\r\n"},
      {{1, 1, 0, 0, 0, 0}, u"return -1", "[01:01:00:00:00:0000] return -1\r\n"},  // no year
      {{12, 31, 23, 59, 59, 999}, u"x", "[12:31:23:59:59:0999] x\r\n"},
      {{10, 9, 8, 7, 6, 5}, u"", "[10:09:08:07:06:0005] \r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Narrow(FormatToolLogLine(c.stamp, c.message.c_str())), c.line);
  }
}

TEST(ToolLogLine, MessageTextIsKeptAsItIs) {
  std::u16string message = u"%s \u00e9\U0001F600 100%";
  std::u16string line = FormatToolLogLine({5, 6, 7, 8, 9, 10}, message.c_str());
  EXPECT_EQ(line, u"[05:06:07:08:09:0010] " + message + u"\r\n");
}

TEST(ToolLogLine, LongLineKeeps2047CharactersWithoutItsEnd) {
  const size_t stampLength = std::u16string(u"[01:01:00:00:00:0000] ").size();
  // Exactly fitting: 2047 characters including the line end.
  std::u16string fits(2047 - stampLength - 2, u'a');
  std::u16string line = FormatToolLogLine({}, fits.c_str());
  EXPECT_EQ(line.size(), 2047u);
  EXPECT_EQ(line.substr(line.size() - 2), u"\r\n");
  // One more character costs the line feed, two more the whole line end.
  std::u16string over(fits.size() + 1, u'b');
  line = FormatToolLogLine({}, over.c_str());
  EXPECT_EQ(line.size(), 2047u);
  EXPECT_EQ(line.substr(line.size() - 2), u"b\r");
  over += u'b';
  line = FormatToolLogLine({}, over.c_str());
  EXPECT_EQ(line.size(), 2047u);
  EXPECT_EQ(line.substr(line.size() - 2), u"bb");
}

TEST(ControlPanelTexts, CommandAndIcon) {
  struct Case {
    std::u16string folder;
    std::u16string command;
  };
  const Case cases[] = {
      {u"C:\\Program Files (x86)",
       u"\"C:\\Program Files (x86)\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\""},
      {u"C:\\Program Files", u"\"C:\\Program Files\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\""},
      // Windows could not name the folder: the path starts at the tail's backslash.
      {u"", u"\"\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\""},
      // Percent signs in a folder name are text, not conversions.
      {u"D:\\100% Apps", u"\"D:\\100% Apps\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\""},
  };
  for (const Case& c : cases) {
    RegistryText command = BuildCommandText(c.folder.c_str());
    EXPECT_TRUE(command.complete) << testing::PrintToString(command.text);
    EXPECT_EQ(command.text, c.command);
    RegistryText icon = BuildIconText(c.folder.c_str());
    EXPECT_TRUE(icon.complete) << testing::PrintToString(icon.text);
    EXPECT_EQ(icon.text, c.command + u", -130");
  }
  EXPECT_EQ(BuildCommandText(nullptr).text, u"\"\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\"");
}

TEST(ControlPanelTexts, LongFoldersAreWrittenWhole) {
  // Folders far past the old 70-character comfort zone, up to the longest path Windows has.
  for (size_t length : {size_t{71}, size_t{129}, size_t{259}, size_t{260}, size_t{1000},
                        size_t{32767}}) {
    std::u16string folder = u"C:\\" + std::u16string(length - 3, u'p');
    RegistryText command = BuildCommandText(folder.c_str());
    RegistryText icon = BuildIconText(folder.c_str());
    ASSERT_TRUE(command.complete) << length;
    ASSERT_TRUE(icon.complete) << length;
    EXPECT_EQ(command.text, u"\"" + folder + kProgramPathTail + u"\"") << length;
    EXPECT_EQ(icon.text, command.text + u", -130") << length;
  }
}

TEST(ControlPanelTexts, TextThatWouldBeCutIsReportedIncomplete) {
  // The largest folder whose icon text still fits, and one character more.
  const size_t tail = std::u16string(kProgramPathTail).size();
  const size_t iconExtra = tail + 2 + std::u16string(u", -130").size();
  const size_t largest = kRegistryTextCapacity - 1 - iconExtra;

  std::u16string folder(largest, u'f');
  EXPECT_TRUE(BuildIconText(folder.c_str()).complete);
  EXPECT_TRUE(BuildCommandText(folder.c_str()).complete);

  folder += u'f';
  RegistryText icon = BuildIconText(folder.c_str());
  EXPECT_FALSE(icon.complete) << "length " << icon.text.size();
  EXPECT_TRUE(BuildCommandText(folder.c_str()).complete);  // 6 characters shorter: still fits

  std::u16string huge(kRegistryTextCapacity, u'h');
  EXPECT_FALSE(BuildCommandText(huge.c_str()).complete);
  EXPECT_FALSE(BuildIconText(huge.c_str()).complete);
}

// The keys the Control Panel reads, as it names them.
TEST(ControlPanelTexts, KeyPaths) {
  const std::pair<const char16_t*, const char16_t*> kPaths[] = {
      {kClassKeyPath, u"CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}"},
      {kIconKeyPath, u"CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}\\DefaultIcon"},
      {kShellKeyPath, u"CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}\\Shell"},
      {kOpenKeyPath, u"CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}\\Shell\\Open"},
      {kOpenCommandKeyPath,
       u"CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}\\Shell\\Open\\Command"},
      {kNamespaceKeyPath,
       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\"
       u"{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}"},
  };
  for (const auto& [path, expected] : kPaths) EXPECT_EQ(std::u16string(path), expected);
}

}  // namespace
