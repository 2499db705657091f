#pragma once
// The tool log, C:\ZQ\Data\ZQPRXIconSet.log: one time-stamped UTF-16LE line per call, no
// byte-order mark, the file opened and closed for every line.

// Appends one line; returns 1 whether or not the line could be written. The tool runs with
// raised rights, so a log path with a link in it (a linked folder, a linked or hard-linked
// file), or a folder that a user owns or may change, is not written at all; missing folders
// are made with the package's descriptor.
int WriteToolLog(const wchar_t* message);

// How long a line waits for another process that holds the file without sharing writing:
// twenty tries, 25 ms apart.
constexpr int kToolLogOpenAttempts = 20;
constexpr unsigned kToolLogRetryPauseMs = 25;
