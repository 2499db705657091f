#include "appwatch/watcher.h"
#include "appwatch/appwatch_test_hooks.h"

#include <powrprof.h>

#include <cstdint>

#include "appwatch/monitor_log.h"
#include "appwatch/monitor_log_line.h"
#include "appwatch/monitor_state.h"
#include "appwatch/watch_step.h"
#include "shared/format_bounded.h"
#include "shared/service_link.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

static_assert(kDisplayRequiredBit == ES_DISPLAY_REQUIRED);

namespace {

constexpr int kWatcherStatusLineY = 220;

ExecutionStateSource executionStateSource = QuerySystemExecutionState;
DWORD pollPauseMilliseconds = kWatcherPollPauseMilliseconds;

// Every Start that begins a watcher gives it the next generation; only the watcher of the
// current generation may poll. A watcher stopped and superseded while it slept ends on waking.
std::atomic<uint32_t> watcherGeneration{0};

// Whether the current generation's thread was started and not asked to stop since.
bool currentWatcherRuns = false;

// A superseded watcher that had already begun a poll finishes it; the new one waits for that,
// so no two polls judge the same change.
SRWLOCK pollLock = SRWLOCK_INIT;

bool MayPoll(uint32_t generation) {
  return bWMIEventTrackFinished.load() == 0 && watcherGeneration.load() == generation;
}

void HandleChange(const WatchStep& step) {
  wchar_t text[kMonitorMessageCapacity];
  FormatBounded(text, kMonitorMessageCapacity, L"%s", AsWide(step.message));
  // Logged and drawn before the service is asked, so a change shows even when no code goes.
  ShowStatusLine(text, kWatcherStatusLineY);
  WriteMonitorLog(text);
  SendSensorControl(step.controlCode);
}

// Polls once, under the lock, unless this watcher is no longer wanted.
bool PollOnce(uint32_t generation, bool& lastDisplayRequired) {
  AcquireSRWLockExclusive(&pollLock);
  bool wanted = MayPoll(generation);
  if (wanted) {
    ULONG state = 0;
    bool polled = executionStateSource(&state);
    WatchStep step = NextWatchStep(lastDisplayRequired, polled, state);
    lastDisplayRequired = step.displayRequired;
    if (step.controlCode != 0) HandleChange(step);
  }
  ReleaseSRWLockExclusive(&pollLock);
  return wanted;
}

}  // namespace

bool QuerySystemExecutionState(ULONG* executionState) {
  return CallNtPowerInformation(SystemExecutionState, nullptr, 0, executionState,
                                sizeof *executionState) == 0;
}

void SetWatcherSeamForTests(ExecutionStateSource source, DWORD pauseMilliseconds) {
  executionStateSource = source != nullptr ? source : QuerySystemExecutionState;
  pollPauseMilliseconds = pauseMilliseconds;
}

DWORD WINAPI WatchExecutionState(LPVOID parameter) {
  const auto generation = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
  bool lastDisplayRequired = false;
  while (PollOnce(generation, lastDisplayRequired)) Sleep(pollPauseMilliseconds);
  return 0;
}

void ShowStatusLine(const wchar_t* text, int y) {
  HWND window = monitorWindow.load();
  if (window == nullptr) return;  // GetDC(nullptr) would draw on the screen itself
  WindowDC dc(window);
  if (!dc) return;
  TextOutW(dc.Get(), 0, y, text, lstrlenW(text));
}

void StartWatcher() {
  if (bWMIEventTrackFinished.load() == 0 && currentWatcherRuns) return;
  // The generation moves on before the flag clears, so a stopped watcher waking in between
  // already finds itself superseded.
  const uint32_t generation = watcherGeneration.fetch_add(1) + 1;
  bWMIEventTrackFinished.store(0);
  UniqueKernelHandle thread(CreateThread(nullptr, 0, WatchExecutionState,
                                         reinterpret_cast<LPVOID>(uintptr_t{generation}), 0,
                                         nullptr));
  // A thread that cannot start is not reported; the next Start tries again.
  currentWatcherRuns = static_cast<bool>(thread);
}

void StopWatcher() {
  bWMIEventTrackFinished.store(1);
  currentWatcherRuns = false;
}
