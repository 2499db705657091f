#pragma once
// The watcher's edge rule, without Windows: from the display state seen at the previous poll
// and the result of this poll, what the watcher does. A code goes out on each change of the
// display-required bit and never while it stays the same.

#include <cstdint>

#include "shared/service_codes.h"

// The bit of the system execution state that is set while some application keeps the display
// on (ES_DISPLAY_REQUIRED).
constexpr uint32_t kDisplayRequiredBit = 0x2;

struct WatchStep {
  bool displayRequired = false;  // the state to remember for the next poll
  uint32_t controlCode = 0;      // 0: nothing to do; else the code to send after logging
  const char16_t* message = nullptr;  // the log and status text of the change, or null
};

// A failed poll tells nothing about the display, so it counts as no change.
WatchStep NextWatchStep(bool lastDisplayRequired, bool pollSucceeded, uint32_t executionState);
