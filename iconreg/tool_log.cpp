#include "iconreg/tool_log.h"

#include <windows.h>

#include <string>

#include "iconreg/tool_texts.h"
#include "shared/log_append.h"
#include "shared/text16.h"

namespace {

const LogFileLocation kToolLog = {AsWide(kDataRootPath), AsWide(kDataFolderPath),
                                  AsWide(kToolLogPath)};

constexpr LogAppendOptions kToolLogOptions = {
    (kToolLogOpenAttempts - 1) * kToolLogRetryPauseMs, kToolLogRetryPauseMs, LogLinks::kRefuse};

}  // namespace

int WriteToolLog(const wchar_t* message) {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ToolLogStamp stamp{now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  std::u16string line = FormatToolLogLine(stamp, message != nullptr ? AsU16(message) : nullptr);
  AppendLogLine(kToolLog, line, kToolLogOptions);
  return 1;
}
