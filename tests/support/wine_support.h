#pragma once
// What Windows-side tests need around the programs under test: the stand-in sensor service,
// registry values, and starting programs of this build.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shared/win_handles.h"

#include "shared/service_link.h"  // kSettingsKeyPath

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

// A program a test started. Whatever happens in the test, it does not outlive its owner: one
// still running when the owner goes is ended with kEndedByTest.
constexpr DWORD kEndedByTest = 0xDEAD;
class ChildProcess {
 public:
  // On this process's desktop, or on the one named ("Station\\Desktop").
  explicit ChildProcess(const std::wstring& commandLine, const wchar_t* desktop = nullptr);
  ~ChildProcess() { End(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  HANDLE Handle() const { return process_.Get(); }
  DWORD Id() const { return id_; }
  bool Running() const { return Started() && !WaitForExit(0); }
  // True once it has ended (waits up to timeoutMs).
  bool WaitForExit(DWORD timeoutMs) const;
  // Its exit code, or STILL_ACTIVE while it runs (and when it never started).
  DWORD ExitCode() const;
  // Waits up to timeoutMs, ends it if it is still running then, and returns its exit code
  // (kEndedByTest when it had to be ended).
  DWORD Finish(DWORD timeoutMs);
  // Ends it now if it still runs, and waits until it has.
  void End();

 private:
  UniqueKernelHandle process_;
  DWORD id_ = 0;
};

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
// The visible dialog boxes (class "#32770") of a process (of every process when 0); with
// this caption when not null. On this thread's desktop, or on the one given.
std::vector<DialogSeen> VisibleDialogs(DWORD processId, const wchar_t* caption = nullptr,
                                       HDESK desktop = nullptr);
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

// --- Wine facts ---
// Where Wine 8 does otherwise than Windows and a test accepts what Wine does. Each is stated
// once as a WineFact, here when several tests meet it, else beside its test, so that
// `git grep "WineFact k"` finds and counts them all. A test that relies on one calls
// NoteWineFact, which says so once in the test program's output.
struct WineFact {
  const char* windows;  // what Windows does
  const char* wine;     // what Wine does instead, which the test accepts
};
void NoteWineFact(const WineFact& fact);

constexpr WineFact kWineFactReadOnlyIsAUnixMode = {
    "a read-only file refuses every writer, and a folder without write rights every new file",
    "read-only is a Unix mode, which does not stop the root user the tests run as; the tests "
    "set the immutable flag instead (SetImmutable)"};
constexpr WineFact kWineFactNoSymbolicLinks = {
    "CreateSymbolicLinkW makes the link",
    "CreateSymbolicLinkW reports success and makes nothing; the tests plant Unix symbolic "
    "links, which Wine shows as links (a linked folder as a reparse point, a linked file "
    "opened through the link, unmarked)"};
constexpr WineFact kWineFactNoGuiResources = {
    "GetGuiResources counts a process's GDI objects",
    "GetGuiResources answers 0 (ERROR_CALL_NOT_IMPLEMENTED); the tests look at the GDI handle "
    "table instead"};
constexpr WineFact kWineFactNoAccessLists = {
    "a file or folder keeps the access list it is given",
    "a DACL is mapped onto Unix mode bits and forgotten; the descriptors themselves are "
    "checked with AccessCheck"};

// --- The Linux side of the prefix ---
// Links that Wine shows as they would be on Windows are planted as Unix symbolic links
// (kWineFactNoSymbolicLinks).
// The Unix name of a Windows path whose folder exists; empty outside Wine.
std::string UnixPath(const wchar_t* windowsPath);
// Runs a shell command line on the Linux side and waits until it has succeeded (Wine starts
// Unix programs without a handle to wait on, so the command leaves a mark that is polled for).
// False when it failed, did not finish in time, or this is not Wine.
bool RunUnixShell(const std::string& command, DWORD timeoutMs = 15000);
// Makes `link` a Unix symbolic link to `target`; removes a link (a Unix link of any kind).
bool PlantUnixSymlink(const wchar_t* target, const wchar_t* link);
// Sets or clears the immutable flag of a file or folder: then it refuses every writer and every
// new file, as read-only does on Windows (kWineFactReadOnlyIsAUnixMode).
bool SetImmutable(const wchar_t* path, bool on);
bool RemoveUnixLink(const wchar_t* link);

// --- Watching the product's calls ---
// Points this program's own import of `function` from `module` (e.g. "user32.dll",
// "UpdateLayeredWindow") at `replacement`, so that every call made by the product code linked
// into the test reaches it. Returns the real function to call on, or nullptr when the program
// does not import it. Works in both bitnesses (MinGW's import tables).
void* ReplaceImport(const wchar_t* module, const char* function, void* replacement);
// ReplaceImport once: `real` keeps the real function. True while the watch is in place.
template <typename Function>
bool WatchImport(Function& real, const wchar_t* module, const char* function,
                 Function replacement) {
  if (real == nullptr) {
    real = reinterpret_cast<Function>(
        ReplaceImport(module, function, reinterpret_cast<void*>(replacement)));
  }
  return real != nullptr;
}
