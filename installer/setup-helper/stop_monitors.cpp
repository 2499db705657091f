// StopMonitors, the removal's first step in zqsetup.dll: ends the running appwatch monitors
// before their files go, the way the programs agree on: the registered message "WM_PRXCNTSTOP"
// posted to each monitor window, which ends the monitor as its Exit command does. It then waits
// a few seconds for those processes to end. A monitor that does not end in time, or that runs
// where this step cannot see its window (another user's session), is left to the package's
// Restart Manager shutdown (MSIRMSHUTDOWN), which closes whatever still holds the files.
// Always ERROR_SUCCESS: removal goes on in any case.

#include <windows.h>
#include <msi.h>

#include <cwchar>
#include <vector>

#include "shared/monitor_link.h"
#include "shared/win_handles.h"

namespace {

constexpr DWORD kStopWaitMilliseconds = 5000;
// WaitForMultipleObjects takes at most this many handles in one call.
constexpr size_t kMaxMonitors = MAXIMUM_WAIT_OBJECTS;

struct Monitors {
  UINT stopMessage;
  std::vector<UniqueKernelHandle> processes;
};

BOOL CALLBACK StopMonitor(HWND window, LPARAM context) {
  auto* monitors = reinterpret_cast<Monitors*>(context);
  wchar_t className[16] = {};
  if (GetClassNameW(window, className, 16) == 0 || wcscmp(className, kMonitorWindowClass) != 0) {
    return TRUE;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  // Opened before the message goes, so the process cannot end and its number be reused
  // between the two.
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  // Posted, not sent: a monitor that does not answer cannot hold the removal up.
  if (PostMessageW(window, monitors->stopMessage, 0, 0) && process &&
      monitors->processes.size() < kMaxMonitors) {
    monitors->processes.push_back(std::move(process));
  }
  return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) UINT WINAPI StopMonitors(MSIHANDLE) {
  Monitors monitors{RegisterWindowMessageW(kStopMonitorMessageName), {}};
  if (monitors.stopMessage == 0) return ERROR_SUCCESS;
  EnumWindows(StopMonitor, reinterpret_cast<LPARAM>(&monitors));
  if (monitors.processes.empty()) return ERROR_SUCCESS;
  std::vector<HANDLE> handles;
  for (const UniqueKernelHandle& process : monitors.processes) handles.push_back(process.Get());
  WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                         kStopWaitMilliseconds);
  return ERROR_SUCCESS;
}
