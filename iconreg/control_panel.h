#pragma once
// The Control Panel item that starts sensorctl: its shell class under HKEY_CLASSES_ROOT and its
// entry in the Control Panel's namespace under HKEY_LOCAL_MACHINE.

#include <windows.h>

#include <string>

// Every key is created and deleted in the 64-bit view of the registry (KEY_ALL_ACCESS |
// KEY_WOW64_64KEY), also by the 32-bit program on 64-bit Windows.
constexpr REGSAM kItemKeyAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
static_assert(kItemKeyAccess == 0xF013F);

// Writes the item; 0, or -1 when a key or value of the shell class could not be written (the
// failure is in the tool log). A failure at the namespace entry is shown in a "dbg" box (its
// text goes to the tool log instead in a window station no one sees) and still gives 0.
int RegisterControlPanelItem();
// The same with the Program Files folder given instead of asked of Windows.
int RegisterControlPanelItemFor(const wchar_t* programFilesFolder);

// Deletes the item's keys, children first; a key that is missing or still has other sub-keys
// stays. Returns 1.
int RemoveControlPanelItem();

// The Program Files folder as Windows names it for this process, without a trailing
// backslash; empty when Windows cannot say.
std::wstring ProgramFilesFolder();
