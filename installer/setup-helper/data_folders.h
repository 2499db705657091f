#pragma once
// The folders the programs write to and read from, and the logs the package makes in them.
// appwatch appends its log to C:\ZQ\Data as the user who runs it; iconreg, run elevated by
// the installer, appends its own log there; appwatch reads its configuration from
// C:\ZQ\Data\ZQPRX. The paths are fixed in those programs; the descriptors are in
// shared/data_folder_security.h.

#include <windows.h>

#include "appwatch/monitor_log.h"
#include "iconreg/tool_texts.h"
#include "shared/data_folder_security.h"
#include "shared/text16.h"

struct DataFolder {
  const wchar_t* path;
  const wchar_t* sddl;
};
// Outermost first: each folder is the parent of the next.
inline constexpr DataFolder kDataFolders[] = {
    {L"C:\\ZQ", kDataFolderSddl},
    {L"C:\\ZQ\\Data", kDataFolderSddl},
    {L"C:\\ZQ\\Data\\ZQPRX", kDataFolderSddl},
};
inline constexpr const wchar_t* kConfigPath = L"C:\\ZQ\\Data\\ZQPRX\\appwatch.dat";
// In C:\ZQ\Data, with kDataLogFileSddl.
inline const wchar_t* const kDataLogFiles[] = {kMonitorLogPath, AsWide(kToolLogPath)};
