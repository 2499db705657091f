#include "sensorctl/app/controls.h"

#include <cwchar>

#include "sensorctl/app/accessible.h"
#include "sensorctl/app/keyboard.h"
#include "sensorctl/app/list_geometry.h"
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/window_dpi.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/resource.h"
#include "shared/text16.h"

ControlWindows controls;

// A list row read into a text buffer fits a widget's text slot whole.
static_assert(kWidgetTextCapacity == kTextBufferSize, "a row text fits a widget text slot");

namespace {

HWND CreateChild(const wchar_t* className, const wchar_t* text, DWORD style,
                 const ChildPlacement& units, int id) {
  const ChildPlacement place = ChildPixels(units);
  return CreateWindowExW(0, className, text, style, place.x, place.y, place.width, place.height,
                         mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                         nullptr);
}

// Puts ButtonSubclassProc in front of a push button and remembers its own procedure.
void SubclassButton(int position, HWND window) {
  SubclassedButton& entry = controls.buttons[position];
  entry.window = window;
  if (window == nullptr) return;
  entry.previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonSubclassProc)));
}

// Puts AccessibleChildProc in front of a window that needs no ButtonSubclassProc.
WNDPROC SubclassForAccessibility(HWND window) {
  if (window == nullptr) return nullptr;
  return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AccessibleChildProc)));
}

// What every control window does before its own procedure: answer assistive technologies,
// take the window's keys, and let the focus mark follow the focus. Returns true, with `result`,
// when the message is answered.
bool HandleCommonControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result) {
  switch (message) {
    case WM_GETOBJECT:
      *result = AnswerGetObject(window, wParam, lParam);
      return *result != 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      *result = 0;
      return OnWindowKey(window, message, wParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      OnControlFocusChanged();
      return false;
    default:
      return false;
  }
}

HWND CreateList(const ChildPlacement& place, int id) {
  return CreateChild(L"LISTBOX", nullptr,
                     WS_CHILD | WS_CLIPSIBLINGS | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
                     place, id);
}

void AddListRow(HWND list, const std::u16string& text) {
  if (list == nullptr) return;
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AsWide(text.c_str())));
}

// The rounded outline of the delay lists: their client rectangle with 10 x 10 corners.
constexpr int kListCornerSize = 10;

void RoundListCorners(HWND list) {
  if (list == nullptr) return;
  RECT client = {};
  GetClientRect(list, &client);
  const int corner = PixelsFromUnits(kListCornerSize, renderer.dpi);
  HRGN region =
      CreateRoundRectRgn(client.left, client.top, client.right, client.bottom, corner, corner);
  if (region == nullptr) return;
  // On success the window owns the region; on failure it is still ours to free.
  if (SetWindowRgn(list, region, FALSE) == 0) DeleteObject(region);
}

Widget* ButtonWidget(int position) {
  return position >= 1 ? WidgetAt(renderer.widgets, position) : nullptr;  // 0: the background
}

bool IsDropDownButton(int position) {
  return position >= kWidgetRangeButton && position <= kWidgetOnDelayButton;
}

void RepaintAfterButtonChange(HWND button) {
  InvalidateRect(mainWindow, nullptr, TRUE);
  UpdateWindow(button);
}

}  // namespace

void RoundNativeListCorners(HWND list) { RoundListCorners(list); }

HRSRC WidgetImage(const wchar_t* name) { return FindWidgetImage(instance, name); }

void ShowSensorState(bool sensorEnabled, bool showOnDelayWindow) {
  SetSensorStateWidgets(renderer.widgets, sensorEnabled);
  for (int position = kWidgetRangeButton; position <= kWidgetOnDelayButton; ++position) {
    ShowButtonWindow(position,
                     sensorEnabled && (position != kWidgetOnDelayButton || showOnDelayWindow));
  }
}

void ShowButtonWindow(int position, bool show) {
  SubclassedButton& button = controls.buttons[position];
  if (button.window == nullptr) return;
  if (button.underOpenList) {
    button.showAfterList = show;
    return;
  }
  ShowWindow(button.window, show ? SW_SHOW : SW_HIDE);
}

void ChangeWidgetImage(int position, const wchar_t* imageName) {
  Widget* widget = WidgetAt(renderer.widgets, position);
  if (widget != nullptr) SetWidgetImage(*widget, WidgetImage(imageName));
}

void CopyWidgetText(int position, int slot, const wchar_t* text) {
  Widget* widget = WidgetAt(renderer.widgets, position);
  if (widget != nullptr) SetWidgetText(*widget, slot, text);
}

void ListRowText(HWND list, int row, wchar_t (&text)[kTextBufferSize]) {
  std::wmemset(text, L'\0', kTextBufferSize);
  if (list == nullptr || row < 0) return;
  // LB_GETTEXT knows no buffer size: make sure the row fits before fetching it.
  LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length == LB_ERR || length < 0 || length >= kTextBufferSize) return;
  if (SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text)) ==
      LB_ERR) {
    text[0] = L'\0';
  }
}

int BuildControls(const SettingsBlock& current, const ControlTexts& texts) {
  // 1. Layout values and the module the painter loads the images from.
  const FrameMetrics metrics;  // 566 x 460, title bar 32, margin 24
  SetLayoutMetrics(metrics);
  renderer.widgets.module = instance;
  const ControlLayout layout = ComputeControlLayout(metrics, rightToLeft != 0);

  // 2. The drawn widgets.
  BuildWidgetList(renderer.widgets, layout, texts, current);

  // 3. OK, Cancel, Apply.
  struct PushButton {
    const std::u16string& caption;
    int command;
    int position;
    const ChildPlacement& place;
  };
  const PushButton pushButtons[] = {
      {texts.ok, IDC_OK, kWidgetOk, layout.okWindow},
      {texts.cancel, IDC_CANCEL, kWidgetCancel, layout.cancelWindow},
      {texts.apply, IDC_APPLY, kWidgetApply, layout.applyWindow},
  };
  for (const PushButton& button : pushButtons) {
    HWND window = CreateChild(L"BUTTON", AsWide(button.caption.c_str()),
                              WS_CHILD | WS_CLIPSIBLINGS, button.place, button.command);
    SubclassButton(button.position, window);
    if (window != nullptr) ShowWindow(window, SW_SHOW);
  }

  // 4. Close and minimise areas over the glyphs of the title bar.
  const DWORD areaStyle = WS_CHILD | WS_CLIPSIBLINGS | BS_OWNERDRAW;
  HWND closeArea =
      CreateChild(L"BUTTON", L"BUTTON4", areaStyle, layout.closeWindow, IDC_CLOSE_AREA);
  SubclassButton(kWidgetCloseArea, closeArea);
  HWND minimizeArea =
      CreateChild(L"BUTTON", L"BUTTON5", areaStyle, layout.minimizeWindow, IDC_MINIMIZE_AREA);
  SubclassButton(kWidgetMinimizeArea, minimizeArea);
  if (closeArea != nullptr) ShowWindow(closeArea, SW_SHOW);
  if (minimizeArea != nullptr) ShowWindow(minimizeArea, SW_SHOW);

  // 5 to 7. The three drop-down buttons, each followed by its hidden native list, which holds
  // the row texts.
  const ChoiceWords& words = texts.words;
  struct DropDown {
    std::u16string (*buttonText)(const SettingsBlock&, const ChoiceWords&);
    int command;
    int position;
    const ChildPlacement& buttonPlace;
    int listId;
    const ChildPlacement& listPlace;
    int rows;
    std::u16string (*rowText)(int, const ChoiceWords&);
    bool rounded;
  };
  const DropDown dropDowns[] = {
      {&RangeText, IDC_RANGE_BUTTON, kWidgetRangeButton, layout.rangeButtonWindow,
       IDC_RANGE_LIST, layout.rangeListWindow, kRangeRows, &RangeRowText, false},
      {&OffDelayText, IDC_OFF_DELAY_BUTTON, kWidgetOffDelayButton, layout.offDelayButtonWindow,
       IDC_OFF_DELAY_LIST, layout.offDelayListWindow, kDelayRows, &OffDelayRowText, true},
      {&OnDelayText, IDC_ON_DELAY_BUTTON, kWidgetOnDelayButton, layout.onDelayButtonWindow,
       IDC_ON_DELAY_LIST, layout.onDelayListWindow, kDelayRows, &OnDelayRowText, true},
  };
  for (int choice = 0; choice < kChoiceCount; ++choice) {
    const DropDown& dropDown = dropDowns[choice];
    const std::u16string text = dropDown.buttonText(current, words);
    HWND window = CreateChild(L"BUTTON", AsWide(text.c_str()), WS_CHILD | WS_CLIPSIBLINGS,
                              dropDown.buttonPlace, dropDown.command);
    SubclassButton(dropDown.position, window);
    // The delay-until-on choice is built in full but never offered.
    const bool offered = dropDown.position != kWidgetOnDelayButton;
    if (window != nullptr) ShowWindow(window, offered ? SW_SHOW : SW_HIDE);

    HWND list = CreateList(dropDown.listPlace, dropDown.listId);
    controls.lists[choice] = list;
    controls.listPrevious[choice] = SubclassForAccessibility(list);
    for (int row = 0; row < dropDown.rows; ++row) AddListRow(list, dropDown.rowText(row, words));
    if (dropDown.rounded) RoundListCorners(list);
  }

  // 8. The check box: a real one, never seen, that toggles itself on a click.
  controls.checkBox = CreateChild(L"BUTTON", AsWide(texts.disableSensor.c_str()),
                                  WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, layout.checkBoxWindow,
                                  IDC_DISABLE_CHECKBOX);
  controls.checkBoxPrevious = SubclassForAccessibility(controls.checkBox);

  // 9. Check box and drop-downs from bit 0 of "Current".
  const bool sensorEnabled = SensorEnabled(current);
  if (controls.checkBox != nullptr) {
    SendMessageW(controls.checkBox, BM_SETCHECK, sensorEnabled ? BST_UNCHECKED : BST_CHECKED, 0);
  }
  ShowSensorState(sensorEnabled, false);

  // A child window missing (USER out of handles, say) leaves a control that cannot be clicked.
  for (int position = kWidgetOk; position <= kWidgetOnDelayButton; ++position) {
    if (controls.buttons[position].window == nullptr) return 0;
  }
  for (HWND list : controls.lists) {
    if (list == nullptr) return 0;
  }
  return controls.checkBox != nullptr ? 1 : 0;
}

LRESULT CALLBACK ButtonSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  int position = 0;
  for (int i = 1; i <= kWidgetOnDelayButton; ++i) {
    if (controls.buttons[i].window == window) {
      position = i;
      break;
    }
  }
  if (position == 0 || controls.buttons[position].previous == nullptr) return 0;
  const WNDPROC previous = controls.buttons[position].previous;
  Widget* widget = ButtonWidget(position);
  if (widget == nullptr) return CallWindowProcW(previous, window, message, wParam, lParam);

  LRESULT answered = 0;
  if (HandleCommonControlMessage(window, message, wParam, lParam, &answered)) return answered;
  switch (message) {
    case WM_PAINT: {
      // The button is never seen: the frame shows its widget instead.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      break;
    }
    case WM_ERASEBKGND:
      return 0;
    case WM_MOUSEMOVE:
      if (widget->enabled && !widget->pressed && !widget->hovered) {
        widget->hovered = 1;
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = window;
        TrackMouseEvent(&track);
        InvalidateRect(mainWindow, nullptr, TRUE);
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      if (widget->enabled) {
        const bool down = message == WM_LBUTTONDOWN;
        widget->pressed = down ? 1 : 0;
        widget->hovered = 0;
        if (IsDropDownButton(position)) {
          ChangeWidgetImage(position,
                            down ? kImageChoiceButtonHover.name : kImageChoiceButton.name);
        }
        RepaintAfterButtonChange(window);
      }
      break;
    case WM_LBUTTONDBLCLK:
      widget->pressed = 1;
      widget->hovered = 0;
      RepaintAfterButtonChange(window);
      break;
    case WM_MOUSELEAVE:
      if (widget->enabled) {
        widget->hovered = 0;
        RepaintAfterButtonChange(window);
      }
      break;
    default:
      break;
  }
  const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
  AfterControlKey(window, message, wParam);
  return result;
}

LRESULT CALLBACK AccessibleChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = window == controls.checkBox ? controls.checkBoxPrevious : nullptr;
  for (int choice = 0; choice < kChoiceCount && previous == nullptr; ++choice) {
    if (window == controls.lists[choice]) previous = controls.listPrevious[choice];
  }
  if (previous == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  LRESULT answered = 0;
  if (HandleCommonControlMessage(window, message, wParam, lParam, &answered)) return answered;
  return CallWindowProcW(previous, window, message, wParam, lParam);
}
