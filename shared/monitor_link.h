#pragma once
// How other programs find and address a running appwatch monitor: the class of its window and
// the two messages it registers. The resource script names the class too, so that part is a
// #define.

#define ZQ_MONITOR_WINDOW_CLASS "APPWATCH"

#ifndef RC_INVOKED
constexpr wchar_t kMonitorWindowClass[] = L"" ZQ_MONITOR_WINDOW_CLASS;
constexpr wchar_t kWmiEventMessageName[] = L"WM_WMIEVENT";      // shows a message box
constexpr wchar_t kStopMonitorMessageName[] = L"WM_PRXCNTSTOP";  // ends the monitor
#endif
