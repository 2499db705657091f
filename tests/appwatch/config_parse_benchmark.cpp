// Prints how fast the configuration parser reads a 50 MB file, beside a plain byte-copy loop
// over the same bytes; and the same file read from disk with ReadFile, once followed by the
// parser and once by only a plain loop over its bytes, so the parser's share of loading the
// file can be judged. Figures only; nothing here fails on a slow machine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "appwatch/monitor_config.h"
#include "appwatch/monitor_config_parse.h"
#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

namespace {

constexpr size_t kTargetBytes = 50u * 1024 * 1024;
constexpr int kRounds = 5;

// Sections of names and debug values, one after another, until the target size is reached.
std::vector<uint8_t> MakeConfiguration() {
  std::string text;
  text.reserve(kTargetBytes + 256);
  for (int block = 0; text.size() < kTargetBytes; ++block) {
    text += "[Executable]\r\n";
    for (int i = 0; i < 200; ++i) text += "application_" + std::to_string(block * 200 + i) + ".exe\r\n";
    text += "[ClassName]\r\n";
    for (int i = 0; i < 200; ++i) text += "WindowClass" + std::to_string(i) + "\r\n";
    text += "[Debug]\r\n0\r\n";
  }
  return std::vector<uint8_t>(text.begin(), text.end());
}

// The best of kRounds runs of `work`, in seconds.
template <typename Work>
double Best(Work work) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    best = std::min(best, double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  }
  return best;
}

void IgnoreDebugValue(int32_t, void*) {}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) &&
         written == bytes.size();
}

// The file read whole, as the monitor reads it: its size, one buffer, one ReadFile.
std::vector<uint8_t> FileBytes(const std::wstring& path) {
  return ReadWholeFile(path.c_str()).value_or(std::vector<BYTE>{});
}

}  // namespace

int main() {
  std::vector<uint8_t> bytes = MakeConfiguration();
  const double megabytes = double(bytes.size()) / (1024.0 * 1024.0);

  size_t entries = 0;
  const double bestParse = Best([&] {
    NameList executables;
    NameList classes;
    ParseMonitorConfig(bytes, ConvertAnsiByte, executables, classes, IgnoreDebugValue, nullptr);
    entries = NameCount(executables) + NameCount(classes);
  });

  // The plain loop widens each byte into a unit, as the parser's conversion does.
  std::vector<char16_t> copy(bytes.size());
  const double bestCopy = Best([&] {
    for (size_t i = 0; i < bytes.size(); ++i) copy[i] = bytes[i];
  });
  volatile char16_t sink = copy[copy.size() / 2];
  (void)sink;

  // From the file: ReadFile then the parser, beside ReadFile then a plain loop that widens each
  // byte into a unit and counts the line feeds (so the loop's work is used).
  wchar_t directory[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, directory);
  const std::wstring path = std::wstring(directory) + L"zq_config_parse_benchmark.dat";
  double bestFileParse = -1, bestFileLoop = -1;
  size_t lineFeeds = 0;
  if (WriteWholeFile(path, bytes)) {
    bestFileParse = Best([&] {
      NameList executables;
      NameList classes;
      ParseMonitorConfig(FileBytes(path), ConvertAnsiByte, executables, classes, IgnoreDebugValue,
                         nullptr);
    });
    bestFileLoop = Best([&] {
      const std::vector<uint8_t> read = FileBytes(path);
      std::vector<char16_t> units(read.size());
      lineFeeds = 0;
      for (size_t i = 0; i < read.size(); ++i) {
        units[i] = read[i];
        lineFeeds += read[i] == '\n';
      }
    });
    DeleteFileW(path.c_str());
  }

  std::printf("configuration: %.1f MB, %zu entries, best of %d rounds\n", megabytes, entries,
              kRounds);
  std::printf("in memory:\n");
  std::printf("  parser:                 %8.1f ms  %8.1f MB/s\n", bestParse * 1000,
              megabytes / bestParse);
  std::printf("  byte copy:              %8.1f ms  %8.1f MB/s\n", bestCopy * 1000,
              megabytes / bestCopy);
  std::printf("  parser / copy:          %8.1f x\n", bestParse / bestCopy);
  if (bestFileParse < 0) {
    std::printf("from the file: not available (the temporary file could not be written)\n");
    return 0;
  }
  std::printf("from the file (%zu lines):\n", lineFeeds);
  std::printf("  ReadFile + parser:      %8.1f ms  %8.1f MB/s\n", bestFileParse * 1000,
              megabytes / bestFileParse);
  std::printf("  ReadFile + byte loop:   %8.1f ms  %8.1f MB/s\n", bestFileLoop * 1000,
              megabytes / bestFileLoop);
  std::printf("  parser / byte loop:     %8.1f x\n", bestFileParse / bestFileLoop);
  return 0;
}
