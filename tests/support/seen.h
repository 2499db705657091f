#pragma once
// Checks that say what they saw, as Wine's ok() does: a polled value that should come to equal
// what the test expects fails with the last value seen, not with a bare "false".

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/wine_support.h"

// Polls `observe` every 20 ms until it returns `expected` or timeoutMs has passed.
template <typename Observe, typename Expected>
testing::AssertionResult Becomes(Observe observe, const Expected& expected, DWORD timeoutMs) {
  auto seen = observe();
  if (seen == expected || WaitUntil([&] { return (seen = observe()) == expected; }, timeoutMs)) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "seen " << testing::PrintToString(seen) << ", expected "
                                     << testing::PrintToString(expected);
}
