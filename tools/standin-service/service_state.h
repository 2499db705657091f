#pragma once
// Waiting for the stand-in service to reach a state, shared by the stand-in's own -start and
// -stop and by the Wine tests that start and stop it.

#include <windows.h>

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
