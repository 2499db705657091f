// The monitor window and its watchers in this process, with execution states fed through the
// watcher's seam (Wine always answers the real question with the same value) and the stand-in
// sensor service receiving the codes.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "appwatch/monitor_config.h"
#include "appwatch/monitor_state.h"
#include "appwatch/monitor_window.h"
#include "appwatch/resource.h"
#include "appwatch/watcher.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/support/wine_support.h"

namespace {

constexpr DWORD kPause = 50;           // the watchers' pause in most of these tests
constexpr DWORD kSequencePause = 200;  // long enough for a run of commands inside one pause
constexpr DWORD kCodeTimeout = 10000;

constexpr wchar_t kSuspendLine[] = L"ZQWWMIAppCloseEventTraceStartEx:Suspend Proximity Sensor";
constexpr wchar_t kResumeLine[] = L"ZQWWMIAppCloseEventTraceStartEx:Resume Proximity Sensor";
constexpr wchar_t kNoConfigLine[] =
    L"Terminal failure: unable to open file \"C:\\zq\\data\\ZQPRX\\appwatch.dat\" for read.\n";

constexpr int kStart = ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR;
constexpr int kStop = ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR;

std::atomic<ULONG> fedState{0};
std::atomic<bool> pollFails{false};
SRWLOCK pollRecordLock = SRWLOCK_INIT;
std::vector<DWORD> pollingThreads;
std::atomic<ULONGLONG> lastPollTime{0};

bool FeedExecutionState(ULONG* state) {
  AcquireSRWLockExclusive(&pollRecordLock);
  pollingThreads.push_back(GetCurrentThreadId());
  ReleaseSRWLockExclusive(&pollRecordLock);
  lastPollTime = GetTickCount64();
  if (pollFails.load()) {
    *state = 0x2;  // what a failed call may leave behind; it must not count
    return false;
  }
  *state = fedState.load();
  return true;
}

std::set<DWORD> PollingThreadsOver(DWORD milliseconds) {
  AcquireSRWLockExclusive(&pollRecordLock);
  pollingThreads.clear();
  ReleaseSRWLockExclusive(&pollRecordLock);
  Sleep(milliseconds);
  AcquireSRWLockExclusive(&pollRecordLock);
  std::set<DWORD> threads(pollingThreads.begin(), pollingThreads.end());
  ReleaseSRWLockExclusive(&pollRecordLock);
  return threads;
}

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
    if (window_ != nullptr) DestroyWindow(window_);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    Sleep(pause_ * 4);  // every watcher of this test has ended by now
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
    ULONGLONG seen = lastPollTime.load();
    ASSERT_TRUE(WaitUntil([&] { return lastPollTime.load() != seen; }, pause_ * 10));
    Sleep(pause_ / 2);
  }

  // Codes the stand-in received since `mark`, once they equal `expected` or after a while.
  std::vector<unsigned> CodesOnceThey(size_t mark, const std::vector<unsigned>& expected) {
    WaitUntil([&] { return StandInCodesSince(mark) == expected; }, kCodeTimeout);
    Sleep(pause_ * 4);  // and nothing more follows
    return StandInCodesSince(mark);
  }

  DWORD pause_ = kPause;
  HWND window_ = nullptr;
};

TEST_F(MonitorWatcherTest, EdgesSendSuspendThenResumeOnceEach) {
  Open();
  size_t mark = StandInLogMark();
  Sleep(kPause * 4);
  EXPECT_TRUE(StandInCodesSince(mark).empty());

  fedState = ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;
  EXPECT_EQ(CodesOnceThey(mark, {202}), std::vector<unsigned>{202});
  fedState = ES_SYSTEM_REQUIRED;
  EXPECT_EQ(CodesOnceThey(mark, {202, 203}), (std::vector<unsigned>{202, 203}));

  EXPECT_EQ(LogMessagesContaining(L"ZQWWMIAppCloseEventTraceStartEx"),
            (std::vector<std::wstring>{kSuspendLine, kResumeLine}));
}

TEST_F(MonitorWatcherTest, DisplayRequiredAtStartSendsSuspendAtOnce) {
  fedState = ES_DISPLAY_REQUIRED;
  size_t mark = StandInLogMark();
  Open();
  EXPECT_EQ(CodesOnceThey(mark, {202}), std::vector<unsigned>{202});
}

TEST_F(MonitorWatcherTest, OtherBitsAloneCauseNothing) {
  Open();
  size_t mark = StandInLogMark();
  for (ULONG state : {0x1ul, 0x4ul, 0x40ul, 0x80000000ul, 0xFFFFFFFDul, 0x0ul}) {
    fedState = state;
    Sleep(kPause * 3);
  }
  EXPECT_TRUE(StandInCodesSince(mark).empty());
  EXPECT_TRUE(LogMessagesContaining(L"ZQWWMIAppCloseEventTraceStartEx").empty());
}

TEST_F(MonitorWatcherTest, FailedPollCountsAsNoChange) {
  Open();
  size_t mark = StandInLogMark();
  pollFails = true;  // leaves the display bit set in its output
  Sleep(kPause * 6);
  EXPECT_TRUE(StandInCodesSince(mark).empty());

  pollFails = false;
  fedState = ES_DISPLAY_REQUIRED;
  EXPECT_EQ(CodesOnceThey(mark, {202}), std::vector<unsigned>{202});
  fedState = 0;
  pollFails = true;
  Sleep(kPause * 6);
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{202});
}

TEST_F(MonitorWatcherTest, StopWhileDisplayRequiredSendsNoResume) {
  fedState = ES_DISPLAY_REQUIRED;
  size_t mark = StandInLogMark();
  Open();
  EXPECT_EQ(CodesOnceThey(mark, {202}), std::vector<unsigned>{202});

  Command(kStop);
  Sleep(kPause * 3);
  fedState = 0;
  EXPECT_TRUE(PollingThreadsOver(kPause * 6).empty());
  EXPECT_EQ(StandInCodesSince(mark), std::vector<unsigned>{202});
}

TEST_F(MonitorWatcherTest, ChangeWhileServiceStoppedIsLoggedNotSentAndNotResent) {
  Open();
  ASSERT_TRUE(StopStandIn());
  size_t mark = StandInLogMark();
  fedState = ES_DISPLAY_REQUIRED;
  EXPECT_TRUE(WaitUntil([] { return !LogMessagesContaining(kSuspendLine).empty(); },
                        kCodeTimeout));

  ASSERT_TRUE(StartStandIn());
  Sleep(kPause * 6);
  EXPECT_TRUE(StandInCodesSince(mark).empty());  // 202 is lost, not resent
  fedState = 0;
  EXPECT_EQ(CodesOnceThey(mark, {203}), std::vector<unsigned>{203});
}

TEST_F(MonitorWatcherTest, DestroyingTheWindowEndsTheWatcher) {
  Open();
  EXPECT_EQ(PollingThreadsOver(kPause * 6).size(), 1u);
  DestroyWindow(window_);
  window_ = nullptr;
  Sleep(kPause * 3);
  EXPECT_TRUE(PollingThreadsOver(kPause * 6).empty());
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
  // The commands go in the middle of a pause, well away from the moment a watcher wakes.
  WaitForMidPause();
  for (int command : GetParam().commands) Command(command);

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

  Sleep(pause_ * 2);  // stopped watchers wake and end
  EXPECT_EQ(PollingThreadsOver(pause_ * 4).size(), runs ? 1u : 0u);

  size_t mark = StandInLogMark();
  fedState = ES_DISPLAY_REQUIRED;
  std::vector<unsigned> suspended = runs ? std::vector<unsigned>{202} : std::vector<unsigned>{};
  EXPECT_EQ(CodesOnceThey(mark, suspended), suspended);
  fedState = 0;
  std::vector<unsigned> both = runs ? std::vector<unsigned>{202, 203} : std::vector<unsigned>{};
  EXPECT_EQ(CodesOnceThey(mark, both), both);
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
  std::set<DWORD> first = PollingThreadsOver(kPause * 6);
  Command(kStop);
  Sleep(kPause * 4);
  Command(kStart);
  std::set<DWORD> second = PollingThreadsOver(kPause * 6);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(*first.begin(), *second.begin());
}

TEST_F(MonitorWatcherTest, MissingConfigurationIsLoggedAndTheWatcherStillRuns) {
  Open();
  EXPECT_EQ(LogMessages(), std::vector<std::wstring>{kNoConfigLine});
  EXPECT_EQ(PollingThreadsOver(kPause * 6).size(), 1u);
}

TEST_F(MonitorWatcherTest, BlankEntryIsDumpedAsAnEmptyMessage) {
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\n\r\na.exe\r\n[ClassName]\r\n"));
  Open();
  EXPECT_EQ(LogMessages(), (std::vector<std::wstring>{L"ExecutableFileList:", L"", L"a.exe",
                                                      L"WindowClassNameList:"}));
}

TEST_F(MonitorWatcherTest, ConfigurationTooLargeToHoldIsLoggedAndReadAsNothing) {
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\na.exe\r\n[Debug]\r\n200\r\n"));
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
  EXPECT_EQ(PollingThreadsOver(kPause * 6).size(), 1u);
}

TEST_F(MonitorWatcherTest, ConfigurationBytesGoThroughTheAnsiCodePage) {
  // The bench's ANSI code page is 1252: 0x80 is the euro sign, 0xE9 an e with acute.
  ASSERT_TRUE(WriteConfigFile("[Executable]\r\ncaf\xE9\x80.exe\r\n"));
  Open();
  std::vector<std::wstring> messages = LogMessages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], std::wstring(L"caf") + wchar_t(ConvertAnsiByte(0xE9)) +
                             wchar_t(ConvertAnsiByte(0x80)) + L".exe");
  if (GetACP() == 1252) {
    EXPECT_EQ(messages[1], L"caf\u00E9\u20AC.exe");
  }
}

}  // namespace
