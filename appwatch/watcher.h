#pragma once
// The execution-state watcher: a thread that asks Windows every 2 seconds whether some
// application keeps the display on, and suspends the sensor while it does.

#include <windows.h>

// The pause between two polls of a running watcher; it polls once as soon as it starts.
constexpr DWORD kWatcherPollPauseMilliseconds = 2000;

// Where a watcher learns the system execution state; false when the question failed.
using ExecutionStateSource = bool (*)(ULONG* executionState);

// The real source: CallNtPowerInformation(SystemExecutionState).
bool QuerySystemExecutionState(ULONG* executionState);

// The thread procedure. Its parameter is the watcher's generation (see StartWatcher).
DWORD WINAPI WatchExecutionState(LPVOID parameter);

// Draws text at x 0 and the given y on the monitor window, at once, from any thread. The next
// repaint of the window erases it.
void ShowStatusLine(const wchar_t* text, int y);

// Clears bWMIEventTrackFinished and makes sure exactly one watcher runs: a running watcher
// that has not been asked to stop carries on; otherwise a fresh one starts, and any stopped
// watcher still in its pause ends when it wakes, even though the flag is 0 again.
// Window thread only.
void StartWatcher();

// Sets bWMIEventTrackFinished; the running watcher ends after its current pause.
// Window thread only.
void StopWatcher();
