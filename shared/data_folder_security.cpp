#include "shared/data_folder_security.h"

#include <aclapi.h>

#include <cwchar>

#include "shared/handle_path.h"
#include "shared/win_handles.h"

namespace {

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

bool IsTrustedSid(PSID sid, PSID self) {
  return IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid) ||
         (self != nullptr && EqualSid(sid, self));
}

}  // namespace

bool IsTrustedFolderDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID self) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr ||
      !IsTrustedSid(owner, self)) {
    return false;
  }
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
      dacl == nullptr) {
    return false;  // no access list: everybody may do everything
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return false;
    if (ace->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = &allowed->SidStart;
    if (IsTrustedSid(sid, self) || IsWellKnown(sid, WinCreatorOwnerRightsSid)) continue;
    if ((allowed->Mask & kChangingRights) != 0) return false;
  }
  return true;
}

bool IsTrustedFolder(HANDLE folder, const wchar_t* path) {
  // Windows marks a junction or link in the attributes of a handle that did not follow it;
  // Wine only in the attributes asked for by name (and its handle then names the target).
  BY_HANDLE_FILE_INFORMATION info = {};
  DWORD byName = GetFileAttributesW(path);
  constexpr DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (!GetFileInformationByHandle(folder, &info) ||
      (info.dwFileAttributes & kKind) != FILE_ATTRIBUTE_DIRECTORY ||
      byName == INVALID_FILE_ATTRIBUTES || (byName & kKind) != FILE_ATTRIBUTE_DIRECTORY ||
      !HandleNamesPath(folder, path)) {
    return false;
  }
  UniqueLocalMemory descriptor;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, descriptor.Put()) != ERROR_SUCCESS) {
    return false;
  }
  UniqueKernelHandle token;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
      !GetTokenInformation(token.Get(), TokenUser, user, sizeof user, &size)) {
    return false;
  }
  return IsTrustedFolderDescriptor(descriptor.Get(),
                                   reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}
