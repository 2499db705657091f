#include "sensorctl/app/main_window.h"

#include <windowsx.h>

#include <cwchar>

#include "sensorctl/app/accessible.h"
#include "sensorctl/app/controls.h"
#include "sensorctl/app/keyboard.h"
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/list_geometry.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/app/service_wait.h"
#include "sensorctl/app/widget_layout.h"
#include "sensorctl/app/window_dpi.h"
#include "sensorctl/app/window_rules.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/resource.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "sensorctl/settings/settings_registry.h"
#include "shared/win_handles.h"

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
int rightToLeft = 0;
wchar_t windowTitle[kTextBufferSize] = {};
wchar_t windowClassName[kTextBufferSize] = {};

namespace {

// Colours of the native list boxes (never shown in normal use).
constexpr COLORREF kListGrey = 0x6B6968;      // background, unselected items, selected text
constexpr COLORREF kListYellow = 0x01EAFF;    // selected item
constexpr COLORREF kListTextWhite = 0xFFFFFF;  // text of unselected items and of the lists

// The list brushes are made once and kept until the window goes; handing out a new brush for
// every WM_CTLCOLORLISTBOX or item drawn would leak a GDI object each time.
UniqueGdiObject listGreyBrush;
UniqueGdiObject listYellowBrush;

HBRUSH ListBrush(UniqueGdiObject& brush, COLORREF colour) {
  if (!brush) brush.Reset(CreateSolidBrush(colour));
  return static_cast<HBRUSH>(brush.Get());
}

// Mouse state of the main window, in client units. A drag runs from a press on the main window
// until the release or the loss of the capture (the wait for the service takes it away), so a
// move with the left button held that did not start there moves nothing.
int lastMouseX = 0;
int lastMouseY = 0;
POINT dragOrigin = {};
bool dragging = false;

bool WidgetsReady() { return renderer.widgets.items.size() >= static_cast<size_t>(kWidgetCount); }

// Only once WidgetsReady(): every caller below has checked it.
Widget& Drawn(int position) { return *WidgetAt(renderer.widgets, position); }

FrameBox RectOf(const Widget& widget) {
  return {widget.left, widget.top, widget.right, widget.bottom};
}

void InvalidateWhole(HWND window) { InvalidateRect(window, nullptr, TRUE); }

// A layered window shows nothing until its first frame is pushed: before that it cannot be seen
// or clicked, so a window that cannot draw would linger unseen and could not be closed. Such a
// window closes instead: at once when the renderer cannot make its device, for it has said why
// (a message box, during which more paints may come: only the outermost paint decides); and
// when a drawn frame could not be pushed (a GDI call or UpdateLayeredWindow failed), after
// kFirstFrameAttempts paints, saying so in the renderer's words.
bool framePushed = false;
int paintDepth = 0;
int unpushedFirstFrames = 0;

void PaintFrame(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  ++paintDepth;
  renderer.focusMark = FocusMarkBox();
  const bool device = framePushed || SUCCEEDED(EnsureDeviceResources());
  const int pushed = device ? RenderFrame(window, paint) : 0;
  --paintDepth;
  EndPaint(window, &paint);
  if (pushed) framePushed = true;
  if (framePushed || paintDepth != 0) return;
  if (device && ++unpushedFirstFrames < kFirstFrameAttempts) {
    InvalidateWhole(window);  // the next paint tries again
    return;
  }
  if (device) {
    ++paintDepth;  // paints during the box do not decide again
    MessageBoxW(nullptr, kFrameFailureText, nullptr, MB_OK);
    --paintDepth;
  }
  DestroyWindow(window);
}

int RowCount(int choice) { return choice == 0 ? kRangeRows : kDelayRows; }

void ShowChild(HWND child, int command) {
  if (child != nullptr) ShowWindow(child, command);
}

void HideNativeLists() {
  for (HWND list : controls.lists) ShowChild(list, SW_HIDE);
}

void EncodeRow(int choice, int row) {
  switch (choice) {
    case 0: SetRangeRow(workingBlock, row); break;
    case 1: SetOffDelayRow(workingBlock, row); break;
    default: SetOnDelayRow(workingBlock, row); break;
  }
}

int CheckMarkRow(int choice) {
  switch (choice) {
    case 0: return DecodeRangeIndex(currentBlock);
    case 1: return OffDelayCheckRow(currentBlock);
    default: return OnDelayCheckRow(currentBlock);
  }
}

// A picked row's text goes onto its drop-down button, drawn and real.
void ShowChoiceOnButton(int choice, const wchar_t* text) {
  CopyWidgetText(kWidgetRangeButton + choice, 0, text);
  HWND button = controls.buttons[kWidgetRangeButton + choice].window;
  if (button != nullptr) {
    SetWindowTextW(button, text);
    InvalidateRect(button, nullptr, TRUE);
  }
  NotifyWidget(EVENT_OBJECT_VALUECHANGE, kWidgetRangeButton + choice);
}

// The Apply widget's look, greyed out or not; assistive technologies hear of a change.
void SetApplyEnabled(int enabled) {
  Widget& apply = Drawn(kWidgetApply);
  if (apply.enabled == enabled) return;
  apply.enabled = enabled;
  NotifyWidget(EVENT_OBJECT_STATECHANGE, kWidgetApply);
}

bool AnyListOpen() {
  return Drawn(kWidgetRangeList).visible || Drawn(kWidgetOffDelayList).visible ||
         Drawn(kWidgetOnDelayList).visible;
}

// A list that closed, for assistive technologies: the list is gone, its drop-down collapsed,
// and a drop-down that holds the keyboard focus has it back from the list's rows.
void AnnounceListClosed(int choice) {
  if (choice < 0) return;
  NotifyWidget(EVENT_OBJECT_HIDE, kWidgetRangeList + choice);
  NotifyWidget(EVENT_OBJECT_STATECHANGE, kWidgetRangeButton + choice);
  HWND button = controls.buttons[kWidgetRangeButton + choice].window;
  if (button != nullptr && GetFocus() == button) NotifyAccessible(EVENT_OBJECT_FOCUS, button);
}

// The row highlight onto `row` of the open list of `choice`; the row takes the accessible focus
// when it was not highlighted before.
void MoveHighlight(int choice, int row) {
  const int before = HighlightedListRow(choice);
  const Widget& list = Drawn(kWidgetRangeList + choice);
  Widget& highlight = Drawn(kWidgetRowHighlight);
  const FrameBox moved = RowHighlightAt(RectOf(highlight), RectOf(list), row);
  highlight.top = moved.top;
  highlight.bottom = moved.bottom;
  highlight.visible = 1;
  CopyWidgetText(kWidgetRowHighlight, 0, list.text[row]);
  if (row != before) {
    NotifyWidget(EVENT_OBJECT_FOCUS, kWidgetRangeList + choice, ListRowChild(row));
  }
}

// A row picked: into the working block, onto the button, heard as the drop-down's new value
// and the list's selection.
void TakePick(int choice, int row) {
  EncodeRow(choice, row);
  wchar_t text[kTextBufferSize];
  ListRowText(controls.lists[choice], row, text);
  ShowChoiceOnButton(choice, text);
  NotifyWidget(EVENT_OBJECT_SELECTION, kWidgetRangeList + choice, ListRowChild(row));
}


ChildPlacement PlacementInMainWindow(HWND child) {
  RECT box = {};
  GetWindowRect(child, &box);
  MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&box), 2);
  return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

// A click on a row of an open list must reach the main window however the pointer got there: a
// pointer that jumps onto the row (a fast hand, a tap) moves over no part of the main window
// first. So the button windows that the list lies over, other than its own button (which closes
// it), are hidden from the moment it opens, and given back when it closes.
void HideWindowsUnderList(int choice) {
  const FrameBox listRect = RectOf(Drawn(kWidgetRangeList + choice));
  for (int position = kWidgetOk; position <= kWidgetOnDelayButton; ++position) {
    SubclassedButton& button = controls.buttons[position];
    if (position == kWidgetRangeButton + choice || button.window == nullptr ||
        button.underOpenList ||
        !ListCoversChild(listRect,
                         UnitPlacement(PlacementInMainWindow(button.window), renderer.dpi))) {
      continue;
    }
    button.underOpenList = true;
    button.showAfterList = (GetWindowLongPtrW(button.window, GWL_STYLE) & WS_VISIBLE) != 0;
    ShowWindow(button.window, SW_HIDE);
  }
}

// Shows what the closed list hid, as far as nothing else asked to hide it meanwhile.
void GiveBackWindowsUnderList() {
  for (int position = kWidgetOk; position <= kWidgetOnDelayButton; ++position) {
    SubclassedButton& button = controls.buttons[position];
    if (!button.underOpenList) continue;
    button.underOpenList = false;
    ShowButtonWindow(position, button.showAfterList);
    button.showAfterList = false;
  }
}

// After a release or a pick: no list, no highlight, no check mark.
void HideListsAndMarks(HWND window) {
  const int open = OpenListChoice();
  for (int position : {kWidgetRangeList, kWidgetOffDelayList, kWidgetOnDelayList,
                       kWidgetRowHighlight, kWidgetCheckMark}) {
    Drawn(position).visible = 0;
  }
  GiveBackWindowsUnderList();
  AnnounceListClosed(open);
  InvalidateWhole(window);
}

void CloseAllLists(HWND window) {
  const int open = OpenListChoice();
  HideNativeLists();
  for (int position : {kWidgetRangeList, kWidgetOffDelayList, kWidgetOnDelayList, kWidgetCheckMark}) {
    Drawn(position).visible = 0;
  }
  GiveBackWindowsUnderList();
  AnnounceListClosed(open);
  InvalidateWhole(window);
}

// Commands 210 to 212: open the choice's list with the check mark on the row "Current" holds,
// or close whatever is open when the list is already open or its button is disabled.
void OpenOrCloseList(HWND window, int choice) {
  if (!WidgetsReady()) return;
  Widget& list = Drawn(kWidgetRangeList + choice);
  if (list.visible || !Drawn(kWidgetRangeButton + choice).enabled) {
    CloseAllLists(window);
    return;
  }
  for (int other = 0; other < kChoiceCount; ++other) {
    if (other == choice) continue;
    ShowChild(controls.lists[other], SW_HIDE);
    Drawn(kWidgetRangeList + other).visible = 0;
  }
  GiveBackWindowsUnderList();  // of another list that was open
  list.visible = 1;
  HideWindowsUnderList(choice);
  const FrameBox mark = CheckMarkAt(RectOf(list), CheckMarkRow(choice), rightToLeft != 0);
  Widget& checkMark = Drawn(kWidgetCheckMark);
  checkMark.left = mark.left;
  checkMark.top = mark.top;
  checkMark.right = mark.right;
  checkMark.bottom = mark.bottom;
  checkMark.visible = 1;
  NotifyWidget(EVENT_OBJECT_STATECHANGE, kWidgetRangeButton + choice);
  NotifyWidget(EVENT_OBJECT_SHOW, kWidgetRangeList + choice);
  InvalidateWhole(window);
}

// The check box has already toggled itself when it reports the click.
void OnCheckBoxToggled(HWND window) {
  if (!WidgetsReady()) return;
  const bool ticked = controls.checkBox != nullptr &&
                      SendMessageW(controls.checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
  ShowSensorState(!ticked, true);
  NotifyWidget(EVENT_OBJECT_STATECHANGE, kWidgetDisableCheckBox);
  // Takes effect at once, with any pick not applied yet; Apply keeps its state.
  SetSensorEnabled(workingBlock, !ticked);
  WriteNewSettings();
  InvalidateWhole(window);
}

// LBN_SELCHANGE of a native list: the same as picking the row with the mouse.
void OnNativeListSelection(HWND window, int choice) {
  if (!WidgetsReady()) return;
  HWND list = controls.lists[choice];
  if (list == nullptr) return;
  const LRESULT selection = SendMessageW(list, LB_GETCURSEL, 0, 0);
  const int row = selection == LB_ERR ? kNoListRow : static_cast<int>(selection);
  wchar_t text[kTextBufferSize];
  ListRowText(list, row, text);
  ShowChoiceOnButton(choice, text);
  if (row >= 0 && row < RowCount(choice)) EncodeRow(choice, row);
  ShowWindow(list, SW_HIDE);
  const bool wasOpen = Drawn(kWidgetRangeList + choice).visible != 0;
  Drawn(kWidgetRangeList + choice).visible = 0;
  if (!AnyListOpen()) GiveBackWindowsUnderList();
  if (wasOpen) AnnounceListClosed(choice);
  SetApplyEnabled(1);
  InvalidateWhole(window);
}

void OnDrawItem(const DRAWITEMSTRUCT& item) {
  SetBkMode(item.hDC, TRANSPARENT);
  if (item.CtlType != ODT_LISTBOX) return;
  if (item.itemAction != ODA_DRAWENTIRE && item.itemAction != ODA_SELECT) return;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  RECT box = item.rcItem;
  FillRect(item.hDC, &box,
           selected ? ListBrush(listYellowBrush, kListYellow) : ListBrush(listGreyBrush, kListGrey));
  SetTextColor(item.hDC, selected ? kListGrey : kListTextWhite);
  wchar_t text[kTextBufferSize];
  ListRowText(item.hwndItem, static_cast<int>(item.itemID), text);
  DrawTextW(item.hDC, text, -1, &box, 0);
}

void OnMouseMove(HWND window, WPARAM keys, int x, int y) {
  if (!WidgetsReady()) return;
  lastMouseX = ClientUnits(x);  // the lists are hit in frame units, the drag in pixels
  lastMouseY = ClientUnits(y);
  bool overList = false;

  if (!AnyListOpen()) {
    for (int position = kWidgetRangeButton; position <= kWidgetOnDelayButton; ++position) {
      ShowButtonWindow(position, true);
    }
    ShowButtonWindow(kWidgetCancel, true);
    Drawn(kWidgetRowHighlight).visible = 0;
    Drawn(kWidgetCheckMark).visible = 0;
  }

  // The windows under an open list were hidden when it opened (HideWindowsUnderList).
  for (int choice = 0; choice < kChoiceCount; ++choice) {
    const Widget& list = Drawn(kWidgetRangeList + choice);
    const FrameBox listRect = RectOf(list);
    if (!list.visible || !ListContains(listRect, lastMouseX, lastMouseY)) continue;
    overList = true;
    const int row = HitListRow(listRect, RowCount(choice), lastMouseX, lastMouseY);
    if (row == kNoListRow) {
      Drawn(kWidgetRowHighlight).visible = 0;
      continue;
    }
    MoveHighlight(choice, row);
  }

  if (dragging && IsDragMove(keys)) {
    // The cursor stays on the same client point after the move, so the origin stays too.
    RECT frame = {};
    GetWindowRect(window, &frame);
    MoveWindow(window, frame.left + (x - dragOrigin.x), frame.top + (y - dragOrigin.y),
               frame.right - frame.left, frame.bottom - frame.top, FALSE);
  } else if (overList) {
    InvalidateWhole(window);
  }
}

void OnLeftButtonDown(HWND window, int x, int y) {
  dragOrigin = {x, y};
  dragging = true;
  HideNativeLists();
  if (WidgetsReady()) {
    Drawn(kWidgetRowHighlight).visible = 0;
    Drawn(kWidgetCheckMark).visible = 0;
    InvalidateWhole(window);
  }
  SetCapture(window);
}

// The pick is decided by where the last mouse move was reported, not by this message.
void OnLeftButtonUp(HWND window, int x, int y) {
  dragOrigin = {x, y};
  dragging = false;
  ReleaseCapture();
  if (!WidgetsReady()) return;
  for (int choice = 0; choice < kChoiceCount; ++choice) {
    const Widget& list = Drawn(kWidgetRangeList + choice);
    const FrameBox listRect = RectOf(list);
    if (!list.visible || !ListContains(listRect, lastMouseX, lastMouseY)) continue;
    const int row = HitListRow(listRect, RowCount(choice), lastMouseX, lastMouseY);
    if (row != kNoListRow) TakePick(choice, row);
    SetApplyEnabled(1);
    InvalidateWhole(window);
  }
  HideListsAndMarks(window);
}

}  // namespace

int OpenListChoice() {
  if (!WidgetsReady()) return -1;
  for (int choice = 0; choice < kChoiceCount; ++choice) {
    if (Drawn(kWidgetRangeList + choice).visible) return choice;
  }
  return -1;
}

int ListRowCount(int choice) { return RowCount(choice); }

int HighlightedListRow(int choice) {
  if (!WidgetsReady() || choice < 0 || choice >= kChoiceCount) return kNoListRow;
  const Widget& list = Drawn(kWidgetRangeList + choice);
  const Widget& highlight = Drawn(kWidgetRowHighlight);
  if (!list.visible || !highlight.visible) return kNoListRow;
  return HighlightedRow(RectOf(list), RowCount(choice), RectOf(highlight));
}

int CurrentListRow(int choice) { return CheckMarkRow(choice); }

void HighlightListRow(HWND window, int choice, int row) {
  if (OpenListChoice() != choice || row < 0 || row >= RowCount(choice)) return;
  MoveHighlight(choice, row);
  InvalidateWhole(window);
}

void PickListRow(HWND window, int choice, int row) {
  if (OpenListChoice() != choice) return;
  if (row >= 0 && row < RowCount(choice)) TakePick(choice, row);
  SetApplyEnabled(1);
  HideListsAndMarks(window);
}

void CloseLists(HWND window) {
  if (!WidgetsReady()) return;
  CloseAllLists(window);
  Drawn(kWidgetRowHighlight).visible = 0;
}

int RunCommand(int commandId, HWND window) {
  switch (commandId) {
    case IDC_CLOSE_AREA:
    case IDC_CANCEL:
      DestroyWindow(window);
      break;
    case IDC_MINIMIZE_AREA:
      PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case IDC_OK:
      WriteNewSettings();
      DestroyWindow(window);
      break;
    case IDC_APPLY:
      // Runs whatever the Apply widget shows: its flag only governs the look. An open list
      // closes first, as on any click outside it.
      if (WidgetsReady() && AnyListOpen()) CloseAllLists(window);
      WriteNewSettings();
      if (WidgetsReady()) SetApplyEnabled(0);
      InvalidateWhole(window);
      break;
    case IDC_RANGE_BUTTON:
    case IDC_OFF_DELAY_BUTTON:
    case IDC_ON_DELAY_BUTTON:
      OpenOrCloseList(window, commandId - IDC_RANGE_BUTTON);
      break;
    default:
      break;
  }
  return 1;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      renderer.instance = instance;
      SetRenderDpi(ReadWindowDpi(window));  // before the child windows are placed
      CreateFactories(window);  // a failure has shown its own message; the window still opens
      mainWindow = window;
      framePushed = false;
      unpushedFirstFrames = 0;
      ResetFocusCues();
      sendControlToService = &SendControlWhileWindowWaits;
      // The controls edit a copy of what the service uses now.
      ReadCurrentSettings();
      workingBlock = currentBlock;
      if (BuildControls(currentBlock, LoadControlTexts(instance)) == 0) {
        MessageBoxW(window, L"Control Creation Error", L"D2DWindow", MB_OK);
      }
      return 0;
    case WM_DESTROY:
      DiscardDeviceResources();
      ReleaseFactories();
      listGreyBrush.Reset();
      listYellowBrush.Reset();
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      InvalidateWhole(window);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(window, wParam, lParam);
      return 0;
    case WM_PAINT:
      PaintFrame(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DRAWITEM:
      if (lParam != 0) OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      // While the service takes up a write, no command may write again or close the window;
      // clicks and keys are dropped then, and this catches commands sent from elsewhere.
      if (waitingForService) return 0;
      const int command = LOWORD(wParam);
      const int notification = HIWORD(wParam);
      if (command >= kFirstRunCommand && command <= kLastRunCommand) RunCommand(command, window);
      if (command == IDC_DISABLE_CHECKBOX) {
        OnCheckBoxToggled(window);
      } else if (command >= IDC_RANGE_LIST && command <= IDC_ON_DELAY_LIST &&
                 notification == LBN_SELCHANGE) {
        OnNativeListSelection(window, command - IDC_RANGE_LIST);
      }
      return 0;
    }
    case WM_CLOSE:
      if (waitingForService) {
        closeAskedDuringWait = true;  // carried out once the service has answered
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_GETOBJECT: {
      const LRESULT object = AnswerGetObject(window, wParam, lParam);
      return object != 0 ? object : DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (!waitingForService) OnWindowKey(window, message, wParam);
      return 0;
    case WM_UPDATEUISTATE:
      OnUpdateUiState(window, wParam);
      return DefWindowProcW(window, message, wParam, lParam);
    case kPickRowMessage:
      if (!waitingForService) {
        PickListRow(window, static_cast<int>(wParam), static_cast<int>(lParam));
      }
      return 0;
    case WM_CAPTURECHANGED:
      dragging = false;
      return 0;
    case WM_TIMER:
      if (wParam == kWaitingLineTimer) {
        // The waiting line runs across the lists' place: a list left open (the check box
        // toggled under it) closes.
        if (waitingForService && WidgetsReady() && AnyListOpen()) CloseAllLists(window);
        OnWaitingLineTimer(window);
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETCURSOR:
      if (SetWaitCursorIfWaiting()) return TRUE;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kListTextWhite);
      SetBkColor(dc, kListGrey);
      return reinterpret_cast<LRESULT>(ListBrush(listGreyBrush, kListGrey));
    }
    case WM_MOUSEMOVE:
      OnMouseMove(window, wParam, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONUP:
      OnLeftButtonUp(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

ATOM RegisterMainWindowClass(HINSTANCE moduleInstance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &MainWindowProc;
  windowClass.hInstance = moduleInstance;
  // The program's one icon group serves as the large and the small class icon.
  windowClass.hIcon = LoadIconW(moduleInstance, MAKEINTRESOURCEW(IDI_SENSORCTL));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(moduleInstance, MAKEINTRESOURCEW(IDI_SENSORCTL), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  HBRUSH background = CreateSolidBrush(RGB(0, 0, 0));
  windowClass.hbrBackground = background;
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_ACCELERATORS);  // no such menu: none shown
  windowClass.lpszClassName = windowClassName;
  const ATOM atom = RegisterClassExW(&windowClass);
  // A registered class frees its brush when it is unregistered; an unregistered one cannot.
  if (atom == 0 && background != nullptr) DeleteObject(background);
  return atom;
}

int CreateMainWindow(HINSTANCE moduleInstance, int showCommand) {
  instance = moduleInstance;
  HWND window = CreateWindowExW(WS_EX_LAYERED, windowClassName, windowTitle,
                                WS_POPUP | WS_MINIMIZEBOX, CW_USEDEFAULT, 0, kMainWindowWidth,
                                kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  RECT desktop = {};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const WindowSize size = MainWindowSize(renderer.dpi);
  const WindowOrigin origin = CentredWindowOrigin(desktop.right, desktop.bottom, size.width,
                                                  size.height);
  SetWindowPos(window, nullptr, origin.x, origin.y, size.width, size.height, 0);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  // A first frame from the message queue as well.
  PostMessageW(window, WM_PAINT, 0, 0);
  return 1;
}

int RunSettingsWindow(HINSTANCE moduleInstance, int showCommand) {
  windowTitle[0] = L'\0';
  LoadStringW(moduleInstance, kStringTitle, windowTitle, kTextBufferSize);
  std::wcsncpy(windowClassName, L"ZQ Proximity Sensor Utility", kTextBufferSize - 1);

  // One window at a time: a second start leaves silently and tells the first nothing.
  if (FindWindowW(windowClassName, nullptr) != nullptr) return 0;

  RegisterMainWindowClass(moduleInstance);
  if (FAILED(CoInitialize(nullptr))) return 0;

  rightToLeft = IsRightToLeftLanguage(GetUserDefaultUILanguage()) ? 1 : 0;
  renderer.rightToLeft = rightToLeft;

  if (CreateMainWindow(moduleInstance, showCommand) == 0) {
    CoUninitialize();
    return 0;
  }

  HACCEL accelerators = LoadAcceleratorsW(moduleInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG message = {};
  // GetMessageW gives -1 on failure; only a positive answer carries a message.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (accelerators == nullptr || !TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  CoUninitialize();
  return static_cast<int>(message.wParam);
}
