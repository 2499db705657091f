#pragma once
// The settings window: process-wide state, start-up of the one main window, and its window
// procedure. The window is a layered pop-up drawn as a whole by the renderer; its child windows
// are never seen and only receive clicks.

#include <windows.h>

#include "sensorctl/resource.h"
#include "sensorctl/resources/strings/string_ids.h"

// UTF-16 units of every string buffer of the program: each holds the longest string.
constexpr int kTextBufferSize = kStringBufferSize;

// Process-wide state of the settings window.
extern HINSTANCE instance;
extern HWND mainWindow;
extern int rightToLeft;
extern wchar_t windowTitle[kTextBufferSize];
extern wchar_t windowClassName[kTextBufferSize];

// Commands of the child windows (the low word of WM_COMMAND's wParam).
enum CommandId : int {
  kCommandUnhandledAccelerator = IDM_UNHANDLED_ACCELERATOR,  // Alt+? and Alt+/; nothing handles it
  kCommandClose = 200,
  kCommandMinimize = 201,
  kCommandOk = 202,
  kCommandCancel = 203,
  kCommandApply = 204,
  kCommandRangeButton = 210,
  kCommandOffDelayButton = 211,
  kCommandOnDelayButton = 212,
  kCommandDisableCheckBox = 220,
  kCommandRangeList = 230,
  kCommandOffDelayList = 231,
  kCommandOnDelayList = 232,
};

// The commands RunCommand handles: every id the child windows may send.
constexpr int kFirstRunCommand = 200;
constexpr int kLastRunCommand = 399;

// Paints that may fail to push the window's first frame before it closes (see PaintFrame).
constexpr int kFirstFrameAttempts = 5;

constexpr int kAcceleratorTable = IDR_ACCELERATORS;
constexpr int kIconGroup = IDI_SENSORCTL;

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
