// The real iconreg.exe when its surroundings or its command line go wrong: one row per fault,
// each checking the exit code, the message boxes, what the registry holds afterwards and the
// tool log's lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"
#include "tests/iconreg/iconreg_runs.h"
#include "tests/iconreg/tool_log_files.h"
#include "tests/support/wine_support.h"

namespace {

using Messages = std::vector<std::wstring>;

enum class Fault {
  kNone,
  kClassKeyRefused,
  kNamespaceKeyRefused,
  kLogFolderUnwritable,
  kClassKeyRefusedAndLogFolderUnwritable,
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
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const std::wstring kClassFailureLines[] = {AsWide(kLogKeyFailure), AsWide(kClassKeyPath),
                                           AsWide(kLogReturnFailure)};
const Messages kProgressOnly{AsWide(kLogIconProgress)};

// The item as registration writes it, from the product's own texts.
std::wstring ClassDump() {
  const std::wstring command = ToWide(BuildCommandText(AsU16(kWineProgramFiles.c_str())).text);
  const std::wstring icon = ToWide(BuildIconText(AsU16(kWineProgramFiles.c_str())).text);
  auto text = [](const std::wstring& name, const std::wstring& value) {
    return L"  \"" + name + L"\" type 1 bytes " + std::to_wstring(TextBytes(value).size()) +
           L": " + value + L"<0>\n";
  };
  return L"[" + kClassKey + L"]\n" + text(L"", AsWide(kDisplayName)) +
         text(AsWide(kApplicationNameValue), AsWide(kApplicationName)) +
         text(AsWide(kCategoryValue), AsWide(kCategory)) + L"[" + kIconKey + L"]\n" +
         text(L"", icon) + L"[" + kClassKey + L"\\Shell]\n" + L"[" + kClassKey +
         L"\\Shell\\Open]\n" + L"[" + kCommandKey + L"]\n" + text(L"", command);
}

std::wstring NamespaceDump() {
  return L"[" + kNamespaceKey + L"]\n  \"\" type 1 bytes " +
         std::to_wstring(TextBytes(AsWide(kDisplayName)).size()) + L": " +
         AsWide(kDisplayName) + L"<0>\n";
}

std::wstring ExpectedDump(Item item) {
  switch (item) {
    case Item::kNothing:
      return L"";
    case Item::kComplete:
      return ClassDump() + NamespaceDump();
    case Item::kClassWithoutNamespace:
      return ClassDump();
  }
  return L"?";
}

const std::wstring kMachineClassKey = L"Software\\Classes\\" + kClassKey;
constexpr wchar_t kLogFolder[] = L"C:\\ZQ\\Data";

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
  }

  bool brokenLink_ = false;
  bool volatileNamespace_ = false;
  bool immutableFolder_ = false;
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

  ToolRun run = RunTool(row.arguments);
  ASSERT_TRUE(run.finished) << "the tool did not end";
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
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kNamespaceKey, KEY_WOW64_32KEY));

  if (!row.log) {
    EXPECT_EQ(ReadWholeFile(kLogPath.c_str()), std::nullopt);
  } else {
    EXPECT_EQ(LogMessages(ReadLog()), *row.log);
    for (const LogLine& line : ReadToolLogLines()) EXPECT_TRUE(line.wellFormed) << line.message;
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
        // No log can be written: the registration is not affected and nothing is shown.
        Row{"LogFolderUnwritable", Fault::kLogFolderUnwritable, false, L"-R", 0, Item::kComplete,
            {}, std::nullopt},
        // Without a log the class failure still shows in the exit code.
        Row{"ClassKeyRefusedAndLogFolderUnwritable",
            Fault::kClassKeyRefusedAndLogFolderUnwritable, false, L"-R", kFailedExit,
            Item::kNothing, {}, std::nullopt},
        // The switch twice: only the first acts, once.
        Row{"RegisterTwice", Fault::kNone, false, L"-R -R", 0, Item::kComplete, {}, kProgressOnly},
        Row{"RemoveTwice", Fault::kNone, true, L"/c /C", 0, Item::kNothing, {}, std::nullopt},
        Row{"RegisterThenRemove", Fault::kNone, false, L"-R -C", 0, Item::kComplete, {},
            kProgressOnly},
        // Empty switches: a delimiter without a letter does nothing; a later switch still acts.
        Row{"LoneHyphen", Fault::kNone, false, L"-", 0, Item::kNothing, {}, std::nullopt},
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
