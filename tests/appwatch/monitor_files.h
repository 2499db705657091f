#pragma once
// The monitor's files as the Wine tests see them: its log, its configuration file, and
// leaving the prefix as it was found.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

constexpr wchar_t kLogFile[] = L"C:\\ZQ\\Data\\APPWATCH.log";
constexpr wchar_t kConfigFile[] = L"C:\\zq\\data\\ZQPRX\\appwatch.dat";

// Deletes the log, the configuration file and the directories that hold them.
void RemoveMonitorFiles();

// Writes the configuration file's bytes, making its directories.
bool WriteConfigFile(const std::string& bytes);

// One line of the log, split into its time stamp and its message.
struct LogLine {
  std::wstring stamp;    // "hh:mm:ss:mmmm"
  std::wstring message;  // everything between "::" and the closing CR LF
  bool wellFormed = false;
};

// The log's lines in file order (empty when there is no log). A last piece without CR LF
// comes back as a line that is not well formed.
std::vector<LogLine> ReadLogLines();
std::vector<std::wstring> LogMessages();

// Polls `condition` every 20 ms until it holds or timeoutMs has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
