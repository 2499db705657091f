// zq_file_holder: another process that holds a file without sharing it, as an editor, a backup
// or a virus scanner may, for the Wine tests of the programs' files.
//
//   zq_file_holder.exe <path> <milliseconds> <ready event name>
//
// Opens (or creates) the file with no sharing at all, sets the named event the test created, and
// holds the file for the given time. Exits 0 after letting go, 1 when the file could not be had.
#include <windows.h>

#include <cwchar>

#include "shared/win_handles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  UniqueFile file(CreateFileW(argv[1], GENERIC_READ | FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  UniqueKernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
  if (!ready || !SetEvent(ready.Get())) return 1;
  Sleep(static_cast<DWORD>(wcstoul(argv[2], nullptr, 10)));
  return 0;
}
