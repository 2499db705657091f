#include "sensorctl/app/service_wait.h"

#include "sensorctl/app/accessible.h"
#include "sensorctl/app/main_window.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/render/renderer.h"
#include "shared/service_link.h"
#include "shared/win_handles.h"

bool waitingForService = false;
bool closeAskedDuringWait = false;

namespace {

DWORD WINAPI SendOnWorker(void* code) {
  SendSensorControl(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(code)));
  return 0;
}

// Clicks and keys, on the window or its frame, and the clicks and picks an assistive technology
// posts: each could run a command (a second write, a close) while the first write is still with
// the service, or tick the check box without its command. Pointer moves still come through.
bool IsActingInput(UINT message) {
  return message == BM_CLICK || message == kPickRowMessage ||
         (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_LBUTTONDOWN && message <= WM_MOUSELAST) ||
         (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK);
}

void ShowWaitingLine(HWND window, bool shown) {
  const bool changed = renderer.waitingLineShown != (shown ? 1 : 0);
  renderer.waitingLineShown = shown ? 1 : 0;
  if (changed) {
    NotifyAccessible(shown ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, window, WaitingLineChild());
  }
  if (window != nullptr) InvalidateRect(window, nullptr, TRUE);
}

}  // namespace

int SendControlWhileWindowWaits(DWORD code) {
  UniqueKernelHandle worker(CreateThread(nullptr, 0, &SendOnWorker,
                                         reinterpret_cast<void*>(static_cast<UINT_PTR>(code)), 0,
                                         nullptr));
  if (!worker) return SendSensorControl(code);

  HWND window = mainWindow;
  waitingForService = true;
  closeAskedDuringWait = false;
  // Presses are dropped during the wait, so a drag must not outlive its start.
  if (window != nullptr && GetCapture() == window) ReleaseCapture();
  const HCURSOR previousCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (window != nullptr) SetTimer(window, kWaitingLineTimer, kWaitingLineDelayMs, nullptr);

  bool quitSeen = false;
  WPARAM quitCode = 0;
  HANDLE handles[] = {worker.Get()};
  for (;;) {
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) break;
    if (woken != WAIT_OBJECT_0 + 1) {  // the wait itself failed: wait without the window
      WaitForSingleObject(worker.Get(), INFINITE);
      break;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitSeen = true;
        quitCode = message.wParam;
        continue;
      }
      if (IsActingInput(message.message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  if (window != nullptr) KillTimer(window, kWaitingLineTimer);
  waitingForService = false;
  ShowWaitingLine(window, false);
  SetCursor(previousCursor);
  // Both come after what the caller does next (reading "Current" back): a close asked for
  // meanwhile, and a quit taken from the queue here, which belongs to the outer loop.
  if (closeAskedDuringWait && window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  closeAskedDuringWait = false;
  if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
  return 0;
}

void OnWaitingLineTimer(HWND window) {
  KillTimer(window, kWaitingLineTimer);
  if (waitingForService) ShowWaitingLine(window, true);
}

bool SetWaitCursorIfWaiting() {
  if (!waitingForService) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}
