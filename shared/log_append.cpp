#include "shared/log_append.h"

#include <algorithm>

#include "shared/handle_path.h"
#include "shared/win_handles.h"

namespace {

// Writers of a log take turns through a lock on one byte far beyond any real end of the file,
// so the lock never stands in the way of readers or of the appended data. Append-only access
// alone does not keep lines of simultaneous writers apart everywhere (Wine places an append at
// the end it saw a moment before, so two appends can land on the same bytes).
constexpr DWORD kTurnLockOffsetHigh = 0x40000000;

// Taken without waiting: a reader may take the same byte (read access is enough for a lock)
// and keep it as long as it likes, so a blocking lock would let any reader stall every writer.
// Tried again until the deadline the open already counts against; past it the line is dropped.
class LogTurn {
 public:
  LogTurn(HANDLE file, ULONGLONG deadline, DWORD pauseMilliseconds) : file_(file) {
    overlapped_.OffsetHigh = kTurnLockOffsetHigh;
    for (;;) {
      held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &overlapped_);
      const ULONGLONG now = GetTickCount64();
      if (held_ || now >= deadline) break;
      Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pauseMilliseconds, deadline - now)));
    }
  }
  LogTurn(const LogTurn&) = delete;
  LogTurn& operator=(const LogTurn&) = delete;
  ~LogTurn() {
    if (held_) UnlockFileEx(file_, 0, 1, 0, &overlapped_);
  }
  bool Held() const { return held_ != FALSE; }

 private:
  HANDLE file_;
  OVERLAPPED overlapped_ = {};
  BOOL held_ = FALSE;
};

// Append-only writing: every write lands at the end of the file. Reading because a byte-range
// lock needs it; attributes for the checks of a log that must not follow links.
constexpr DWORD kLogAccess = kLogFileAccess;
constexpr DWORD kLogSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Makes the folder when missing and opens it, or nothing when it is not a plain folder. Wine
// marks a linked folder only in the attributes asked for by name, Windows also through the
// handle. The handle shares no deleting, so the folder cannot be renamed or replaced by a link
// while the caller holds it.
UniqueFile OpenPlainFolder(const wchar_t* folder) {
  CreateDirectoryW(folder, nullptr);
  if (!IsPlainFolder(GetFileAttributesW(folder))) return {};
  UniqueFile handle(CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!handle || !GetFileInformationByHandle(handle.Get(), &info) ||
      !IsPlainFolder(info.dwFileAttributes)) {
    return {};
  }
  return handle;
}

// Opens the file itself, never what a link names: an existing name is opened as it is (the
// checks below then see a link), a missing one is made with CREATE_NEW, which fails on any
// name that exists, a dangling link included. Last error as the open left it.
HANDLE OpenWithoutFollowing(const wchar_t* path) {
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE file = CreateFileW(path, kLogAccess, kLogSharing, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) return file;
    file = CreateFileW(path, kLogAccess, kLogSharing, nullptr, CREATE_NEW, kFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;  // a name that is neither there nor missing: a dangling link
}

// The open file is the log itself: no reparse point, one name only, and its handle names the
// expected path. Wine opens the target of a symbolic link to a file even when asked not to and
// does not mark it, but the handle's final path then names the target.
bool IsPlainLogFile(HANDLE file, const wchar_t* path) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(file, &info)) return false;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1) {
    return false;
  }
  return HandleNamesPath(file, path);
}

}  // namespace

LogAppendResult AppendLogLines(const LogFileLocation& log, const std::u16string_view* lines,
                               size_t count, const LogAppendOptions& options) {
  const bool refuseLinks = options.links == LogLinks::kRefuse;
  // Held until the lines are written, so the folders stay what was checked.
  UniqueFile folder;
  UniqueFile dataFolder;
  if (refuseLinks) {
    folder = OpenPlainFolder(log.folder);
    if (!folder) return LogAppendResult::kUnavailable;
    dataFolder = OpenPlainFolder(log.dataFolder);
    if (!dataFolder) return LogAppendResult::kUnavailable;
  } else {
    // An existing folder is the usual case; any other failure shows at the open.
    CreateDirectoryW(log.folder, nullptr);
    CreateDirectoryW(log.dataFolder, nullptr);
  }

  const ULONGLONG start = GetTickCount64();
  UniqueFile file;
  for (;;) {
    file.Reset(refuseLinks ? OpenWithoutFollowing(log.file)
                           : CreateFileW(log.file, kLogAccess, kLogSharing, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) break;
    if (!HeldByAnother(GetLastError())) return LogAppendResult::kUnavailable;
    const ULONGLONG waited = GetTickCount64() - start;
    if (waited >= options.waitMilliseconds) return LogAppendResult::kHeld;
    Sleep(static_cast<DWORD>(
        std::min<ULONGLONG>(options.retryPauseMilliseconds, options.waitMilliseconds - waited)));
  }
  if (refuseLinks && !IsPlainLogFile(file.Get(), log.file)) return LogAppendResult::kUnavailable;

  const ULONGLONG deadline = start + options.waitMilliseconds;
  size_t turnsHad = 0;
  for (size_t i = 0; i < count; ++i) {
    DWORD written = 0;
    LogTurn turn(file.Get(), deadline, options.retryPauseMilliseconds);
    if (!turn.Held()) continue;  // dropped: the lock is another's past the budget
    ++turnsHad;
    WriteFile(file.Get(), lines[i].data(), static_cast<DWORD>(lines[i].size() * sizeof(char16_t)),
              &written, nullptr);
  }
  return turnsHad > 0 || count == 0 ? LogAppendResult::kWritten : LogAppendResult::kHeld;
}
