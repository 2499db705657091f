#pragma once
// Loading the monitor's configuration file into its two lists, applying its debug value to
// the monitor window, and writing both lists to the log.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "appwatch/monitor_config_parse.h"
#include "shared/data_paths.h"  // kMonitorConfigPath

// A real configuration holds a few names. A larger file is not read at all: every entry goes
// to the log line by line while the window is being created, so a file of many megabytes
// would hold up the window and the watcher for minutes and flood the log.
constexpr uint64_t kMonitorConfigMaxBytes = 64 * 1024;

// What the log says when the file is not read; the placeholder is kMonitorConfigPath.
constexpr wchar_t kConfigOpenFailureFormat[] =
    L"Terminal failure: unable to open file \"%s\" for read.\n";
constexpr wchar_t kConfigTooLargeFormat[] = L"Terminal failure: file \"%s\" is too large to read.\n";
constexpr wchar_t kConfigMemoryFailureFormat[] =
    L"Terminal failure: not enough memory to read file \"%s\".\n";

// Filled once, while the monitor window is created; live until the process ends.
extern NameList ExecutableFileList;
extern NameList WindowClassNameList;

// Reads kMonitorConfigPath. Returns -1 when it cannot be opened (a "Terminal failure" line is
// logged), otherwise 0, also when it could not be read, was too large or could not be held in
// memory (the lists then stay empty). Needs monitorWindow.
int LoadMonitorConfig();

// Converts one byte of the file through the ANSI code page (CP_ACP), on its own.
char16_t ConvertAnsiByte(uint8_t byte);

