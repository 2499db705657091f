#pragma once
// The tool log as the Wine tests see it: "[MM:DD:hh:mm:ss:mmmm] message" and CR LF, UTF-16LE.

#include <string>
#include <vector>

#include "tests/support/wine_support.h"

// C:\ZQ\Data\ZQPRXIconSet.log
extern const std::wstring kToolLogFile;

// The lines of a tool log's text in file order. A piece without a valid stamp, or a last piece
// without CR LF, is a line that is not well formed (its stamp is then empty).
std::vector<LogLine> ParseToolLog(const std::wstring& text);
std::vector<LogLine> ReadToolLogLines();
