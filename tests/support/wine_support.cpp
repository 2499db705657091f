#include "tests/support/wine_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "shared/win_handles.h"
#include "tools/standin-service/service_state.h"

namespace {

constexpr wchar_t kStandInLog[] = L"C:\\ZQStandIn\\ZQPRXSVC.log";

std::wstring StandInExe() {
  const wchar_t* path = _wgetenv(L"ZQ_STANDIN_EXE");
  return path != nullptr ? path : L"";
}

bool RunStandIn(const wchar_t* verb) {
  std::wstring exe = StandInExe();
  if (exe.empty()) return false;
  ChildProcess child(L"\"" + exe + L"\" " + verb);
  return child.Finish(60000) == 0;
}

}  // namespace

bool StartStandIn() { return StartStandInService(); }
bool StopStandIn() { return StopStandInService(); }

bool StandInRunning() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  return service && QueryServiceStatus(service.Get(), &status) &&
         status.dwCurrentState == SERVICE_RUNNING;
}

bool InstallStandIn() { return RunStandIn(L"-install"); }
bool UninstallStandIn() { return RunStandIn(L"-uninstall"); }

size_t StandInLogMark() {
  auto bytes = ReadWholeFile(kStandInLog);
  return bytes ? bytes->size() : 0;
}

std::string StandInLogSince(size_t mark) {
  auto bytes = ReadWholeFile(kStandInLog);
  if (!bytes || bytes->size() <= mark) return {};
  return std::string(bytes->begin() + static_cast<std::ptrdiff_t>(mark), bytes->end());
}

std::vector<unsigned> StandInCodesSince(size_t mark) {
  std::vector<unsigned> codes;
  std::string text = StandInLogSince(mark);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    // "hh:mm:ss.mmm <code> <what>"; code 0 marks the service's own start and stop lines.
    size_t space = line.find(' ');
    if (space != std::string::npos) {
      unsigned code = static_cast<unsigned>(std::strtoul(line.c_str() + space + 1, nullptr, 10));
      if (code != 0) codes.push_back(code);
    }
    start = end + 1;
  }
  return codes;
}

bool WriteBinaryValue(HKEY root, const wchar_t* key, const wchar_t* name, const void* data,
                      DWORD size, REGSAM view) {
  UniqueRegKey handle;
  if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, handle.Put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(handle.Get(), name, 0, REG_BINARY, static_cast<const BYTE*>(data),
                        size) == ERROR_SUCCESS;
}

std::optional<std::vector<BYTE>> ReadBinaryValue(HKEY root, const wchar_t* key,
                                                 const wchar_t* name, REGSAM view) {
  UniqueRegKey handle;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, handle.Put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD size = 0;
  if (RegQueryValueExW(handle.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(handle.Get(), name, nullptr, nullptr, data.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(size);
  return data;
}

bool DeleteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view) {
  UniqueRegKey handle;
  if (RegOpenKeyExW(root, key, 0, KEY_SET_VALUE | view, handle.Put()) != ERROR_SUCCESS) return true;
  LONG status = RegDeleteValueW(handle.Get(), name);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool DeleteRegistryTree(HKEY root, const wchar_t* key) {
  LONG status = RegDeleteTreeW(root, key);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(root, key);
    return true;
  }
  return false;
}

std::wstring ProgramPath(const wchar_t* fileName) {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash);      // <build>\tests
  slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash);      // <build>
  return path + L"\\bin\\" + fileName;
}

ChildProcess::ChildProcess(const std::wstring& commandLine, const wchar_t* desktop) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring desktopName = desktop != nullptr ? desktop : L"";
  if (desktop != nullptr) startup.lpDesktop = desktopName.data();
  PROCESS_INFORMATION info = {};
  // A start that fails says why in the test's output; the test would only see that nothing ran.
  // It is tried three times: one CI run had a program never start, for no reason it could see.
  for (int attempt = 1;; ++attempt) {
    std::wstring line = commandLine;  // CreateProcessW may write to it
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
      break;
    }
    const DWORD error = GetLastError();
    fwprintf(stderr, L"could not start %ls (attempt %d): error %lu\n", commandLine.c_str(),
             attempt, error);
    if (attempt == 3) return;
  }
  process_.Reset(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  id_ = info.dwProcessId;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) const {
  return Started() && WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (Started()) GetExitCodeProcess(process_.Get(), &code);
  return code;
}

DWORD ChildProcess::Finish(DWORD timeoutMs) {
  if (!WaitForExit(timeoutMs)) End();
  return ExitCode();
}

void ChildProcess::End() {
  if (!Running()) return;
  TerminateProcess(process_.Get(), kEndedByTest);
  WaitForExit(5000);
}

std::optional<std::vector<BYTE>> ReadWholeFile(const wchar_t* path) {
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size)) return std::nullopt;
  std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() &&
      !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return std::nullopt;
  }
  bytes.resize(read);
  return bytes;
}

std::wstring ReadUtf16File(const wchar_t* path) {
  std::wstring text;
  auto bytes = ReadWholeFile(path);
  if (!bytes) return text;
  text.resize(bytes->size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>((*bytes)[2 * i] | ((*bytes)[2 * i + 1] << 8));
  }
  return text;
}

std::vector<LogLine> SplitLogLines(const std::wstring& text, StampReader readStamp) {
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(L"\r\n", start);
    const std::wstring whole = text.substr(start, end == std::wstring::npos ? end : end - start);
    LogLine line;
    const StampShape shape = readStamp(whole);
    if (shape.prefixLength != 0) {
      line.stamp = whole.substr(0, shape.stampLength);
      line.message = whole.substr(shape.prefixLength);
      line.wellFormed = shape.sane && end != std::wstring::npos;
    } else {
      line.message = whole;
    }
    lines.push_back(line);
    if (end == std::wstring::npos) break;
    start = end + 2;
  }
  return lines;
}

namespace {

struct DialogSearch {
  DWORD processId;
  const wchar_t* caption;
  std::vector<DialogSeen> found;
};

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// Window enumeration callbacks are CALLBACK (stdcall in the 32-bit build) functions.
BOOL CALLBACK CollectChildText(HWND child, LPARAM context) {
  auto* dialog = reinterpret_cast<DialogSeen*>(context);
  std::wstring text = TextOf(child);
  wchar_t className[64] = {};
  GetClassNameW(child, className, 64);
  if (dialog->message.empty() && !text.empty() && _wcsicmp(className, L"Static") == 0) {
    dialog->message = text;
  }
  dialog->texts.push_back(text);
  return TRUE;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<DialogSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if ((search->processId != 0 && owner != search->processId) || !IsWindowVisible(window) ||
      wcscmp(className, L"#32770") != 0) {
    return TRUE;
  }
  DialogSeen dialog;
  dialog.window = window;
  dialog.caption = TextOf(window);
  if (search->caption != nullptr && dialog.caption != search->caption) return TRUE;
  EnumChildWindows(window, CollectChildText, reinterpret_cast<LPARAM>(&dialog));
  search->found.push_back(dialog);
  return TRUE;
}

}  // namespace

std::vector<DialogSeen> VisibleDialogs(DWORD processId, const wchar_t* caption, HDESK desktop) {
  DialogSearch search{processId, caption, {}};
  if (desktop != nullptr) {
    EnumDesktopWindows(desktop, CollectDialog, reinterpret_cast<LPARAM>(&search));
  } else {
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  }
  return search.found;
}

void AnswerOk(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

void NoteWineFact(const WineFact& fact) {
  static std::set<const WineFact*> noted;
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  if (!noted.insert(&fact).second) return;
  std::printf("[ WINE FACT ] Windows: %s.\n              Wine: %s.\n", fact.windows, fact.wine);
  std::fflush(stdout);
}

std::string UnixPath(const wchar_t* windowsPath) {
  using UnixNameFunction = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return {};
  char* name = unixName(windowsPath);
  if (name == nullptr) return {};
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

namespace {

// A shell word: single quotes, with any single quote of the text closed, escaped, reopened.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

bool RunUnixShell(const std::string& command, DWORD timeoutMs) {
  wchar_t folder[MAX_PATH];
  wchar_t mark[MAX_PATH];
  if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"zq", 0, mark) == 0) {
    return false;
  }
  DeleteFileW(mark);
  std::string markPath = UnixPath(mark);
  if (markPath.empty()) return false;
  std::string script = "(" + command + ") && touch " + ShellQuoted(markPath);
  // Windows command-line quoting: the whole script is one argument of sh -c.
  std::wstring line = L"/bin/sh -c \"";
  for (char c : script) {
    if (c == '"') line += L'\\';
    line += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  line += L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  const ULONGLONG start = GetTickCount64();
  while (GetFileAttributesW(mark) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() - start >= timeoutMs) return false;
    Sleep(20);
  }
  DeleteFileW(mark);
  return true;
}

bool SetImmutable(const wchar_t* path, bool on) {
  NoteWineFact(kWineFactReadOnlyIsAUnixMode);
  const std::string unixPath = UnixPath(path);
  return !unixPath.empty() &&
         RunUnixShell(std::string("chattr ") + (on ? "+i " : "-i ") + ShellQuoted(unixPath));
}

bool PlantUnixSymlink(const wchar_t* target, const wchar_t* link) {
  NoteWineFact(kWineFactNoSymbolicLinks);
  std::string unixTarget = UnixPath(target);
  std::string unixLink = UnixPath(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  return RunUnixShell("ln -s " + ShellQuoted(unixTarget) + " " + ShellQuoted(unixLink));
}

bool RemoveUnixLink(const wchar_t* link) {
  std::string unixLink = UnixPath(link);
  if (unixLink.empty()) return false;
  return RunUnixShell("rm -f " + ShellQuoted(unixLink));
}

void* ReplaceImport(const wchar_t* module, const char* function, void* replacement) {
  void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), function));
  if (real == nullptr) return nullptr;
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* imports = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (; imports->Name != 0; ++imports) {
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imports->FirstThunk);
    for (; slot->u1.Function != 0; ++slot) {
      if (reinterpret_cast<void*>(slot->u1.Function) != real) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                          &protection)) {
        return nullptr;
      }
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      return real;
    }
  }
  return nullptr;
}
