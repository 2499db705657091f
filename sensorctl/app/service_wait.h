#pragma once
// Control 200 is answered by the service before the control call returns, and a slow service
// may take seconds. The call is therefore made on a worker thread while the window thread keeps
// the window alive: it paints, shows the wait cursor, says after a moment that it is waiting for
// the sensor service, and ignores whatever would write again meanwhile. A close asked for then
// waits for the answer; a drag under way ends.

#include <windows.h>

// True from the moment control 200 is handed to the worker until the service has answered.
extern bool waitingForService;

// Set when the window is asked to close (WM_CLOSE) during the wait: the close is posted again
// once the service has answered, so it is carried out after "Current" has been read back.
extern bool closeAskedDuringWait;

// The timer that shows the waiting line once the wait has lasted about a second.
constexpr UINT_PTR kWaitingLineTimer = 1;
constexpr UINT kWaitingLineDelayMs = 1000;

// Sends `code` with SendSensorControl on a worker thread and returns once it has returned,
// running the window's messages meanwhile (input that would act is dropped). Without a worker
// thread the code is sent on this thread, as before. Returns 0.
int SendControlWhileWindowWaits(DWORD code);

// The main window's handlers for the wait: WM_TIMER of kWaitingLineTimer, and WM_SETCURSOR.
void OnWaitingLineTimer(HWND window);
bool SetWaitCursorIfWaiting();
