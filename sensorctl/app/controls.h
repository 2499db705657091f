#pragma once
// The child windows of the settings window and the widgets drawn for them.

#include <windows.h>

#include "sensorctl/app/process_state.h"
#include "sensorctl/app/widget_layout.h"
#include "sensorctl/settings/settings_block.h"

// One subclassed push button: its window and the procedure it had before.
struct SubclassedButton {
  HWND window = nullptr;
  WNDPROC previous = nullptr;
  // Held hidden while the open drawn list lies over it, so that a click there reaches the main
  // window and picks a row; `showAfterList` says whether it is shown again when the list closes.
  bool underOpenList = false;
  bool showAfterList = false;
};

// Child windows, kept for the window procedure. Buttons are indexed by the position of their
// widget (1 OK, 2 Cancel, 3 Apply, 4 close area, 5 minimise area, 6 to 8 the drop-down buttons);
// entry 0 stays empty.
struct ControlWindows {
  SubclassedButton buttons[9];
  HWND lists[3] = {};  // native list boxes 230, 231, 232 (never shown; they hold the row texts)
  HWND checkBox = nullptr;
  // The procedures the check box and the lists had before AccessibleChildProc: it answers
  // assistive technologies for them, and takes the window's keys on the check box.
  WNDPROC checkBoxPrevious = nullptr;
  WNDPROC listPrevious[3] = {};
};

extern ControlWindows controls;

// Rows offered by the three drop-down lists.
constexpr int kRangeRows = 2;
constexpr int kDelayRows = 3;

// Creates the child windows of mainWindow with `texts`, fills the widget list and sets every
// control from `current` (what "Current" held when the window opened). Returns 1, or 0 when a
// child window could not be created (the others are made all the same).
int BuildControls(const SettingsBlock& current, const ControlTexts& texts);

LRESULT CALLBACK ButtonSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK AccessibleChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Helpers shared with the window procedure.
HRSRC WidgetImage(const wchar_t* name);                       // an "IMAGE" resource of the program
void ChangeWidgetImage(int position, const wchar_t* imageName);  // drops the cached bitmap too
// Shows or hides the window of the button at `position`. A window that the open list lies over
// stays hidden, and takes the decision when the list closes.
void ShowButtonWindow(int position, bool show);
// The check box widget and the drop-down buttons for the sensor's state: while it is disabled
// the box is ticked and the buttons are disabled and their windows hidden. The window of the
// delay-until-on button is shown with the others only when `showOnDelayWindow` is set (a toggle
// of the check box shows all three; building the controls keeps that one hidden).
void ShowSensorState(bool sensorEnabled, bool showOnDelayWindow);
void CopyWidgetText(int position, int slot, const wchar_t* text);  // cut to the slot
// Gives a native list its rounded outline, 10 x 10 frame units at the corners.
void RoundNativeListCorners(HWND list);
// The text of a row of a native list box, or empty when there is no such row.
void ListRowText(HWND list, int row, wchar_t (&text)[kTextBufferSize]);
