#pragma once
// The tool log, C:\ZQ\Data\ZQPRXIconSet.log: one time-stamped UTF-16LE line per call, no
// byte-order mark, the file opened and closed for every line.

// Appends one line; returns 1 whether or not the line could be written.
int WriteToolLog(const wchar_t* message);

// How long a writer waits for another process that holds the file without sharing it.
constexpr int kToolLogOpenAttempts = 20;
constexpr unsigned kToolLogRetryPauseMs = 25;
