#pragma once
// The monitor log: one UTF-16 line per call appended to kMonitorLogPath (shared/data_paths.h).

#include <windows.h>

#include <cstddef>

// All the waiting a log held by another program may cost the program, until the log has been
// written again: the first line waits up to this long, later lines do not wait.
constexpr DWORD kMonitorLogWaitMilliseconds = 1000;

// Lines kept in memory, in order, while the log is held. Past this many, the newest are
// dropped and counted; once the log is free the kept lines go out, then one line saying how
// many were lost.
constexpr size_t kMonitorLogHeldLinesCapacity = 256;
constexpr char16_t kMonitorLogLostLinesFormat[] =
    u"%u log lines were lost while another program held the log";

// Appends "hh:mm:ss:mmmm::message" and CR LF. The directories are made when missing and the
// file is opened and closed for this line (and any lines kept before it). Returns 1 in every
// case; a line that cannot be written for other reasons (no rights) is dropped without a word.
int WriteMonitorLog(const wchar_t* message);

// Tries once, without waiting, to write the lines kept while the log was held (also done by
// every later line and by a timer while lines are kept).
void FlushMonitorLog();
