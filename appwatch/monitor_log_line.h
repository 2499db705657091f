#pragma once
// One line of the monitor log, as it goes into the file: "hh:mm:ss:mmmm::message" and CR LF,
// UTF-16 little-endian, no byte-order mark. Plain C++, shared by the writer and its tests.

#include <cstddef>

// The line buffer's capacity in UTF-16 units; a line is cut after kMonitorLogLineCapacity - 1
// units, which takes the end of the message and the closing CR LF with it.
constexpr size_t kMonitorLogLineCapacity = 2048;

// Messages of the monitor (status, failure) are formatted into buffers of this capacity.
constexpr size_t kMonitorMessageCapacity = 512;

struct LogTime {
  int hour = 0;         // 0 to 23, local time
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // 0 to 999, written with four digits
};

// Formats the line for `message` (a terminated text) into `buffer`, which holds
// kMonitorLogLineCapacity units; returns its length in units, terminator excluded.
size_t FormatMonitorLogLine(char16_t* buffer, const LogTime& time, const char16_t* message);
