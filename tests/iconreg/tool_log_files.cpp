#include "tests/iconreg/tool_log_files.h"

#include <regex>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"

const std::wstring kToolLogFile = AsWide(kToolLogPath);

namespace {

// "[MM:DD:hh:mm:ss:mmmm] " with every field in range.
StampShape ToolStamp(const std::wstring& line) {
  static const std::wregex stamp(L"\\[(\\d\\d):(\\d\\d):(\\d\\d):(\\d\\d):(\\d\\d):(\\d{4})\\] ");
  StampShape shape;
  std::wsmatch match;
  if (!std::regex_search(line, match, stamp, std::regex_constants::match_continuous)) return shape;
  int month = std::stoi(match[1]), day = std::stoi(match[2]), hour = std::stoi(match[3]);
  int minute = std::stoi(match[4]), second = std::stoi(match[5]), ms = std::stoi(match[6]);
  shape.prefixLength = shape.stampLength = static_cast<size_t>(match.length());
  shape.sane = month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 &&
               second <= 59 && ms <= 999;
  return shape;
}

}  // namespace

std::vector<LogLine> ParseToolLog(const std::wstring& text) { return SplitLogLines(text, ToolStamp); }

std::vector<LogLine> ReadToolLogLines() { return ParseToolLog(ReadUtf16File(kToolLogFile.c_str())); }
