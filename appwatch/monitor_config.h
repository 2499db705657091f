#pragma once
// Loading the monitor's configuration file into its two lists, applying its debug value to
// the monitor window, and writing both lists to the log.

#include <windows.h>

#include <cstddef>

#include "appwatch/monitor_config_parse.h"

constexpr wchar_t kMonitorConfigPath[] = L"C:\\zq\\data\\ZQPRX\\appwatch.dat";

// Filled once, while the monitor window is created; live until the process ends.
extern NameList ExecutableFileList;
extern NameList WindowClassNameList;

// Reads kMonitorConfigPath. Returns -1 when it cannot be opened (a "Terminal failure" line is
// logged), otherwise 0, also when it could not be read or held in memory. Needs monitorWindow.
int LoadMonitorConfig();

// Converts one byte of the file through the ANSI code page (CP_ACP), on its own.
char16_t ConvertAnsiByte(uint8_t byte);

