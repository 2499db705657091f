#pragma once
// The security of the data folders (C:\ZQ, C:\ZQ\Data, C:\ZQ\Data\ZQPRX) and of the two logs in
// C:\ZQ\Data, shared by the package's set-up step and by iconreg, which run with raised rights:
// the descriptors they give what they make, and when a folder that is already there may be used.

#include <windows.h>

// Owner Administrators, inheritance from C:\ cut (P). SY system, BA administrators, BU users.
//   0x1200a9  read and run: list, read data and attributes, read the access list, synchronise
//   0x12008d  read and append: no write over, no delete, no rename, no new access list
// Users create nothing in the folders: the package makes both logs itself and gives Users
// read and append on them, which is all that appwatch, running as the user, needs.
inline constexpr wchar_t kDataFolderSddl[] =
    L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
inline constexpr wchar_t kDataLogFileSddl[] =
    L"O:BAG:SYD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12008d;;;BU)";

// Rights that change a folder or what is in it, or who may: any of them granted to anybody but
// the trusted owners makes a folder untrustworthy.
inline constexpr DWORD kChangingRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
    FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL |
    MAXIMUM_ALLOWED;

// True when the descriptor is one a program with raised rights may write under: owned by
// Administrators, SYSTEM or `self` (the account the program runs as: SYSTEM for the package),
// with an access list that gives none of kChangingRights to anybody else (OWNER RIGHTS aside,
// which is the trusted owner). No access list at all, or an entry of another kind than plain
// allow and deny, is not trusted.
bool IsTrustedFolderDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID self);

// True when the handle is a plain folder (no junction, no link) whose final path is `path`
// and whose descriptor IsTrustedFolderDescriptor accepts for the account this process runs as.
bool IsTrustedFolder(HANDLE folder, const wchar_t* path);
