// zq_file_holder: another process that holds a file without sharing it, as an editor, a backup
// or a virus scanner may, for the Wine tests of the programs' files.
//
//   zq_file_holder.exe <path> <milliseconds> <ready event name> [lock | share-read]
//
// Opens (or creates) the file with no sharing at all, sets the named event the test created, and
// holds the file for the given time. With "lock" it opens the file for reading only, sharing
// everything, as any user who may read a log can, and holds a shared lock on all of its bytes
// instead. With "share-read" it is a writer that lets others read. Exits 0 after letting go, 1
// when the file could not be had.
#include <windows.h>

#include <cwchar>

#include "shared/win_handles.h"

int wmain(int argc, wchar_t** argv) {
  const wchar_t* mode = argc == 5 ? argv[4] : L"";
  const bool lock = wcscmp(mode, L"lock") == 0;
  const bool shareRead = wcscmp(mode, L"share-read") == 0;
  if (argc != 4 && !(argc == 5 && (lock || shareRead))) return 2;
  const DWORD share = lock        ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                      : shareRead ? FILE_SHARE_READ
                                  : 0;
  UniqueFile file(CreateFileW(argv[1], lock ? GENERIC_READ : GENERIC_READ | FILE_APPEND_DATA,
                              share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  OVERLAPPED whole = {};
  if (lock && !LockFileEx(file.Get(), LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    return 1;
  }
  UniqueKernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
  if (!ready || !SetEvent(ready.Get())) return 1;
  Sleep(static_cast<DWORD>(wcstoul(argv[2], nullptr, 10)));
  return 0;
}
