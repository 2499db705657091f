// Test aid for the installer's rollback: makes the Control Panel item's class key impossible to
// complete. The key is created volatile (in the 64-bit view, where ICONREG writes), so ICONREG
// opens it, but Windows refuses every non-volatile key below it ("DefaultIcon") and
// registration ends with exit code -1, as it would for a key it may not create.
//
//   volatile_class_key.exe   exit code 0 when the volatile key stands, 1 otherwise
#include <windows.h>

#include "iconreg/tool_texts.h"
#include "shared/win_handles.h"

int wmain() {
  UniqueRegKey key;
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(
      HKEY_CLASSES_ROOT, reinterpret_cast<const wchar_t*>(kClassKeyPath), 0, nullptr,
      REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key.Put(), &disposition);
  // An existing, non-volatile key would not block anything: it must be new.
  return status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY ? 0 : 1;
}
