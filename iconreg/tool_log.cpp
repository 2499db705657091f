#include "iconreg/tool_log.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "iconreg/tool_texts.h"
#include "shared/data_folder_security.h"
#include "shared/log_append.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

const LogFileLocation kToolLog = {AsWide(kDataRootPath), AsWide(kDataFolderPath),
                                  AsWide(kToolLogPath)};

constexpr LogAppendOptions kToolLogOptions = {
    (kToolLogOpenAttempts - 1) * kToolLogRetryPauseMs, kToolLogRetryPauseMs, LogLinks::kRefuse};

// The tool runs with raised rights, so its log goes only into folders that nobody but
// Administrators and SYSTEM can change (see IsTrustedFolder); a folder it makes itself gets the
// package's descriptor at once. The folders stay held, without sharing deletion, until the
// line is written, so they cannot be swapped for others meanwhile.
bool HoldTrustedLogFolders(UniqueFile (&held)[2]) {
  const wchar_t* const folders[] = {kToolLog.folder, kToolLog.dataFolder};
  UniqueLocalMemory descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kDataFolderSddl, SDDL_REVISION_1,
                                                            descriptor.Put(), nullptr)) {
    return false;
  }
  for (size_t i = 0; i < std::size(folders); ++i) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    CreateDirectoryW(folders[i], &attributes);
    held[i].Reset(CreateFileW(folders[i], READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (!held[i] || !IsTrustedFolder(held[i].Get(), folders[i])) return false;
  }
  return true;
}

}  // namespace

int WriteToolLog(const wchar_t* message) {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ToolLogStamp stamp{now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  std::u16string line = FormatToolLogLine(stamp, message != nullptr ? AsU16(message) : nullptr);
  UniqueFile folders[2];
  if (HoldTrustedLogFolders(folders)) AppendLogLine(kToolLog, line, kToolLogOptions);
  return 1;
}
