#include "appwatch/monitor_window.h"

#include "appwatch/monitor_config.h"
#include "appwatch/monitor_log.h"
#include "appwatch/monitor_log_line.h"
#include "appwatch/monitor_state.h"
#include "appwatch/resource.h"
#include "appwatch/watcher.h"
#include "shared/format_bounded.h"
#include "shared/service_link.h"

namespace {

constexpr int kCommandStatusLineY = 20;
constexpr int kClassNameCapacity = 100;

UINT WmiEventMessage() {
  static const UINT id = RegisterWindowMessageW(kWmiEventMessageName);
  return id;
}

UINT StopMonitorMessage() {
  static const UINT id = RegisterWindowMessageW(kStopMonitorMessageName);
  return id;
}

// The "WM_WMIEVENT" box. Only one is open at a time: a message box runs a message loop of its
// own inside the window procedure, so a box for every event would nest boxes without end.
bool wmiEventBoxOpen = false;
// An end asked for while the box is open: the box is closed first and the window destroyed
// once its loop has returned, so the quit message reaches the program's own loop (a box's loop
// may take it and let it go).
bool endAfterWmiEventBox = false;

BOOL CALLBACK CloseWmiEventBox(HWND window, LPARAM) {
  wchar_t className[16] = {};
  wchar_t title[16] = {};
  GetClassNameW(window, className, 16);
  GetWindowTextW(window, title, 16);
  if (wcscmp(className, L"#32770") == 0 && wcscmp(title, L"WMI Event") == 0) {
    PostMessageW(window, WM_COMMAND, IDOK, 0);
  }
  return TRUE;
}

void ShowWmiEventBox(HWND window) {
  if (wmiEventBoxOpen) return;
  wmiEventBoxOpen = true;
  // No owner: the window goes on receiving messages while the box is open.
  MessageBoxW(nullptr, L"WMI Event Received", L"WMI Event", MB_OK);
  wmiEventBoxOpen = false;
  if (endAfterWmiEventBox) DestroyWindow(window);
}

// "WM_PRXCNTSTOP" and Exit.
void EndMonitor(HWND window) {
  if (!wmiEventBoxOpen) {
    DestroyWindow(window);
    return;
  }
  endAfterWmiEventBox = true;
  EnumThreadWindows(GetCurrentThreadId(), CloseWmiEventBox, 0);
}

void ReportCommand(const wchar_t* format, unsigned value) {
  wchar_t text[kMonitorMessageCapacity];
  FormatBounded(text, kMonitorMessageCapacity, format, value);
  ShowStatusLine(text, kCommandStatusLineY);
  WriteMonitorLog(text);
}

void StartLaunchMonitor() {
  ReportCommand(L"ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=%x\n",
                bWMIEventTrackFinished.load());
  StartWatcher();
}

void StopLaunchMonitor() {
  if (bWMIEventTrackFinished.load() == 1) return;
  StopWatcher();
  ReportCommand(L"ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:bWMILaunchEventTrackFinished = %x\n", 1);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDM_EXIT:
      EndMonitor(window);
      return 0;
    case IDM_ABOUT:
      DialogBoxParamW(monitorInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutDlgProc, 0);
      return 0;
    case ID_PROXIMITYSENSOR_SUSPEND:
      SendSensorControl(kControlSuspendSensor);
      return 0;
    case ID_PROXIMITYSENSOR_RESUME:
      SendSensorControl(kControlResumeSensor);
      return 0;
    case ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:
      StartLaunchMonitor();
      return 0;
    case ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:
      StopLaunchMonitor();
      return 0;
    case ID_EVENTMONITOR_STARTAPPCLOSEMONITOR:
    case ID_EVENTMONITOR_STOPAPPCLOSEMONITOR:
      return 0;
    default:
      return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
  }
}

}  // namespace

LRESULT CALLBACK MonitorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WmiEventMessage()) ShowWmiEventBox(window);
  if (message == StopMonitorMessage()) EndMonitor(window);

  switch (message) {
    case WM_CREATE:
      monitorWindow.store(window);
      LoadMonitorConfig();
      StartWatcher();
      return 0;
    case WM_DESTROY:
      StopWatcher();
      FlushMonitorLog();  // lines kept while the log was held, if it is free by now
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

HWND CreateMonitorWindow(HINSTANCE instance, int showCommand) {
  wchar_t className[kClassNameCapacity] = {};
  LoadStringW(instance, IDC_APPWATCH, className, kClassNameCapacity);
  wchar_t title[kClassNameCapacity] = {};
  LoadStringW(instance, IDS_APP_TITLE, title, kClassNameCapacity);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MonitorWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPWATCH));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_APPWATCH);
  windowClass.lpszClassName = className;
  windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  RegisterClassExW(&windowClass);

  // The registered ids are needed from the first message on.
  WmiEventMessage();
  StopMonitorMessage();

  monitorInstance = instance;
  // Layered without attributes, so invisible until a debug value sets them; off screen above
  // and left of the origin; no taskbar button; above other windows.
  HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, className,
                                title, WS_POPUP | WS_CAPTION, -kMonitorWindowWidth,
                                -kMonitorWindowHeight, kMonitorWindowWidth, kMonitorWindowHeight,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  monitorWindow.store(window);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return window;
}

int RunMonitorMessageLoop(HINSTANCE instance) {
  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_APPWATCH));
  MSG message = {};
  // GetMessageW returns -1 on failure; that ends the loop rather than spinning on it.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
