// The real iconreg.exe when its surroundings or its command line go wrong: one row per fault,
// each checking the exit code, the message boxes, what the registry holds afterwards and the
// tool log's lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"
#include "tests/iconreg/iconreg_runs.h"
#include "tests/iconreg/tool_log_files.h"
#include "tests/support/file_holder_client.h"
#include "tests/support/wine_support.h"

namespace {

using Messages = std::vector<std::wstring>;

enum class Fault {
  kNone,
  kClassKeyRefused,
  kNamespaceKeyRefused,
  kLogFolderUnwritable,
  kClassKeyRefusedAndLogFolderUnwritable,
  // The log folders as another user may have left them: the tool, elevated, must not write
  // there. Wine shows a folder of another Unix user as owned by someone else, and a
  // world-writable one as one that everybody may change.
  kLogFolderOfAnotherUser,
  kLogFolderOpenToAll,
  kLogFoldersMissing,  // made by the tool, with the package's descriptor
  kLogLockedByAReader,  // all of the log, for longer than any row runs
};

// What the registry holds after the run.
enum class Item { kNothing, kComplete, kClassWithoutNamespace };

struct Row {
  const char* name;
  Fault fault;
  bool registeredBefore;
  std::wstring arguments;
  DWORD exitCode;
  Item item;
  std::vector<std::wstring> boxes;  // texts of the "dbg" boxes, in order
  std::optional<Messages> log;      // nullopt: no log file at all
  Station station = Station::kVisible;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const std::wstring kClassFailureLines[] = {AsWide(kLogKeyFailure), AsWide(kClassKeyPath),
                                           AsWide(kLogReturnFailure)};
const Messages kProgressOnly{AsWide(kLogIconProgress)};
// Where no one would see the boxes, their texts follow in the log.
const Messages kProgressAndBoxTexts{AsWide(kLogIconProgress), L"RegCreateKey:Fail",
                                    L"RegSetValueEx:Fail"};
// Far beyond what the tool may wait for its log (twenty tries 25 ms apart a line).
constexpr DWORD kLockHoldMilliseconds = 120000;
constexpr DWORD kBoundedRunMilliseconds = 20000;

std::wstring ExpectedDump(Item item) {
  switch (item) {
    case Item::kNothing:
      return L"";
    case Item::kComplete:
      return DumpedRegistration(kWineProgramFiles);
    case Item::kClassWithoutNamespace:
      return DumpedClassKeys(kWineProgramFiles);
  }
  return L"?";
}

const std::wstring kMachineClassKey = L"Software\\Classes\\" + kClassKey;
constexpr wchar_t kLogFolder[] = L"C:\\ZQ\\Data";
constexpr wchar_t kTopFolder[] = L"C:\\ZQ";

bool UnixShellOn(const char* command, const wchar_t* path) {
  std::string unixPath = UnixPath(path);
  return !unixPath.empty() && RunUnixShell(std::string(command) + " '" + unixPath + "'");
}

constexpr WineFact kWineFactNoKeySecurity = {
    "a key's access list can refuse its creation",
    "key security is not enforced: no access list refuses a key"};
constexpr WineFact kWineFactVolatileKeyLingers = {
    "a volatile key, once deleted, may be made again as a lasting one",
    "right after the volatile key is deleted, a creation below it from another process is "
    "refused"};
constexpr WineFact kWineFactLongCommandLinesAreCut = {
    "CreateProcess refuses a command line longer than 32,767 characters",
    "the program starts all the same with the first 32,766 characters of the line (program "
    "name included); the rest is dropped without a word"};

class IconregFaultMatrix : public testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    RemoveItemKeys();
    DeleteLog();
  }
  void TearDown() override {
    if (brokenLink_) DeleteLink(kMachineClassKey);
    if (volatileNamespace_) {
      // Back to a lasting, empty parent, as the prefix had it, made here first
      // (kWineFactVolatileKeyLingers).
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kNamespaceParent, kToolView, 0);
      UniqueRegKey parent;
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kNamespaceParent, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | kToolView, nullptr, parent.Put(), nullptr);
    }
    if (immutableFolder_) SetImmutable(kLogFolder, false);
    if (changedFolders_) {
      UnixShellOn("chown 0:0", kLogFolder);
      UnixShellOn("chmod 755", kTopFolder);
    }
    if (holder_) holder_->EndNow();
    holder_.reset();
    RemoveItemKeys();
    DeleteLog();
  }

  void Prepare(Fault fault) {
    const bool classRefused = fault == Fault::kClassKeyRefused ||
                              fault == Fault::kClassKeyRefusedAndLogFolderUnwritable;
    const bool logUnwritable = fault == Fault::kLogFolderUnwritable ||
                               fault == Fault::kClassKeyRefusedAndLogFolderUnwritable;
    if (classRefused) {
      // A link whose target cannot be created refuses the key's creation for real, in the
      // shipped program.
      NoteWineFact(kWineFactNoKeySecurity);
      ASSERT_TRUE(MakeBrokenLink(kMachineClassKey));
      brokenLink_ = true;
    }
    if (fault == Fault::kNamespaceKeyRefused) {
      // The same for the namespace entry: no lasting key can be made under a volatile parent.
      if (KeyHasSubKeys(HKEY_LOCAL_MACHINE, kNamespaceParent)) {
        GTEST_SKIP() << "the Control Panel namespace holds other items in this prefix";
      }
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kNamespaceParent, kToolView, 0);
      ASSERT_TRUE(CreateVolatileKey(HKEY_LOCAL_MACHINE, kNamespaceParent));
      volatileNamespace_ = true;
    }
    if (logUnwritable) {
      // A folder without write rights (kWineFactReadOnlyIsAUnixMode).
      CreateDirectoryW(L"C:\\ZQ", nullptr);
      CreateDirectoryW(kLogFolder, nullptr);
      ASSERT_TRUE(SetImmutable(kLogFolder, true));
      immutableFolder_ = true;
    }
    if (fault == Fault::kLogFolderOfAnotherUser || fault == Fault::kLogFolderOpenToAll) {
      CreateDirectoryW(kTopFolder, nullptr);
      CreateDirectoryW(kLogFolder, nullptr);
      changedFolders_ = true;
      ASSERT_TRUE(fault == Fault::kLogFolderOfAnotherUser ? UnixShellOn("chown 4242:4242", kLogFolder)
                                                          : UnixShellOn("chmod 777", kTopFolder));
    }
    if (fault == Fault::kLogFoldersMissing) {
      ASSERT_TRUE(UnixShellOn("rm -rf", kTopFolder));
    }
    if (fault == Fault::kLogLockedByAReader) {
      // Read access is all a user needs to lock the log, the writers' turn included.
      CreateDirectoryW(L"C:\\ZQ", nullptr);
      CreateDirectoryW(kLogFolder, nullptr);
      holder_ = std::make_unique<HeldFile>(kLogPath.c_str(), kLockHoldMilliseconds,
                                           HoldMode::kReaderLock);
      ASSERT_TRUE(holder_->Held());
    }
  }

  bool brokenLink_ = false;
  bool volatileNamespace_ = false;
  bool immutableFolder_ = false;
  bool changedFolders_ = false;
  std::unique_ptr<HeldFile> holder_;
};

TEST_P(IconregFaultMatrix, Row) {
  const Row& row = GetParam();
  if (row.registeredBefore) {
    ASSERT_EQ(RunTool(L"-R").exitCode, 0u);
    DeleteLog();
  }
  if (row.arguments.size() > 32766) NoteWineFact(kWineFactLongCommandLinesAreCut);
  Prepare(row.fault);
  if (HasFatalFailure() || IsSkipped()) return;

  if (row.station == Station::kHidden) {
    ASSERT_TRUE(HiddenStationIsReady());
  }
  // A box no one answers or a log no one lets go would hold the tool past this.
  const bool locked = row.fault == Fault::kLogLockedByAReader;
  const bool bounded = locked || row.station == Station::kHidden;
  ToolRun run = RunTool(row.arguments, {}, bounded ? kBoundedRunMilliseconds : 60000,
                        row.station);
  ASSERT_TRUE(run.finished) << "the tool did not end";
  if (locked) {
    EXPECT_TRUE(holder_->StillHeld()) << "the tool should have ended while the log was locked";
    holder_->EndNow();
  }
  EXPECT_EQ(run.exitCode, row.exitCode);

  std::vector<std::wstring> boxes;
  for (const BoxSeen& box : run.boxes) {
    EXPECT_EQ(box.caption, L"dbg");
    boxes.push_back(box.text);
  }
  EXPECT_EQ(boxes, row.boxes);

  // Read before the fault is undone: a broken link hides what is under it.
  EXPECT_EQ(DumpItem(), ExpectedDump(row.item));
  // Nothing ever lands in the 32-bit view.
  EXPECT_EQ(DumpItem(KEY_WOW64_32KEY), L"");

  if (!row.log) {
    EXPECT_EQ(ReadWholeFile(kLogPath.c_str()), std::nullopt);
  } else {
    EXPECT_EQ(LogMessages(ReadLog()), *row.log);
    for (const LogLine& line : ReadToolLogLines()) EXPECT_TRUE(line.wellFormed) << line.message;
  }
  if (row.fault == Fault::kLogFoldersMissing) {
    // Wine keeps a folder's access list only as Unix mode bits: with the package's descriptor
    // nobody outside the owner's group gets any access; with what C:\ hands down, everybody reads.
    for (const wchar_t* folder : {kTopFolder, kLogFolder}) {
      EXPECT_TRUE(RunUnixShell("test 0 = $((07 & 0$(stat -c %a '" + UnixPath(folder) + "')))"))
          << "others may use " << UnixPath(folder);
    }
  }
}

// 40,000 characters: under Wine the tool meets the cut line.
const std::wstring kFiller(40000, L'x');
std::wstring UnknownSwitches(size_t characters) {
  std::wstring line;
  while (line.size() < characters) line += L"-x ";
  return line;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IconregFaultMatrix,
    testing::Values(
        // The class key refused: nothing written, the failure in the log and the exit code.
        Row{"ClassKeyRefused", Fault::kClassKeyRefused, false, L"-R", kFailedExit, Item::kNothing,
            {}, Messages(std::begin(kClassFailureLines), std::end(kClassFailureLines))},
        // The namespace key refused: the class stays registered, two boxes, and 0 (the entry
        // only makes the item show in the Control Panel).
        Row{"NamespaceKeyRefused", Fault::kNamespaceKeyRefused, false, L"-R", 0,
            Item::kClassWithoutNamespace, {L"RegCreateKey:Fail", L"RegSetValueEx:Fail"},
            kProgressOnly},
        // Where no one would see them (as when the installer service runs the tool), the boxes'
        // texts go to the log instead; the exit code is the same.
        Row{"NamespaceKeyRefusedOnAHiddenStation", Fault::kNamespaceKeyRefused, false, L"-R", 0,
            Item::kClassWithoutNamespace, {}, kProgressAndBoxTexts, Station::kHidden},
        Row{"RegisterOnAHiddenStation", Fault::kNone, false, L"-R", 0, Item::kComplete, {},
            kProgressOnly, Station::kHidden},
        Row{"RemoveOnAHiddenStation", Fault::kNone, true, L"-C", 0, Item::kNothing, {},
            std::nullopt, Station::kHidden},
        // A reader locks the whole log: the tool registers and ends within its wait; its line
        // is dropped, and the log holds nothing torn.
        Row{"LogLockedByAReader", Fault::kLogLockedByAReader, false, L"-R", 0, Item::kComplete,
            {}, Messages{}},
        // No log can be written: the registration is not affected and nothing is shown.
        Row{"LogFolderUnwritable", Fault::kLogFolderUnwritable, false, L"-R", 0, Item::kComplete,
            {}, std::nullopt},
        // Without a log the class failure still shows in the exit code.
        Row{"ClassKeyRefusedAndLogFolderUnwritable",
            Fault::kClassKeyRefusedAndLogFolderUnwritable, false, L"-R", kFailedExit,
            Item::kNothing, {}, std::nullopt},
        Row{"LogFolderOfAnotherUser", Fault::kLogFolderOfAnotherUser, false, L"-R", 0,
            Item::kComplete, {}, std::nullopt},
        Row{"LogFolderOpenToAll", Fault::kLogFolderOpenToAll, false, L"-R", 0, Item::kComplete,
            {}, std::nullopt},
        Row{"LogFoldersMissing", Fault::kLogFoldersMissing, false, L"-R", 0, Item::kComplete, {},
            kProgressOnly},
        // The switch twice: only the first acts, once. (Single switches and their neighbours
        // are the CommandLines table of iconreg_program_wine_test.)
        Row{"RegisterTwice", Fault::kNone, false, L"-R -R", 0, Item::kComplete, {}, kProgressOnly},
        Row{"RemoveTwice", Fault::kNone, true, L"/c /C", 0, Item::kNothing, {}, std::nullopt},
        // Empty switches: a delimiter without a letter does nothing; a later switch still acts.
        Row{"LoneSlash", Fault::kNone, true, L"/ ", 0, Item::kComplete, {},
            std::nullopt},
        Row{"TwoHyphens", Fault::kNone, false, L"--", 0, Item::kNothing, {}, std::nullopt},
        Row{"EmptySwitchThenRegister", Fault::kNone, false, L"- -R", 0, Item::kComplete, {},
            kProgressOnly},
        Row{"EmptyQuotedArgument", Fault::kNone, false, L"\"\" \"-\" -R", 0, Item::kComplete, {},
            kProgressOnly},
        // 40,000 characters.
        Row{"RegisterThenLongTail", Fault::kNone, false, L"-R " + kFiller, 0, Item::kComplete, {},
            kProgressOnly},
        Row{"RemoveThenLongTail", Fault::kNone, true, L"-C " + kFiller, 0, Item::kNothing, {},
            std::nullopt},
        // Thousands of unrecognised switches are skipped one by one, up to the one that acts.
        Row{"LongRunOfUnknownSwitchesThenRegister", Fault::kNone, false,
            UnknownSwitches(30000) + L"-R", 0, Item::kComplete, {}, kProgressOnly},
        // A switch past the cut never reaches the tool (kWineFactLongCommandLinesAreCut; on
        // Windows the tool would not start at all): nothing happens, and nothing is half done.
        Row{"RegisterPastTheCut", Fault::kNone, false, UnknownSwitches(40000) + L"-R", 0,
            Item::kNothing, {}, std::nullopt},
        Row{"LongSwitchLetterRun", Fault::kNone, false, L"-R" + kFiller, 0, Item::kNothing, {},
            std::nullopt},
        Row{"LongTextWithoutSwitch", Fault::kNone, true, kFiller, 0, Item::kComplete, {},
            std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
