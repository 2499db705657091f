#pragma once
// The settings window at its monitor's DPI. The layout stays in frame units (display_scale.h):
// child windows are placed, and mouse positions read, through the helpers below, and the
// renderer draws at the window's DPI (Renderer::dpi).

#include <windows.h>

#include "sensorctl/app/list_geometry.h"

// The window's DPI: GetDpiForWindow where the system has it (Windows 10 1607 on), else the
// system DPI of the screen; 96 when neither can be read.
int ReadWindowDpi(HWND window);

// A place in frame units as a child window's place in pixels, at the window's DPI.
ChildPlacement ChildPixels(const ChildPlacement& units);
// A client pixel of the main window as a frame unit.
int ClientUnits(int pixels);

// WM_DPICHANGED: the renderer's device resources and images remade for the new DPI, the child
// windows placed again, the window moved to the suggested rectangle (lParam) and one frame
// drawn.
void OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam);
