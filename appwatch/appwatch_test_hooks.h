#pragma once
// What the Wine tests of the monitor reach into and the program itself never calls: the
// watcher's source of execution states and its pause, the configuration's memory limit, and the
// lists between loads. Only the files that implement them and the tests include this header.

#include <windows.h>

#include <cstddef>

#include "appwatch/watcher.h"

// Tests feed execution states and shorten the pause through these. Set before the monitor
// window is created.
void SetWatcherSeamForTests(ExecutionStateSource source, DWORD pauseMilliseconds);

// A configuration file larger than this many bytes is handled as if memory for it ran out.
void SetConfigAllocationLimitForTests(size_t bytes);

// For tests that load more than once in one process.
void ClearMonitorListsForTests();
