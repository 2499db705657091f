#pragma once
// The watcher's seam as the in-process tests drive it (SetWatcherSeamForTests): the execution
// state each poll is answered with, failing polls, and which threads polled when.

#include <windows.h>

#include <atomic>
#include <set>
#include <vector>

#include "tests/support/seen.h"

extern std::atomic<ULONG> fedState;           // every poll is answered with this
extern std::atomic<bool> pollFails;           // while set, polls fail
extern std::atomic<ULONGLONG> firstPollTick;  // of the first poll since it was set to 0
extern std::atomic<ULONGLONG> lastPollTick;

// Far above what a few polls take, however busy the machine.
constexpr DWORD kPollsTimeout = 15000;

// The source to install: records the poll, then answers it.
bool FeedExecutionState(ULONG* state);

// Waits until the seam has been called `polls` more times. A watcher polls again only once it
// has handled its previous poll, so after two polls of a lone watcher whatever the state fed
// before them brought about has reached the log and the service. A failure says how many came.
testing::AssertionResult WaitForPolls(unsigned polls, DWORD timeoutMs = kPollsTimeout);

// The threads that made the next `polls` polls (empty when the polls did not come).
std::set<DWORD> PollersOver(unsigned polls, DWORD timeoutMs = kPollsTimeout);
// The threads that polled since the last call (or ForgetPollers), and forgets them.
std::set<DWORD> RecentPollers();

// Once every thread that polled since ForgetPollers, but `except`, has ended; a failure names
// one that still runs.
testing::AssertionResult PollersEnd(DWORD except = 0, DWORD timeoutMs = kPollsTimeout);
std::set<DWORD> EveryPoller();
void ForgetPollers();
// A test's end: destroys its monitor window (if any), lets the messages left behind go, and
// checks that no watcher outlived the window.
void EndMonitorWindow(HWND window);

// The codes the stand-in service received since `mark`, but the stops a test asks of it, once
// they are `expected` and the running watcher has polled twice more (it has then judged the
// state it was fed once more); a failure says which codes came.
inline testing::AssertionResult CodesBecome(size_t mark, const std::vector<unsigned>& expected) {
  auto codes = [mark] {
    std::vector<unsigned> seen;
    for (unsigned code : StandInCodesSince(mark)) {
      if (code != SERVICE_CONTROL_STOP) seen.push_back(code);
    }
    return seen;
  };
  Becomes(codes, expected, kPollsTimeout);
  if (!WaitForPolls(2)) return testing::AssertionFailure() << "the watcher stopped polling";
  return Becomes(codes, expected, 0);
}
