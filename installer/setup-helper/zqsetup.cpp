// zqsetup.dll: the package's own set-up step for the folders the programs write to and read
// from. Windows Installer loads it from the package's Binary table and calls its entry points
// as custom actions, without a window:
//
//   FindExistingSetup  immediate: sets ZQ_ITEM_FOUND when the Control Panel item is registered
//                      and ZQ_CONFIG_FOUND when appwatch.dat is there, before this run changes
//                      anything. The rollback steps are conditioned on them, so that a failed
//                      repair or reinstall does not take away what was there before it.
//   PrepareDataFolders deferred, elevated (no impersonation): makes C:\ZQ, C:\ZQ\Data and
//                      C:\ZQ\Data\ZQPRX with their final descriptors, makes both logs in Data,
//                      and lays down the default appwatch.dat when there is none. A folder
//                      that is there already is used only when it is a plain folder that
//                      nobody but Administrators and SYSTEM may change; anything else standing
//                      at one of these names (a user's folder, a file, a junction or link) is
//                      moved aside unread, and the package log names it.
//                      ERROR_INSTALL_FAILURE when something cannot be made safe or written:
//                      the install fails and rolls back.
//   CleanDataFolders   deferred, elevated: removes appwatch.dat while it still holds the default
//                      bytes, empty logs, then each folder that is empty; logs with lines and a
//                      changed configuration stay. Also the rollback of PrepareDataFolders.
//                      Always ERROR_SUCCESS.
//
// The paths are fixed: appwatch and iconreg write to them by these names. Any user may create
// C:\ZQ before the package does (C:\ lets users create folders), so nothing found there is
// trusted for what it is called. Each folder is held open without FILE_SHARE_DELETE while
// what lies below it is made, so none of them can be renamed or replaced by a link meanwhile.

#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>

#include <cstring>
#include <cwchar>
#include <span>

#include "installer/setup-helper/data_folders.h"
#include "shared/control_panel_item.h"
#include "shared/handle_path.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

constexpr int kDefaultConfigResource = 1;

HMODULE module = nullptr;  // this DLL, whose resources hold the default configuration

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { MsiCloseHandle(h); }
};
using UniqueMsiHandle = UniqueHandleOf<MsiHandleTraits>;

// Access to an entry found at one of the names: enough to check it, give it our descriptor or
// move it aside, and nothing that reads or writes its content.
constexpr DWORD kEntryAccess =
    READ_CONTROL | WRITE_DAC | WRITE_OWNER | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// A log may be open in a monitor at that moment (it shares reading and writing, not deleting).
constexpr DWORD kLogEntryAccess = kEntryAccess & ~DELETE;
// Held this way, a folder cannot be renamed, deleted or replaced while the handle is open.
constexpr DWORD kKeepSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One line in the package log (msiexec /l*v).
void LogLine(MSIHANDLE install, const wchar_t* text) {
  UniqueMsiHandle record(MsiCreateRecord(1));
  if (!record) return;
  MsiRecordSetStringW(record.Get(), 0, L"[1]");
  MsiRecordSetStringW(record.Get(), 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.Get());
}

// SYSTEM may be left out of the access list of what a user made; with these privileges it
// opens, moves aside and re-owns such an entry all the same (FILE_FLAG_BACKUP_SEMANTICS).
void EnableOwnerPrivileges() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) return;
  for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME, SE_TAKE_OWNERSHIP_NAME}) {
    TOKEN_PRIVILEGES privileges = {1, {}};
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) continue;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
  }
}

UniqueLocalMemory Descriptor(const wchar_t* sddl) {
  UniqueLocalMemory descriptor;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.Put(),
                                                       nullptr);
  return descriptor;
}

bool ApplyDescriptor(HANDLE entry, PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
    return false;
  }
  return SetSecurityInfo(entry, SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                             PROTECTED_DACL_SECURITY_INFORMATION,
                         owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// Opens the entry at the name itself, whatever it is, never what a link there points to.
UniqueFile OpenEntry(const wchar_t* path, DWORD access, DWORD sharing) {
  return UniqueFile(CreateFileW(path, access, sharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
}

// A plain file with one name only, and the very file the path names.
bool IsPlainFile(HANDLE file, const wchar_t* path) {
  constexpr DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  BY_HANDLE_FILE_INFORMATION info = {};
  DWORD byName = GetFileAttributesW(path);
  return GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & kKind) == 0 &&
         info.nNumberOfLinks == 1 && byName != INVALID_FILE_ATTRIBUTES &&
         (byName & kKind) == 0 && HandleNamesPath(file, path);
}

bool DeleteThrough(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                    sizeof disposition) != FALSE;
}

// Moves what stands at `path` to a free name beside it, "<path>.moved-<UTC time>-<n>", through
// a handle to the entry itself, without reading, changing or following any of it, and names
// both in the package log. Windows opens a junction or link itself here, so the rename moves
// the link. A handle that names another place followed a link after all (Wine does so with a
// Unix link, also when renaming by name): moving it would move the link's target, so nothing is
// moved and the step fails.
bool MoveAside(MSIHANDLE install, const wchar_t* path) {
  UniqueFile entry = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kKeepSharing);
  if (!entry) entry = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kAnySharing);
  wchar_t line[2 * MAX_PATH + 160];
  if (!entry || !HandleNamesPath(entry.Get(), path)) {
    swprintf(line, std::size(line),
             L"ZQ Proximity Sensor: %ls is not a folder that only Administrators and SYSTEM can "
             L"change, and it cannot be moved aside without following a link: nothing was changed",
             path);
    LogLine(install, line);
    return false;
  }
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  for (int n = 1; n < 100; ++n) {
    wchar_t aside[MAX_PATH];
    swprintf(aside, MAX_PATH, L"%ls.moved-%04d%02d%02d%02d%02d%02d-%d", path, now.wYear,
             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, n);
    alignas(FILE_RENAME_INFO) BYTE buffer[sizeof(FILE_RENAME_INFO) + sizeof aside] = {};
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    const size_t length = wcslen(aside);
    rename->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    std::memcpy(rename->FileName, aside, (length + 1) * sizeof(wchar_t));
    if (SetFileInformationByHandle(entry.Get(), FileRenameInfo, rename, sizeof buffer)) {
      swprintf(line, std::size(line),
               L"ZQ Proximity Sensor: moved %ls aside to %ls: not a plain folder or file that "
               L"only Administrators and SYSTEM can change; nothing in it was used",
               path, aside);
      LogLine(install, line);
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

// Returns the folder at `path`, held without FILE_SHARE_DELETE. A missing folder is created
// with its final descriptor in the CreateDirectoryW call itself; one that is there is used
// only when IsTrustedFolder accepts it, and is given that descriptor again; anything else at
// the name is moved aside and a new folder made. The caller holds the parent.
UniqueFile TakeFolder(MSIHANDLE install, const wchar_t* path, PSECURITY_DESCRIPTOR descriptor) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const bool created = CreateDirectoryW(path, &attributes) != FALSE;
    if (!created && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    UniqueFile folder = OpenEntry(path, kEntryAccess, kKeepSharing);
    if (folder && IsTrustedFolder(folder.Get(), path)) {
      if (created || ApplyDescriptor(folder.Get(), descriptor)) return folder;
      return {};
    }
    if (created) return {};  // what was just made is not what is found: give up
    folder.Reset();
    if (!MoveAside(install, path)) return {};
  }
  return {};
}

// Makes one log with `descriptor`, or gives an existing plain log that descriptor; anything
// else at the name (a folder, a link, a file with more names) is moved aside first. Nothing in
// a log is read. The caller holds C:\ZQ\Data.
bool TakeLogFile(MSIHANDLE install, const wchar_t* path, PSECURITY_DESCRIPTOR descriptor) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    UniqueFile file(CreateFileW(path, kLogEntryAccess, kKeepSharing, &attributes, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const bool created = static_cast<bool>(file);
    if (!created) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
      file = OpenEntry(path, kLogEntryAccess, kKeepSharing);
    }
    if (file && IsPlainFile(file.Get(), path)) {
      return created || ApplyDescriptor(file.Get(), descriptor);
    }
    if (created) return false;
    file.Reset();
    if (!MoveAside(install, path)) return false;
  }
  return false;
}

std::span<const BYTE> DefaultConfig() {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(kDefaultConfigResource), RT_RCDATA);
  if (resource == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return {};
  return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, resource)};
}

// Lays down the default configuration only where there is none: a configuration that is
// there already (in a folder only administrators can change) is left as it is.
bool WriteDefaultConfig() {
  std::span<const BYTE> bytes = DefaultConfig();
  if (bytes.empty()) return false;
  UniqueFile file(CreateFileW(kConfigPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return GetLastError() == ERROR_FILE_EXISTS;
  DWORD written = 0;
  bool ok = HandleNamesPath(file.Get(), kConfigPath) &&
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) &&
            written == bytes.size();
  if (!ok) DeleteThrough(file.Get());
  return ok;
}

// Deletes the configuration through the handle that found it to hold exactly the default
// bytes, so that what is deleted is what was compared.
void DeleteDefaultConfig() {
  std::span<const BYTE> bytes = DefaultConfig();
  UniqueFile file = OpenEntry(kConfigPath, GENERIC_READ | DELETE, FILE_SHARE_READ);
  if (!file || bytes.empty() || !IsPlainFile(file.Get(), kConfigPath)) return;
  LARGE_INTEGER size = {};
  BYTE content[512];
  DWORD read = 0;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart != static_cast<LONGLONG>(bytes.size()) ||
      bytes.size() > sizeof content ||
      !ReadFile(file.Get(), content, sizeof content, &read, nullptr) || read != bytes.size() ||
      std::memcmp(content, bytes.data(), bytes.size()) != 0) {
    return;
  }
  DeleteThrough(file.Get());
}

// A log the package made and nobody wrote to holds nothing of anybody's.
void DeleteEmptyLog(const wchar_t* path) {
  UniqueFile file = OpenEntry(path, FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE, kKeepSharing);
  LARGE_INTEGER size = {};
  if (file && IsPlainFile(file.Get(), path) && GetFileSizeEx(file.Get(), &size) &&
      size.QuadPart == 0) {
    DeleteThrough(file.Get());
  }
}

int Prepare(MSIHANDLE install) {
  EnableOwnerPrivileges();
  UniqueFile folders[std::size(kDataFolders)];
  for (size_t i = 0; i < std::size(kDataFolders); ++i) {
    UniqueLocalMemory descriptor = Descriptor(kDataFolders[i].sddl);
    if (!descriptor) return 1;
    folders[i] = TakeFolder(install, kDataFolders[i].path, descriptor.Get());
    if (!folders[i]) return 1;
  }
  UniqueLocalMemory logDescriptor = Descriptor(kDataLogFileSddl);
  if (!logDescriptor) return 1;
  for (const wchar_t* log : kDataLogFiles) {
    if (!TakeLogFile(install, log, logDescriptor.Get())) return 1;
  }
  return WriteDefaultConfig() ? 0 : 1;
}

// Touches the folders only while each is one the package may use; stops at the first that
// is not.
void Cleanup() {
  EnableOwnerPrivileges();
  UniqueFile folders[std::size(kDataFolders)];
  size_t held = 0;
  for (; held < std::size(kDataFolders); ++held) {
    folders[held] = OpenEntry(kDataFolders[held].path, kEntryAccess, kKeepSharing);
    if (!folders[held] || !IsTrustedFolder(folders[held].Get(), kDataFolders[held].path)) {
      folders[held].Reset();
      break;
    }
  }
  if (held == std::size(kDataFolders)) DeleteDefaultConfig();
  if (held >= 2) {
    for (const wchar_t* log : kDataLogFiles) DeleteEmptyLog(log);
  }
  // Innermost first; a folder that still holds anything (logs, a changed configuration) is
  // not deleted.
  while (held-- > 0) {
    DeleteThrough(folders[held].Get());
    folders[held].Reset();
  }
}

bool KeyExists(HKEY root, const char16_t* path) {
  UniqueRegKey key;
  return RegOpenKeyExW(root, AsWide(path), 0, KEY_READ | KEY_WOW64_64KEY, key.Put()) ==
         ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) UINT WINAPI FindExistingSetup(MSIHANDLE install) {
  if (KeyExists(HKEY_CLASSES_ROOT, kClassKeyPath) ||
      KeyExists(HKEY_LOCAL_MACHINE, kNamespaceKeyPath)) {
    MsiSetPropertyW(install, L"ZQ_ITEM_FOUND", L"1");
  }
  if (GetFileAttributesW(kConfigPath) != INVALID_FILE_ATTRIBUTES) {
    MsiSetPropertyW(install, L"ZQ_CONFIG_FOUND", L"1");
  }
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT WINAPI PrepareDataFolders(MSIHANDLE install) {
  return Prepare(install) == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI CleanDataFolders(MSIHANDLE) {
  Cleanup();
  return ERROR_SUCCESS;
}
