#include "sensorctl/app/keyboard.h"

#include "sensorctl/app/accessible.h"
#include "sensorctl/app/controls.h"
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/list_geometry.h"
#include "sensorctl/app/main_window.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/app/widget_layout.h"
#include "sensorctl/render/renderer.h"

namespace {

bool focusCues = false;
// The space bar that picked a row: its release must not reach the button as a click.
bool spacePicked = false;

// A control the focus may move to: a shown window whose widget is not greyed out. The lists
// take no focus; their rows are reached from their button.
bool IsTabStop(int control) {
  const AccessibleControl& row = kAccessibleControls[control];
  if (row.role == ROLE_SYSTEM_LIST) return false;
  HWND window = AccessibleControlWindow(control);
  const Widget* widget = WidgetAt(renderer.widgets, row.widget);
  return window != nullptr && widget != nullptr && widget->enabled &&
         IsWindowVisible(window) && IsWindowEnabled(window);
}

HWND NextTabStop(HWND from, bool backwards) {
  int order[kAccessibleControlCount];
  AccessibleReadingOrder(rightToLeft != 0, order);
  const int current = AccessibleControlOfWindow(from);
  int at = -1;
  for (int k = 0; k < kAccessibleControlCount; ++k) {
    if (order[k] == current) at = k;
  }
  // From the window itself (no control focused yet) Tab goes to the first, Shift+Tab the last.
  if (at < 0) at = backwards ? kAccessibleControlCount : -1;
  for (int step = 1; step <= kAccessibleControlCount; ++step) {
    const int k = ((at + (backwards ? -step : step)) % kAccessibleControlCount +
                   kAccessibleControlCount) % kAccessibleControlCount;
    if (IsTabStop(order[k])) return AccessibleControlWindow(order[k]);
  }
  return nullptr;
}

void ShowFocusCues() {
  if (focusCues) return;
  focusCues = true;
  // The controls learn it the way the system tells them; the frame is drawn again.
  SendMessageW(mainWindow, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  InvalidateRect(mainWindow, nullptr, TRUE);
}

// Up, Down, Home, End in the open list of `choice`: the row to highlight next.
int MovedRow(int choice, WPARAM key) {
  const int rows = ListRowCount(choice);
  const int row = HighlightedListRow(choice);
  switch (key) {
    case VK_HOME: return 0;
    case VK_END: return rows - 1;
    case VK_UP: return row == kNoListRow ? 0 : (row > 0 ? row - 1 : 0);
    default: return row == kNoListRow ? 0 : (row + 1 < rows ? row + 1 : rows - 1);
  }
}

bool OnKeyDown(HWND focus, WPARAM key) {
  const int open = OpenListChoice();
  switch (key) {
    case VK_TAB: {
      ShowFocusCues();
      if (open >= 0) CloseLists(mainWindow);
      HWND next = NextTabStop(focus, GetKeyState(VK_SHIFT) < 0);
      if (next != nullptr) SetFocus(next);
      return true;
    }
    case VK_ESCAPE:
      if (open < 0) return false;
      CloseLists(mainWindow);
      return true;
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
      if (open < 0) return false;
      ShowFocusCues();
      HighlightListRow(mainWindow, open, MovedRow(open, key));
      return true;
    case VK_SPACE: {
      if (open < 0) return false;
      const int row = HighlightedListRow(open);
      if (row == kNoListRow) {
        CloseLists(mainWindow);
      } else {
        PickListRow(mainWindow, open, row);
      }
      spacePicked = true;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

bool OnWindowKey(HWND focus, UINT message, WPARAM key) {
  if (renderer.widgets.items.size() < static_cast<size_t>(kWidgetCount)) return false;
  if (message == WM_KEYDOWN) return OnKeyDown(focus, key);
  if (message == WM_KEYUP && key == VK_SPACE && spacePicked) {
    spacePicked = false;
    return true;
  }
  return false;
}

void AfterControlKey(HWND focus, UINT message, WPARAM key) {
  if (message != WM_KEYUP || key != VK_SPACE) return;
  const int control = AccessibleControlOfWindow(focus);
  if (control < 0 || kAccessibleControls[control].role != ROLE_SYSTEM_COMBOBOX) return;
  const int choice = kAccessibleControls[control].widget - kWidgetRangeButton;
  if (OpenListChoice() != choice || HighlightedListRow(choice) != kNoListRow) return;
  const int current = CurrentListRow(choice);
  HighlightListRow(mainWindow, choice,
                   current >= 0 && current < ListRowCount(choice) ? current : 0);
}

void OnUpdateUiState(HWND window, WPARAM wParam) {
  if ((HIWORD(wParam) & UISF_HIDEFOCUS) == 0) return;
  if (LOWORD(wParam) == UIS_CLEAR) focusCues = true;
  if (LOWORD(wParam) == UIS_SET) focusCues = false;
  InvalidateRect(window, nullptr, TRUE);
}

void OnControlFocusChanged() {
  if (focusCues && mainWindow != nullptr) InvalidateRect(mainWindow, nullptr, TRUE);
}

void ResetFocusCues() {
  focusCues = false;
  spacePicked = false;
}

FrameBox FocusMarkBox() {
  // An open list takes the keys and shows its own highlight; a mark would lie across its edge.
  if (!focusCues || OpenListChoice() >= 0) return {};
  const int control = AccessibleControlOfWindow(GetFocus());
  if (control < 0 || !IsTabStop(control)) return {};
  const int position = kAccessibleControls[control].widget;
  const Widget* widget = WidgetAt(renderer.widgets, position);
  // Around what is drawn for the control: its widget, or for the title bar's hot spots (drawn
  // by the background) their windows.
  if (widget != nullptr && widget->visible) {
    return {widget->left, widget->top, widget->right, widget->bottom};
  }
  RECT box = {};
  HWND window = AccessibleControlWindow(control);
  GetWindowRect(window, &box);
  MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&box), 2);
  const ChildPlacement units = UnitPlacement(
      {box.left, box.top, box.right - box.left, box.bottom - box.top}, renderer.dpi);
  return {static_cast<float>(units.x), static_cast<float>(units.y),
          static_cast<float>(units.x + units.width), static_cast<float>(units.y + units.height)};
}
