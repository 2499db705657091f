// Formatting of one monitor log line: time stamp, message, line end, and the cut.
#include "appwatch/monitor_log_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Line(const LogTime& time, const std::u16string& message) {
  char16_t buffer[kMonitorLogLineCapacity + 1];
  buffer[kMonitorLogLineCapacity] = u'#';  // must survive: nothing is written past capacity
  size_t length = FormatMonitorLogLine(buffer, time, message.c_str());
  EXPECT_EQ(buffer[kMonitorLogLineCapacity], u'#');
  EXPECT_EQ(buffer[length], u'\0');
  return std::u16string(buffer, length);
}

struct LineCase {
  const char* name;
  LogTime time;
  std::u16string message;
  std::u16string line;
};

class MonitorLogLine : public testing::TestWithParam<LineCase> {};

TEST_P(MonitorLogLine, Reads) {
  EXPECT_EQ(Line(GetParam().time, GetParam().message), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MonitorLogLine,
    testing::Values(
        LineCase{"SevenMilliseconds", {0, 0, 0, 7}, u"x", u"00:00:00:0007::x\r\n"},
        LineCase{"EmptyMessage", {0, 0, 0, 7}, u"", u"00:00:00:0007::\r\n"},
        LineCase{"MessageEndingInLineFeed", {12, 0, 1, 500}, u"Stop\n",
                 u"12:00:01:0500::Stop\n\r\n"},
        LineCase{"NineFiveThree", {9, 5, 3, 42}, u"ExecutableFileList:",
                 u"09:05:03:0042::ExecutableFileList:\r\n"},
        LineCase{"LastMillisecondOfTheDay", {23, 59, 59, 999}, u"a", u"23:59:59:0999::a\r\n"},
        LineCase{"PercentSignsAreText", {1, 2, 3, 4}, u"100% %s %d",
                 u"01:02:03:0004::100% %s %d\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

constexpr size_t kStampLength = 15;  // "hh:mm:ss:mmmm::"

// A message as long as fits keeps its line end; one more character costs the line feed; a
// message of 3,000 characters is cut with its line end, the stamp kept.
TEST(MonitorLogLineCut, LongMessagesLoseTheLineEndFirst) {
  struct Case {
    size_t messageLength;
    std::u16string tail;
  };
  const size_t fits = kMonitorLogLineCapacity - 1 - kStampLength - 2;
  const Case cases[] = {{fits, u"m\r\n"}, {fits + 1, u"mm\r"}, {3000, u"mmm"}};
  for (const Case& c : cases) {
    const std::u16string line = Line({4, 5, 6, 7}, std::u16string(c.messageLength, u'm'));
    EXPECT_EQ(line.size(), kMonitorLogLineCapacity - 1) << c.messageLength;
    EXPECT_EQ(line.substr(0, kStampLength), u"04:05:06:0007::") << c.messageLength;
    EXPECT_EQ(line.substr(line.size() - c.tail.size()), c.tail) << c.messageLength;
  }
}

}  // namespace
