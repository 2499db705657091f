#pragma once
// Process-wide state of the settings window, set at start-up and when its one main window is
// created (main_window.cpp), read by the controls and the wait for the service.

#include <windows.h>

#include "sensorctl/resources/strings/string_ids.h"

// UTF-16 units of every string buffer of the program: each holds the longest string.
constexpr int kTextBufferSize = kStringBufferSize;

extern HINSTANCE instance;
extern HWND mainWindow;
extern int rightToLeft;
extern wchar_t windowTitle[kTextBufferSize];
extern wchar_t windowClassName[kTextBufferSize];
