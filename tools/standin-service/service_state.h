#pragma once
// Starting, stopping and waiting for the stand-in service, shared by the stand-in's own -start
// and -stop and by the Wine tests that start and stop it.

#include <windows.h>

#include "shared/win_handles.h"

#include <vector>

constexpr wchar_t kStandInServiceName[] = L"ZQPRXSVC";
// Set to let a stand-in started with "hold-start" leave SERVICE_START_PENDING.
constexpr wchar_t kStandInStartGate[] = L"Global\\ZQStandInStartGate";

// Polls for up to 10 seconds; false when the state is not reached or cannot be queried.
inline bool WaitForServiceState(SC_HANDLE service, DWORD wanted) {
  for (int i = 0; i < 200; ++i) {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == wanted) return true;
    Sleep(50);
  }
  return false;
}

// True once the service runs (also when it ran already).
inline bool StartStandInService() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(
      OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_START | SERVICE_QUERY_STATUS));
  if (!service) return false;
  if (!StartServiceW(service.Get(), 0, nullptr) &&
      GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return false;
  }
  return WaitForServiceState(service.Get(), SERVICE_RUNNING);
}

// True once the service has stopped; `service` needs SERVICE_STOP | SERVICE_QUERY_STATUS.
inline bool StopServiceAndWait(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED) return true;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  return WaitForServiceState(service, SERVICE_STOPPED);
}

// True once the service has stopped, or when it is not installed.
inline bool StopStandInService() {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(
      OpenServiceW(manager.Get(), kStandInServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  return StopServiceAndWait(service.Get());
}

// Stops the service if it runs and starts it again with the given start arguments (see
// zqprxsvc.cpp); true once it is in `wanted` (SERVICE_RUNNING, or SERVICE_START_PENDING for
// "hold-start").
inline bool RestartStandInServiceWith(const std::vector<const wchar_t*>& arguments, DWORD wanted) {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName,
                                           SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service || !StopServiceAndWait(service.Get())) return false;
  std::vector<const wchar_t*> argv(arguments);
  if (!StartServiceW(service.Get(), static_cast<DWORD>(argv.size()),
                     argv.empty() ? nullptr : const_cast<LPCWSTR*>(argv.data()))) {
    return false;
  }
  return WaitForServiceState(service.Get(), wanted);
}

// Sends a pause or continue control and waits for the state it leads to.
inline bool PauseOrContinueStandIn(DWORD control, DWORD wanted) {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kStandInServiceName,
                                           SERVICE_PAUSE_CONTINUE | SERVICE_QUERY_STATUS));
  if (!service) return false;
  SERVICE_STATUS status = {};
  ControlService(service.Get(), control, &status);
  return WaitForServiceState(service.Get(), wanted);
}
