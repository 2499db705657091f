#pragma once
// The monitor's window: an invisible, topmost tool window off screen that owns the message
// loop, the menu commands and the two registered messages.

#include <windows.h>

// Registered message names; other programs post them to the monitor.
constexpr wchar_t kWmiEventMessageName[] = L"WM_WMIEVENT";      // shows a message box
constexpr wchar_t kStopMonitorMessageName[] = L"WM_PRXCNTSTOP";  // ends the monitor

// The window's size, both while it waits off screen and once a debug value brings it to the
// desktop's top-left corner.
constexpr int kMonitorWindowWidth = 480;
constexpr int kMonitorWindowHeight = 320;

LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the window class named by string 109 of `instance` and creates the window, which
// loads the configuration and starts the watcher; shows it with `showCommand`. Null on failure.
HWND CreateMonitorWindow(HINSTANCE instance, int showCommand);

// Runs the message loop with accelerators 109 until the quit message; returns its wParam.
int RunMonitorMessageLoop(HINSTANCE instance);
