#pragma once
// What Windows-side tests need around the programs under test: the stand-in sensor service,
// registry values, and starting programs of this build.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

constexpr wchar_t kSettingsKeyPath[] = L"Software\\Zenquill\\ZQ Proximity Sensor";

// --- The stand-in service (tools/standin-service), installed and started by the bench. ---
bool StartStandIn();      // true once it runs
bool StopStandIn();       // true once it has stopped (or is not installed)
bool InstallStandIn();    // runs "<stand-in> -install" (path from ZQ_STANDIN_EXE)
bool UninstallStandIn();  // stops and deletes it
bool StandInRunning();

// The stand-in appends one line "hh:mm:ss.mmm <code> <what>" per control it receives.
// Take a mark before an action, then read the codes that arrived after it.
size_t StandInLogMark();
std::vector<unsigned> StandInCodesSince(size_t mark);
std::string StandInLogSince(size_t mark);

// --- Registry ---
// The view is this process's own (0), or KEY_WOW64_32KEY / KEY_WOW64_64KEY: a 32-bit process on
// 64-bit Windows sees HKLM\Software through the 32-bit view unless it asks for the other.
bool WriteBinaryValue(HKEY root, const wchar_t* key, const wchar_t* name, const void* data,
                      DWORD size, REGSAM view = 0);
std::optional<std::vector<BYTE>> ReadBinaryValue(HKEY root, const wchar_t* key,
                                                 const wchar_t* name, REGSAM view = 0);
bool DeleteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = 0);
bool DeleteRegistryTree(HKEY root, const wchar_t* key);

// --- Programs of this build ---
// Full path of a program in <build>/bin (the tests themselves live in <build>/tests).
std::wstring ProgramPath(const wchar_t* fileName);

struct ProcessResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
};
// Starts "commandLine" and waits up to timeoutMs; a program still running then is ended.
ProcessResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs);

// Reads a whole file's bytes; nullopt when it cannot be opened.
std::optional<std::vector<BYTE>> ReadWholeFile(const wchar_t* path);

// A file of UTF-16 little-endian text, as text (empty when it cannot be opened).
std::wstring ReadUtf16File(const wchar_t* path);

// --- Message boxes and dialog boxes ---
struct DialogSeen {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring message;              // the first non-empty static text (a message box's text)
  std::vector<std::wstring> texts;   // every child's text, empty ones included, in order
};
// The visible dialog boxes (class "#32770") of a process; its caption when not null. On this
// thread's desktop, or on the one given.
std::vector<DialogSeen> VisibleDialogs(DWORD processId, const wchar_t* caption = nullptr,
                                       HDESK desktop = nullptr);
bool HasText(const DialogSeen& dialog, const std::wstring& text);
// Closes a box as its OK button does.
void AnswerOk(HWND box);

// Polls `condition` every 20 ms until it holds or timeoutMs has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// One line of a log file, split into its time stamp and its message.
struct LogLine {
  std::wstring stamp;    // the time stamp as written
  std::wstring message;  // everything after the stamp up to the closing CR LF
  bool wellFormed = false;  // a valid stamp and the closing CR LF
};

// How a log line begins: the units of its stamp and of the separator after it (0 when the line
// does not begin like a stamp), and whether the stamp's fields are in range.
struct StampShape {
  size_t prefixLength = 0;  // stamp and separator
  size_t stampLength = 0;   // the stamp alone
  bool sane = false;
};
using StampReader = StampShape (*)(const std::wstring& line);

// The lines of a UTF-16 log's text in file order, CR LF apart. A piece without a stamp, or a last
// piece without CR LF, is a line that is not well formed; without a stamp its stamp is empty.
std::vector<LogLine> SplitLogLines(const std::wstring& text, StampReader readStamp);

// --- The Linux side of the prefix ---
// Wine 8.0's CreateSymbolicLinkW reports success and makes nothing; links that Wine shows as
// they would be on Windows are planted as Unix symbolic links (Wine marks a linked folder as a
// reparse point; a linked file it opens through the link, unmarked).
// The Unix name of a Windows path whose folder exists; empty outside Wine.
std::string UnixPath(const wchar_t* windowsPath);
// Runs a shell command line on the Linux side and waits until it has succeeded (Wine starts
// Unix programs without a handle to wait on, so the command leaves a mark that is polled for).
// False when it failed, did not finish in time, or this is not Wine.
bool RunUnixShell(const std::string& command, DWORD timeoutMs = 15000);
// Makes `link` a Unix symbolic link to `target`; removes a link (a Unix link of any kind).
bool PlantUnixSymlink(const wchar_t* target, const wchar_t* link);
bool RemoveUnixLink(const wchar_t* link);

// --- Watching the product's calls ---
// Points this program's own import of `function` from `module` (e.g. "user32.dll",
// "UpdateLayeredWindow") at `replacement`, so that every call made by the product code linked
// into the test reaches it. Returns the real function to call on, or nullptr when the program
// does not import it. Works in both bitnesses (MinGW's import tables).
void* ReplaceImport(const wchar_t* module, const char* function, void* replacement);
