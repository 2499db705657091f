#include "appwatch/monitor_log.h"

#include <memory>
#include <new>
#include <string_view>

#include "appwatch/monitor_log_line.h"
#include "shared/data_paths.h"
#include "shared/format_bounded.h"
#include "shared/log_append.h"
#include "shared/text16.h"

namespace {

const LogFileLocation kMonitorLog = {AsWide(kDataRootPath), AsWide(kDataFolderPath),
                                     AsWide(kMonitorLogPath)};
constexpr DWORD kLogRetryPauseMilliseconds = 10;
// While lines are kept, a timer tries the log this often, so they go out without a next line.
constexpr DWORD kFlushRetryMilliseconds = 250;

// All of the following is guarded by logLock. The lock is held while a line waits, so a
// second thread waits at most for the same budget, not for one of its own.
SRWLOCK logLock = SRWLOCK_INIT;
DWORD waitLeft = kMonitorLogWaitMilliseconds;  // filled again whenever the log is written

struct HeldLine {
  std::unique_ptr<char16_t[]> text;
  size_t length = 0;
};
HeldLine heldLines[kMonitorLogHeldLinesCapacity];  // a ring, oldest at heldFirst
size_t heldFirst = 0;
size_t heldCount = 0;
size_t lostLines = 0;  // newest lines dropped past the capacity (or for want of memory)
HANDLE flushTimer = nullptr;

LogTime Now() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  return LogTime{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

void ForgetHeldLines() {
  for (size_t i = 0; i < heldCount; ++i) {
    heldLines[(heldFirst + i) % kMonitorLogHeldLinesCapacity].text.reset();
  }
  heldFirst = 0;
  heldCount = 0;
  lostLines = 0;
}

void KeepLine(const char16_t* line, size_t length) {
  if (heldCount == kMonitorLogHeldLinesCapacity) {
    ++lostLines;
    return;
  }
  HeldLine& held = heldLines[(heldFirst + heldCount) % kMonitorLogHeldLinesCapacity];
  held.text.reset(new (std::nothrow) char16_t[length]);
  if (!held.text) {
    ++lostLines;
    return;
  }
  std::char_traits<char16_t>::copy(held.text.get(), line, length);
  held.length = length;
  ++heldCount;
}

// Writes the kept lines, the count of lost ones and `line` (when given) in one go, waiting no
// longer than what is left of the budget. Caller holds logLock.
LogAppendResult WriteInOrder(const char16_t* line, size_t length) {
  std::u16string_view lines[kMonitorLogHeldLinesCapacity + 2];
  size_t count = 0;
  for (size_t i = 0; i < heldCount; ++i) {
    const HeldLine& held = heldLines[(heldFirst + i) % kMonitorLogHeldLinesCapacity];
    lines[count++] = std::u16string_view(held.text.get(), held.length);
  }
  char16_t lostLine[kMonitorLogLineCapacity];
  if (lostLines > 0) {
    char16_t message[kMonitorMessageCapacity];
    FormatBounded(message, kMonitorMessageCapacity, kMonitorLogLostLinesFormat,
                  static_cast<unsigned>(lostLines));
    lines[count++] = std::u16string_view(lostLine, FormatMonitorLogLine(lostLine, Now(), message));
  }
  if (line != nullptr) lines[count++] = std::u16string_view(line, length);
  if (count == 0) return LogAppendResult::kWritten;

  const ULONGLONG start = GetTickCount64();
  LogAppendResult result = AppendLogLines(
      kMonitorLog, lines, count, {waitLeft, kLogRetryPauseMilliseconds, LogLinks::kFollow});
  const ULONGLONG waited = GetTickCount64() - start;
  waitLeft = waited >= waitLeft ? 0 : waitLeft - static_cast<DWORD>(waited);
  switch (result) {
    case LogAppendResult::kWritten:
      ForgetHeldLines();
      waitLeft = kMonitorLogWaitMilliseconds;
      break;
    case LogAppendResult::kHeld:
      waitLeft = 0;
      break;
    case LogAppendResult::kUnavailable:
      // Not a holder: the file cannot be had at all, so what is kept could never go out.
      ForgetHeldLines();
      break;
  }
  return result;
}

VOID CALLBACK FlushTimerFired(PVOID, BOOLEAN);

// Caller holds logLock.
void ScheduleFlush() {
  if (flushTimer != nullptr || heldCount + lostLines == 0) return;
  if (!CreateTimerQueueTimer(&flushTimer, nullptr, FlushTimerFired, nullptr,
                             kFlushRetryMilliseconds, 0, WT_EXECUTEONLYONCE)) {
    flushTimer = nullptr;  // the next line tries again
  }
}

VOID CALLBACK FlushTimerFired(PVOID, BOOLEAN) {
  AcquireSRWLockExclusive(&logLock);
  // A one-shot timer: given back here without waiting for this callback, which is running.
  DeleteTimerQueueTimer(nullptr, flushTimer, nullptr);
  flushTimer = nullptr;
  WriteInOrder(nullptr, 0);
  ScheduleFlush();
  ReleaseSRWLockExclusive(&logLock);
}

}  // namespace

int WriteMonitorLog(const wchar_t* message) {
  char16_t line[kMonitorLogLineCapacity];
  size_t length = FormatMonitorLogLine(line, Now(), message != nullptr ? AsU16(message) : u"");
  AcquireSRWLockExclusive(&logLock);
  if (WriteInOrder(line, length) == LogAppendResult::kHeld) {
    KeepLine(line, length);
    ScheduleFlush();
  }
  ReleaseSRWLockExclusive(&logLock);
  return 1;
}

void FlushMonitorLog() {
  AcquireSRWLockExclusive(&logLock);
  WriteInOrder(nullptr, 0);
  ReleaseSRWLockExclusive(&logLock);
}
