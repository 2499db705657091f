#pragma once
// The settings window without a mouse. Tab and Shift+Tab move the focus between the controls in
// reading order; on a drop-down, the space bar opens its list, Up, Down, Home and End move the
// highlight, space picks the highlighted row and Esc closes the list without a pick. Every
// other key does what it did: a focused button takes the space bar as a push button does, Esc
// and Enter on the window do nothing. The control holding the focus shows a focus mark in the
// frame once the keyboard has been used, as standard controls show theirs.

#include <windows.h>

#include "sensorctl/render/widget_geometry.h"

// A key message (WM_KEYDOWN, WM_KEYUP) that reached `focus`, the main window or one of its
// controls: true when the window took it, and the control must not see it.
bool OnWindowKey(HWND focus, UINT message, WPARAM key);
// After a control handled a key itself: a drop-down that the space bar opened highlights the
// row "Current" holds, so that the focus stands in the list.
void AfterControlKey(HWND focus, UINT message, WPARAM key);

// WM_UPDATEUISTATE of the main window (before the default procedure hands it on), and the
// focus moving to or from a control: the focus mark follows.
void OnUpdateUiState(HWND window, WPARAM wParam);
void OnControlFocusChanged();
// A new window starts without focus cues, until the keyboard is used.
void ResetFocusCues();

// Where the frame draws the focus mark: around the control that holds the focus, while the cues
// are shown and no list is open; an empty box otherwise.
FrameBox FocusMarkBox();
