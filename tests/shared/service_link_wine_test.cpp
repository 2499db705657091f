// SendSensorControl against the stand-in service in the service control manager.
#include "shared/service_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <strsafe.h>

#include <cwchar>
#include <string>

#include "appwatch/monitor_log.h"
#include "appwatch/monitor_log_line.h"
#include "iconreg/tool_texts.h"
#include "shared/format_bounded.h"
#include "shared/text16.h"
#include "tests/support/wine_support.h"

namespace {

std::vector<BYTE> PatternBlock(BYTE seed) {
  std::vector<BYTE> block(128);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(seed + i * 7);
  return block;
}

class SendSensorControlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InstallStandIn());
    ASSERT_TRUE(StartStandIn());
  }
  void TearDown() override {
    InstallStandIn();
    StartStandIn();  // leave the bench as the next test expects it
  }
};

TEST_F(SendSensorControlTest, Code200LeavesCurrentEqualToNewWhenItReturns) {
  auto newBlock = PatternBlock(3);
  ASSERT_TRUE(WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current",
                               PatternBlock(90).data(), 128));
  ASSERT_TRUE(WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New", newBlock.data(), 128));
  size_t mark = StandInLogMark();

  SendSensorControl(kControlTakeNewSettings);

  // No waiting: the service has copied New into Current by the time the control call returns.
  EXPECT_EQ(ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current"), newBlock);
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{200});
}

TEST_F(SendSensorControlTest, SuspendAndResumeReachTheService) {
  size_t mark = StandInLogMark();
  SendSensorControl(kControlSuspendSensor);
  SendSensorControl(kControlResumeSensor);
  EXPECT_EQ(StandInCodesSince(mark), (std::vector<unsigned>{202, 203}));
  std::string log = StandInLogSince(mark);
  EXPECT_NE(log.find("202 suspended"), std::string::npos) << log;
  EXPECT_NE(log.find("203 resumed"), std::string::npos) << log;
}

TEST_F(SendSensorControlTest, StoppedServiceGetsNothingAndNothingFails) {
  auto current = PatternBlock(90);
  ASSERT_TRUE(WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current", current.data(), 128));
  ASSERT_TRUE(WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New",
                               PatternBlock(1).data(), 128));
  ASSERT_TRUE(StopStandIn());
  size_t mark = StandInLogMark();

  for (DWORD code : {kControlTakeNewSettings, kControlSuspendSensor, kControlResumeSensor}) {
    SendSensorControl(code);
  }

  ASSERT_TRUE(StartStandIn());
  // The service's own start line is all that arrived; Current was not touched.
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
  EXPECT_EQ(ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current"), current);
}

TEST_F(SendSensorControlTest, MissingServiceGetsNothingAndNothingFails) {
  ASSERT_TRUE(UninstallStandIn());
  size_t mark = StandInLogMark();
  SendSensorControl(kControlTakeNewSettings);
  SendSensorControl(kControlSuspendSensor);
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
}

// The formatter is ours on every platform; on Windows it must agree with the platform's strsafe
// formatter, text and result, on every format the programs use, at the capacity they use it with,
// whole and cut.
template <typename... Args>
void ExpectSameAsStrsafe(size_t capacity, const wchar_t* format, Args... args) {
  std::vector<wchar_t> ours(capacity, L'#');
  std::vector<wchar_t> theirs(capacity, L'#');
  // This build's wide printf follows C99, where %s is a narrow string; Windows' %s is wide.
  std::wstring platformFormat = format;
  for (size_t at = platformFormat.find(L"%s"); at != std::wstring::npos;
       at = platformFormat.find(L"%s", at + 3)) {
    platformFormat.replace(at, 2, L"%ls");
  }
  const int32_t ourResult = FormatBounded(ours.data(), capacity, format, args...);
  const HRESULT theirResult = StringCchPrintfW(theirs.data(), capacity, platformFormat.c_str(), args...);
  EXPECT_EQ(ourResult, theirResult) << format << " at " << capacity;
  EXPECT_EQ(std::wstring(ours.data()), std::wstring(theirs.data())) << format << " at " << capacity;
}

TEST(FormatBoundedOnWindows, AgreesWithStrsafeOnTheProgramsFormats) {
  const std::wstring overlong(40000, L'w');
  const wchar_t* texts[] = {L"", L"msg", L"C:\\zq\\data\\ZQPRX\\appwatch.dat", overlong.c_str()};
  for (const wchar_t* text : texts) {
    // appwatch: log lines and messages.
    ExpectSameAsStrsafe(kMonitorLogLineCapacity, L"%02d:%02d:%02d:%04d::%s\r\n", 23, 59, 7, 999, text);
    ExpectSameAsStrsafe(kMonitorMessageCapacity, L"%s", text);
    ExpectSameAsStrsafe(kMonitorMessageCapacity,
                        L"Terminal failure: not enough memory to read file \"%s\".\n", text);
    ExpectSameAsStrsafe(kMonitorMessageCapacity,
                        L"Terminal failure: unable to open file \"%s\" for read.\n", text);
    // iconreg: log line and registry texts.
    ExpectSameAsStrsafe(kToolLogLineCapacity, L"[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n", 12, 31,
                        0, 5, 9, 42, text);
    ExpectSameAsStrsafe(kRegistryTextCapacity, L"\"%s%s\"", text, text);
    ExpectSameAsStrsafe(kRegistryTextCapacity, L"%s, -130", text);
    // sensorctl: choice texts, in a buffer of the format's length, the word's and the
    // terminator's (and twelve for a number), and in one a unit too small.
    for (size_t shortBy : {0, 1}) {
      const size_t word = std::wcslen(text) - shortBy * (text[0] != 0);
      ExpectSameAsStrsafe(8 + word + 1, L"  0.5 %s", text);
      ExpectSameAsStrsafe(4 + word + 1, L"  %s", text);
      ExpectSameAsStrsafe(7 + 12 + word + 1, L"  %d %s", -2147483647 - 1, text);
    }
  }
  for (unsigned value : {0u, 1u, 9u, 0xFFFFFFFFu}) {
    ExpectSameAsStrsafe(kMonitorMessageCapacity,
                        AsWide(kMonitorLogLostLinesFormat), value);
    ExpectSameAsStrsafe(kMonitorMessageCapacity,
                        L"ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=%x\n", value);
    ExpectSameAsStrsafe(kMonitorMessageCapacity,
                        L"ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:bWMILaunchEventTrackFinished = %x\n",
                        value);
  }
  ExpectSameAsStrsafe(30, L"zqwBIOSInt%ld", 0L);
  // Fields wider than their width, and a capacity that cuts inside a number.
  ExpectSameAsStrsafe(kMonitorLogLineCapacity, L"%02d:%02d:%02d:%04d::%s\r\n", 123, -1, 0, 12345, L"x");
  ExpectSameAsStrsafe(12, L"[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n", 1, 2, 3, 4, 5, 6, L"x");
}
}  // namespace
