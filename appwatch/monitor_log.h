#pragma once
// The monitor log: one UTF-16 line per call appended to C:\ZQ\Data\APPWATCH.log.

#include <windows.h>

constexpr wchar_t kMonitorLogPath[] = L"C:\\ZQ\\Data\\APPWATCH.log";

// Appends "hh:mm:ss:mmmm::message" and CR LF. The directories are made when missing and the
// file is opened and closed for this line alone. Returns 1 in every case; a line that cannot
// be written is dropped without a word.
int WriteMonitorLog(const wchar_t* message);
