#include "tests/iconreg/iconreg_runs.h"

#include <chrono>
#include <set>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"
#include "tests/iconreg/tool_log_files.h"

const std::wstring kClassKey = AsWide(kClassKeyPath);
const std::wstring kIconKey = AsWide(kIconKeyPath);
const std::wstring kCommandKey = AsWide(kOpenCommandKeyPath);
const std::wstring kNamespaceKey = AsWide(kNamespaceKeyPath);
const std::wstring& kLogPath = kToolLogFile;
const std::wstring kWineProgramFiles =
    sizeof(void*) == 4 ? L"C:\\Program Files (x86)" : L"C:\\Program Files";

// --- Registry ---

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

void DeleteTreeInView(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.Put()) == ERROR_SUCCESS) {
    RegDeleteTreeW(key.Get(), nullptr);
  }
  RegDeleteKeyExW(root, path.c_str(), view, 0);
}

std::optional<StoredValue> ReadValue(HKEY root, const std::wstring& path, const wchar_t* name,
                                     REGSAM view) {
  UniqueRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  StoredValue value;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.bytes.resize(size);
  if (RegQueryValueExW(key.Get(), name, nullptr, &value.type, value.bytes.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.bytes.resize(size);
  return value;
}

// A text as stored: its characters and one terminating zero.
std::vector<BYTE> TextBytes(const std::wstring& text) {
  const BYTE* start = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(start, start + (text.size() + 1) * sizeof(wchar_t));
}

namespace {

// The names a registry enumeration gives, index by index until it fails, sorted.
template <typename Enumerate>
std::set<std::wstring> EnumeratedNames(Enumerate enumerate) {
  std::set<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD length = 512;
    if (enumerate(i, name, &length) != ERROR_SUCCESS) return names;
    names.insert(std::wstring(name, length));
  }
}

// Every key, value, type and byte below a key, one line each, in a stable order.
void DumpKey(HKEY root, const std::wstring& path, REGSAM view, std::wstring& out) {
  UniqueRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Put()) != ERROR_SUCCESS) {
    return;
  }
  out += L"[" + path + L"]\n";
  const auto values = EnumeratedNames([&](DWORD i, wchar_t* name, DWORD* length) {
    return RegEnumValueW(key.Get(), i, name, length, nullptr, nullptr, nullptr, nullptr);
  });
  for (const std::wstring& name : values) {
    auto value = ReadValue(root, path, name.c_str(), view);
    out += L"  \"" + name + L"\" type " + std::to_wstring(value ? value->type : 0) + L" bytes " +
           std::to_wstring(value ? value->bytes.size() : 0) + L": ";
    if (value) {
      for (size_t i = 0; i + 1 < value->bytes.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(value->bytes[i] | (value->bytes[i + 1] << 8));
        out += c != 0 ? std::wstring(1, c) : std::wstring(L"<0>");
      }
    }
    out += L"\n";
  }
  const auto children = EnumeratedNames([&](DWORD i, wchar_t* name, DWORD* length) {
    return RegEnumKeyExW(key.Get(), i, name, length, nullptr, nullptr, nullptr, nullptr);
  });
  for (const std::wstring& child : children) DumpKey(root, path + L"\\" + child, view, out);
}

}  // namespace

std::wstring DumpItem(REGSAM view) {
  std::wstring out;
  DumpKey(HKEY_CLASSES_ROOT, kClassKey, view, out);
  DumpKey(HKEY_LOCAL_MACHINE, kNamespaceKey, view, out);
  return out;
}

namespace {

// One line of DumpItem for a text value.
std::wstring DumpedText(const std::wstring& name, const std::wstring& text) {
  return L"  \"" + name + L"\" type 1 bytes " + std::to_wstring(TextBytes(text).size()) + L": " +
         text + L"<0>\n";
}

}  // namespace

std::wstring DumpedClass() {
  return L"[" + kClassKey + L"]\n" + DumpedText(L"", L"ZQ Proximity Sensor") +
         DumpedText(L"System.ApplicationName", L"ZQ.ZQProximityUtility") +
         DumpedText(L"System.ControlPanel.Category", L"2");
}

std::wstring DumpedClassKeys(const std::wstring& folder) {
  const std::wstring command = L"\"" + folder + L"\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe\"";
  return DumpedClass() + L"[" + kIconKey + L"]\n" + DumpedText(L"", command + L", -130") + L"[" +
         kClassKey + L"\\Shell]\n[" + kClassKey + L"\\Shell\\Open]\n[" + kCommandKey + L"]\n" +
         DumpedText(L"", command);
}

std::wstring DumpedRegistration(const std::wstring& folder) {
  return DumpedClassKeys(folder) + L"[" + kNamespaceKey + L"]\n" +
         DumpedText(L"", L"ZQ Proximity Sensor");
}

void RemoveItemKeys() {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    DeleteTreeInView(HKEY_CLASSES_ROOT, kClassKey, view);
    DeleteTreeInView(HKEY_LOCAL_MACHINE, kNamespaceKey, view);
  }
}

bool KeyHasSubKeys(HKEY root, const wchar_t* path) {
  UniqueRegKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | kToolView, key.Put()) != ERROR_SUCCESS) return false;
  DWORD count = 0;
  RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
  return count > 0;
}

// A registry link (as Windows uses for CurrentControlSet) whose target cannot be created makes
// every creation through it fail; deleting it takes the native call.
bool MakeBrokenLink(const std::wstring& machinePath) {
  UniqueRegKey link;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, nullptr,
                      REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS | kToolView,
                      nullptr, link.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring target = L"\\Registry\\Machine\\Software\\ZQNoSuchParent\\Target";
  return RegSetValueExW(link.Get(), L"SymbolicLinkValue", 0, REG_LINK,
                        reinterpret_cast<const BYTE*>(target.data()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void DeleteLink(const std::wstring& machinePath) {
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
  UniqueRegKey link;
  if (deleteKey != nullptr &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, machinePath.c_str(), REG_OPTION_OPEN_LINK,
                    DELETE | kToolView, link.Put()) == ERROR_SUCCESS) {
    deleteKey(link.Get());
  }
}

bool CreateVolatileKey(HKEY root, const std::wstring& path) {
  // Missing keys on the way are made with the options of the last one: a volatile parent would
  // outlive this key and refuse every lasting key below it afterwards (in a fresh prefix the
  // Control Panel's key does not exist yet). The parents are made lasting first.
  const size_t cut = path.rfind(L'\\');
  if (cut != std::wstring::npos) {
    UniqueRegKey parent;
    if (RegCreateKeyExW(root, path.substr(0, cut).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | kToolView, nullptr, parent.Put(),
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
  }
  UniqueRegKey key;
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                         KEY_ALL_ACCESS | kToolView, nullptr, key.Put(), nullptr) == ERROR_SUCCESS;
}

// --- The tool log ---

std::wstring ReadLog() { return ReadUtf16File(kLogPath.c_str()); }

// The messages of a log; a line without a sane stamp or line end is marked.
std::vector<std::wstring> LogMessages(const std::wstring& log) {
  std::vector<std::wstring> messages;
  for (const LogLine& line : ParseToolLog(log)) {
    if (line.stamp.empty()) {
      messages.push_back(L"<no stamp> " + line.message);
    } else {
      messages.push_back(line.message);
    }
  }
  return messages;
}

void DeleteLog() { DeleteFileW(kLogPath.c_str()); }

// --- Running the program ---

namespace {

// The hidden station and its desktop, made once; a desktop is made in the station this process
// is in, so the process steps into the new one for that moment.
struct HiddenStation {
  HWINSTA station = nullptr;
  HDESK desktop = nullptr;
};

const HiddenStation& TheHiddenStation() {
  static const HiddenStation hidden = [] {
    HiddenStation made;
    HWINSTA own = GetProcessWindowStation();
    made.station = CreateWindowStationW(L"ZQHiddenStation", 0, WINSTA_ALL_ACCESS, nullptr);
    if (made.station != nullptr && SetProcessWindowStation(made.station)) {
      made.desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      SetProcessWindowStation(own);
    }
    return made;
  }();
  return hidden;
}

}  // namespace

bool HiddenStationIsReady() {
  USEROBJECTFLAGS flags = {};
  const HiddenStation& hidden = TheHiddenStation();
  return hidden.desktop != nullptr &&
         GetUserObjectInformationW(hidden.station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) == 0;
}

// Runs iconreg with the given arguments. Message boxes it shows are read and answered with OK,
// as a user would; whileRunning is called every few milliseconds until the program ends.
ToolRun RunTool(const std::wstring& arguments, const std::function<void()>& whileRunning,
                DWORD timeoutMs, Station station) {
  ToolRun run;
  std::wstring commandLine = L"\"" + ProgramPath(L"iconreg.exe") + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  const wchar_t* desktop = nullptr;
  HDESK boxDesktop = nullptr;
  if (station == Station::kHidden) {
    if (!HiddenStationIsReady()) return run;
    desktop = L"ZQHiddenStation\\Default";
    boxDesktop = TheHiddenStation().desktop;
  }
  ChildProcess process(commandLine, desktop);
  if (!process.Started()) return run;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!process.WaitForExit(5)) {
    if (whileRunning) whileRunning();
    std::vector<DialogSeen> boxes = VisibleDialogs(process.Id(), nullptr, boxDesktop);
    if (!boxes.empty()) {
      const HWND box = boxes[0].window;
      run.boxes.push_back({boxes[0].caption, boxes[0].message});
      AnswerOk(box);
      while (IsWindow(box) && !process.WaitForExit(5)) {
      }
    }
    if (std::chrono::steady_clock::now() > deadline) return run;  // ended on leaving
  }
  run.finished = true;
  run.exitCode = process.ExitCode();
  return run;
}
