#pragma once
// The folders the programs write to and read from, and the security the package gives them.
// appwatch appends its log to C:\ZQ\Data as the user who runs it; iconreg, run elevated by
// the installer, appends its own log there; appwatch reads its configuration from
// C:\ZQ\Data\ZQPRX. The paths are fixed in those programs.

#include <windows.h>

#include "shared/data_paths.h"

// Owner Administrators, inheritance from C:\ cut (P). SY system, BA administrators, BU users,
// OW the owner of a file (an OWNER RIGHTS entry takes away the implicit right of whoever
// created a log to rewrite its access list).
//   0x1200a9  read and run: list, read data and attributes, read the access list, synchronise
//   0x1200ab  the same and "create files" in the folder (not folders, not delete children)
//   0x12008d  on files only (OI IO): read and append; no write over, no delete, no rename
struct DataFolder {
  const char16_t* path;
  const wchar_t* sddl;
};
inline constexpr DataFolder kDataFolders[] = {
    {kDataRootPath, L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"},
    {kDataFolderPath,
     L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x12008d;;;BU)"
     L"(A;OIIO;0x12008d;;;OW)"},
    {kConfigFolderPath, L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"},
};

