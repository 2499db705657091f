#pragma once
// Whether an open handle is the very entry a path names, not what a link there points to.

#include <windows.h>

// True when the handle's final path is `path` (case ignored).
bool HandleNamesPath(HANDLE handle, const wchar_t* path);
