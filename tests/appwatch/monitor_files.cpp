#include "tests/appwatch/monitor_files.h"

#include <cwctype>

#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

namespace {

bool IsStamp(const std::wstring& stamp) {
  // hh:mm:ss:mmmm with hours below 24, minutes and seconds below 60, milliseconds below 1000
  if (stamp.size() != 13) return false;
  for (size_t i = 0; i < stamp.size(); ++i) {
    bool colon = i == 2 || i == 5 || i == 8;
    if (colon ? stamp[i] != L':' : !std::iswdigit(stamp[i])) return false;
  }
  auto field = [&](size_t at, size_t n) { return std::stoi(stamp.substr(at, n)); };
  return field(0, 2) < 24 && field(3, 2) < 60 && field(6, 2) < 60 && field(9, 4) < 1000;
}

}  // namespace

void RemoveMonitorFiles() {
  DeleteFileW(kLogFile);
  DeleteFileW(kConfigFile);
  RemoveDirectoryW(L"C:\\zq\\data\\ZQPRX");
  RemoveDirectoryW(L"C:\\ZQ\\Data");
  RemoveDirectoryW(L"C:\\ZQ");
}

bool WriteConfigFile(const std::string& bytes) {
  CreateDirectoryW(L"C:\\zq", nullptr);
  CreateDirectoryW(L"C:\\zq\\data", nullptr);
  CreateDirectoryW(L"C:\\zq\\data\\ZQPRX", nullptr);
  UniqueFile file(CreateFileW(kConfigFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

std::vector<LogLine> ReadLogLines() {
  std::vector<LogLine> lines;
  const std::wstring text = ReadUtf16File(kLogFile);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    LogLine line;
    std::wstring whole = text.substr(start, end == std::wstring::npos ? end : end - start);
    if (whole.size() >= 15 && whole.compare(13, 2, L"::") == 0) {
      line.stamp = whole.substr(0, 13);
      line.message = whole.substr(15);
      line.wellFormed = end != std::wstring::npos && IsStamp(line.stamp);
    } else {
      line.message = whole;
    }
    lines.push_back(line);
    if (end == std::wstring::npos) break;
    start = end + 2;
  }
  return lines;
}

std::vector<std::wstring> LogMessages() {
  std::vector<std::wstring> messages;
  for (const LogLine& line : ReadLogLines()) messages.push_back(line.message);
  return messages;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() - start >= timeoutMs) return false;
    Sleep(20);
  }
}
