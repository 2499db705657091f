#pragma once
// Process-wide state of the monitor, shared by the window thread and its watchers.

#include <windows.h>

#include <atomic>
#include <cstdint>

// Module whose resources the window, its menu and the About box come from.
extern HINSTANCE monitorInstance;

// The monitor window; stored on its creation message, before any watcher exists.
extern std::atomic<HWND> monitorWindow;

// 1 asks every watcher to end, 0 lets the current one run. Written by the window thread only,
// read by the watchers at their start and after every pause.
extern std::atomic<uint8_t> bWMIEventTrackFinished;
