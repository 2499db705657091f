#include "tests/iconreg/tool_log_files.h"

#include <regex>

#include "iconreg/tool_texts.h"
#include "shared/text16.h"

const std::wstring kToolLogFile = AsWide(kToolLogPath);

std::vector<LogLine> ParseToolLog(const std::wstring& text) {
  static const std::wregex stamp(L"\\[(\\d\\d):(\\d\\d):(\\d\\d):(\\d\\d):(\\d\\d):(\\d{4})\\] ");
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    std::wstring whole = text.substr(start, end == std::wstring::npos ? end : end - start);
    LogLine line;
    std::wsmatch match;
    if (std::regex_search(whole, match, stamp, std::regex_constants::match_continuous)) {
      int month = std::stoi(match[1]), day = std::stoi(match[2]), hour = std::stoi(match[3]);
      int minute = std::stoi(match[4]), second = std::stoi(match[5]), ms = std::stoi(match[6]);
      bool sane = month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 &&
                  minute <= 59 && second <= 59 && ms <= 999;
      line.stamp = match.str(0);
      line.message = whole.substr(match.length());
      line.wellFormed = sane && end != std::wstring::npos;
    } else {
      line.message = whole;
    }
    lines.push_back(line);
    if (end == std::wstring::npos) break;
    start = end + 2;
  }
  return lines;
}

std::vector<LogLine> ReadToolLogLines() { return ParseToolLog(ReadUtf16File(kToolLogFile.c_str())); }
