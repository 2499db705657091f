#pragma once
// The one way sensorctl and appwatch talk to the sensor service through the service control
// manager: a user-defined control code, sent only while the service is running.

#include <windows.h>

#include "shared/service_codes.h"

constexpr wchar_t kSensorServiceName[] = L"ZQPRXSVC";
// Under HKEY_LOCAL_MACHINE: the service publishes its settings block as "Current" and takes
// a new one from "New".
constexpr wchar_t kSettingsKeyPath[] = L"Software\\Zenquill\\ZQ Proximity Sensor";

// Access asked of the service: query status, interrogate, user-defined control (0x184).
constexpr DWORD kSensorServiceAccess =
    SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL;

// Sends code to ZQPRXSVC if, and only if, it is running. A missing manager, a missing service
// or a service in any other state gets nothing and nothing is reported. Always returns 0.
int SendSensorControl(DWORD code);
