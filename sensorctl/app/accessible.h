#pragma once
// The settings window as assistive technologies (screen readers, magnifiers, test tools) find
// it through Microsoft Active Accessibility and, by its proxies, UI Automation. The window is
// drawn as one bitmap, so the system's own accessible objects of its windows know only the
// child windows' texts and styles: "BUTTON4", a drop-down named after its choice, no labels.
// Each client object here wraps the system's one and says instead what the drawing shows:
// roles, names and values from kAccessibleControls, states from the widgets.

#include <windows.h>
#include <oleacc.h>

// Answers WM_GETOBJECT for the client object of the main window or of one of the controls'
// windows. Any other object (the window frame, a scroll bar, ...) gives 0: the caller hands the
// message on to the default procedure.
LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam);

// Child of the main window's client object: the line that says the window waits for the sensor
// service, present while it is drawn. (Children 1 to kAccessibleControlCount are the controls
// in reading order.)
LONG WaitingLineChild();

// A list row's child id in its list's object.
inline LONG ListRowChild(int row) { return row + 1; }

// The row of kAccessibleControls whose window is `window`, or -1.
int AccessibleControlOfWindow(HWND window);
// The window of a row of kAccessibleControls: the control's child window.
HWND AccessibleControlWindow(int control);

// Tells assistive technologies of a change of the drawing: NotifyWinEvent on the client object
// of `window`, or of one of its children.
void NotifyAccessible(DWORD event, HWND window, LONG child = CHILDID_SELF);
// The same for the window of the widget at `position` (drop-down buttons, lists, check box,
// buttons); nothing when it has no window.
void NotifyWidget(DWORD event, int position, LONG child = CHILDID_SELF);
