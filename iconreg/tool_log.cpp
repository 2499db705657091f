#include "iconreg/tool_log.h"

#include <windows.h>

#include <string>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

// Writing is shared as well as reading, so that another writer (a second run of the tool, a
// viewer that keeps the file open) does not cost us the line. Appends land at the end of the
// file whoever else has it open. A holder that shares nothing is waited for a little while.
UniqueFile OpenToolLog() {
  UniqueFile file;
  for (int attempt = 0; attempt < kToolLogOpenAttempts; ++attempt) {
    if (attempt > 0) Sleep(kToolLogRetryPauseMs);
    file.Reset(CreateFileW(AsWide(kToolLogPath), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) break;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) break;
  }
  return file;
}

}  // namespace

int WriteToolLog(const wchar_t* message) {
  // An existing directory is the usual case; any other failure shows up at the open.
  CreateDirectoryW(AsWide(kToolLogDirectory), nullptr);
  CreateDirectoryW(AsWide(kToolLogDataDirectory), nullptr);

  UniqueFile file = OpenToolLog();
  if (!file) return 1;

  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ToolLogStamp stamp{now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  std::u16string line = FormatToolLogLine(stamp, message != nullptr ? AsU16(message) : nullptr);

  DWORD written = 0;
  WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size() * sizeof(char16_t)), &written,
            nullptr);
  return 1;
}
