// WriteMonitorLog against Wine's real file system: bytes on disk, directories made on demand,
// appending, and writers in several threads and processes at once.
//
// The same program serves as the second process: "--write-lines TAG COUNT" writes COUNT lines
// "TAG i", and "--hold-log MS" holds the log open without sharing writing for MS milliseconds.
#include "appwatch/monitor_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "shared/win_handles.h"
#include "tests/appwatch/monitor_files.h"
#include "tests/support/wine_support.h"

namespace {

constexpr wchar_t kHolderReadyEvent[] = L"Local\\ZQ appwatch log test holder ready";

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

// A second process of this program in one of its helper modes.
struct Helper {
  PROCESS_INFORMATION process = {};
  bool started = false;

  explicit Helper(const std::wstring& arguments) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring line = L"\"" + SelfPath() + L"\" " + arguments;
    started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process);
  }
  // Exit code, or a code no helper returns when it did not end in time.
  DWORD Wait(DWORD timeoutMs) {
    if (!started) return 0xBAD;
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD code = 0xBAD;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
  }
  ~Helper() {
    if (!started) return;
    Wait(30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
};

int WriteLinesMode(const char* tag, int count) {
  for (int i = 0; i < count; ++i) {
    std::wstring message = std::wstring(tag, tag + std::strlen(tag)) + L" " + std::to_wstring(i);
    WriteMonitorLog(message.c_str());
  }
  return 0;
}

int HoldLogMode(int milliseconds) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  // As a writer that shares reading only would hold it.
  UniqueFile file(CreateFileW(kLogFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  UniqueKernelHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, kHolderReadyEvent));
  if (ready) SetEvent(ready.Get());
  Sleep(static_cast<DWORD>(milliseconds));
  return 0;
}

class MonitorLogTest : public testing::Test {
 protected:
  void SetUp() override { RemoveMonitorFiles(); }
  void TearDown() override { RemoveMonitorFiles(); }
};

TEST_F(MonitorLogTest, FirstLineMakesDirectoriesAndFileWithoutByteOrderMark) {
  ASSERT_EQ(GetFileAttributesW(L"C:\\ZQ"), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(WriteMonitorLog(L"first"), 1);

  EXPECT_NE(GetFileAttributesW(L"C:\\ZQ\\Data") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  auto bytes = ReadWholeFile(kLogFile);
  ASSERT_TRUE(bytes);
  // "hh:mm:ss:mmmm::first" and CR LF, two bytes a unit, starting with the hour's first digit.
  ASSERT_EQ(bytes->size(), 2u * 22);
  EXPECT_GE((*bytes)[0], '0');
  EXPECT_LE((*bytes)[0], '2');
  EXPECT_EQ((*bytes)[1], 0);
  auto lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].wellFormed) << lines[0].stamp;
  EXPECT_EQ(lines[0].message, L"first");
}

TEST_F(MonitorLogTest, LinesAreAppendedInOrderAfterWhatIsThere) {
  CreateDirectoryW(L"C:\\ZQ", nullptr);
  CreateDirectoryW(L"C:\\ZQ\\Data", nullptr);
  {
    UniqueFile file(CreateFileW(kLogFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    const wchar_t earlier[] = L"00:00:00:0000::earlier run\r\n";
    DWORD written = 0;
    WriteFile(file.Get(), earlier, sizeof earlier - sizeof(wchar_t), &written, nullptr);
  }
  WriteMonitorLog(L"a");
  WriteMonitorLog(L"b");
  EXPECT_EQ(LogMessages(), (std::vector<std::wstring>{L"earlier run", L"a", L"b"}));
}

TEST_F(MonitorLogTest, MessagesKeepTheirOwnLineFeedAndMayBeEmpty) {
  WriteMonitorLog(L"Stop\n");
  WriteMonitorLog(L"");
  auto lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].message, L"Stop\n");  // LF CR LF at the end of the line
  EXPECT_EQ(lines[1].message, L"");
  EXPECT_TRUE(lines[1].wellFormed);
}

TEST_F(MonitorLogTest, OverlongMessageIsCutWithTheLineEnd) {
  std::wstring message(3000, L'z');
  WriteMonitorLog(message.c_str());
  WriteMonitorLog(L"next");
  auto bytes = ReadWholeFile(kLogFile);
  ASSERT_TRUE(bytes);
  // 2047 units of the first line, then the next line follows on the same text line.
  EXPECT_EQ(bytes->size(), 2u * (2047 + 21));
  auto lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 1u);
  // The cut line keeps 2047 - 15 characters of the message; the next stamp follows directly.
  const std::wstring& joined = lines[0].message;
  EXPECT_EQ(joined.substr(0, 2032), std::wstring(2032, L'z'));
  EXPECT_EQ(joined.substr(2032 + 13), L"::next");
}

TEST_F(MonitorLogTest, EightThreadsAndASecondProcessLoseNoLine) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 2000;
  WriteMonitorLog(L"begin");
  Helper other(L"--write-lines P " + std::to_wstring(kLinesEach));
  ASSERT_TRUE(other.started);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesEach; ++i) {
        std::wstring message = L"T" + std::to_wstring(t) + L" " + std::to_wstring(i);
        WriteMonitorLog(message.c_str());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(other.Wait(120000), 0u);

  std::map<std::wstring, int> seen;
  int malformed = 0;
  for (const LogLine& line : ReadLogLines()) {
    if (!line.wellFormed) ++malformed;
    ++seen[line.message];
  }
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(seen.size(), 1u + (kThreads + 1) * kLinesEach);
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
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(repeated, 0);
}

TEST_F(MonitorLogTest, LinesWaitWhileAnotherProcessHoldsTheFileBriefly) {
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, kHolderReadyEvent));
  ASSERT_TRUE(ready);
  Helper holder(L"--hold-log 400");
  ASSERT_TRUE(holder.started);
  ASSERT_EQ(WaitForSingleObject(ready.Get(), 30000), WAIT_OBJECT_0);

  for (int i = 0; i < 5; ++i) WriteMonitorLog((L"held " + std::to_wstring(i)).c_str());

  EXPECT_EQ(holder.Wait(30000), 0u);
  EXPECT_EQ(LogMessages(), (std::vector<std::wstring>{L"held 0", L"held 1", L"held 2", L"held 3",
                                                      L"held 4"}));
}

TEST_F(MonitorLogTest, LineIsDroppedWhenTheFileStaysHeldAndTheCallStillReturns) {
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, kHolderReadyEvent));
  ASSERT_TRUE(ready);
  Helper holder(L"--hold-log 4000");
  ASSERT_TRUE(holder.started);
  ASSERT_EQ(WaitForSingleObject(ready.Get(), 30000), WAIT_OBJECT_0);

  EXPECT_EQ(WriteMonitorLog(L"lost"), 1);
  DWORD stillHeld = WaitForSingleObject(holder.process.hProcess, 0);

  EXPECT_EQ(holder.Wait(30000), 0u);
  if (stillHeld == WAIT_TIMEOUT) {
    EXPECT_TRUE(LogMessages().empty());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-lines") == 0) {
    return WriteLinesMode(argv[2], std::atoi(argv[3]));
  }
  if (argc == 3 && std::strcmp(argv[1], "--hold-log") == 0) return HoldLogMode(std::atoi(argv[2]));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
