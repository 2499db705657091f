// Stand-in for the sensor service ZQPRXSVC, for tests and the demo.
//
// It honours the service's side of the settings contract:
//   code 200  copy the REG_BINARY value "New" of HKLM\Software\Zenquill\ZQ Proximity Sensor
//             into "Current" before the control handler returns, so the caller can read
//             "Current" back at once;
//   code 202  record "suspended";   code 203  record "resumed".
// Every control it receives is appended, with the time, to C:\ZQStandIn\ZQPRXSVC.log as one
// ASCII line "hh:mm:ss.mmm <code> <what happened>", which tests read. It also pauses and
// continues when asked, so that tests can show sensorctl a paused service.
//
// Start arguments (StartServiceW) make it misbehave as a real service might:
//   handler-delay-ms=N   the handler of code 200 takes N milliseconds before it copies "New"
//                        into "Current" and returns (a slow sensor driver);
//   hold-start           stay in SERVICE_START_PENDING until the event named by
//                        kStandInStartGate is set (or two minutes have passed).
//
//   zqprxsvc -install     register with the service control manager (demand start) and seed
//                         "Current" with 128 bytes when it is absent
//   zqprxsvc -uninstall   stop and delete the service
//   zqprxsvc -start / -stop
//   zqprxsvc              run as the service (started by the service control manager)

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "sensorctl/settings/settings_block.h"
#include "shared/service_link.h"
#include "shared/win_handles.h"
#include "tools/standin-service/service_state.h"

namespace {

constexpr wchar_t kDisplayName[] = L"ZQ Proximity Sensor (stand-in)";
constexpr wchar_t kLogDirectory[] = L"C:\\ZQStandIn";
constexpr wchar_t kLogPath[] = L"C:\\ZQStandIn\\ZQPRXSVC.log";
constexpr DWORD kBlockSize = kSettingsBlockSize;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
DWORD handlerDelayMs = 0;  // from the start argument handler-delay-ms=N
bool holdStart = false;    // from the start argument hold-start
SERVICE_STATUS serviceStatus = {};
HANDLE stopEvent = nullptr;
CRITICAL_SECTION logLock;

void AppendLog(DWORD code, const char* what) {
  EnterCriticalSection(&logLock);
  CreateDirectoryW(kLogDirectory, nullptr);
  // Tests read the log while the service writes it, so reading and writing are both shared.
  UniqueFile file(CreateFileW(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[256];
    int n = std::snprintf(line, sizeof line, "%02u:%02u:%02u.%03u %lu %s\r\n", now.wHour,
                          now.wMinute, now.wSecond, now.wMilliseconds,
                          static_cast<unsigned long>(code), what);
    if (n > 0) {
      DWORD written = 0;
      WriteFile(file.Get(), line, static_cast<DWORD>(n), &written, nullptr);
    }
  }
  LeaveCriticalSection(&logLock);
}

// The stand-in's whole "sensor driver": take "New" as the block in use.
const char* TakeNewSettings() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ | KEY_SET_VALUE,
                    key.Put()) != ERROR_SUCCESS) {
    return "no settings key";
  }
  BYTE block[kBlockSize] = {};
  DWORD type = 0;
  DWORD size = sizeof block;
  LONG status = RegQueryValueExW(key.Get(), L"New", nullptr, &type, block, &size);
  if (status != ERROR_SUCCESS) return "no New value";
  if (type != REG_BINARY || size != kBlockSize) return "New is not a 128-byte binary value";
  if (RegSetValueExW(key.Get(), L"Current", 0, REG_BINARY, block, kBlockSize) != ERROR_SUCCESS) {
    return "could not write Current";
  }
  return "took New into Current";
}

void ReportStatus(DWORD state) {
  serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  serviceStatus.dwCurrentState = state;
  serviceStatus.dwControlsAccepted = state == SERVICE_RUNNING || state == SERVICE_PAUSED
                                         ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE
                                         : 0;
  serviceStatus.dwWin32ExitCode = NO_ERROR;
  serviceStatus.dwWaitHint =
      state == SERVICE_RUNNING || state == SERVICE_STOPPED || state == SERVICE_PAUSED ? 0 : 3000;
  SetServiceStatus(statusHandle, &serviceStatus);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      AppendLog(control, "stop");
      ReportStatus(SERVICE_STOP_PENDING);
      SetEvent(stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      ReportStatus(serviceStatus.dwCurrentState);
      return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
      ReportStatus(SERVICE_PAUSED);
      AppendLog(control, "paused");
      return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
      ReportStatus(SERVICE_RUNNING);
      AppendLog(control, "continued");
      return NO_ERROR;
    case kControlTakeNewSettings: {
      // A slow driver: "Current" is still brought up to date before the handler returns.
      if (handlerDelayMs != 0) Sleep(handlerDelayMs);
      const char* what = TakeNewSettings();
      char line[128];
      if (handlerDelayMs != 0) {
        std::snprintf(line, sizeof line, "%s after %lu ms", what,
                      static_cast<unsigned long>(handlerDelayMs));
        what = line;
      }
      AppendLog(control, what);
      return NO_ERROR;
    }
    case kControlSuspendSensor:
      AppendLog(control, "suspended");
      return NO_ERROR;
    case kControlResumeSensor:
      AppendLog(control, "resumed");
      return NO_ERROR;
    default:
      AppendLog(control, control >= 128 && control <= 255 ? "ignored" : "not handled");
      return control >= 128 && control <= 255 ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// The service control manager puts the service's name before the start arguments; it matches
// no option, so every entry is looked at.
void ReadStartArguments(DWORD argc, LPWSTR* argv) {
  handlerDelayMs = 0;
  holdStart = false;
  for (DWORD i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    constexpr wchar_t kDelay[] = L"handler-delay-ms=";
    constexpr size_t kDelayLength = sizeof kDelay / sizeof kDelay[0] - 1;
    if (std::wcsncmp(argv[i], kDelay, kDelayLength) == 0) {
      handlerDelayMs = static_cast<DWORD>(std::wcstoul(argv[i] + kDelayLength, nullptr, 10));
    } else if (std::wcscmp(argv[i], L"hold-start") == 0) {
      holdStart = true;
    }
  }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  ReadStartArguments(argc, argv);
  statusHandle = RegisterServiceCtrlHandlerExW(kStandInServiceName, ControlHandler, nullptr);
  if (statusHandle == nullptr) return;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stopEvent == nullptr) {
    ReportStatus(SERVICE_STOPPED);
    return;
  }
  if (holdStart) {
    ReportStatus(SERVICE_START_PENDING);
    AppendLog(0, "start pending");
    // Tests release the start with the gate; a gate that cannot be made holds nothing up.
    UniqueKernelHandle gate(CreateEventW(nullptr, TRUE, FALSE, kStandInStartGate));
    if (gate) WaitForSingleObject(gate.Get(), 120000);
  }
  ReportStatus(SERVICE_RUNNING);
  char started[64];
  std::snprintf(started, sizeof started, "running (handler delay %lu ms)",
                static_cast<unsigned long>(handlerDelayMs));
  AppendLog(0, started);
  WaitForSingleObject(stopEvent, INFINITE);
  CloseHandle(stopEvent);
  stopEvent = nullptr;
  AppendLog(0, "stopped");
  ReportStatus(SERVICE_STOPPED);
}

// A plausible block for a first start: sensor on, sensitivity maximum (code 2), backlight off
// after 10 seconds (code 1), on after 0.5 seconds (code 0); the rest as a real block would carry
// it, non-zero so that tests notice bytes that get lost.
void SeedCurrentIfAbsent() {
  UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, 0, KEY_READ | KEY_SET_VALUE,
                      nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (RegQueryValueExW(key.Get(), L"Current", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    return;
  }
  BYTE block[kBlockSize] = {};
  block[0] = 0x01 | (2 << 1);
  block[1] = 0x01;
  for (DWORD i = 2; i < kBlockSize; ++i) block[i] = static_cast<BYTE>(i * 37 + 11);
  RegSetValueExW(key.Get(), L"Current", 0, REG_BINARY, block, kBlockSize);
}

int Install() {
  wchar_t modulePath[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  wchar_t command[MAX_PATH + 2];
  swprintf(command, MAX_PATH + 2, L"\"%ls\"", modulePath);

  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return 1;
  UniqueServiceHandle service(CreateServiceW(
      manager.Get(), kStandInServiceName, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command, nullptr, nullptr, nullptr, nullptr,
      nullptr));
  if (!service) {
    if (GetLastError() != ERROR_SERVICE_EXISTS) return 1;
    // Installed before, perhaps from another build: point it at this program.
    service.Reset(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_ALL_ACCESS));
    if (!service) return 1;
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              SERVICE_NO_CHANGE, command, nullptr, nullptr, nullptr, nullptr,
                              nullptr, kDisplayName)) {
      return 1;
    }
  }
  SeedCurrentIfAbsent();
  return 0;
}

int Uninstall() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return 1;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_ALL_ACCESS));
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : 1;
  StopServiceAndWait(service.Get());
  return DeleteService(service.Get()) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InitializeCriticalSection(&logLock);
  if (argc > 1) {
    const wchar_t* verb = argv[1];
    if (_wcsicmp(verb, L"-install") == 0) return Install();
    if (_wcsicmp(verb, L"-uninstall") == 0) return Uninstall();
    if (_wcsicmp(verb, L"-start") == 0) return StartStandInService() ? 0 : 1;
    if (_wcsicmp(verb, L"-stop") == 0) return StopStandInService() ? 0 : 1;
    std::fwprintf(stderr, L"usage: zqprxsvc [-install | -uninstall | -start | -stop]\n");
    return 2;
  }
  wchar_t name[] = L"ZQPRXSVC";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
