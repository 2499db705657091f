#include "appwatch/monitor_log.h"

#include "appwatch/monitor_log_line.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

// Another program (an older monitor, an editor) may hold the log open without sharing
// writing for a moment; the line waits for it rather than being lost.
constexpr ULONGLONG kLogRetryMilliseconds = 1000;
constexpr DWORD kLogRetryPauseMilliseconds = 10;

// Writers of this log take turns through a lock on one byte far beyond any real end of the
// file, so the lock never stands in the way of readers or of the appended data. Append-only
// access alone does not keep lines of simultaneous writers apart everywhere (Wine places an
// append at the end it saw a moment before).
constexpr DWORD kTurnLockOffsetHigh = 0x40000000;

class LogTurn {
 public:
  explicit LogTurn(HANDLE file) : file_(file) {
    overlapped_.OffsetHigh = kTurnLockOffsetHigh;
    held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped_);
  }
  LogTurn(const LogTurn&) = delete;
  LogTurn& operator=(const LogTurn&) = delete;
  ~LogTurn() {
    if (held_) UnlockFileEx(file_, 0, 1, 0, &overlapped_);
  }

 private:
  HANDLE file_;
  OVERLAPPED overlapped_ = {};
  BOOL held_ = FALSE;
};

UniqueFile OpenLogForAppend() {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    // Append-only writing: every write lands at the end of the file. Reading is asked for only
    // because a byte-range lock needs it.
    UniqueFile file(CreateFileW(kMonitorLogPath, FILE_APPEND_DATA | FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
    if (GetTickCount64() - start >= kLogRetryMilliseconds) return file;
    Sleep(kLogRetryPauseMilliseconds);
  }
}

}  // namespace

int WriteMonitorLog(const wchar_t* message) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  UniqueFile file = OpenLogForAppend();
  if (!file) return 1;

  SYSTEMTIME now = {};
  GetLocalTime(&now);
  LogTime time{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  char16_t line[kMonitorLogLineCapacity];
  size_t length = FormatMonitorLogLine(line, time, message != nullptr ? AsU16(message) : u"");
  DWORD written = 0;
  LogTurn turn(file.Get());
  WriteFile(file.Get(), line, static_cast<DWORD>(length * sizeof(char16_t)), &written, nullptr);
  return 1;
}
