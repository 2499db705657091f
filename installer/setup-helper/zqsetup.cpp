// zqsetup.dll: the package's own set-up step for the folders the programs write to and read
// from. Windows Installer loads it from the package's Binary table and calls its two entry
// points as deferred custom actions, elevated (no impersonation), without a window:
//
//   PrepareDataFolders creates C:\ZQ, C:\ZQ\Data and C:\ZQ\Data\ZQPRX (or takes them over when
//                      they exist), makes Administrators their owner with a protected access list
//                      each, and lays down the default appwatch.dat when there is none.
//                      ERROR_INSTALL_FAILURE when a folder cannot be made safe or the default
//                      configuration cannot be written: the install fails and rolls back.
//   CleanDataFolders   removes appwatch.dat while it still holds the default bytes, then each
//                      folder that is empty; logs and a changed configuration stay. Also the
//                      rollback of PrepareDataFolders. Always ERROR_SUCCESS.
//
// The paths are fixed: appwatch and iconreg write to them by these names. Left to inherit from
// C:\, the folders would let any user rename them or plant links that an elevated program
// (iconreg, run by the installer) then writes through.

#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <sddl.h>

#include <cstring>
#include <span>

#include "installer/setup-helper/data_folders.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

constexpr int kDefaultConfigResource = 1;

struct LocalMemoryTraits {
  using Handle = PSECURITY_DESCRIPTOR;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};
using UniqueSecurityDescriptor = UniqueHandleOf<LocalMemoryTraits>;

// Creates the folder unless it is there, then applies its security through a handle to the
// folder itself, refusing anything that is not a plain directory (a junction or link planted
// in its place would carry the new owner and access list somewhere else).
bool SecureFolder(const DataFolder& folder) {
  if (!CreateDirectoryW(AsWide(folder.path), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  UniqueFile handle(CreateFileW(AsWide(folder.path), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  if (!handle) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.Get(), &info)) return false;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  UniqueSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(folder.sddl, SDDL_REVISION_1,
                                                            descriptor.Put(), nullptr)) {
    return false;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) || !present) {
    return false;
  }
  return SetSecurityInfo(handle.Get(), SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                             PROTECTED_DACL_SECURITY_INFORMATION,
                         owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

HMODULE module = nullptr;  // this DLL, whose resources hold the default configuration

std::span<const BYTE> DefaultConfig() {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(kDefaultConfigResource), RT_RCDATA);
  if (resource == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return {};
  return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, resource)};
}

// Lays down the default configuration only where there is none: a file the user changed, or
// anything else standing at that name, is left as it is.
bool WriteDefaultConfig() {
  std::span<const BYTE> bytes = DefaultConfig();
  if (bytes.empty()) return false;
  UniqueFile file(CreateFileW(AsWide(kMonitorConfigPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError() == ERROR_FILE_EXISTS;
  DWORD written = 0;
  bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) &&
            written == bytes.size();
  file.Reset();
  if (!ok) DeleteFileW(AsWide(kMonitorConfigPath));
  return ok;
}

// True when the file holds exactly the default bytes (read through a handle that does not
// follow a link, so only our own plain file can match).
bool IsDefaultConfig() {
  std::span<const BYTE> bytes = DefaultConfig();
  UniqueFile file(CreateFileW(AsWide(kMonitorConfigPath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file || bytes.empty()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart != static_cast<LONGLONG>(bytes.size())) {
    return false;
  }
  BYTE content[512];
  if (bytes.size() > sizeof content) return false;
  DWORD read = 0;
  return ReadFile(file.Get(), content, sizeof content, &read, nullptr) && read == bytes.size() &&
         std::memcmp(content, bytes.data(), bytes.size()) == 0;
}

int Prepare() {
  for (const DataFolder& folder : kDataFolders) {
    if (!SecureFolder(folder)) return 1;
  }
  return WriteDefaultConfig() ? 0 : 1;
}

void Cleanup() {
  if (IsDefaultConfig()) DeleteFileW(AsWide(kMonitorConfigPath));
  // Innermost first; a folder that still holds anything (logs, a changed configuration) stays.
  for (size_t i = std::size(kDataFolders); i-- > 0;) RemoveDirectoryW(AsWide(kDataFolders[i].path));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) UINT WINAPI PrepareDataFolders(MSIHANDLE) {
  return Prepare() == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI CleanDataFolders(MSIHANDLE) {
  Cleanup();
  return ERROR_SUCCESS;
}
