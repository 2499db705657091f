#pragma once
// The one line appender of the programs' logs: UTF-16 lines appended to a file in a folder two
// levels below the root of a drive, one WriteFile per line, under a lock that every writer of
// the file takes in turn, so that no line of simultaneous writers (threads or processes) is
// lost or torn.

#include <windows.h>

#include <cstddef>
#include <string_view>

struct LogFileLocation {
  const wchar_t* folder;      // made when missing, e.g. C:\ZQ
  const wchar_t* dataFolder;  // inside it, made when missing, e.g. C:\ZQ\Data
  const wchar_t* file;        // the log file inside dataFolder
};

// What a program that runs with raised rights must not follow: a folder or file that is a
// reparse point (junction, symbolic link, mount point), a file with more than one hard link, or
// a file whose handle turns out to name another place. Such a log is not written at all.
enum class LogLinks { kFollow, kRefuse };

struct LogAppendOptions {
  // How long the lines may wait, in all, for another program that holds the file without
  // sharing writing or holds the writers' lock; 0 tries once. The pause is the time between
  // tries.
  DWORD waitMilliseconds = 0;
  DWORD retryPauseMilliseconds = 10;
  LogLinks links = LogLinks::kFollow;
};

// The access every writer opens a log with: appending (each write lands at the end), reading
// because a byte-range lock needs it, attributes for the checks of a log that must not follow
// links. A user who may only read and append a log (C:\ZQ\Data's logs) can open it so.
inline constexpr DWORD kLogFileAccess = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES;

enum class LogAppendResult {
  kWritten,      // the lines went out (a line whose WriteFile failed is not retried; a line
                 // whose turn another program held past the wait is dropped)
  kHeld,         // another program held the file or the writers' lock past the wait: nothing
                 // was written
  kUnavailable,  // the file cannot be opened (no rights, no drive) or was refused: nothing written
};

// Appends `count` lines, each as it stands (its CR LF included), in order: the file is opened
// once, each line written in one WriteFile under the writers' lock, and closed again.
LogAppendResult AppendLogLines(const LogFileLocation& log, const std::u16string_view* lines,
                               size_t count, const LogAppendOptions& options);

inline LogAppendResult AppendLogLine(const LogFileLocation& log, std::u16string_view line,
                                     const LogAppendOptions& options) {
  return AppendLogLines(log, &line, 1, options);
}
