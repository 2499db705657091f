#include "iconreg/tool_texts.h"

#include <vector>

#include "shared/format_bounded.h"

namespace {

template <typename... Args>
RegistryText FormatRegistryText(const char16_t* format, Args... args) {
  // On the heap: the capacity is far beyond what a stack frame should hold.
  std::vector<char16_t> buffer(kRegistryTextCapacity, 0);
  int32_t status = FormatBounded(buffer.data(), buffer.size(), format, args...);
  return RegistryText{std::u16string(buffer.data()), status == kFormatOk};
}

}  // namespace

RegistryText BuildCommandText(const char16_t* programFilesFolder) {
  return FormatRegistryText(u"\"%s%s\"", programFilesFolder != nullptr ? programFilesFolder : u"",
                            kProgramPathTail);
}

RegistryText BuildIconText(const char16_t* programFilesFolder) {
  RegistryText command = BuildCommandText(programFilesFolder);
  if (!command.complete) return command;
  return FormatRegistryText(u"%s, -%d", command.text.c_str(), kSettingsIconGroup);
}

std::u16string FormatToolLogLine(const ToolLogStamp& stamp, const char16_t* message) {
  char16_t line[kToolLogLineCapacity];
  FormatBounded(line, kToolLogLineCapacity, u"[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n", stamp.month,
                stamp.day, stamp.hour, stamp.minute, stamp.second, stamp.milliseconds, message);
  return std::u16string(line);
}
