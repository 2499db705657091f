#include "tests/appwatch/watcher_seam.h"

#include <mutex>
#include <utility>

#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

std::atomic<ULONG> fedState{0};
std::atomic<bool> pollFails{false};
std::atomic<ULONGLONG> firstPollTick{0};
std::atomic<ULONGLONG> lastPollTick{0};

namespace {

std::atomic<unsigned> pollCount{0};  // calls of the seam, by any watcher
std::mutex pollersLock;
std::set<DWORD> recentPollers;  // since the last RecentPollers
std::set<DWORD> everyPoller;    // since the last ForgetPollers

}  // namespace

bool FeedExecutionState(ULONG* state) {
  const ULONGLONG now = GetTickCount64();
  ULONGLONG none = 0;
  firstPollTick.compare_exchange_strong(none, now);
  lastPollTick = now;
  {
    std::lock_guard<std::mutex> hold(pollersLock);
    recentPollers.insert(GetCurrentThreadId());
    everyPoller.insert(GetCurrentThreadId());
  }
  ++pollCount;
  if (pollFails.load()) {
    *state = 0x2;  // what a failed call may leave behind; it must not count
    return false;
  }
  *state = fedState.load();
  return true;
}

testing::AssertionResult WaitForPolls(unsigned polls, DWORD timeoutMs) {
  const unsigned start = pollCount.load();
  if (WaitUntil([&] { return pollCount.load() >= start + polls; }, timeoutMs)) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "seen " << pollCount.load() - start << " of " << polls
                                     << " polls in " << timeoutMs << " ms";
}

std::set<DWORD> RecentPollers() {
  std::lock_guard<std::mutex> hold(pollersLock);
  return std::exchange(recentPollers, {});
}

std::set<DWORD> PollersOver(unsigned polls, DWORD timeoutMs) {
  RecentPollers();
  if (!WaitForPolls(polls, timeoutMs)) return {};
  return RecentPollers();
}

std::set<DWORD> EveryPoller() {
  std::lock_guard<std::mutex> hold(pollersLock);
  return everyPoller;
}

testing::AssertionResult PollersEnd(DWORD except, DWORD timeoutMs) {
  for (DWORD id : EveryPoller()) {
    if (id == except) continue;
    UniqueKernelHandle thread(OpenThread(SYNCHRONIZE, FALSE, id));
    if (thread && WaitForSingleObject(thread.Get(), timeoutMs) != WAIT_OBJECT_0) {
      return testing::AssertionFailure() << "watcher thread " << id << " still runs";
    }
  }
  return testing::AssertionSuccess();
}

void ForgetPollers() {
  std::lock_guard<std::mutex> hold(pollersLock);
  everyPoller.clear();
  recentPollers.clear();
}

void EndMonitorWindow(HWND window) {
  if (window != nullptr) DestroyWindow(window);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  EXPECT_TRUE(PollersEnd()) << "a watcher outlived its window";
  ForgetPollers();
}
