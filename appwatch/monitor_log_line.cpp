#include "appwatch/monitor_log_line.h"

#include "shared/format_bounded.h"

size_t FormatMonitorLogLine(char16_t* buffer, const LogTime& time, const char16_t* message) {
  FormatBounded(buffer, kMonitorLogLineCapacity, u"%02d:%02d:%02d:%04d::%s\r\n", time.hour,
                time.minute, time.second, time.millisecond, message);
  size_t length = 0;
  while (buffer[length] != 0) ++length;
  return length;
}
