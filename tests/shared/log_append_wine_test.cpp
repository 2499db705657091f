// The two logs, the monitor's and the tool's, against Wine's real file system: bytes on disk,
// folders made on demand, appending, and writers in several threads and processes at once.
// Both go through the one appender, so every case runs for both.
//
// The same program serves as the other processes: "--write-lines LOG TAG COUNT" writes COUNT
// lines "TAG i" to LOG (monitor or tool). A log is held by tests/support's holder, as a writer
// that shares reading only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "appwatch/monitor_log.h"
#include "iconreg/tool_log.h"
#include "shared/win_handles.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/iconreg/tool_log_files.h"
#include "tests/support/file_holder_client.h"
#include "tests/support/wine_support.h"

namespace {

struct Log {
  const char* name;  // as the helper mode takes it
  int (*write)(const wchar_t* message);
  const wchar_t* path;
  std::vector<LogLine> (*read)();
  size_t stampLength;  // units in front of the message
};

const Log kLogs[] = {
    {"monitor", WriteMonitorLog, kLogFile, ReadLogLines, 15},         // "hh:mm:ss:mmmm::"
    {"tool", WriteToolLog, AsWide(kToolLogPath), ReadToolLogLines, 22},  // "[MM:DD:hh:mm:ss:mmmm] "
};

void PrintTo(const Log& log, std::ostream* out) { *out << log.name; }

const Log* LogNamed(const char* name) {
  for (const Log& log : kLogs) {
    if (std::strcmp(log.name, name) == 0) return &log;
  }
  return nullptr;
}

std::wstring Widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

// The command line of a second process of this program in one of its helper modes.
std::wstring HelperLine(const std::wstring& arguments) {
  return L"\"" + SelfPath() + L"\" " + arguments;
}

// The appender's opens, seen from the test: CreateFileW in this program's import table is routed
// through a wrapper that signals when an open is refused because another program holds the file,
// so a test knows that a writer has found the log held.
using CreateFileWFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                            DWORD, HANDLE);
CreateFileWFunction realCreateFileW = nullptr;
UniqueKernelHandle openRefused(CreateEventW(nullptr, TRUE, FALSE, nullptr));

HANDLE WINAPI WatchedCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                 HANDLE templateFile) {
  HANDLE file = realCreateFileW(name, access, share, security, disposition, flags, templateFile);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) SetEvent(openRefused.Get());
    SetLastError(error);
  }
  return file;
}

bool WatchFileOpens() {
  return WatchImport<CreateFileWFunction>(realCreateFileW, L"kernel32.dll", "CreateFileW",
                                          &WatchedCreateFileW);
}

int WriteLinesMode(const Log& log, const char* tag, int count) {
  for (int i = 0; i < count; ++i) {
    std::wstring message = Widen(tag) + L" " + std::to_wstring(i);
    log.write(message.c_str());
  }
  return 0;
}

// The log held by another process, as a writer that shares reading only; its folders made first.
std::unique_ptr<HeldFile> HoldLog(const wchar_t* path) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  return std::make_unique<HeldFile>(path, 120000, HoldMode::kSharingReading);
}

std::vector<std::wstring> Messages(const Log& log) {
  std::vector<std::wstring> messages;
  for (const LogLine& line : log.read()) messages.push_back(line.message);
  return messages;
}

void RemoveLogs() {
  for (const Log& log : kLogs) DeleteFileW(log.path);
  RemoveMonitorFiles();
}

class LogAppendTest : public testing::TestWithParam<Log> {
 protected:
  void SetUp() override { RemoveLogs(); }
  void TearDown() override { RemoveLogs(); }
  const Log& log() const { return GetParam(); }
};

TEST_P(LogAppendTest, FirstLineMakesFoldersAndFileWithoutByteOrderMark) {
  ASSERT_EQ(GetFileAttributesW(L"C:\\ZQ"), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(log().write(L"first"), 1);

  EXPECT_NE(GetFileAttributesW(L"C:\\ZQ\\Data") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  auto bytes = ReadWholeFile(log().path);
  ASSERT_TRUE(bytes) << "error " << GetLastError();
  // The stamp, "first" and CR LF, two bytes a unit, the stamp's first character at byte 0.
  ASSERT_EQ(bytes->size(), 2u * (log().stampLength + 5 + 2));
  EXPECT_TRUE((*bytes)[0] == '[' || ((*bytes)[0] >= '0' && (*bytes)[0] <= '2'))
      << "seen byte " << int{(*bytes)[0]};
  EXPECT_EQ((*bytes)[1], 0);
  auto lines = log().read();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].wellFormed) << "stamp " << testing::PrintToString(lines[0].stamp);
  EXPECT_EQ(lines[0].message, L"first");
}

TEST_P(LogAppendTest, LinesAreAppendedInOrderAfterWhatIsThere) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  {
    UniqueFile file(CreateFileW(log().path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "error " << GetLastError();
    const wchar_t earlier[] = L"earlier run\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), earlier, sizeof earlier - sizeof(wchar_t), &written, nullptr);
  }
  log().write(L"a");
  log().write(L"b");
  EXPECT_EQ(Messages(log()), (std::vector<std::wstring>{L"earlier run", L"a", L"b"}));
}

TEST_P(LogAppendTest, MessagesKeepTheirOwnLineFeedAndMayBeEmpty) {
  log().write(L"Stop\n");
  log().write(L"");
  auto lines = log().read();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].message, L"Stop\n");  // LF CR LF at the end of the line
  EXPECT_EQ(lines[1].message, L"");
  EXPECT_TRUE(lines[1].wellFormed) << "stamp " << testing::PrintToString(lines[1].stamp);
}

TEST_P(LogAppendTest, OverlongMessageIsCutWithTheLineEnd) {
  std::wstring message(3000, L'z');
  log().write(message.c_str());
  log().write(L"next");
  auto bytes = ReadWholeFile(log().path);
  ASSERT_TRUE(bytes) << "error " << GetLastError();
  // 2047 units of the first line, then the next line follows on the same text line.
  EXPECT_EQ(bytes->size(), 2u * (2047 + log().stampLength + 4 + 2));
  auto lines = log().read();
  ASSERT_EQ(lines.size(), 1u);
  const size_t kept = 2047 - log().stampLength;
  const std::wstring& joined = lines[0].message;
  EXPECT_EQ(joined.substr(0, kept), std::wstring(kept, L'z'));
  EXPECT_EQ(joined.substr(kept + log().stampLength), L"next");
}

TEST_P(LogAppendTest, EightThreadsAndTwoProcessesLoseAndTearNoLine) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 2000;
  const std::wstring count = std::to_wstring(kLinesEach);
  ChildProcess first(HelperLine(L"--write-lines " + Widen(log().name) + L" P " + count));
  ChildProcess second(HelperLine(L"--write-lines " + Widen(log().name) + L" Q " + count));
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(second.Started());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kLinesEach; ++i) {
        std::wstring message = L"T" + std::to_wstring(t) + L" " + std::to_wstring(i);
        log().write(message.c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(first.Finish(120000), 0u);
  ASSERT_EQ(second.Finish(120000), 0u);

  std::map<std::wstring, int> seen;
  int torn = 0;
  for (const LogLine& line : log().read()) {
    if (!line.wellFormed) ++torn;
    ++seen[line.message];
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(seen.size(), size_t{(kThreads + 2) * kLinesEach});
  int missing = 0;
  int repeated = 0;
  auto check = [&](const std::wstring& message) {
    auto found = seen.find(message);
    if (found == seen.end()) {
      ++missing;
    } else if (found->second != 1) {
      ++repeated;
    }
  };
  for (int i = 0; i < kLinesEach; ++i) {
    for (int t = 0; t < kThreads; ++t) check(L"T" + std::to_wstring(t) + L" " + std::to_wstring(i));
    check(L"P " + std::to_wstring(i));
    check(L"Q " + std::to_wstring(i));
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(repeated, 0);
}

TEST_P(LogAppendTest, LinesWaitForAHolderThatLetsGoSoon) {
  ASSERT_TRUE(WatchFileOpens());
  auto holder = HoldLog(log().path);
  ASSERT_TRUE(holder->Held());
  ResetEvent(openRefused.Get());
  std::thread writer([&] {
    for (int i = 0; i < 5; ++i) log().write((L"held " + std::to_wstring(i)).c_str());
  });
  // The holder lets go once the writer's first open has found the file held.
  const bool refused = WaitForSingleObject(openRefused.Get(), 30000) == WAIT_OBJECT_0;
  holder->EndNow();
  writer.join();
  ASSERT_TRUE(refused) << "the writer never found the log held";
  EXPECT_EQ(Messages(log()), (std::vector<std::wstring>{L"held 0", L"held 1", L"held 2",
                                                        L"held 3", L"held 4"}));
}

INSTANTIATE_TEST_SUITE_P(BothLogs, LogAppendTest, testing::ValuesIn(kLogs),
                         [](const auto& info) { return std::string(info.param.name); });

// The monitor's lines do not wait for a held log beyond its budget; they are kept, and go out in
// their order once the log is free.
TEST(MonitorLogHeld, LinesAreKeptAndGoOutInOrderOnceTheLogIsFree) {
  RemoveLogs();
  {
    auto holder = HoldLog(kLogFile);
    ASSERT_TRUE(holder->Held());
    for (int i = 0; i < 5; ++i) WriteMonitorLog((L"kept " + std::to_wstring(i)).c_str());
    EXPECT_THAT(ReadLogLines(), testing::IsEmpty());
    FlushMonitorLog();  // still held: nothing goes out, nothing is lost
    holder->EndNow();
  }
  FlushMonitorLog();
  WriteMonitorLog(L"after");
  EXPECT_EQ(LogMessages(), (std::vector<std::wstring>{L"kept 0", L"kept 1", L"kept 2", L"kept 3",
                                                      L"kept 4", L"after"}));
  RemoveLogs();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--write-lines") == 0 && LogNamed(argv[2]) != nullptr) {
    return WriteLinesMode(*LogNamed(argv[2]), argv[3], std::atoi(argv[4]));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
