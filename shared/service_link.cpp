#include "shared/service_link.h"

#include "shared/win_handles.h"

int SendSensorControl(DWORD code) {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
  if (!manager) return 0;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kSensorServiceName, kSensorServiceAccess));
  if (!service) return 0;

  SERVICE_STATUS status = {};
  if (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_RUNNING) {
    // The service answers a code before ControlService returns; its result tells us nothing
    // the caller could act on.
    SERVICE_STATUS ignored = {};
    ControlService(service.Get(), code, &ignored);
  }
  // The service handle is closed before the manager's (declaration order, reversed).
  return 0;
}
