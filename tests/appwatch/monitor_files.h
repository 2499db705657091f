#pragma once
// The monitor's files as the Wine tests see them: its log, its configuration file, and
// leaving the prefix as it was found.

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/wine_support.h"

#include "shared/data_paths.h"
#include "shared/text16.h"

inline const wchar_t* const kLogFile = AsWide(kMonitorLogPath);
inline const wchar_t* const kConfigFile = AsWide(kMonitorConfigPath);

// The monitor's log lines, as the user reads them.
constexpr wchar_t kNoConfigLine[] =
    L"Terminal failure: unable to open file \"C:\\zq\\data\\ZQPRX\\appwatch.dat\" for read.\n";
constexpr wchar_t kSuspendLine[] = L"ZQWWMIAppCloseEventTraceStartEx:Suspend Proximity Sensor";
constexpr wchar_t kResumeLine[] = L"ZQWWMIAppCloseEventTraceStartEx:Resume Proximity Sensor";

// Deletes the log, the configuration file and the directories that hold them.
void RemoveMonitorFiles();

// Writes the configuration file's bytes, making its directories.
bool WriteConfigFile(const std::string& bytes);

// The log's lines ("hh:mm:ss:mmmm::message" and CR LF) in file order (empty when there is no
// log). A last piece without CR LF comes back as a line that is not well formed.
std::vector<LogLine> ReadLogLines();
std::vector<std::wstring> LogMessages();
