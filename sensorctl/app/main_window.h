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

// The drawn drop-down lists, for the keyboard and the accessibility objects. A choice is 0 (the
// sensitivity), 1 (the delay until off) or 2 (the delay until on); rows count from 0.
int OpenListChoice();                 // the choice whose list is open, or -1
int ListRowCount(int choice);
int HighlightedListRow(int choice);   // the row its open list highlights, or kNoListRow
int CurrentListRow(int choice);       // the row "Current" holds: the one with the check mark
// Moves the highlight of the open list onto `row`, as the pointer over the row does.
void HighlightListRow(HWND window, int choice, int row);
// Picks `row` of the open list of `choice`, as a click on the row does, and closes it.
void PickListRow(HWND window, int choice, int row);
// Closes whatever list is open, picking nothing.
void CloseLists(HWND window);

// Posted to the main window to pick a row of the open list (wParam the choice, lParam the row):
// how an assistive technology's default action on a row is carried out.
constexpr UINT kPickRowMessage = WM_APP + 1;

// The whole program: start-up, message loop, exit code.
int RunSettingsWindow(HINSTANCE moduleInstance, int showCommand);
