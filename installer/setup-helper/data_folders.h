#pragma once
// The folders the programs write to and read from, and the logs the package makes in them.
// appwatch appends its log to C:\ZQ\Data as the user who runs it; iconreg, run elevated by
// the installer, appends its own log there; appwatch reads its configuration from
// C:\ZQ\Data\ZQPRX. The paths are fixed in those programs (shared/data_paths.h); the
// descriptors are in shared/data_folder_security.h.

#include <windows.h>

#include "shared/data_folder_security.h"
#include "shared/data_paths.h"
#include "shared/text16.h"

struct DataFolder {
  const wchar_t* path;
  const wchar_t* sddl;
};
// Outermost first: each folder is the parent of the next.
inline const DataFolder kDataFolders[] = {
    {AsWide(kDataRootPath), kDataFolderSddl},
    {AsWide(kDataFolderPath), kDataFolderSddl},
    {AsWide(kConfigFolderPath), kDataFolderSddl},
};
inline const wchar_t* const kConfigPath = AsWide(kMonitorConfigPath);
// In C:\ZQ\Data, with kDataLogFileSddl.
inline const wchar_t* const kDataLogFiles[] = {AsWide(kMonitorLogPath), AsWide(kToolLogPath)};
