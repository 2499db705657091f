// The monitor when its surroundings go wrong: one row per fault of its configuration file, its
// log or the sensor service. The monitor window and its watcher run in this process, with
// execution states fed through the watcher's seam (Wine always answers the real question with
// the same value), so every row can also show that the watcher starts at once and that its
// codes reach the stand-in service. Files are held by a second process.
//
// Each row checks what the user sees (the window stays off screen and invisible), what the
// service receives, what the log holds at the end (every line whole, none lost or out of order
// unless the row says it is lost), and that the configuration file is left as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "appwatch/appwatch_test_hooks.h"
#include "appwatch/monitor_config.h"
#include "appwatch/monitor_config_parse.h"
#include "appwatch/monitor_log.h"
#include "appwatch/monitor_log_line.h"
#include "appwatch/monitor_window.h"
#include "shared/format_bounded.h"
#include "shared/win_handles.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/appwatch/watcher_seam.h"
#include "tests/support/file_holder_client.h"
#include "tests/support/seen.h"
#include "tests/support/wine_support.h"

namespace {

constexpr DWORD kPause = 50;  // the watcher's pause in these tests
constexpr DWORD kTimeout = 15000;
constexpr DWORD kLogHoldMilliseconds = 10000;
// Far above the one second the log may cost the start, far below the ten it is held.
constexpr ULONGLONG kStartBoundMilliseconds = 5000;

constexpr wchar_t kExecutablesLabel[] = L"ExecutableFileList:";
constexpr wchar_t kClassesLabel[] = L"WindowClassNameList:";
constexpr wchar_t kEarlierLine[] = L"a line of an earlier run";

using Messages = std::vector<std::wstring>;
using Codes = std::vector<unsigned>;

std::wstring ConfigMessage(const wchar_t* format) {
  wchar_t text[kMonitorMessageCapacity];
  FormatBounded(text, kMonitorMessageCapacity, format, AsWide(kMonitorConfigPath));
  return text;
}

// Feeds `state`: the codes since `mark` are then `expected` (CodesBecome).
testing::AssertionResult FeedAndExpectCodes(ULONG state, size_t mark, const Codes& expected) {
  fedState = state;
  return CodesBecome(mark, expected);
}

// --- Faults ---

enum class Fault {
  kConfigMissing,
  kConfigEmpty,
  kConfigIsADirectory,
  kConfigBinaryGarbage,
  kConfig50Megabytes,
  kConfigHeldExclusively,
  kLogFolderMissing,
  kLogReadOnly,
  kLogHeldFor10Seconds,
  kLogLockedByAReaderFor10Seconds,
  kServiceStoppedAndRestarted,
};

// Bytes of every value, from a fixed seed, with a header and line ends in between so that some
// of it becomes entries.
std::string BinaryGarbage() {
  std::string bytes;
  uint32_t seed = 0x2545F491;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<char>(seed >> 24);
  };
  for (int i = 0; i < 3000; ++i) bytes += next();
  bytes += "[Executable]\r\n";
  for (int i = 0; i < 3000; ++i) bytes += (i % 97 == 96) ? '\r' : next();
  bytes += "\r\n[cLASSnAME]\r\n";
  for (int i = 0; i < 3000; ++i) bytes += (i % 61 == 60) ? std::string("\r\n") : std::string(1, next());
  bytes += "\r\n";
  return bytes;
}

// What the loader logs of a file it reads whole: the two lists as the product's parser makes them.
Messages DumpOf(const std::string& file) {
  NameList executables, classes;
  ParseMonitorConfig({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, ConvertAnsiByte,
                     executables, classes, nullptr, nullptr);
  Messages dump{kExecutablesLabel};
  for (size_t i = 0; i < NameCount(executables); ++i) {
    std::u16string_view name = NameAt(executables, i);
    dump.emplace_back(name.begin(), name.end());
  }
  dump.push_back(kClassesLabel);
  for (size_t i = 0; i < NameCount(classes); ++i) {
    std::u16string_view name = NameAt(classes, i);
    dump.emplace_back(name.begin(), name.end());
  }
  return dump;
}

// 50 MB of names in a list section: a few million entries.
std::string FiftyMegabytes() {
  std::string text = "[Executable]\r\n";
  text.reserve(50u * 1024 * 1024 + 64);
  for (int i = 0; text.size() < 50u * 1024 * 1024; ++i) {
    text += "application_" + std::to_string(i) + ".exe\r\n";
  }
  return text;
}

constexpr char kSmallConfig[] = "[Executable]\r\na.exe\r\n[ClassName]\r\nNotepad\r\n";

struct Row {
  const char* name;
  Fault fault;
  // What the user can tell: how the row's fault shows and what is kept or lost.
  const char* outcome;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class AppwatchFaultMatrix : public testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    RemoveMonitorFiles();
    RemoveDirectoryW(kConfigFile);
    ClearMonitorListsForTests();
    ASSERT_TRUE(InstallStandIn());
    ASSERT_TRUE(StartStandIn());
    fedState = 0;
    firstPollTick = 0;
  }
  void TearDown() override {
    EndMonitorWindow(window_);
    if (immutableLog_) {
      SetImmutable(kLogFile, false);
      SetFileAttributesW(kLogFile, FILE_ATTRIBUTE_NORMAL);
    }
    holder_.reset();
    FlushMonitorLog();
    RemoveMonitorFiles();
    RemoveDirectoryW(kConfigFile);
    StartStandIn();
  }

  // Brings the row's fault about and says which log messages it leaves before the watcher's.
  void Prepare(Fault fault) {
    auto folders = [] {
      CreateDirectoryW(L"C:\\ZQ", nullptr);
      CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
      CreateDirectoryW(L"C:\\ZQ\\Data\\ZQPRX", nullptr);
    };
    switch (fault) {
      case Fault::kConfigMissing:
        folders();
        expected_ = {ConfigMessage(kConfigOpenFailureFormat)};
        break;
      case Fault::kConfigEmpty:
        ASSERT_TRUE(WriteConfigFile("")) << "error " << GetLastError();
        expected_ = {kExecutablesLabel, kClassesLabel};
        break;
      case Fault::kConfigIsADirectory:
        folders();
        ASSERT_TRUE(CreateDirectoryW(kConfigFile, nullptr)) << "error " << GetLastError();
        expected_ = {ConfigMessage(kConfigOpenFailureFormat)};
        break;
      case Fault::kConfigBinaryGarbage: {
        std::string garbage = BinaryGarbage();
        ASSERT_TRUE(WriteConfigFile(garbage)) << "error " << GetLastError();
        expected_ = DumpOf(garbage);
        ASSERT_GT(expected_.size(), 10u) << "the garbage should make some entries";
        break;
      }
      case Fault::kConfig50Megabytes:
        ASSERT_TRUE(WriteConfigFile(FiftyMegabytes())) << "error " << GetLastError();
        expected_ = {ConfigMessage(kConfigTooLargeFormat), kExecutablesLabel, kClassesLabel};
        break;
      case Fault::kConfigHeldExclusively:
        ASSERT_TRUE(WriteConfigFile(kSmallConfig)) << "error " << GetLastError();
        configBefore_ = ReadWholeFile(kConfigFile);
        // Held while the monitor starts; it is read once, so it is not read after either.
        holder_ = std::make_unique<HeldFile>(kConfigFile, 3000);
        ASSERT_TRUE(holder_->Held());
        expected_ = {ConfigMessage(kConfigOpenFailureFormat)};
        break;
      case Fault::kLogFolderMissing:
        // Nothing under C:\ZQ: no configuration either, since its folder is inside.
        ASSERT_EQ(GetFileAttributesW(L"C:\\ZQ"), INVALID_FILE_ATTRIBUTES);
        expected_ = {ConfigMessage(kConfigOpenFailureFormat)};
        break;
      case Fault::kLogReadOnly:
        ASSERT_TRUE(WriteConfigFile(kSmallConfig)) << "error " << GetLastError();
        WriteMonitorLog(kEarlierLine);
        ASSERT_TRUE(SetFileAttributesW(kLogFile, FILE_ATTRIBUTE_READONLY))
            << "error " << GetLastError();
        ASSERT_TRUE(SetImmutable(kLogFile, true));  // kWineFactReadOnlyIsAUnixMode
        immutableLog_ = true;
        // The lines written while it is read-only cannot be had: lost, not kept.
        expected_ = {kEarlierLine};
        break;
      case Fault::kLogHeldFor10Seconds:
        ASSERT_TRUE(WriteConfigFile(kSmallConfig)) << "error " << GetLastError();
        holder_ = std::make_unique<HeldFile>(kLogFile, kLogHoldMilliseconds);
        ASSERT_TRUE(holder_->Held());
        expected_ = DumpOf(kSmallConfig);
        break;
      case Fault::kLogLockedByAReaderFor10Seconds:
        // A user who may only read the log locks all of it, the writers' turn included.
        ASSERT_TRUE(WriteConfigFile(kSmallConfig)) << "error " << GetLastError();
        holder_ =
            std::make_unique<HeldFile>(kLogFile, kLogHoldMilliseconds, HoldMode::kReaderLock);
        ASSERT_TRUE(holder_->Held());
        expected_ = DumpOf(kSmallConfig);
        break;
      case Fault::kServiceStoppedAndRestarted:
        ASSERT_TRUE(WriteConfigFile(kSmallConfig)) << "error " << GetLastError();
        expected_ = DumpOf(kSmallConfig);
        break;
    }
    if (fault != Fault::kConfigHeldExclusively) configBefore_ = ReadWholeFile(kConfigFile);
  }

  // Display required on, then off: both codes reach the service.
  void DriveTheWatcher(Fault fault, size_t mark) {
    if (fault != Fault::kServiceStoppedAndRestarted) {
      EXPECT_TRUE(FeedAndExpectCodes(ES_DISPLAY_REQUIRED, mark, {202}));
      EXPECT_TRUE(FeedAndExpectCodes(0, mark, {202, 203}));
      if (fault != Fault::kLogReadOnly) {
        expected_.push_back(kSuspendLine);
        expected_.push_back(kResumeLine);
      }
      return;
    }
    // Sent while the service runs; logged but not sent while it is stopped; the watcher goes
    // on polling, and the first change after the service is back is sent.
    EXPECT_TRUE(FeedAndExpectCodes(ES_DISPLAY_REQUIRED, mark, {202}));
    ASSERT_TRUE(StopStandIn());
    EXPECT_TRUE(FeedAndExpectCodes(0, mark, {202}));
    EXPECT_TRUE(FeedAndExpectCodes(ES_DISPLAY_REQUIRED, mark, {202}));
    ASSERT_TRUE(StartStandIn());
    EXPECT_TRUE(CodesBecome(mark, {202})) << "nothing is resent";
    EXPECT_TRUE(FeedAndExpectCodes(0, mark, {202, 203}));
    expected_.insert(expected_.end(), {kSuspendLine, kResumeLine, kSuspendLine, kResumeLine});
  }

  // Ends the fault: the holder lets go, the log becomes writable again.
  void EndTheFault(Fault fault) {
    if (holder_) {
      if (fault == Fault::kLogHeldFor10Seconds ||
          fault == Fault::kLogLockedByAReaderFor10Seconds) {
        EXPECT_TRUE(holder_->StillHeld()) << "the codes above should have gone out while held";
        EXPECT_THAT(LogMessages(), testing::IsEmpty()) << "nothing can have reached a held log";
      }
      EXPECT_TRUE(holder_->WaitForRelease(kLogHoldMilliseconds + kTimeout));
    }
    if (immutableLog_) {
      ASSERT_TRUE(SetImmutable(kLogFile, false));
      ASSERT_TRUE(SetFileAttributesW(kLogFile, FILE_ATTRIBUTE_NORMAL))
          << "error " << GetLastError();
      immutableLog_ = false;
    }
  }

  HWND window_ = nullptr;
  Messages expected_;
  std::optional<std::vector<BYTE>> configBefore_;
  std::unique_ptr<HeldFile> holder_;
  bool immutableLog_ = false;
};

TEST_P(AppwatchFaultMatrix, Row) {
  const Row& row = GetParam();
  Prepare(row.fault);
  if (HasFatalFailure()) return;
  const size_t mark = StandInLogMark();

  // Start-up, timed by the watcher's first poll: the handshake that the window has been
  // created, the configuration loaded and the watcher started.
  SetWatcherSeamForTests(FeedExecutionState, kPause);
  const ULONGLONG start = GetTickCount64();
  window_ = CreateMonitorWindow(GetModuleHandleW(nullptr), SW_HIDE);
  const ULONGLONG created = GetTickCount64();
  ASSERT_NE(window_, nullptr);
  ASSERT_TRUE(WaitUntil([] { return firstPollTick.load() != 0; }, kTimeout + 60000));
  std::printf("[ figures  ] %s: window created after %llu ms, first poll after %llu ms\n",
              row.name, created - start, firstPollTick.load() - start);
  EXPECT_LT(firstPollTick.load() - start, kStartBoundMilliseconds);

  // The user sees nothing: the window stays off screen, without layered attributes.
  RECT rect = {};
  GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.left, -480);
  EXPECT_EQ(rect.top, -320);
  BYTE alpha = 0;
  DWORD flags = 0;
  EXPECT_EQ(GetLayeredWindowAttributes(window_, nullptr, &alpha, &flags) ? flags : 0u, 0u);

  DriveTheWatcher(row.fault, mark);
  if (HasFatalFailure()) return;
  EndTheFault(row.fault);

  // Once the fault is gone, a change is logged and sent as ever.
  EXPECT_TRUE(FeedAndExpectCodes(ES_DISPLAY_REQUIRED, mark, {202, 203, 202}));
  expected_.push_back(kSuspendLine);

  // Every line, in order, each whole.
  EXPECT_TRUE(Becomes(LogMessages, expected_, kTimeout)) << row.outcome;
  for (const LogLine& line : ReadLogLines()) {
    EXPECT_TRUE(line.wellFormed) << testing::PrintToString(line.message);
  }
  // The monitor never writes its configuration.
  EXPECT_EQ(ReadWholeFile(kConfigFile), configBefore_);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AppwatchFaultMatrix,
    testing::Values(
        Row{"ConfigMissing", Fault::kConfigMissing,
            "one \"Terminal failure\" line; no list dump; the watcher runs"},
        Row{"ConfigEmpty", Fault::kConfigEmpty, "two empty lists in the log; the watcher runs"},
        Row{"ConfigIsADirectory", Fault::kConfigIsADirectory,
            "a directory cannot be opened as a file: as if missing"},
        Row{"ConfigBinaryGarbage", Fault::kConfigBinaryGarbage,
            "read as text: whatever lines it makes are logged, one whole line each"},
        Row{"Config50Megabytes", Fault::kConfig50Megabytes,
            "not read: one \"too large\" line and two empty lists, instead of millions of log "
            "lines written while the window waits"},
        Row{"ConfigHeldExclusively", Fault::kConfigHeldExclusively,
            "cannot be opened while held: as if missing (it is read only at start)"},
        Row{"LogFolderMissing", Fault::kLogFolderMissing,
            "C:\\ZQ and C:\\ZQ\\Data are made by the first line"},
        Row{"LogReadOnly", Fault::kLogReadOnly,
            "lines written while the log is read-only are lost; the file is left as it was; "
            "lines go out again once it is writable"},
        Row{"LogHeldFor10Seconds", Fault::kLogHeldFor10Seconds,
            "the start waits at most a second; lines are kept and follow in order once free"},
        Row{"LogLockedByAReaderFor10Seconds", Fault::kLogLockedByAReaderFor10Seconds,
            "as if held: the start waits at most a second; lines are kept and follow once the "
            "lock is let go"},
        Row{"ServiceStoppedAndRestarted", Fault::kServiceStoppedAndRestarted,
            "codes reach the service only while it runs; every change is logged"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
