// appwatch.exe itself, seen from a second process as other programs see it: its log, its
// window, its registered messages, its menu commands, its resources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "appwatch/monitor_log.h"
#include "appwatch/resource.h"
#include "appwatch/watcher.h"
#include "shared/format_bounded.h"
#include "shared/text16.h"
#include "shared/win_handles.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/support/seen.h"
#include "tests/support/wine_support.h"

namespace {

constexpr DWORD kTimeout = 15000;
constexpr wchar_t kStartLine0[] =
    L"ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=0\n";
constexpr wchar_t kStartLine1[] =
    L"ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=1\n";
constexpr wchar_t kStopLine[] =
    L"ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:bWMILaunchEventTrackFinished = 1\n";
constexpr char kSevenLines[] =
    "[Executable]\r\na.exe\r\nb.exe\r\n[ClassName]\r\nNotepad\r\n[Debug]\r\n200\r\n";

using Messages = std::vector<std::wstring>;

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// appwatch.exe started by this test; ended on leaving, whatever happened.
class Monitor {
 public:
  Monitor() : process_(L"\"" + ProgramPath(L"appwatch.exe") + L"\"") {
    if (!process_.Started()) return;
    WaitForInputIdle(process_.Handle(), kTimeout);
    WaitUntil([this] { return (window_ = FindOwnWindow()) != nullptr; }, kTimeout);
  }
  ~Monitor() {
    if (process_.Running() && window_ != nullptr) PostMessageW(window_, WM_COMMAND, IDM_EXIT, 0);
    process_.Finish(5000);
  }
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  HWND Window() const { return window_; }
  DWORD ProcessId() const { return process_.Id(); }
  void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    PostMessageW(window_, message, wParam, lParam);
  }
  void Command(int id) const { Post(WM_COMMAND, static_cast<WPARAM>(id)); }
  // The exit code once the program has ended, or STILL_ACTIVE.
  DWORD ExitCodeWithin(DWORD milliseconds) const {
    process_.WaitForExit(milliseconds);
    return process_.ExitCode();
  }

 private:
  HWND FindOwnWindow() const {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"APPWATCH", nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, L"APPWATCH", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == process_.Id()) return w;
    }
    return nullptr;
  }

  ChildProcess process_;
  HWND window_ = nullptr;
};

testing::AssertionResult LogBecomes(const Messages& expected) {
  return Becomes(LogMessages, expected, kTimeout);
}

class AppwatchProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveMonitorFiles();
    ASSERT_TRUE(InstallStandIn());
    ASSERT_TRUE(StartStandIn());
  }
  void TearDown() override {
    RemoveMonitorFiles();
    StartStandIn();
  }
};

TEST_F(AppwatchProgramTest, WindowIsAnOffScreenTopmostToolWindowWithCaptionAndMenu) {
  Monitor monitor;
  HWND window = monitor.Window();
  ASSERT_NE(window, nullptr);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  EXPECT_STREQ(className, L"APPWATCH");
  EXPECT_EQ(WindowText(window), L"APPWATCH");
  auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  EXPECT_EQ(exStyle & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            DWORD{WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST});
  auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), DWORD{WS_POPUP | WS_CAPTION});
  EXPECT_EQ(style & WS_SYSMENU, 0u);  // no system menu, no close box
  EXPECT_NE(GetMenu(window), nullptr);
  EXPECT_EQ(GetParent(window), nullptr);
}

struct DebugCase {
  const char* name;
  std::string config;  // empty: there is no configuration file
  int alpha;           // -1: the window stays off screen and without attributes
  Messages log;        // the whole log, when the row pins it
};

void PrintTo(const DebugCase& c, std::ostream* out) { *out << c.name; }

class AppwatchDebugValues : public AppwatchProgramTest,
                            public testing::WithParamInterface<DebugCase> {};

TEST_P(AppwatchDebugValues, DecideWhatTheWindowShows) {
  const DebugCase& c = GetParam();
  if (!c.config.empty()) {
    ASSERT_TRUE(WriteConfigFile(c.config)) << "error " << GetLastError();
  }
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  if (c.log.empty()) {
    ASSERT_TRUE(WaitUntil([] { return !LogMessages().empty(); }, kTimeout));
  } else {
    EXPECT_TRUE(LogBecomes(c.log));
  }
  // At the top left of the screen with the row's alpha, or just off it with nothing set.
  const bool shown = c.alpha >= 0;
  const LONG x = shown ? 0 : -480;
  const LONG y = shown ? 0 : -320;
  RECT rect = {};
  GetWindowRect(monitor.Window(), &rect);
  EXPECT_EQ((std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom}),
            (std::vector<LONG>{x, y, x + 480, y + 320}));
  BYTE alpha = 0;
  DWORD flags = 0;
  const BOOL layered = GetLayeredWindowAttributes(monitor.Window(), nullptr, &alpha, &flags);
  EXPECT_EQ(layered ? flags : 0u, shown ? DWORD{LWA_ALPHA} : 0u);
  if (shown) {
    EXPECT_EQ(alpha, c.alpha);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AppwatchDebugValues,
    testing::Values(DebugCase{"NoFile", "", -1, {kNoConfigLine}},
                    DebugCase{"SevenLines", kSevenLines, 200,
                              {L"ExecutableFileList:", L"a.exe", L"b.exe", L"WindowClassNameList:",
                               L"Notepad", L"[Debug]", L"200"}},
                    DebugCase{"Zero", "[Debug]\r\n0\r\n", -1, {}},
                    DebugCase{"LettersOnly", "[Debug]\r\nabc\r\n", -1, {}},
                    DebugCase{"Opaque", "[Debug]\r\n255\r\n", 255, {}},
                    DebugCase{"LowByteOf256", "[Debug]\r\n256\r\n", 0, {}},
                    DebugCase{"MinusOne", "[Debug]\r\n-1\r\n", 255, {}},
                    DebugCase{"SpaceNumberLetter", "[Debug]\r\n 42a\r\n", 42, {}},
                    DebugCase{"ValueOnTheHeaderLine", "[Debug]5\r\n", -1, {}},
                    DebugCase{"EntryBeginningWithDigits",
                              "[Debug]\r\n[Executable]\r\n7zFM.exe\r\n", 7, {}},
                    DebugCase{"LastNonZeroWins", "[Debug]\r\n30\r\n0\r\n60\r\nx\r\n", 60, {}},
                    DebugCase{"LfOnly", "[Debug]\n200\n", -1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppwatchProgramTest, StopMessageFromAnotherProcessAndExitCommandEndItWithExitCodeZero) {
  for (bool stopMessage : {true, false}) {
    SCOPED_TRACE(stopMessage ? "WM_PRXCNTSTOP" : "IDM_EXIT");
    Monitor monitor;
    ASSERT_NE(monitor.Window(), nullptr);
    if (stopMessage) {
      monitor.Post(RegisterWindowMessageW(L"WM_PRXCNTSTOP"), 12, 34);
    } else {
      monitor.Command(IDM_EXIT);
    }
    EXPECT_EQ(monitor.ExitCodeWithin(kTimeout), 0u);
  }
}

// The launch monitor's commands, posted right after start-up, each row in order: the log they
// leave. Stopping twice logs once; the close monitor's commands change nothing.
TEST_F(AppwatchProgramTest, LaunchAndCloseMonitorCommandsLogWhatChanged) {
  struct Case {
    std::vector<int> commands;
    Messages log;
  };
  const Case cases[] = {
      {{ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR}, {kNoConfigLine, kStartLine0}},
      {{ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR, ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR,
        ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR},
       {kNoConfigLine, kStopLine, kStartLine1}},
      {{ID_EVENTMONITOR_STARTAPPCLOSEMONITOR, ID_EVENTMONITOR_STOPAPPCLOSEMONITOR,
        ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR},  // the last, a marker that logs
       {kNoConfigLine, kStartLine0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.commands));
    RemoveMonitorFiles();
    Monitor monitor;
    ASSERT_NE(monitor.Window(), nullptr);
    for (int command : c.commands) monitor.Command(command);
    EXPECT_TRUE(LogBecomes(c.log));
  }
}

TEST_F(AppwatchProgramTest, SuspendAndResumeReachTheServiceWithoutALogLine) {
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  size_t mark = StandInLogMark();
  monitor.Command(ID_PROXIMITYSENSOR_SUSPEND);
  monitor.Command(ID_PROXIMITYSENSOR_RESUME);
  EXPECT_TRUE(Becomes([&] { return StandInCodesSince(mark); }, std::vector<unsigned>{202, 203},
                      kTimeout));
  EXPECT_EQ(LogMessages(), Messages{kNoConfigLine});
}

TEST_F(AppwatchProgramTest, SuspendAndResumeDoNothingWhileTheServiceIsStopped) {
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  ASSERT_TRUE(StopStandIn());
  size_t mark = StandInLogMark();
  monitor.Command(ID_PROXIMITYSENSOR_SUSPEND);
  monitor.Command(ID_PROXIMITYSENSOR_RESUME);
  monitor.Command(ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR);  // handled after the two above
  ASSERT_TRUE(LogBecomes({kNoConfigLine, kStartLine0}));
  ASSERT_TRUE(StartStandIn());
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty()) << StandInLogSince(mark);
}

constexpr WineFact kWineFactFixedExecutionState = {
    "the system execution state shows the display-required bit while a program asks for it",
    "the answer is \"user present\" alone (the fixed value 4), whatever "
    "SetThreadExecutionState was asked for"};

TEST_F(AppwatchProgramTest, UnderWineTheRealExecutionStateSendsNothing) {
  // Polls change nothing (kWineFactFixedExecutionState). Another process's polls cannot be
  // seen, so this watches for a span: the poll at the start and two more, with a quarter pause
  // for a late start. (The watcher's answers to other states are checked in-process, poll by
  // poll, in appwatch_watcher_wine_test.)
  constexpr DWORD kTwoMorePolls =
      2 * kWatcherPollPauseMilliseconds + kWatcherPollPauseMilliseconds / 4;
  NoteWineFact(kWineFactFixedExecutionState);
  size_t mark = StandInLogMark();
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  Sleep(kTwoMorePolls);
  EXPECT_THAT(StandInCodesSince(mark), testing::IsEmpty()) << StandInLogSince(mark);
  EXPECT_EQ(LogMessages(), Messages{kNoConfigLine});
}

// Another process posting "WM_WMIEVENT" by the hundred: one box at a time, however many arrive.
TEST_F(AppwatchProgramTest, WmiEventsShowOneBoxAtATimeAndStopEndsItWhileOneIsOpen) {
  constexpr int kFlood = 300;
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  ASSERT_TRUE(LogBecomes({kNoConfigLine}));
  const UINT wmiEvent = RegisterWindowMessageW(L"WM_WMIEVENT");
  for (int i = 0; i < kFlood; ++i) monitor.Post(wmiEvent, static_cast<WPARAM>(i), 2);
  // A command that logs, handled after every event posted before it.
  monitor.Command(ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR);
  ASSERT_TRUE(LogBecomes({kNoConfigLine, kStartLine0})) << "the events were not all handled";
  std::vector<DialogSeen> boxes;
  ASSERT_TRUE(WaitUntil([&] {
    boxes = VisibleDialogs(monitor.ProcessId(), L"WMI Event");
    return !boxes.empty();
  }, kTimeout));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].message, L"WMI Event Received");
  EXPECT_EQ(GetWindow(boxes[0].window, GW_OWNER), nullptr);

  // Once it is closed, the next event shows a box again.
  AnswerOk(boxes[0].window);
  auto eventBoxes = [&] { return VisibleDialogs(monitor.ProcessId(), L"WMI Event").size(); };
  ASSERT_TRUE(Becomes(eventBoxes, 0u, kTimeout));
  monitor.Post(wmiEvent);
  ASSERT_TRUE(Becomes(eventBoxes, 1u, kTimeout));

  // A flood and then the stop message, while the box is open: the program ends, with 0.
  for (int i = 0; i < kFlood; ++i) monitor.Post(wmiEvent);
  monitor.Post(RegisterWindowMessageW(L"WM_PRXCNTSTOP"));
  EXPECT_EQ(monitor.ExitCodeWithin(kTimeout), 0u);
}

// --- A log that another process (this test) holds without sharing writing ---

UniqueFile HoldLogExclusively() {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  return UniqueFile(CreateFileW(kLogFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The window thread answers a sent message. Each line of a held log used to wait a second on
// this thread, so with many lines it could not answer for far longer than this allows.
bool AnswersWhileTheLogIsHeld(const Monitor& monitor) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(monitor.Window(), WM_NULL, 0, 0, SMTO_NORMAL, kTimeout, &result) != 0;
}

// A configuration of `count` program names n0.exe, n1.exe ..., and the lines it logs.
std::string ManyNamesConfig(int count) {
  std::string config = "[Executable]\r\n";
  for (int i = 0; i < count; ++i) config += "n" + std::to_string(i) + ".exe\r\n";
  return config;
}
Messages ManyNamesLines(int count) {
  Messages lines{L"ExecutableFileList:"};
  for (int i = 0; i < count; ++i) lines.push_back(L"n" + std::to_wstring(i) + L".exe");
  lines.push_back(L"WindowClassNameList:");
  return lines;
}

TEST_F(AppwatchProgramTest, HeldLogDelaysNeitherWindowNorWatcherAndItsLinesFollowInOrder) {
  constexpr int kNames = 40;  // each line waited up to a second for a held log
  ASSERT_TRUE(WriteConfigFile(ManyNamesConfig(kNames))) << "error " << GetLastError();
  UniqueFile holder = HoldLogExclusively();
  ASSERT_TRUE(holder) << "error " << GetLastError();

  // While the log is still held, the window has finished its creation (configuration loaded,
  // watcher started) and handles what it is sent: a message sent after a command is answered
  // only once the command is done. (The handle itself can be found during creation.)
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  monitor.Command(ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR);
  EXPECT_TRUE(AnswersWhileTheLogIsHeld(monitor)) << "error " << GetLastError();
  EXPECT_THAT(LogMessages(), testing::IsEmpty());

  holder.Reset();
  Messages expected = ManyNamesLines(kNames);
  expected.push_back(kStartLine0);
  EXPECT_TRUE(LogBecomes(expected));
}

TEST_F(AppwatchProgramTest, LinesPastWhatIsKeptForAHeldLogAreCountedInOneLine) {
  constexpr int kNames = static_cast<int>(kMonitorLogHeldLinesCapacity) + 45;
  ASSERT_TRUE(WriteConfigFile(ManyNamesConfig(kNames))) << "error " << GetLastError();
  UniqueFile holder = HoldLogExclusively();
  ASSERT_TRUE(holder) << "error " << GetLastError();
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  EXPECT_TRUE(AnswersWhileTheLogIsHeld(monitor)) << "error " << GetLastError();
  holder.Reset();

  // The oldest lines are kept, the newest counted, and the count follows the kept lines once
  // the log is free.
  Messages all = ManyNamesLines(kNames);
  Messages expected(all.begin(), all.begin() + kMonitorLogHeldLinesCapacity);
  wchar_t lost[200];
  FormatBounded(lost, 200, AsWide(kMonitorLogLostLinesFormat),
                static_cast<unsigned>(all.size() - kMonitorLogHeldLinesCapacity));
  expected.push_back(lost);
  EXPECT_TRUE(LogBecomes(expected));

  // Then lines go straight out again.
  monitor.Command(ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR);
  expected.push_back(kStartLine0);
  EXPECT_TRUE(LogBecomes(expected));
}

// Ways to open the About box, and to close it.
enum class Opening { kMenu, kAltQuestionMark, kAltSlash };

struct AboutCase {
  const char* name;
  Opening opening;
  UINT closeMessage;
  WPARAM closeWParam;
};

// Real key strokes through the system's input queue: Alt held, the "/" key (with Shift for
// "?"), both released. They reach the foreground window; the character keys arrive as
// WM_SYSCHAR with Alt down, which the accelerators translate.
bool PressAltWithSlashKey(HWND window, bool shift) {
  SetForegroundWindow(window);
  if (!WaitUntil([&] { return GetForegroundWindow() == window; }, kTimeout)) return false;
  std::vector<INPUT> inputs;
  auto key = [&](WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  key(VK_MENU, false);
  if (shift) key(VK_SHIFT, false);
  key(VK_OEM_2, false);
  key(VK_OEM_2, true);
  if (shift) key(VK_SHIFT, true);
  key(VK_MENU, true);
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
         inputs.size();
}

class AppwatchAboutBox : public AppwatchProgramTest,
                         public testing::WithParamInterface<AboutCase> {};

TEST_P(AppwatchAboutBox, OpensAndCloses) {
  const AboutCase& c = GetParam();
  // Key strokes need the window on the screen, which the debug value does.
  if (c.opening != Opening::kMenu) {
    ASSERT_TRUE(WriteConfigFile("[Debug]\r\n255\r\n")) << "error " << GetLastError();
  }
  Monitor monitor;
  ASSERT_NE(monitor.Window(), nullptr);
  ASSERT_TRUE(WaitUntil([] { return !LogMessages().empty(); }, kTimeout));
  const size_t linesBefore = LogMessages().size();
  if (c.opening == Opening::kMenu) {
    monitor.Command(IDM_ABOUT);
  } else {
    ASSERT_TRUE(PressAltWithSlashKey(monitor.Window(), c.opening == Opening::kAltQuestionMark))
        << "foreground " << GetForegroundWindow();
  }
  auto aboutBoxes = [&] { return VisibleDialogs(monitor.ProcessId(), L"About EventReceiver"); };
  std::vector<DialogSeen> boxes;
  ASSERT_TRUE(Becomes([&] { return (boxes = aboutBoxes()).size(); }, 1u, kTimeout));
  EXPECT_THAT(boxes[0].texts, testing::IsSupersetOf({L"EventReceiver, Version 1.0", L"OK"}));
  EXPECT_EQ(GetWindow(boxes[0].window, GW_OWNER), monitor.Window());

  PostMessageW(boxes[0].window, c.closeMessage, c.closeWParam, 0);
  EXPECT_TRUE(Becomes([&] { return aboutBoxes().size(); }, 0u, kTimeout));
  // The window is still there and answers its menu.
  monitor.Command(ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR);
  EXPECT_TRUE(Becomes([] { return LogMessages().size(); }, linesBefore + 1, kTimeout));
  EXPECT_EQ(LogMessages().back(), kStartLine0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AppwatchAboutBox,
    testing::Values(AboutCase{"MenuThenOk", Opening::kMenu, WM_COMMAND, IDOK},
                    AboutCase{"MenuThenEscape", Opening::kMenu, WM_COMMAND, IDCANCEL},
                    AboutCase{"MenuThenClose", Opening::kMenu, WM_SYSCOMMAND, SC_CLOSE},
                    AboutCase{"AltQuestionMark", Opening::kAltQuestionMark, WM_COMMAND, IDOK},
                    AboutCase{"AltSlash", Opening::kAltSlash, WM_COMMAND, IDOK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppwatchProgramTest, LinesOfSeveralRunsFollowOneAnother) {
  for (int run = 0; run < 2; ++run) {
    Monitor monitor;
    ASSERT_NE(monitor.Window(), nullptr);
    ASSERT_TRUE(Becomes([] { return LogMessages().size(); }, size_t(run + 1), kTimeout));
  }
  EXPECT_EQ(LogMessages(), (Messages{kNoConfigLine, kNoConfigLine}));
}

}  // namespace
