#include "shared/handle_path.h"

#include <cwchar>

bool HandleNamesPath(HANDLE handle, const wchar_t* path) {
  wchar_t opened[MAX_PATH + 8];
  DWORD length = GetFinalPathNameByHandleW(handle, opened, MAX_PATH + 8,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= MAX_PATH + 8) return false;
  const wchar_t* name = opened;
  if (length >= 4 && wcsncmp(opened, L"\\\\?\\", 4) == 0) {
    name += 4;
    length -= 4;
  }
  return CompareStringOrdinal(name, static_cast<int>(length), path, -1, TRUE) == CSTR_EQUAL;
}
