// Prints how fast the configuration parser reads a 50 MB file, beside a plain byte-copy loop
// over the same bytes. Figures only; nothing here fails on a slow machine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "appwatch/monitor_config.h"
#include "appwatch/monitor_config_parse.h"

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

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void IgnoreDebugValue(int32_t, void*) {}

}  // namespace

int main() {
  std::vector<uint8_t> bytes = MakeConfiguration();
  const double megabytes = double(bytes.size()) / (1024.0 * 1024.0);

  double bestParse = 1e9;
  size_t entries = 0;
  for (int round = 0; round < kRounds; ++round) {
    NameList executables;
    NameList classes;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    ParseMonitorConfig(bytes, ConvertAnsiByte, executables, classes, IgnoreDebugValue, nullptr);
    QueryPerformanceCounter(&end);
    bestParse = std::min(bestParse, Seconds(start, end));
    entries = NameCount(executables) + NameCount(classes);
  }

  // The plain loop widens each byte into a unit, as the parser's conversion does.
  std::vector<char16_t> copy(bytes.size());
  double bestCopy = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const uint8_t* in = bytes.data();
    char16_t* out = copy.data();
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = in[i];
    QueryPerformanceCounter(&end);
    bestCopy = std::min(bestCopy, Seconds(start, end));
  }
  volatile char16_t sink = copy[copy.size() / 2];
  (void)sink;

  std::printf("configuration: %.1f MB, %zu entries, best of %d rounds\n", megabytes, entries,
              kRounds);
  std::printf("parser:        %8.1f ms  %8.1f MB/s\n", bestParse * 1000, megabytes / bestParse);
  std::printf("byte copy:     %8.1f ms  %8.1f MB/s\n", bestCopy * 1000, megabytes / bestCopy);
  std::printf("parser / copy: %.1f times the copy's time\n", bestParse / bestCopy);
  return 0;
}
