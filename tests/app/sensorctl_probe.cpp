// The Windows side of the settings window's end-to-end tests: what the test driver (which moves
// the real X pointer and takes screenshots) cannot see from Linux. One command per run, answers
// on stdout, exit code 0 on success; or, with "serve", one command per line of stdin (its
// arguments separated by tabs), each answer followed by a line "#end CODE". A test asks a few
// hundred questions, and under Wine each program start costs a good part of a second.
//
//   current-set HEX              write "Current" (and remove "New")
//   value-get NAME               print a value of the settings key as hex, or "absent"
//   value-delete NAME            remove a value of the settings key
//   value-views NAME             the value in each registry view as JSON: {"bits": this build's
//                                bitness, "32": hex or null, "64": hex or null}
//   value-views-delete NAME      remove the value from both views
//   standin-ensure               start the stand-in service unless it runs
//   standin-stop                 stop the stand-in service
//   standin-mark                 print the length of the stand-in's control log
//   standin-codes MARK           print the control codes received since MARK
//   window                       describe the settings windows as JSON
//   boxes                        the visible message boxes of every process as JSON: process
//                                id, texts, and the screen rectangle of their OK button
//   gdi PID                      print the process's GDI object count
//   paint-native-list ID COUNT   show a native list box of the window and paint it COUNT times
//   launch PATH                  start a program with CreateProcessW; print its process id (or
//                                the error) and whether this runs under Wine
//   self-gdi-check               print the counts around creating and freeing 50 brushes
//   terminate-all                end every process that shows a settings window
//   select-native-row ID ROW     select a row of a native list box and notify the window, as
//                                the list itself would (LBN_SELCHANGE)
//   value-set-raw NAME TYPE HEX  write a value of the settings key with any type (a number);
//                                HEX "-" writes no bytes
//   value-type NAME              print the type number of a value, or "absent"
//   key-delete                   remove the settings key with everything under it
//   key-exists                   print 1 when the settings key exists, else 0
//   user-value-get NAME          as value-get, under HKEY_CURRENT_USER
//   user-key-delete              remove the settings key under HKEY_CURRENT_USER
//   responds MS                  print 1 when the settings window answers a message within MS
//                                milliseconds, 0 when it does not (or there is no window)
//   ask-close                    ask the settings window to close as the taskbar's "Close window"
//                                does (WM_SYSCOMMAND SC_CLOSE, posted)
//   standin-install              install the stand-in service (ZQ_STANDIN_EXE)
//   standin-uninstall            stop and delete it
//   standin-state                print the stand-in's state (SERVICE_RUNNING is 4), or "absent"
//   standin-restart [ARG ...]    stop it and start it again with start arguments; waits for
//                                SERVICE_START_PENDING with "hold-start", else SERVICE_RUNNING
//   standin-release-start        let a stand-in held in SERVICE_START_PENDING run
//   standin-pause                pause it and wait until it is paused
//   standin-continue             continue it and wait until it runs
//   a11y                         the settings window as an assistive technology reads it: its
//                                client object and every descendant, as a JSON list of
//                                {"path", "role", "roleText", "name", "value", "description",
//                                "state", "stateText", "rect"}; a path is the child numbers
//                                from the window down ("" the window, "3.2" row 2 of child 3)
//   a11y-do PATH                 accDoDefaultAction on the object at PATH
//   events-start                 listen (SetWinEventHook, out of context) to what the settings
//                                window's process announces
//   events                       what it announced since, as a JSON list of {"event", "child",
//                                "role", "name", "state"}, read when it was heard; emptied

#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "shared/win_handles.h"
#include "tests/support/wine_support.h"
#include "tools/standin-service/service_state.h"

namespace {

constexpr wchar_t kWindowClass[] = L"ZQ Proximity Sensor Utility";
constexpr int kChildIds[] = {200, 201, 202, 203, 204, 210, 211, 212, 220, 230, 231, 232};

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char pair[3];
  for (BYTE b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

bool ParseHex(const char* text, std::vector<BYTE>& bytes) {
  const size_t length = std::strlen(text);
  if (length % 2 != 0) return false;
  for (size_t i = 0; i < length; i += 2) {
    char pair[3] = {text[i], text[i + 1], 0};
    char* end = nullptr;
    const unsigned long value = std::strtoul(pair, &end, 16);
    if (end != pair + 2) return false;
    bytes.push_back(static_cast<BYTE>(value));
  }
  return true;
}

std::wstring Wide(const char* text) {
  std::wstring wide;
  for (const char* p = text; *p != 0; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return wide;
}

// JSON string with everything outside printable ASCII escaped.
std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string JsonRect(const RECT& r) {
  char text[96];
  std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right, r.bottom);
  return text;
}

std::vector<HWND> SettingsWindows() {
  std::vector<HWND> windows;
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) != nullptr) {
    windows.push_back(window);
  }
  return windows;
}

int DescribeBoxes() {
  const std::vector<DialogSeen> boxes = VisibleDialogs(0);
  std::printf("[");
  for (size_t i = 0; i < boxes.size(); ++i) {
    DWORD pid = 0;
    GetWindowThreadProcessId(boxes[i].window, &pid);
    RECT ok = {};
    if (HWND button = GetDlgItem(boxes[i].window, IDOK)) GetWindowRect(button, &ok);
    std::printf("%s{\"pid\": %lu, \"texts\": [", i ? ", " : "", static_cast<unsigned long>(pid));
    const char* separator = "";
    for (const std::wstring& text : boxes[i].texts) {
      if (text.empty()) continue;
      std::printf("%s%s", separator, Json(text).c_str());
      separator = ", ";
    }
    std::printf("], \"ok\": [%ld, %ld, %ld, %ld]}", ok.left, ok.top, ok.right, ok.bottom);
  }
  std::printf("]\n");
  return 0;
}

int DescribeWindow() {
  const std::vector<HWND> windows = SettingsWindows();
  std::printf("{\"count\": %zu", windows.size());
  if (!windows.empty()) {
    HWND main = windows.front();
    RECT frame = {};
    GetWindowRect(main, &frame);
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    wchar_t title[1024] = {};
    GetWindowTextW(main, title, 1024);
    const LONG_PTR exStyle = GetWindowLongPtrW(main, GWL_EXSTYLE);
    std::printf(", \"pid\": %lu, \"rect\": %s, \"title\": %s, \"visible\": %d, \"iconic\": %d",
                pid, JsonRect(frame).c_str(), Json(title).c_str(), IsWindowVisible(main) ? 1 : 0,
                IsIconic(main) ? 1 : 0);
    std::printf(", \"exstyle\": %lld, \"children\": {", static_cast<long long>(exStyle));
    bool first = true;
    for (int id : kChildIds) {
      HWND child = GetDlgItem(main, id);
      if (child == nullptr) continue;
      wchar_t text[1024] = {};
      GetWindowTextW(child, text, 1024);
      RECT box = {};
      GetWindowRect(child, &box);
      MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&box), 2);
      const bool shown = (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0;
      std::printf("%s\"%d\": {\"text\": %s, \"shown\": %d, \"rect\": %s", first ? "" : ", ", id,
                  Json(text).c_str(), shown ? 1 : 0, JsonRect(box).c_str());
      if (id == 220) {
        std::printf(", \"checked\": %d",
                    static_cast<int>(SendMessageW(child, BM_GETCHECK, 0, 0)));
      }
      if (id >= 230) {
        const LRESULT count = SendMessageW(child, LB_GETCOUNT, 0, 0);
        std::printf(", \"rows\": [");
        for (LRESULT row = 0; row < count && row < 8; ++row) {
          wchar_t rowText[1024] = {};
          if (SendMessageW(child, LB_GETTEXTLEN, row, 0) < 1024) {
            SendMessageW(child, LB_GETTEXT, row, reinterpret_cast<LPARAM>(rowText));
          }
          std::printf("%s%s", row == 0 ? "" : ", ", Json(rowText).c_str());
        }
        std::printf("]");
      }
      std::printf("}");
      first = false;
    }
    std::printf("}");
  }
  std::printf("}\n");
  return 0;
}

// Live GDI objects of a process. The objects are also counted where the system keeps them
// (kWineFactNoGuiResources): the
// process's GDI handle table, which its environment block points to: 0x10000 entries of 24
// bytes, a nonzero type byte at offset 14 marking a live object, in both bitnesses (Wine keeps
// the entries' pointers 64 bits wide). The pointer to it sits in the process environment block
// of the probe's own bitness, which is the bitness of the program it looks at.
constexpr size_t kGdiTableEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiTypeOffset = 14;
constexpr size_t kPebGdiTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;

long CountGdiTableEntries(HANDLE process) {
  using QueryFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  struct {
    LONG_PTR exitStatus;
    void* pebBaseAddress;
    ULONG_PTR affinity, basePriority, processId, parentProcessId;
  } basic = {};
  ULONG length = 0;
  if (query == nullptr || query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic,
                                &length) != 0) {
    return -1;
  }
  ULONG_PTR table = 0;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, static_cast<BYTE*>(basic.pebBaseAddress) + kPebGdiTableOffset,
                         &table, sizeof table, &read) ||
      table == 0) {
    return -2;
  }
  std::vector<BYTE> entries(kGdiTableEntries * kGdiEntrySize);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(), entries.size(),
                         &read) ||
      read != entries.size()) {
    return -3;
  }
  long live = 0;
  for (size_t i = 0; i < kGdiTableEntries; ++i) {
    if (entries[i * kGdiEntrySize + kGdiTypeOffset] != 0) ++live;
  }
  return live;
}

struct GdiCount {
  DWORD guiResources = 0;
  DWORD guiResourcesError = 0;
  long tableEntries = -1;
};

GdiCount CountGdi(HANDLE process) {
  GdiCount count;
  SetLastError(0);
  count.guiResources = GetGuiResources(process, GR_GDIOBJECTS);
  count.guiResourcesError = count.guiResources == 0 ? GetLastError() : 0;
  count.tableEntries = CountGdiTableEntries(process);
  return count;
}

void PrintGdiCount(const char* name, const GdiCount& count) {
  std::printf("\"%s\": {\"gui_resources\": %lu, \"gui_resources_error\": %lu, "
              "\"table\": %ld}",
              name, count.guiResources, count.guiResourcesError, count.tableEntries);
}

int PrintGdi(DWORD pid) {
  UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) {
    std::printf("{\"error\": %lu}\n", GetLastError());
    return 1;
  }
  std::printf("{");
  PrintGdiCount("count", CountGdi(process.Get()));
  std::printf("}\n");
  return 0;
}

// Shows that the count follows objects made and freed: 50 brushes in this process.
int SelfGdiCheck() {
  UniqueKernelHandle self(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                      GetCurrentProcessId()));
  if (!self) return 1;
  const GdiCount before = CountGdi(self.Get());
  std::vector<UniqueGdiObject> brushes;
  for (int i = 0; i < 50; ++i) brushes.emplace_back(CreateSolidBrush(RGB(i, 2, 3)));
  const GdiCount during = CountGdi(self.Get());
  brushes.clear();
  const GdiCount after = CountGdi(self.Get());
  std::printf("{");
  PrintGdiCount("before", before);
  std::printf(", ");
  PrintGdiCount("during", during);
  std::printf(", ");
  PrintGdiCount("after", after);
  std::printf("}\n");
  return 0;
}

int PaintNativeList(int id, int count) {
  const std::vector<HWND> windows = SettingsWindows();
  if (windows.empty()) return 1;
  HWND list = GetDlgItem(windows.front(), id);
  if (list == nullptr) return 1;
  ShowWindow(list, SW_SHOWNA);
  SendMessageW(list, LB_SETCURSEL, 1, 0);
  for (int i = 0; i < count; ++i) {
    InvalidateRect(list, nullptr, TRUE);
    // Painted synchronously by the list's own thread: WM_CTLCOLORLISTBOX and WM_DRAWITEM go to
    // the settings window for every paint.
    SendMessageW(list, WM_PAINT, 0, 0);
  }
  ShowWindow(list, SW_HIDE);
  return 0;
}

int Launch(const char* path) {
  std::wstring line = L"\"" + Wide(path) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Whether this runs under Wine, where some answers differ from Windows'.
  const int underWine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr ? 1 : 0;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("{\"started\": 0, \"error\": %lu, \"wine\": %d}\n", GetLastError(), underWine);
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("{\"started\": 1, \"pid\": %lu, \"wine\": %d}\n", process.dwProcessId, underWine);
  return 0;
}

int TerminateAll() {
  for (HWND window : SettingsWindows()) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) continue;
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), 10000);
  }
  return SettingsWindows().empty() ? 0 : 1;
}

int SelectNativeRow(int id, int row) {
  const std::vector<HWND> windows = SettingsWindows();
  if (windows.empty()) return 1;
  HWND list = GetDlgItem(windows.front(), id);
  if (list == nullptr) return 1;
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  SendMessageW(windows.front(), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  return 0;
}

// Deleted for good, not merely marked for deletion.
bool StandInGone() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_QUERY_STATUS));
  return !service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
}

int StandInState() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 1;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status = {};
  if (!service || !QueryServiceStatus(service.Get(), &status)) {
    std::printf("absent\n");
    return 0;
  }
  std::printf("%lu\n", static_cast<unsigned long>(status.dwCurrentState));
  return 0;
}

int ReleaseStandInStart() {
  UniqueKernelHandle gate(OpenEventW(EVENT_MODIFY_STATE, FALSE, kStandInStartGate));
  if (!gate || !SetEvent(gate.Get())) return 1;
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 1;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_QUERY_STATUS));
  return service && WaitForServiceState(service.Get(), SERVICE_RUNNING) ? 0 : 1;
}

int Responds(DWORD timeoutMs) {
  const std::vector<HWND> windows = SettingsWindows();
  DWORD_PTR result = 0;
  const bool answered = !windows.empty() &&
                        SendMessageTimeoutW(windows.front(), WM_NULL, 0, 0, SMTO_BLOCK, timeoutMs,
                                            &result) != 0;
  std::printf("%d\n", answered ? 1 : 0);
  return 0;
}

int SetRawValue(const char* name, DWORD type, const char* hex) {
  std::vector<BYTE> bytes;
  if (std::strcmp(hex, "-") != 0 && !ParseHex(hex, bytes)) return 2;
  UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.Put(), nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  return RegSetValueExW(key.Get(), Wide(name).c_str(), 0, type, bytes.data(),
                        static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS
             ? 0
             : 1;
}

int PrintValueType(const char* name) {
  UniqueRegKey key;
  DWORD type = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_QUERY_VALUE, key.Put()) !=
          ERROR_SUCCESS ||
      RegQueryValueExW(key.Get(), Wide(name).c_str(), nullptr, &type, nullptr, nullptr) !=
          ERROR_SUCCESS) {
    std::printf("absent\n");
    return 0;
  }
  std::printf("%lu\n", static_cast<unsigned long>(type));
  return 0;
}

int PrintValue(HKEY root, const char* name) {
  auto value = ReadBinaryValue(root, kSettingsKeyPath, Wide(name).c_str());
  std::printf("%s\n", value ? Hex(*value).c_str() : "absent");
  return 0;
}

int PrintKeyExists() {
  UniqueRegKey key;
  const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_QUERY_VALUE,
                                    key.Put()) == ERROR_SUCCESS;
  std::printf("%d\n", exists ? 1 : 0);
  return 0;
}

// --- What an assistive technology finds -------------------------------------------------------

std::string Utf8OfBstr(BSTR text) { return text != nullptr ? Json(text) : "null"; }

std::string StateText(LONG state) {
  std::wstring words;
  for (int bit = 0; bit < 31; ++bit) {
    if ((state & (1L << bit)) == 0) continue;
    wchar_t word[128] = {};
    GetStateTextW(static_cast<DWORD>(1L << bit), word, 128);
    if (!words.empty()) words += L", ";
    words += word;
  }
  return Json(words);
}

// One object (or simple element `child` of it) as a JSON record.
std::string DescribeAccessible(IAccessible* object, LONG child, const std::string& path) {
  VARIANT id;
  VariantInit(&id);
  id.vt = VT_I4;
  id.lVal = child;
  VARIANT role, state;
  VariantInit(&role);
  VariantInit(&state);
  object->get_accRole(id, &role);
  object->get_accState(id, &state);
  BSTR name = nullptr, value = nullptr, description = nullptr;
  object->get_accName(id, &name);
  object->get_accValue(id, &value);
  object->get_accDescription(id, &description);
  LONG left = 0, top = 0, width = 0, height = 0;
  object->accLocation(&left, &top, &width, &height, id);
  const LONG roleId = role.vt == VT_I4 ? role.lVal : -1;
  const LONG stateBits = state.vt == VT_I4 ? state.lVal : 0;
  wchar_t roleText[128] = {};
  GetRoleTextW(static_cast<DWORD>(roleId), roleText, 128);
  char rect[96];
  std::snprintf(rect, sizeof rect, "[%ld, %ld, %ld, %ld]", left, top, width, height);
  std::string record = "{\"path\": \"" + path + "\", \"role\": " + std::to_string(roleId) +
                       ", \"roleText\": " + Json(roleText) + ", \"name\": " + Utf8OfBstr(name) +
                       ", \"value\": " + Utf8OfBstr(value) + ", \"description\": " +
                       Utf8OfBstr(description) + ", \"state\": " + std::to_string(stateBits) +
                       ", \"stateText\": " + StateText(stateBits) + ", \"rect\": " + rect + "}";
  SysFreeString(name);
  SysFreeString(value);
  SysFreeString(description);
  VariantClear(&role);
  VariantClear(&state);
  return record;
}

// Each child of `object`: an object of its own, or a simple element of `object`.
template <typename Visit>
void ForEachChild(IAccessible* object, Visit visit) {
  LONG count = 0;
  if (FAILED(object->get_accChildCount(&count)) || count <= 0) return;
  std::vector<VARIANT> children(static_cast<size_t>(count));
  LONG got = 0;
  if (FAILED(AccessibleChildren(object, 0, count, children.data(), &got))) return;
  for (LONG k = 0; k < got; ++k) {
    IAccessible* childObject = nullptr;
    if (children[k].vt == VT_DISPATCH && children[k].pdispVal != nullptr) {
      children[k].pdispVal->QueryInterface(__uuidof(IAccessible),
                                           reinterpret_cast<void**>(&childObject));
    }
    visit(k + 1, childObject, children[k].vt == VT_I4 ? children[k].lVal : CHILDID_SELF);
    if (childObject != nullptr) childObject->Release();
    VariantClear(&children[k]);
  }
}

void DumpTree(IAccessible* object, const std::string& path, std::string& out) {
  out += (out.size() > 1 ? ", " : "") + DescribeAccessible(object, CHILDID_SELF, path);
  ForEachChild(object, [&](LONG k, IAccessible* childObject, LONG simple) {
    const std::string childPath = (path.empty() ? "" : path + ".") + std::to_string(k);
    if (childObject != nullptr) {
      DumpTree(childObject, childPath, out);
    } else {
      out += ", " + DescribeAccessible(object, simple, childPath);
    }
  });
}

IAccessible* SettingsWindowObject() {
  const std::vector<HWND> windows = SettingsWindows();
  IAccessible* object = nullptr;
  if (windows.empty() ||
      FAILED(AccessibleObjectFromWindow(windows.front(), static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

int DumpAccessibility() {
  IAccessible* window = SettingsWindowObject();
  if (window == nullptr) return 1;
  std::string out = "[";
  DumpTree(window, "", out);
  window->Release();
  std::printf("%s]\n", out.c_str());
  return 0;
}

int DoDefaultAction(const std::string& path) {
  IAccessible* object = SettingsWindowObject();
  if (object == nullptr) return 1;
  LONG simple = CHILDID_SELF;
  size_t at = 0;
  while (at < path.size() && object != nullptr) {
    const size_t dot = path.find('.', at);
    const LONG wanted = std::strtol(path.substr(at, dot - at).c_str(), nullptr, 10);
    at = dot == std::string::npos ? path.size() : dot + 1;
    IAccessible* found = nullptr;
    bool simpleFound = false;
    ForEachChild(object, [&](LONG k, IAccessible* childObject, LONG id) {
      if (k != wanted) return;
      if (childObject != nullptr) {
        found = childObject;
        found->AddRef();
      } else {
        simple = id;
        simpleFound = true;
      }
    });
    if (found != nullptr) {
      object->Release();
      object = found;
    } else if (!simpleFound || at < path.size()) {
      object->Release();
      return 1;
    }
  }
  VARIANT id;
  VariantInit(&id);
  id.vt = VT_I4;
  id.lVal = simple;
  const HRESULT hr = object->accDoDefaultAction(id);
  object->Release();
  std::printf("0x%08lX\n", static_cast<unsigned long>(hr));
  return SUCCEEDED(hr) ? 0 : 1;
}

// What the window announced, as heard by an out-of-context hook on a thread of its own.
CRITICAL_SECTION eventLock;
std::string heardEvents;
DWORD listenedProcess = 0;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                         DWORD, DWORD) {
  if (object != OBJID_CLIENT) return;
  IAccessible* accessible = nullptr;
  VARIANT id;
  VariantInit(&id);
  std::string record = "{\"event\": " + std::to_string(event) +
                       ", \"child\": " + std::to_string(child);
  if (SUCCEEDED(AccessibleObjectFromEvent(window, static_cast<DWORD>(object),
                                          static_cast<DWORD>(child), &accessible, &id)) &&
      accessible != nullptr) {
    const std::string described = DescribeAccessible(accessible, id.vt == VT_I4 ? id.lVal : 0, "");
    record += ", " + described.substr(described.find("\"role\""));
    accessible->Release();
  } else {
    record += "}";
  }
  EnterCriticalSection(&eventLock);
  heardEvents += (heardEvents.empty() ? "" : ", ") + record;
  LeaveCriticalSection(&eventLock);
}

DWORD WINAPI ListenToEvents(void* ready) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_END, nullptr,
                                       &OnWinEvent, listenedProcess, 0, WINEVENT_OUTOFCONTEXT);
  SetEvent(static_cast<HANDLE>(ready));
  if (hook == nullptr) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  UnhookWinEvent(hook);
  return 0;
}

int StartEventLog() {
  static bool started = false;
  const std::vector<HWND> windows = SettingsWindows();
  if (windows.empty()) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(windows.front(), &pid);
  if (started && pid == listenedProcess) {
    EnterCriticalSection(&eventLock);
    heardEvents.clear();
    LeaveCriticalSection(&eventLock);
    return 0;
  }
  static DWORD listener = 0;
  if (listener != 0) PostThreadMessageW(listener, WM_QUIT, 0, 0);
  if (!started) InitializeCriticalSection(&eventLock);
  started = true;
  listenedProcess = pid;
  heardEvents.clear();
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle thread(CreateThread(nullptr, 0, &ListenToEvents, ready.Get(), 0, &listener));
  if (!thread) return 1;
  WaitForSingleObject(ready.Get(), 10000);
  return 0;
}

int TakeEvents() {
  EnterCriticalSection(&eventLock);
  std::printf("[%s]\n", heardEvents.c_str());
  heardEvents.clear();
  LeaveCriticalSection(&eventLock);
  return 0;
}

// arguments[0] is the command; every argument is ASCII (commands, numbers, hex, paths of this build).
int RunCommand(const std::vector<std::string>& arguments) {
  std::vector<const char*> pointers = {""};  // argv[1] is the command, as on a command line
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  const int argc = static_cast<int>(pointers.size());
  const char* const* argv = pointers.data();
  if (argc < 2) return 2;
  const std::string command = argv[1];
  if (command == "current-set" && argc == 3) {
    std::vector<BYTE> bytes;
    if (!ParseHex(argv[2], bytes)) return 2;
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"New");
    return WriteBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, L"Current", bytes.data(),
                            static_cast<DWORD>(bytes.size()))
               ? 0
               : 1;
  }
  if (command == "value-get" && argc == 3) return PrintValue(HKEY_LOCAL_MACHINE, argv[2]);
  if (command == "value-views" && argc == 3) {
    std::printf("{\"bits\": %u", static_cast<unsigned>(sizeof(void*) * 8));
    for (const auto& [label, view] : {std::pair{"32", KEY_WOW64_32KEY}, {"64", KEY_WOW64_64KEY}}) {
      auto value = ReadBinaryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, Wide(argv[2]).c_str(), view);
      std::printf(", \"%s\": %s", label, value ? ("\"" + Hex(*value) + "\"").c_str() : "null");
    }
    std::printf("}\n");
    return 0;
  }
  if (command == "value-views-delete" && argc == 3) {
    const std::wstring name = Wide(argv[2]);
    const bool deleted32 = DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name.c_str(), KEY_WOW64_32KEY);
    const bool deleted64 = DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name.c_str(), KEY_WOW64_64KEY);
    return deleted32 && deleted64 ? 0 : 1;
  }
  if (command == "value-delete" && argc == 3) {
    return DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSettingsKeyPath, Wide(argv[2]).c_str()) ? 0 : 1;
  }
  if (command == "standin-ensure") return StandInRunning() || StartStandIn() ? 0 : 1;
  if (command == "standin-stop") return StopStandIn() ? 0 : 1;
  if (command == "standin-mark") {
    std::printf("%zu\n", StandInLogMark());
    return 0;
  }
  if (command == "standin-codes" && argc == 3) {
    for (unsigned code : StandInCodesSince(std::strtoull(argv[2], nullptr, 10))) {
      std::printf("%u ", code);
    }
    std::printf("\n");
    return 0;
  }
  if (command == "window") return DescribeWindow();
  if (command == "a11y") return DumpAccessibility();
  if (command == "a11y-do" && argc == 3) return DoDefaultAction(argv[2]);
  if (command == "events-start") return StartEventLog();
  if (command == "events") return TakeEvents();
  if (command == "boxes") return DescribeBoxes();
  if (command == "gdi" && argc == 3) return PrintGdi(std::strtoul(argv[2], nullptr, 10));
  if (command == "paint-native-list" && argc == 4) {
    return PaintNativeList(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  if (command == "launch" && argc == 3) return Launch(argv[2]);
  if (command == "self-gdi-check") return SelfGdiCheck();
  if (command == "terminate-all") return TerminateAll();
  if (command == "select-native-row" && argc == 4) {
    return SelectNativeRow(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  if (command == "value-set-raw" && argc == 5) {
    return SetRawValue(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)), argv[4]);
  }
  if (command == "value-type" && argc == 3) return PrintValueType(argv[2]);
  if (command == "key-delete") return DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSettingsKeyPath) ? 0 : 1;
  if (command == "key-exists") return PrintKeyExists();
  if (command == "user-value-get" && argc == 3) return PrintValue(HKEY_CURRENT_USER, argv[2]);
  if (command == "user-key-delete") return DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsKeyPath) ? 0 : 1;
  if (command == "ask-close") {
    const std::vector<HWND> windows = SettingsWindows();
    return !windows.empty() && PostMessageW(windows.front(), WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  }
  if (command == "responds" && argc == 3) return Responds(std::strtoul(argv[2], nullptr, 10));
  if (command == "standin-install") {
    // A service just deleted may still be marked for deletion for a moment.
    return WaitUntil([] { return InstallStandIn(); }, 20000) ? 0 : 1;
  }
  if (command == "standin-uninstall") return UninstallStandIn() && WaitUntil(StandInGone, 20000) ? 0 : 1;
  if (command == "standin-state") return StandInState();
  if (command == "standin-restart") {
    std::vector<std::wstring> wide;
    bool hold = false;
    for (int i = 2; i < argc; ++i) {
      wide.push_back(Wide(argv[i]));
      hold = hold || std::strcmp(argv[i], "hold-start") == 0;
    }
    std::vector<const wchar_t*> startArguments;
    for (const std::wstring& argument : wide) startArguments.push_back(argument.c_str());
    return RestartStandInServiceWith(startArguments, hold ? SERVICE_START_PENDING : SERVICE_RUNNING)
               ? 0
               : 1;
  }
  if (command == "standin-release-start") return ReleaseStandInStart();
  if (command == "standin-pause") return PauseOrContinueStandIn(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED) ? 0 : 1;
  if (command == "standin-continue") {
    return PauseOrContinueStandIn(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING) ? 0 : 1;
  }
  return 2;
}

// Answers the commands of stdin until it ends.
int Serve() {
  std::string line;
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    if (c == '\r') continue;
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    std::vector<std::string> arguments(1);
    for (char ch : line) {
      if (ch == '\t') {
        arguments.emplace_back();
      } else {
        arguments.back() += ch;
      }
    }
    line.clear();
    const int code = RunCommand(arguments);
    std::printf("#end %d\n", code);
    std::fflush(stdout);
    std::fflush(stderr);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** wideArgv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument;
    for (const wchar_t* p = wideArgv[i]; *p != 0; ++p) argument += static_cast<char>(*p);
    arguments.push_back(argument);
  }
  // Assistive technologies' calls into the settings window are made from any thread.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (arguments.size() == 1 && arguments[0] == "serve") return Serve();
  return RunCommand(arguments);
}
