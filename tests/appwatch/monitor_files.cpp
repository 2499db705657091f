#include "tests/appwatch/monitor_files.h"

#include <cwctype>

#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

namespace {

// "hh:mm:ss:mmmm::" with hours below 24, minutes and seconds below 60, milliseconds below 1000.
StampShape MonitorStamp(const std::wstring& line) {
  StampShape shape;
  if (line.size() < 15 || line.compare(13, 2, L"::") != 0) return shape;
  shape.prefixLength = 15;
  shape.stampLength = 13;
  for (size_t i = 0; i < 13; ++i) {
    bool colon = i == 2 || i == 5 || i == 8;
    if (colon ? line[i] != L':' : !std::iswdigit(line[i])) return shape;
  }
  auto field = [&](size_t at, size_t n) { return std::stoi(line.substr(at, n)); };
  shape.sane = field(0, 2) < 24 && field(3, 2) < 60 && field(6, 2) < 60 && field(9, 4) < 1000;
  return shape;
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

std::vector<LogLine> ReadLogLines() { return SplitLogLines(ReadUtf16File(kLogFile), MonitorStamp); }

std::vector<std::wstring> LogMessages() {
  std::vector<std::wstring> messages;
  for (const LogLine& line : ReadLogLines()) messages.push_back(line.message);
  return messages;
}
