#include "appwatch/monitor_config.h"
#include "appwatch/appwatch_test_hooks.h"

#include <cstdint>
#include <memory>
#include <new>

#include "appwatch/monitor_log.h"
#include "appwatch/monitor_log_line.h"
#include "appwatch/monitor_state.h"
#include "appwatch/monitor_window.h"
#include "shared/format_bounded.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

NameList ExecutableFileList;
NameList WindowClassNameList;

namespace {

size_t configAllocationLimit = SIZE_MAX;

// Debug values of the file in order; only the last non-zero one decides what the window shows,
// so it is applied once, after the whole file has been read.
struct DebugSetting {
  bool present = false;
  int32_t value = 0;
};

void RememberDebugValue(int32_t value, void* context) {
  auto* setting = static_cast<DebugSetting*>(context);
  setting->present = true;
  setting->value = value;
}

void ApplyDebugValue(const DebugSetting& setting) {
  HWND window = monitorWindow.load();
  if (!setting.present || window == nullptr) return;
  const auto alpha = static_cast<BYTE>(static_cast<uint32_t>(setting.value) & 0xFF);
  SetLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
  MoveWindow(window, 0, 0, kMonitorWindowWidth, kMonitorWindowHeight, TRUE);
}

void LogMessage(const wchar_t* format, const wchar_t* argument) {
  wchar_t message[kMonitorMessageCapacity];
  FormatBounded(message, kMonitorMessageCapacity, format, argument);
  WriteMonitorLog(message);
}

void LogNames(const wchar_t* label, const NameList& list) {
  WriteMonitorLog(label);
  for (size_t i = 0; i < NameCount(list); ++i) {
    std::u16string_view name = NameAt(list, i);
    wchar_t text[kNameEntryMaxLength + 1];
    name.copy(AsU16(text), kNameEntryMaxLength);
    text[name.size()] = L'\0';
    WriteMonitorLog(text);
  }
}

// Reads and parses the open file. Failures leave the lists as they were; they are not logged,
// except a file too large to read and memory that cannot be had for it.
void ReadConfig(HANDLE file) {
  // The whole size: the low 32 bits alone would take a file of 4 GiB and a few bytes for small.
  LARGE_INTEGER fileSize = {};
  if (!GetFileSizeEx(file, &fileSize)) return;
  if (static_cast<uint64_t>(fileSize.QuadPart) > kMonitorConfigMaxBytes) {
    LogMessage(kConfigTooLargeFormat, AsWide(kMonitorConfigPath));
    return;
  }
  const auto size = static_cast<DWORD>(fileSize.QuadPart);

  std::unique_ptr<uint8_t[]> bytes;
  if (size > 0) {
    if (size <= configAllocationLimit) bytes.reset(new (std::nothrow) uint8_t[size]);
    if (!bytes) {
      LogMessage(kConfigMemoryFailureFormat, AsWide(kMonitorConfigPath));
      return;
    }
  }
  DWORD read = 0;
  if (size > 0 && !ReadFile(file, bytes.get(), size, &read, nullptr)) return;

  DebugSetting debug;
  if (ParseMonitorConfig({bytes.get(), read}, ConvertAnsiByte, ExecutableFileList,
                         WindowClassNameList, RememberDebugValue,
                         &debug) == ConfigParseResult::kOutOfMemory) {
    LogMessage(kConfigMemoryFailureFormat, AsWide(kMonitorConfigPath));
    return;
  }
  ApplyDebugValue(debug);
}

}  // namespace

char16_t ConvertAnsiByte(uint8_t byte) {
  // The byte and a zero byte, as the file's text is taken one byte at a time.
  const char input[2] = {static_cast<char>(byte), 0};
  wchar_t output[2] = {};
  int converted = MultiByteToWideChar(CP_ACP, 0, input, 2, output, 2);
  return converted > 0 ? static_cast<char16_t>(output[0]) : u'\0';
}

int LoadMonitorConfig() {
  UniqueFile file(CreateFileW(AsWide(kMonitorConfigPath), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LogMessage(kConfigOpenFailureFormat, AsWide(kMonitorConfigPath));
    return -1;
  }
  ReadConfig(file.Get());
  file.Reset();

  LogNames(L"ExecutableFileList:", ExecutableFileList);
  LogNames(L"WindowClassNameList:", WindowClassNameList);
  return 0;
}

void SetConfigAllocationLimitForTests(size_t bytes) { configAllocationLimit = bytes; }

void ClearMonitorListsForTests() {
  ClearNames(ExecutableFileList);
  ClearNames(WindowClassNameList);
}
