#include "sensorctl/settings/settings_registry.h"

#include <windows.h>

#include <cstring>

#include "shared/service_link.h"
#include "shared/win_handles.h"

SettingsBlock currentBlock = {};
SettingsBlock workingBlock = {};
SendControlFunction sendControlToService = &SendSensorControl;

namespace {

// KEY_READ | KEY_SET_VALUE: the same handle serves reading "Current" and writing "New".
constexpr REGSAM kSettingsKeyAccess = 0x2001B;
static_assert(kSettingsKeyAccess == (KEY_READ | KEY_SET_VALUE));

LONG OpenMachineSettingsKey(UniqueRegKey& key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, kSettingsKeyAccess, key.Put());
}

}  // namespace

int ReadCurrentSettings() {
  UniqueRegKey key;
  if (OpenMachineSettingsKey(key) != ERROR_SUCCESS) return 0;

  // A shorter value leaves the rest of the buffer zero; a longer one fails with
  // ERROR_MORE_DATA and the copy held so far stays.
  BYTE buffer[kSettingsBlockSize] = {};
  DWORD size = sizeof(buffer);
  if (RegQueryValueExW(key.Get(), L"Current", nullptr, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return 0;
  }
  std::memcpy(currentBlock.bytes, buffer, kSettingsBlockSize);
  return 1;
}

int WriteNewSettings() {
  if (!BlocksDiffer(workingBlock, currentBlock)) return 0;

  UniqueRegKey key;
  if (OpenMachineSettingsKey(key) != ERROR_SUCCESS) {
    // Without the machine key "New" goes under the user's hive; if even that cannot be
    // created the write is skipped, as it would fail anyway.
    RegCreateKeyW(HKEY_CURRENT_USER, kSettingsKeyPath, key.Put());
  }
  if (key) {
    RegSetValueExW(key.Get(), L"New", 0, REG_BINARY, workingBlock.bytes,
                   static_cast<DWORD>(kSettingsBlockSize));
  }
  key.Reset();  // the service opens the key itself while it takes up "New"

  sendControlToService(kControlTakeNewSettings);
  // The service has copied "New" into "Current" by the time the control call returns.
  ReadCurrentSettings();
  return 0;
}
