// SendSensorControl against the stand-in service in the service control manager.
#include "shared/service_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "shared/format_bounded.h"
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

  EXPECT_EQ(SendSensorControl(kControlTakeNewSettings), 0);

  // No waiting: the service has copied New into Current by the time the control call returns.
  EXPECT_EQ(ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current"), newBlock);
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{200});
}

TEST_F(SendSensorControlTest, SuspendAndResumeReachTheService) {
  size_t mark = StandInLogMark();
  EXPECT_EQ(SendSensorControl(kControlSuspendSensor), 0);
  EXPECT_EQ(SendSensorControl(kControlResumeSensor), 0);
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
    EXPECT_EQ(SendSensorControl(code), 0) << code;
  }

  ASSERT_TRUE(StartStandIn());
  // The service's own start line is all that arrived; Current was not touched.
  EXPECT_TRUE(StandInCodesSince(mark).empty());
  EXPECT_EQ(ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current"), current);
}

TEST_F(SendSensorControlTest, MissingServiceGetsNothingAndNothingFails) {
  ASSERT_TRUE(UninstallStandIn());
  size_t mark = StandInLogMark();
  EXPECT_EQ(SendSensorControl(kControlTakeNewSettings), 0);
  EXPECT_EQ(SendSensorControl(kControlSuspendSensor), 0);
  EXPECT_TRUE(StandInCodesSince(mark).empty());
}

// The formatter is ours on every platform; on Windows it must agree with what the platform's
// own wide printf would produce for the formats the programs use.
TEST(FormatBoundedOnWindows, AgreesWithThePlatformFormatter) {
  wchar_t ours[64];
  wchar_t theirs[64];
  FormatBounded(ours, 64, L"%02d:%02d:%02d:%04d::%s\r\n", 0, 0, 0, 7, L"msg");
  _snwprintf(theirs, 64, L"%02d:%02d:%02d:%04d::%ls\r\n", 0, 0, 0, 7, L"msg");
  EXPECT_STREQ(ours, theirs);
  FormatBounded(ours, 64, L"zqwBIOSInt%ld|%x|%d", 0L, 0xabcu, -5);
  _snwprintf(theirs, 64, L"zqwBIOSInt%ld|%x|%d", 0L, 0xabcu, -5);
  EXPECT_STREQ(ours, theirs);
}

}  // namespace
