#pragma once
// What the Wine tests of the real iconreg.exe share: running it and answering its boxes, the
// item's keys in the registry and ways to make their creation fail, and the tool log.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/wine_support.h"

extern const std::wstring kClassKey;
extern const std::wstring kIconKey;
extern const std::wstring kCommandKey;
extern const std::wstring kNamespaceKey;
constexpr wchar_t kNamespaceParent[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace";
constexpr wchar_t kControlPanelKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel";
constexpr wchar_t kCurrentVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
extern const std::wstring& kLogPath;
constexpr DWORD kFailedExit = 0xFFFFFFFF;  // -1 as Windows reports it

// The Program Files folder Windows names for this process, which has the tool's bitness: a
// 32-bit process on 64-bit Windows is given the (x86) folder.
extern const std::wstring kWineProgramFiles;

// --- Registry ---

// The tool writes the 64-bit view whatever its own bitness, so that is where the tests look and
// plant their faults, unless they ask about the other view.
constexpr REGSAM kToolView = KEY_WOW64_64KEY;

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = kToolView);
void DeleteTreeInView(HKEY root, const std::wstring& path, REGSAM view);

struct StoredValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
};
std::optional<StoredValue> ReadValue(HKEY root, const std::wstring& path, const wchar_t* name,
                                     REGSAM view = kToolView);

// A text as stored: its characters and one terminating zero.
std::vector<BYTE> TextBytes(const std::wstring& text);

// Every key, value, type and byte of the item (class key and namespace entry), one line each,
// in a stable order; empty when nothing of it is there.
std::wstring DumpItem(REGSAM view = kToolView);
// What DumpItem shows of the class key with its three values alone; of the class keys that
// registration writes for a Program Files folder; of all it writes.
std::wstring DumpedClass();
std::wstring DumpedClassKeys(const std::wstring& programFiles);
std::wstring DumpedRegistration(const std::wstring& programFiles);
// Deletes the item's keys in both views.
void RemoveItemKeys();
bool KeyHasSubKeys(HKEY root, const wchar_t* path);

// A registry link whose target cannot be created makes every creation through it fail (Wine
// does not enforce key security, so a refused key cannot be made with an access list).
bool MakeBrokenLink(const std::wstring& machinePath);
void DeleteLink(const std::wstring& machinePath);
// Under a volatile key no lasting sub-key can be made.
bool CreateVolatileKey(HKEY root, const std::wstring& path);

// --- The tool log ---
std::wstring ReadLog();
// The messages of a log; a line without a sane stamp or line end is marked "<no stamp> ".
std::vector<std::wstring> LogMessages(const std::wstring& log);
void DeleteLog();

// --- Running the program ---
struct BoxSeen {
  std::wstring caption;
  std::wstring text;
};

struct ToolRun {
  bool finished = false;
  DWORD exitCode = 0;
  std::vector<BoxSeen> boxes;
};

// Where the tool runs: this test's desktop, or a window station of the test's own that no one
// sees (no WSF_VISIBLE), as the installer service's.
enum class Station { kVisible, kHidden };
// The hidden station could be made and is indeed not visible.
bool HiddenStationIsReady();

// Runs iconreg with the given arguments. Message boxes it shows (on either station) are read and
// answered with OK, as a user would; whileRunning is called every few milliseconds until the
// program ends.
ToolRun RunTool(const std::wstring& arguments, const std::function<void()>& whileRunning = {},
                DWORD timeoutMs = 60000, Station station = Station::kVisible);
