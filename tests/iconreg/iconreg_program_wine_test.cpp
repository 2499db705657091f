// The real iconreg.exe under Wine: what each switch leaves in the registry and the tool log, the
// exit codes, the "dbg" boxes, a long Program Files folder and a log held by another process.
#include <windows.h>
#include <winternl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cwctype>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "iconreg/control_panel.h"
#include "iconreg/tool_log.h"
#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"
#include "tests/iconreg/iconreg_runs.h"
#include "tests/iconreg/tool_log_files.h"
#include "tests/support/wine_support.h"

namespace {

const std::vector<std::wstring> kProgressOnly{L"Set ZQ Proximity Sensor Utility Icon"};


// --- Fixture: every test starts and ends with no item and no log ---

class IconregProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    controlPanelExisted_ = KeyExists(HKEY_LOCAL_MACHINE, kControlPanelKey);
    logDirectoryExisted_ = GetFileAttributesW(L"C:\\ZQ") != INVALID_FILE_ATTRIBUTES;
  }
  static void TearDownTestSuite() {
    // The parents of the namespace entry stay after removal; take them away if we made them.
    if (!controlPanelExisted_ && !KeyHasSubKeys(HKEY_LOCAL_MACHINE, kNamespaceParent)) {
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kNamespaceParent, kToolView, 0);
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kControlPanelKey, kToolView, 0);
    }
    // The log's directories, if they are empty and were not there before.
    if (!logDirectoryExisted_) {
      RemoveDirectoryW(L"C:\\ZQ\\Data");
      RemoveDirectoryW(L"C:\\ZQ");
    }
  }
  void SetUp() override {
    RemoveItemKeys();
    DeleteLog();
  }
  void TearDown() override {
    RemoveItemKeys();
    DeleteLog();
  }

  static bool controlPanelExisted_;
  static bool logDirectoryExisted_;
};
bool IconregProgram::controlPanelExisted_ = false;
bool IconregProgram::logDirectoryExisted_ = false;

// Why the tool counts the terminating zero: a REG_SZ count that leaves it out (with the text
// terminated in memory) is stored with the zero all the same, so "2" can never be 2 bytes
// through this call; counting it is the documented form with the same stored result.
TEST_F(IconregProgram, RegisterWritesExactlyTheSixValues) {
  ToolRun run = RunTool(L"-R");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  EXPECT_EQ(DumpItem(), DumpedRegistration(kWineProgramFiles));
  // The shipped 32-bit tool names the (x86) folder (kWineProgramFiles).
  // Only the 64-bit view holds the item, also when the tool is the shipped 32-bit program:
  // the Control Panel of 64-bit Windows reads that view.
  EXPECT_EQ(DumpItem(KEY_WOW64_32KEY), L"");
}

TEST_F(IconregProgram, ForeignSubKeyKeepsTheClassKey) {
  ASSERT_EQ(RunTool(L"-R").exitCode, 0u);
  const std::wstring foreign = kClassKey + L"\\InprocServer32";
  ASSERT_TRUE(WriteBinaryValue(HKEY_CLASSES_ROOT, foreign.c_str(), L"x", "1", 1, kToolView));

  ToolRun run = RunTool(L"-C");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  // The class key stays, values and all, with the foreign key; the item's own keys are gone.
  EXPECT_EQ(DumpItem(), DumpedClass() + L"[" + foreign + L"]\n  \"x\" type 3 bytes 1: \n");
}

TEST_F(IconregProgram, LogHoldsTheProgressLineWithoutByteOrderMark) {
  SYSTEMTIME before = {};
  GetLocalTime(&before);
  ASSERT_EQ(RunTool(L"-R").exitCode, 0u);
  auto bytes = ReadWholeFile(kLogPath.c_str());
  ASSERT_TRUE(bytes.has_value()) << "error " << GetLastError();
  ASSERT_GE(bytes->size(), 2u);
  EXPECT_EQ((*bytes)[0], '[');  // no byte-order mark, UTF-16LE
  EXPECT_EQ((*bytes)[1], 0);
  std::wstring log = ReadLog();
  EXPECT_EQ(LogMessages(log), kProgressOnly);
  // Month and day of today (a run across midnight would see the next day).
  wchar_t monthDay[16];
  swprintf(monthDay, 16, L"[%02d:%02d:", before.wMonth, before.wDay);
  if (before.wHour != 23 || before.wMinute != 59) {
    EXPECT_EQ(log.substr(0, 7), monthDay);
  }
  EXPECT_EQ(log.size(), std::wstring(L"[01:01:00:00:00:0000] ").size() + 36 + 2);

  // A second run appends.
  ASSERT_EQ(RunTool(L"-R").exitCode, 0u);
  EXPECT_EQ(LogMessages(ReadLog()).size(), 2u);
}

constexpr WineFact kWineFactNoFirmwareClass = {
    "root\\wmi holds the firmware's class, and the tool sends its command through it",
    "root\\wmi has no such class: the exchange stops at the class lookup and sends nothing"};

// Each command line against an empty and a registered item: what it leaves, and whether it
// writes the log. Only registering writes a log line; removal and the firmware command write none.
TEST_F(IconregProgram, CommandLines) {
  struct Case {
    const wchar_t* arguments;
    bool registeredBefore;
    bool registeredAfter;
    bool logged;
  };
  const Case cases[] = {
      {L"", false, false, false},       {L"-", false, false, false},
      {L"R", false, false, false},      {L"-Rx", false, false, false},
      {L"-R\t", false, false, false},   {L"-x", false, false, false},
      {L"-R -C", false, true, true},    {L"/r", true, true, true},  // registering twice
      {L"-x -C", true, false, false},   {L"--C", true, false, false},
      {L"/c", true, false, false},      {L"-C", false, false, false},
      {L"-Rx", true, true, false},      {L"-C\t", true, true, false},
      {L"C:\\a-b -U", false, false, false}, {L"C:\\a-b -U", true, true, false},
      // Under Wine these send nothing (kWineFactNoFirmwareClass).
      {L"-U", false, false, false},     {L"/u", false, false, false},
      {L"-U -R", false, false, false},
  };
  NoteWineFact(kWineFactNoFirmwareClass);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.arguments << (c.registeredBefore ? " registered" : ""));
    RemoveItemKeys();
    if (c.registeredBefore) {
      ASSERT_EQ(RunTool(L"-R").exitCode, 0u);
    }
    DeleteLog();
    std::wstring before = DumpItem();
    ToolRun run = RunTool(c.arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes, testing::IsEmpty());
    EXPECT_EQ(ReadWholeFile(kLogPath.c_str()).has_value(), c.logged);
    if (c.registeredAfter == c.registeredBefore) {
      EXPECT_EQ(DumpItem(), before);
    } else if (c.registeredAfter) {
      EXPECT_EQ(DumpItem(), DumpedRegistration(kWineProgramFiles));
    } else {
      EXPECT_EQ(DumpItem(), L"");
    }
  }
}

// Wine names the Program Files folder from HKLM\...\CurrentVersion "ProgramFilesDir", in the
// registry view of the asking process (whose bitness this test shares with the tool).
class ProgramFilesFolderOverride {
 public:
  explicit ProgramFilesFolderOverride(const std::wstring& folder) {
    original_ = ReadValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"ProgramFilesDir", 0);
    Set(folder);
  }
  ~ProgramFilesFolderOverride() {
    if (original_) {
      UniqueRegKey key;
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_SET_VALUE, key.Put());
      RegSetValueExW(key.Get(), L"ProgramFilesDir", 0, original_->type, original_->bytes.data(),
                     static_cast<DWORD>(original_->bytes.size()));
    }
  }
  bool HadOriginal() const { return original_.has_value(); }

 private:
  void Set(const std::wstring& folder) {
    UniqueRegKey key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_SET_VALUE, key.Put());
    RegSetValueExW(key.Get(), L"ProgramFilesDir", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }
  std::optional<StoredValue> original_;
};

TEST_F(IconregProgram, LongProgramFilesFolderIsWrittenWhole) {
  // Two nested directories, 220 characters in all: far past the 129 characters a key text
  // used to keep, still within what the folder call returns.
  const std::wstring outer = L"C:\\ZQ Long Program Files " + std::wstring(80, L'o');
  const std::wstring folder = outer + L"\\Programs " + std::wstring(220 - outer.size() - 10, L'p');
  ASSERT_EQ(folder.size(), 220u);
  CreateDirectoryW(outer.c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  {
    ProgramFilesFolderOverride override(folder);
    ASSERT_TRUE(override.HadOriginal());
    EXPECT_EQ(ProgramFilesFolder(), folder);  // the folder the tool will be told

    ToolRun run = RunTool(L"-R");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(DumpItem(), DumpedRegistration(folder));
  }
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(outer.c_str());
  EXPECT_EQ(ProgramFilesFolder(), kWineProgramFiles);
}

TEST_F(IconregProgram, TextThatWouldBeCutIsAFailedWrite) {
  // No folder Windows names is this long; the check behind it still holds for any text.
  const std::wstring folder = L"C:\\" + std::wstring(40000, L'f');
  EXPECT_EQ(RegisterControlPanelItemFor(folder.c_str()), -1);

  // The class is in place, the icon key exists but holds nothing cut, and nothing follows it.
  EXPECT_EQ(DumpItem(), DumpedClass() + L"[" + kIconKey + L"]\n");

  // The progress line, then the failure, the text as far as it was formed, and the result.
  // The text fills its whole log line, which loses its line end; "return -1" follows on it.
  std::wstring log = ReadLog();
  auto messages = LogMessages(log);
  ASSERT_EQ(messages.size(), 3u) << log.substr(0, 300);
  EXPECT_EQ(messages[0], L"Set ZQ Proximity Sensor Utility Icon");
  EXPECT_EQ(messages[1], L"RegSetValueEx:Fail");
  EXPECT_EQ(messages[2].substr(0, 10), L"\"C:\\ffffff");
  EXPECT_EQ(log.substr(log.size() - 13), L"] return -1\r\n");
}

// (The class key and the namespace entry refused are rows of iconreg_fault_matrix_wine_test.)
TEST_F(IconregProgram, IconKeyThatCannotBeCreatedEndsWithMinusOne) {
  // Under a volatile class key no lasting sub-key can be made.
  ASSERT_TRUE(CreateVolatileKey(HKEY_CLASSES_ROOT, kClassKey));
  ToolRun run = RunTool(L"-R");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, kFailedExit);
  EXPECT_EQ(DumpItem(), DumpedClass());
  EXPECT_EQ(LogMessages(ReadLog()),
            (std::vector<std::wstring>{L"RegCreateKeyEx:Fail", kIconKey, L"return -1"}));
}

// --- The log file held by another process (this test) ---

UniqueFile HoldLog(DWORD share) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  return UniqueFile(CreateFileW(kLogPath.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST_F(IconregProgram, LogLineIsWrittenWhileAnotherWriterHoldsTheFile) {
  UniqueFile holder = HoldLog(FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(holder) << "error " << GetLastError();
  std::wstring ours = L"[01:01:00:00:00:0000] another writer\r\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(holder.Get(), ours.data(), static_cast<DWORD>(ours.size() * 2), &written,
                        nullptr)) << "error " << GetLastError();
  ToolRun run = RunTool(L"-R");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_TRUE(WriteFile(holder.Get(), ours.data(), static_cast<DWORD>(ours.size() * 2), &written,
                        nullptr)) << "error " << GetLastError();
  holder.Reset();
  EXPECT_EQ(LogMessages(ReadLog()),
            (std::vector<std::wstring>{L"another writer", L"Set ZQ Proximity Sensor Utility Icon",
                                       L"another writer"}));
}

// The stamp the tool writes for a line made at `time`, as it stands in the log.
std::wstring ToolStampAt(const SYSTEMTIME& time) {
  const ToolLogStamp stamp{time.wMonth, time.wDay,    time.wHour,
                           time.wMinute, time.wSecond, time.wMilliseconds};
  const std::vector<LogLine> lines =
      ParseToolLog(ToWide(FormatToolLogLine(stamp, u"") + u"\r\n"));
  return lines.empty() ? L"" : lines[0].stamp;
}

TEST_F(IconregProgram, LogLineWaitsForABriefExclusiveHolder) {
  // The tool makes its line (and its stamp) right after it creates the icon key, then tries to
  // open the log for (attempts - 1) x pause = 475 ms. The hold ends four pauses (100 ms) after
  // the key is seen: at most a quarter of that budget, which leaves the test three quarters
  // (375 ms) to be late in letting go; the stamp check below shows that the line was made, and
  // its opens begun, while the file was still held.
  constexpr auto kHoldAfterKey = std::chrono::milliseconds(4 * kToolLogRetryPauseMs);
  static_assert(4 * kToolLogRetryPauseMs * 4 <= (kToolLogOpenAttempts - 1) * kToolLogRetryPauseMs);
  UniqueFile holder = HoldLog(0);
  ASSERT_TRUE(holder) << "error " << GetLastError();
  bool released = false;
  SYSTEMTIME releaseTime = {};
  std::chrono::steady_clock::time_point seen{};
  ToolRun run = RunTool(L"-R", [&] {
    if (released) return;
    if (seen == std::chrono::steady_clock::time_point{}) {
      if (KeyExists(HKEY_CLASSES_ROOT, kIconKey)) seen = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - seen >= kHoldAfterKey) {
      GetLocalTime(&releaseTime);
      holder.Reset();
      released = true;
    }
  });
  holder.Reset();
  ASSERT_TRUE(run.finished);
  EXPECT_TRUE(released) << "the tool ended before it was let go: the line was not waited for";
  EXPECT_EQ(run.exitCode, 0u);
  const std::wstring log = ReadLog();
  EXPECT_EQ(LogMessages(log), kProgressOnly);
  const std::vector<LogLine> lines = ParseToolLog(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_LT(lines[0].stamp, ToolStampAt(releaseTime))
      << "the line was made after the file was let go, so its wait was not tried";
}

TEST_F(IconregProgram, LogHeldForLongCostsTheLineButNotTheRegistration) {
  UniqueFile holder = HoldLog(0);
  ASSERT_TRUE(holder) << "error " << GetLastError();
  ToolRun run = RunTool(L"-R");
  holder.Reset();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(DumpItem(), DumpedRegistration(kWineProgramFiles));
  EXPECT_EQ(ReadLog(), L"");
}


// --- A log path that a link steers elsewhere (the tool runs elevated) ---

// Stands in for a folder such as C:\Windows\System32 that a user must not get the tool to write
// into.
constexpr wchar_t kElsewhere[] = L"C:\\ZQ Elsewhere";
constexpr wchar_t kElsewhereLog[] = L"C:\\ZQ Elsewhere\\ZQPRXIconSet.log";
constexpr wchar_t kElsewhereDataLog[] = L"C:\\ZQ Elsewhere\\Data\\ZQPRXIconSet.log";
constexpr wchar_t kVictim[] = L"C:\\ZQ Elsewhere\\victim.log";

enum class Planted { kDataFolderLink, kTopFolderLink, kFileLink, kDanglingFileLink, kHardLink };

struct LinkCase {
  const char* name;
  Planted planted;
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }

class IconregLinkedLog : public IconregProgram, public testing::WithParamInterface<LinkCase> {
 protected:
  void TearDown() override {
    RemoveUnixLink(L"C:\\ZQ\\Data\\ZQPRXIconSet.log");
    DeleteFileW(L"C:\\ZQ\\Data\\ZQPRXIconSet.log");  // a hard link
    if (GetFileAttributesW(L"C:\\ZQ\\Data") & FILE_ATTRIBUTE_REPARSE_POINT) {
      RemoveUnixLink(L"C:\\ZQ\\Data");
    }
    if (GetFileAttributesW(L"C:\\ZQ") & FILE_ATTRIBUTE_REPARSE_POINT) RemoveUnixLink(L"C:\\ZQ");
    for (const wchar_t* file : {kElsewhereLog, kElsewhereDataLog, kVictim}) DeleteFileW(file);
    RemoveDirectoryW(L"C:\\ZQ Elsewhere\\Data");
    RemoveDirectoryW(kElsewhere);
    IconregProgram::TearDown();
  }
};

TEST_P(IconregLinkedLog, IsNotWrittenAndRegistrationGoesOn) {
  if (UnixPath(L"C:\\").empty()) GTEST_SKIP() << "links are planted from Wine's Linux side";
  ASSERT_TRUE(CreateDirectoryW(kElsewhere, nullptr)) << "error " << GetLastError();
  const bool victimMade =
      GetParam().planted == Planted::kFileLink || GetParam().planted == Planted::kHardLink;
  switch (GetParam().planted) {
    case Planted::kDataFolderLink:
      CreateDirectoryW(L"C:\\ZQ", nullptr);
      RemoveDirectoryW(L"C:\\ZQ\\Data");
      ASSERT_TRUE(PlantUnixSymlink(kElsewhere, L"C:\\ZQ\\Data"));
      ASSERT_NE(GetFileAttributesW(L"C:\\ZQ\\Data") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
      break;
    case Planted::kTopFolderLink:
      RemoveDirectoryW(L"C:\\ZQ\\Data");
      ASSERT_TRUE(RemoveDirectoryW(L"C:\\ZQ") || GetLastError() == ERROR_FILE_NOT_FOUND)
          << "error " << GetLastError();
      ASSERT_TRUE(PlantUnixSymlink(kElsewhere, L"C:\\ZQ"));
      ASSERT_NE(GetFileAttributesW(L"C:\\ZQ") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
      break;
    case Planted::kFileLink:
    case Planted::kDanglingFileLink:
    case Planted::kHardLink:
      CreateDirectoryW(L"C:\\ZQ", nullptr);
      CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
      if (victimMade) {
        ASSERT_TRUE(UniqueFile(CreateFileW(kVictim, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)))
            << "error " << GetLastError();
      }
      if (GetParam().planted == Planted::kHardLink) {
        ASSERT_TRUE(CreateHardLinkW(kLogPath.c_str(), kVictim, nullptr)) << GetLastError();
      } else {
        ASSERT_TRUE(PlantUnixSymlink(kVictim, kLogPath.c_str()));
      }
      break;
  }

  ToolRun run = RunTool(L"-R");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_THAT(run.boxes, testing::IsEmpty());
  EXPECT_EQ(DumpItem(), DumpedRegistration(kWineProgramFiles));

  // Nothing of the log reached the other folder: no file made there, no byte added.
  EXPECT_EQ(GetFileAttributesW(kElsewhereLog), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(L"C:\\ZQ Elsewhere\\Data"), INVALID_FILE_ATTRIBUTES);
  auto victim = ReadWholeFile(kVictim);
  ASSERT_EQ(victim.has_value(), victimMade);
  if (victim) {
    EXPECT_EQ(victim->size(), 0u) << "bytes written through the link";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Links, IconregLinkedLog,
    testing::Values(LinkCase{"DataFolder", Planted::kDataFolderLink},
                    LinkCase{"TopFolder", Planted::kTopFolderLink},
                    LinkCase{"File", Planted::kFileLink},
                    LinkCase{"DanglingFile", Planted::kDanglingFileLink},
                    LinkCase{"HardLinkedFile", Planted::kHardLink}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IconregProgram, LogIsWrittenAgainOnceTheLinkIsGone) {
  if (UnixPath(L"C:\\").empty()) GTEST_SKIP() << "links are planted from Wine's Linux side";
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  RemoveDirectoryW(L"C:\\ZQ\\Data");
  ASSERT_TRUE(CreateDirectoryW(kElsewhere, nullptr)) << "error " << GetLastError();
  ASSERT_TRUE(PlantUnixSymlink(kElsewhere, L"C:\\ZQ\\Data"));
  EXPECT_EQ(RunTool(L"-R").exitCode, 0u);
  ASSERT_TRUE(RemoveUnixLink(L"C:\\ZQ\\Data"));
  RemoveDirectoryW(kElsewhere);

  EXPECT_EQ(RunTool(L"-R").exitCode, 0u);
  EXPECT_EQ(LogMessages(ReadLog()), kProgressOnly);
}

}  // namespace
