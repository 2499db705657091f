// The monitor window and its watchers in this process, with execution states fed through the
// watcher's seam (Wine always answers the real question with the same value) and the stand-in
// sensor service receiving the codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "appwatch/monitor_config.h"
#include "appwatch/appwatch_test_hooks.h"
#include "appwatch/monitor_state.h"
#include "appwatch/monitor_window.h"
#include "appwatch/resource.h"
#include "appwatch/watcher.h"
#include "shared/win_handles.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/appwatch/watcher_seam.h"
#include "tests/support/wine_support.h"

namespace {

constexpr DWORD kPause = 50;           // the watchers' pause in most of these tests
constexpr DWORD kSequencePause = 200;  // long enough for a run of commands inside one pause
constexpr DWORD kCodeTimeout = 10000;

constexpr int kStart = ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR;
constexpr int kStop = ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR;

std::vector<std::wstring> LogMessagesContaining(const std::wstring& part) {
  std::vector<std::wstring> found;
  for (const std::wstring& message : LogMessages()) {
    if (message.find(part) != std::wstring::npos) found.push_back(message);
  }
  return found;
}

class MonitorWatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveMonitorFiles();
    ClearMonitorListsForTests();
    ASSERT_TRUE(InstallStandIn());
    ASSERT_TRUE(StartStandIn());
    fedState = 0;
    pollFails = false;
  }
  void TearDown() override {
    EndMonitorWindow(window_);
    SetConfigAllocationLimitForTests(SIZE_MAX);
    RemoveMonitorFiles();
    StartStandIn();
  }

  void Open() {
    SetWatcherSeamForTests(FeedExecutionState, pause_);
    window_ = CreateMonitorWindow(GetModuleHandleW(nullptr), SW_HIDE);
    ASSERT_NE(window_, nullptr);
  }
  void Command(int id) { SendMessageW(window_, WM_COMMAND, id, 0); }

  // Returns half a pause after the running watcher's next poll.
  void WaitForMidPause() {
    ULONGLONG seen = lastPollTick.load();
    ASSERT_TRUE(WaitUntil([&] { return lastPollTick.load() != seen; }, pause_ * 10));
    Sleep(pause_ / 2);
  }

  DWORD pause_ = kPause;
  HWND window_ = nullptr;
};

TEST_F(MonitorWatcherTest, EdgesSendSuspendThenResumeOnceEach) {
  Open();
  size_t mark = StandInLogMark();
  ASSERT_TRUE(WaitForPolls(2));
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());

  fedState = ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;
  EXPECT_TRUE(CodesBecome(mark, {202}));
  fedState = ES_SYSTEM_REQUIRED;
  EXPECT_TRUE(CodesBecome(mark, {202, 203}));

  EXPECT_EQ(LogMessagesContaining(L"ZQWWMIAppCloseEventTraceStartEx"),
            (std::vector<std::wstring>{kSuspendLine, kResumeLine}));
}

TEST_F(MonitorWatcherTest, DisplayRequiredAtStartSendsSuspendAtOnce) {
  fedState = ES_DISPLAY_REQUIRED;
  size_t mark = StandInLogMark();
  Open();
  EXPECT_TRUE(CodesBecome(mark, {202}));
}

TEST_F(MonitorWatcherTest, OtherBitsAloneCauseNothing) {
  Open();
  size_t mark = StandInLogMark();
  for (ULONG state : {0x1ul, 0x4ul, 0x40ul, 0x80000000ul, 0xFFFFFFFDul, 0x0ul}) {
    fedState = state;
    ASSERT_TRUE(WaitForPolls(2));
  }
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
  EXPECT_THAT(LogMessagesContaining(L"ZQWWMIAppCloseEventTraceStartEx"), testing::IsEmpty());
}

TEST_F(MonitorWatcherTest, FailedPollCountsAsNoChange) {
  Open();
  size_t mark = StandInLogMark();
  pollFails = true;  // leaves the display bit set in its output
  ASSERT_TRUE(WaitForPolls(3));
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());

  pollFails = false;
  fedState = ES_DISPLAY_REQUIRED;
  EXPECT_TRUE(CodesBecome(mark, {202}));
  fedState = 0;
  pollFails = true;
  ASSERT_TRUE(WaitForPolls(3));
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{202});
}

TEST_F(MonitorWatcherTest, StopWhileDisplayRequiredSendsNoResume) {
  fedState = ES_DISPLAY_REQUIRED;
  size_t mark = StandInLogMark();
  Open();
  EXPECT_TRUE(CodesBecome(mark, {202}));

  Command(kStop);
  EXPECT_TRUE(PollersEnd());
  fedState = 0;
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{202});
}

TEST_F(MonitorWatcherTest, ChangeWhileServiceStoppedIsLoggedNotSentAndNotResent) {
  Open();
  ASSERT_TRUE(StopStandIn());
  size_t mark = StandInLogMark();
  fedState = ES_DISPLAY_REQUIRED;
  EXPECT_TRUE(WaitUntil([] { return !LogMessagesContaining(kSuspendLine).empty(); },
                        kCodeTimeout)) << testing::PrintToString(LogMessages());

  ASSERT_TRUE(StartStandIn());
  ASSERT_TRUE(WaitForPolls(2));
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());  // 202 is lost, not resent
  fedState = 0;
  EXPECT_TRUE(CodesBecome(mark, {203}));
}

TEST_F(MonitorWatcherTest, DestroyingTheWindowEndsTheWatcher) {
  Open();
  EXPECT_EQ(PollersOver(3).size(), 1u);
  DestroyWindow(window_);
  window_ = nullptr;
  EXPECT_TRUE(PollersEnd());
}

// Any sequence of Start and Stop, each within one pause of the one before.
struct Sequence {
  const char* name;
  std::vector<int> commands;
};

class WatcherSequences : public MonitorWatcherTest,
                         public testing::WithParamInterface<Sequence> {};

TEST_P(WatcherSequences, LeaveExactlyOneWatcherIfTheLastWasStart) {
  pause_ = kSequencePause;
  Open();
  // The commands go in the middle of a pause, well away from the moment a watcher wakes: half
  // a pause (100 ms) for a few sent messages and log lines, which take a few milliseconds. A
  // watcher of before the commands waking among them would test another order of events, so
  // it fails the test instead. (A watcher that a command starts polls at once.)
  WaitForMidPause();
  const std::set<DWORD> earlierWatchers = EveryPoller();
  RecentPollers();
  for (int command : GetParam().commands) Command(command);
  bool earlierWatcherWoke = false;
  for (DWORD id : RecentPollers()) earlierWatcherWoke |= earlierWatchers.count(id) != 0;
  ASSERT_FALSE(earlierWatcherWoke) << "a watcher woke among the commands";

  // The log lines, as the flag stood at each command.
  std::vector<std::wstring> expectedLines;
  int flag = 0;
  for (int command : GetParam().commands) {
    if (command == kStart) {
      expectedLines.push_back(L"ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=" +
                              std::to_wstring(flag) + L"\n");
      flag = 0;
    } else if (flag == 0) {
      expectedLines.push_back(
          L"ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:bWMILaunchEventTrackFinished = 1\n");
      flag = 1;
    }
  }
  EXPECT_EQ(LogMessagesContaining(L"ID_EVENTMONITOR_"), expectedLines);
  const bool runs = flag == 0;

  // Stopped watchers wake and end; a running one goes on alone.
  if (runs) {
    std::set<DWORD> pollers = PollersOver(3);
    ASSERT_EQ(pollers.size(), 1u);
    EXPECT_TRUE(PollersEnd(*pollers.begin()));
    EXPECT_EQ(PollersOver(3), pollers);
  } else {
    EXPECT_TRUE(PollersEnd());
  }

  size_t mark = StandInLogMark();
  fedState = ES_DISPLAY_REQUIRED;
  if (!runs) {
    // No watcher is left that could see it.
    EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty());
    return;
  }
  EXPECT_TRUE(CodesBecome(mark, {202}));
  fedState = 0;
  EXPECT_TRUE(CodesBecome(mark, {202, 203}));
}

INSTANTIATE_TEST_SUITE_P(
    StartAndStop, WatcherSequences,
    testing::Values(Sequence{"None", {}}, Sequence{"Start", {kStart}},
                    Sequence{"StartStart", {kStart, kStart}}, Sequence{"Stop", {kStop}},
                    Sequence{"StopStop", {kStop, kStop}}, Sequence{"StopStart", {kStop, kStart}},
                    Sequence{"StopStartStart", {kStop, kStart, kStart}},
                    Sequence{"StartStop", {kStart, kStop}},
                    Sequence{"StopStartStop", {kStop, kStart, kStop}},
                    Sequence{"StopStartStopStart", {kStop, kStart, kStop, kStart}},
                    Sequence{"StartStopStartStopStart", {kStart, kStop, kStart, kStop, kStart}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorWatcherTest, StartAfterTheStoppedWatcherEndedStartsAFreshOne) {
  Open();
  std::set<DWORD> first = PollersOver(3);
  Command(kStop);
  EXPECT_TRUE(PollersEnd());
  Command(kStart);
  std::set<DWORD> second = PollersOver(3);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(*first.begin(), *second.begin());
}

TEST_F(MonitorWatcherTest, MissingConfigurationIsLoggedAndTheWatcherStillRuns) {
  Open();
  EXPECT_EQ(LogMessages(), std::vector<std::wstring>{kNoConfigLine});
  EXPECT_EQ(PollersOver(3).size(), 1u);
}

TEST_F(MonitorWatcherTest, BlankEntryIsDumpedAsAnEmptyMessage) {
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\n\r\na.exe\r\n[ClassName]\r\n"))
      << "error " << GetLastError();
  Open();
  EXPECT_EQ(LogMessages(), (std::vector<std::wstring>{L"ExecutableFileList:", L"", L"a.exe",
                                                      L"WindowClassNameList:"}));
}

TEST_F(MonitorWatcherTest, ConfigurationTooLargeToHoldIsLoggedAndReadAsNothing) {
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\na.exe\r\n[Debug]\r\n200\r\n"))
      << "error " << GetLastError();
  SetConfigAllocationLimitForTests(8);
  Open();
  EXPECT_EQ(LogMessages(),
            (std::vector<std::wstring>{
                L"Terminal failure: not enough memory to read file "
                L"\"C:\\zq\\data\\ZQPRX\\appwatch.dat\".\n",
                L"ExecutableFileList:", L"WindowClassNameList:"}));
  RECT rect = {};
  GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.left, -480);
  EXPECT_EQ(rect.top, -320);
  EXPECT_EQ(PollersOver(3).size(), 1u);
}

TEST_F(MonitorWatcherTest, ConfigurationBytesGoThroughTheAnsiCodePage) {
  // The bench's ANSI code page is 1252: 0x80 is the euro sign, 0xE9 an e with acute.
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\ncaf\xE9\x80.exe\r\n")) << "error " << GetLastError();
  Open();
  std::vector<std::wstring> messages = LogMessages();
  ASSERT_EQ(messages.size(), 3u);
  ASSERT_EQ(GetACP(), 1252u) << "the bench's code page";
  EXPECT_EQ(messages[1], L"caf\u00E9\u20AC.exe");
}

}  // namespace
