#pragma once
// The settings window: start-up of the one main window, and its window procedure. The window is
// a layered pop-up drawn as a whole by the renderer; its child windows (ids in
// sensorctl/resource.h) are never seen and only receive clicks.

#include <windows.h>

// The commands RunCommand handles: every id the child windows may send.
constexpr int kFirstRunCommand = 200;
constexpr int kLastRunCommand = 399;

// Paints that may fail to push the window's first frame before it closes (see PaintFrame).
constexpr int kFirstFrameAttempts = 5;

// Registers the main window's class; the result is not examined by the caller.
ATOM RegisterMainWindowClass(HINSTANCE moduleInstance);

// Stores `instance`, creates the main window, centres it on the desktop and shows it.
// Returns 1, or 0 when the window cannot be created.
int CreateMainWindow(HINSTANCE moduleInstance, int showCommand);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Commands kFirstRunCommand to kLastRunCommand; always returns 1.
int RunCommand(int commandId, HWND window);

// The whole program: start-up, message loop, exit code.
int RunSettingsWindow(HINSTANCE moduleInstance, int showCommand);
