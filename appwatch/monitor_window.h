#pragma once
// The monitor's window: an invisible, topmost tool window off screen that owns the message
// loop, the menu commands and the two registered messages.

#include <windows.h>

#include "shared/monitor_link.h"  // the class and the messages other programs address

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
