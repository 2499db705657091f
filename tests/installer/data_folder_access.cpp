// What the data folders' access lists allow, asked of Windows' own access check, and which
// descriptors the set-up step and iconreg trust.
//
// The package gives C:\ZQ, C:\ZQ\Data and C:\ZQ\Data\ZQPRX and the two logs the descriptors in
// shared/data_folder_security.h. The installed folders cannot show them under Wine
// (kWineFactNoAccessLists), so this program checks the descriptors themselves with AccessCheck,
// for an administrator and for a user (the same token with Administrators made deny-only), for
// each folder, for a file created in it (the descriptor it inherits) and for the logs; then
// IsTrustedFolderDescriptor on descriptors of folders a user or an administrator may have made.
//
//   data_folder_access.exe   prints one line per check; exit code = number of failed checks
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <vector>

#include "installer/setup-helper/data_folders.h"
#include "shared/data_folder_security.h"
#include "shared/log_append.h"
#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

namespace {

constexpr WineFact kWineFactNoAccessControlIsAnEmptyList = {
    "\"D:NO_ACCESS_CONTROL\" gives a descriptor without an access list",
    "it gives an empty access list, so the row without one leaves out the D: part"};
constexpr WineFact kWineFactNoInheritedFileDescriptor = {
    "CreatePrivateObjectSecurityEx gives a new file the inheritable part of its folder's list",
    "it gives no access list at all, so the file's descriptor is built here by Windows' rule "
    "for files: each ACE marked OBJECT_INHERIT, without its inheritance flags, marked inherited"};

GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
int failures = 0;

bool Allowed(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD access) {
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL status = FALSE;
  if (!AccessCheck(descriptor, token, access, &fileMapping, &privileges, &privilegesSize,
                   &granted, &status)) {
    return false;
  }
  return status != FALSE;
}

struct Expectation {
  const char* what;
  DWORD access;
  bool user;   // allowed to a user
  bool admin;  // allowed to an administrator
};

// Rights on the folders and on files created in them; users create nothing anywhere.
constexpr Expectation kClosedFolder[] = {
    {"list", FILE_LIST_DIRECTORY, true, true},
    {"create files", FILE_ADD_FILE, false, true},
    {"create folders", FILE_ADD_SUBDIRECTORY, false, true},
    {"delete or rename", DELETE, false, true},
    {"delete children", FILE_DELETE_CHILD, false, true},
    {"change access list", WRITE_DAC, false, true},
    {"take ownership", WRITE_OWNER, false, true},
};
// The logs the package makes: appwatch runs as the user and opens its log as every writer does.
constexpr Expectation kLogFile[] = {
    {"read", FILE_READ_DATA, true, true},
    {"append", FILE_APPEND_DATA, true, true},
    {"open as the log writers do", kLogFileAccess | SYNCHRONIZE, true, true},
    {"write over", FILE_WRITE_DATA, false, true},
    {"delete or rename", DELETE, false, true},
    {"change access list", WRITE_DAC, false, true},
    {"take ownership", WRITE_OWNER, false, true},
};
constexpr Expectation kReadOnlyFile[] = {
    {"read", FILE_READ_DATA, true, true},
    {"append", FILE_APPEND_DATA, false, true},
    {"write over", FILE_WRITE_DATA, false, true},
    {"delete or rename", DELETE, false, true},
};

template <size_t N>
void Check(const wchar_t* object, PSECURITY_DESCRIPTOR descriptor, HANDLE user, HANDLE admin,
           const Expectation (&expectations)[N]) {
  for (const Expectation& e : expectations) {
    bool userAllowed = Allowed(descriptor, user, e.access);
    bool adminAllowed = Allowed(descriptor, admin, e.access);
    bool ok = userAllowed == e.user && adminAllowed == e.admin;
    if (!ok) ++failures;
    std::printf("%s: %ls: %s: user %s, administrator %s\n", ok ? "ok" : "FAILED", object, e.what,
                userAllowed ? "allowed" : "denied", adminAllowed ? "allowed" : "denied");
  }
}

// The self-relative descriptor of a file that `owner` creates in a folder with `folder` as its
// descriptor.
bool FileDescriptorCreatedBy(PSECURITY_DESCRIPTOR folder, PSID owner, std::vector<BYTE>& out) {
  PACL folderDacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  if (!GetSecurityDescriptorDacl(folder, &present, &folderDacl, &defaulted) || !present ||
      folderDacl == nullptr) {
    return false;
  }
  std::vector<BYTE> acl(folderDacl->AclSize);
  auto* dacl = reinterpret_cast<PACL>(acl.data());
  if (!InitializeAcl(dacl, static_cast<DWORD>(acl.size()), ACL_REVISION)) return false;
  for (DWORD i = 0; i < folderDacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(folderDacl, i, reinterpret_cast<void**>(&ace))) return false;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || !(ace->AceFlags & OBJECT_INHERIT_ACE)) continue;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (!AddAccessAllowedAceEx(dacl, ACL_REVISION, INHERITED_ACE, allowed->Mask,
                               &allowed->SidStart)) {
      return false;
    }
  }
  SECURITY_DESCRIPTOR absolute;
  if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&absolute, owner, FALSE) ||
      !SetSecurityDescriptorGroup(&absolute, owner, FALSE) ||
      !SetSecurityDescriptorDacl(&absolute, TRUE, dacl, FALSE)) {
    return false;
  }
  DWORD length = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &length);
  out.resize(length);
  return MakeSelfRelativeSD(&absolute, out.data(), &length) != FALSE;
}

// Folders found at the data paths: whether the set-up step and iconreg may use them. "self" is
// the account the test runs as, standing for the one the program runs as.
struct TrustRow {
  const char* what;
  const wchar_t* sddl;  // %s: the account's own SID
  bool trusted;
};
constexpr TrustRow kTrustRows[] = {
    {"the package's folder", kDataFolderSddl, true},
    {"owned by SYSTEM, users read", L"O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true},
    {"owned by the account itself", L"O:%sD:PAI(A;OICI;FA;;;%s)", true},
    {"everyone reads and runs", L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;GRGX;;;WD)", true},
    {"users denied all", L"O:BAD:P(A;OICI;FA;;;BA)(D;OICI;FA;;;BU)", true},
    {"owner rights limited", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;OW)", true},
    {"owned by another user", L"O:S-1-5-21-1-2-3-4242D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
    {"owned by users", L"O:BUD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
    {"users may create files (the earlier Data)",
     L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)", false},
    {"users may create folders", L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200ad;;;BU)", false},
    {"users may change the access list", L"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;BU)", false},
    {"users may take ownership", L"O:BAD:P(A;OICI;FA;;;BA)(A;;WO;;;BU)", false},
    {"users may delete", L"O:BAD:P(A;OICI;FA;;;BA)(A;;SD;;;BU)", false},
    {"users may delete children", L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x1200e9;;;BU)", false},
    {"another user full, inherit only", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;GA;;;S-1-5-21-1-2-3-4242)",
     false},
    {"inherited from C:\\ (authenticated users modify)",
     L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"
     L"(A;OICIIOID;SDGXGWGR;;;AU)(A;ID;0x1301bf;;;AU)",
     false},
    {"everyone full", L"O:BAD:PAI(A;OICI;FA;;;WD)", false},
    // kWineFactNoAccessControlIsAnEmptyList
    {"no access list", L"O:BAG:SY", false},
};

void CheckTrust(PSID self) {
  wchar_t* selfText = nullptr;
  if (!ConvertSidToStringSidW(self, &selfText)) {
    std::printf("FAILED: no SID text\n");
    ++failures;
    return;
  }
  UniqueLocalMemory selfTextMemory(selfText);
  for (const TrustRow& row : kTrustRows) {
    wchar_t sddl[512];
    wsprintfW(sddl, row.sddl, selfText, selfText);
    UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                              descriptor.Put(), nullptr)) {
      std::printf("FAILED: %s: does not parse\n", row.what);
      ++failures;
      continue;
    }
    bool trusted = IsTrustedFolderDescriptor(descriptor.Get(), self);
    if (trusted != row.trusted) ++failures;
    std::printf("%s: folder %s: %s\n", trusted == row.trusted ? "ok" : "FAILED", row.what,
                trusted ? "trusted" : "not trusted");
  }
}

bool ImpersonationToken(HANDLE primary, UniqueKernelHandle& out) {
  return DuplicateToken(primary, SecurityImpersonation, out.Put()) != FALSE;
}

}  // namespace

int wmain() {
  // Said as NoteWineFact says it; this program runs in the installer's bench, without the
  // tests' support library.
  for (const WineFact* fact : {&kWineFactNoAccessLists, &kWineFactNoAccessControlIsAnEmptyList,
                               &kWineFactNoInheritedFileDescriptor}) {
    std::printf("[ WINE FACT ] Windows: %s.\n              Wine: %s.\n", fact->windows, fact->wine);
  }
  UniqueKernelHandle process, admin, restricted, user;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.Put()) ||
      !ImpersonationToken(process.Get(), admin)) {
    std::printf("FAILED: no token\n");
    return 100;
  }
  // A user: the same account with Administrators left only to deny.
  BYTE adminsSid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof adminsSid;
  CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminsSid, &sidSize);
  SID_AND_ATTRIBUTES disabled{adminsSid, 0};
  if (!CreateRestrictedToken(process.Get(), 0, 1, &disabled, 0, nullptr, 0, nullptr,
                             restricted.Put()) ||
      !ImpersonationToken(restricted.Get(), user)) {
    std::printf("FAILED: no user token (%lu)\n", GetLastError());
    return 100;
  }

  for (const DataFolder& folder : kDataFolders) {
    UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(folder.sddl, SDDL_REVISION_1,
                                                              descriptor.Put(), nullptr)) {
      std::printf("FAILED: %ls: the access list does not parse\n", folder.path);
      ++failures;
      continue;
    }
    Check(folder.path, descriptor.Get(), user.Get(), admin.Get(), kClosedFolder);
    // A file in the folder gets the inherited part (kWineFactNoInheritedFileDescriptor). Only
    // administrators create files in the folders.
    std::vector<BYTE> file;
    if (!FileDescriptorCreatedBy(descriptor.Get(), adminsSid, file)) {
      std::printf("FAILED: %ls: no inherited descriptor\n", folder.path);
      ++failures;
      continue;
    }
    wchar_t object[MAX_PATH];
    wsprintfW(object, L"a file in %ls", folder.path);
    Check(object, file.data(), user.Get(), admin.Get(), kReadOnlyFile);
  }
  UniqueLocalMemory logDescriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kDataLogFileSddl, SDDL_REVISION_1,
                                                            logDescriptor.Put(), nullptr)) {
    std::printf("FAILED: the logs' access list does not parse\n");
    ++failures;
  } else {
    for (const wchar_t* log : kDataLogFiles) {
      Check(log, logDescriptor.Get(), user.Get(), admin.Get(), kLogFile);
    }
  }
  alignas(TOKEN_USER) BYTE self[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD selfSize = 0;
  if (!GetTokenInformation(process.Get(), TokenUser, self, sizeof self, &selfSize)) return 100;
  CheckTrust(reinterpret_cast<TOKEN_USER*>(self)->User.Sid);
  std::printf("%d failed\n", failures);
  return failures;
}
