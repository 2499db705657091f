// Fuzz target: the texts the programs write: appwatch's log line (appwatch/monitor_log_line.*),
// iconreg's log line and its registry texts (iconreg/tool_texts.*).
//
// Input, little-endian:
//   bytes 0-23   six 32-bit time fields: appwatch takes the first four (hour, minute, second,
//                millisecond), iconreg all six (month, day, hour, minute, second, millisecond);
//                any value, not only the clock's
//   byte 24      bit 0: iconreg's message is a null pointer; bit 1: the folder is repeated
//                (byte 25 times) so that the registry texts reach their capacity; bit 2: the
//                folder is a null pointer; bit 3: the registry texts are built (they take a
//                buffer of 32896 units each, so only inputs that ask for them pay for them)
//   byte 25      the repeat count
//   bytes 26-    UTF-16 units: the message up to the first NUL unit, then the Program Files folder
//
// Checked against the two logs' line formats (through the shared formatter) and the Control
// Panel item's open command, written out here: each text is its full form cut to capacity - 1
// units (2047 for a log line, which then loses its CR LF), terminated, the appwatch line in a
// buffer whose end touches an unreadable page and whose returned length is right; a registry
// text is complete exactly when nothing was cut.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "appwatch/monitor_log_line.h"
#include "iconreg/tool_texts.h"
#include "shared/format_bounded.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

int32_t Field(const uint8_t* data, size_t size, size_t index) {
  uint32_t value = 0;
  for (size_t b = 0; b < 4; ++b) {
    size_t at = index * 4 + b;
    if (at < size) value |= static_cast<uint32_t>(data[at]) << (8 * b);
  }
  return static_cast<int32_t>(value);
}

std::u16string Cut(const std::u16string& text, size_t capacity) {
  return text.size() < capacity ? text : text.substr(0, capacity - 1);
}

// A documented line format through the shared formatter (fuzzed on its own), with room to spare.
template <typename... Args>
std::u16string Formatted(const char16_t* format, Args... args) {
  static std::vector<char16_t> buffer(1 << 16);
  FormatBounded(buffer.data(), buffer.size(), format, args...);
  return buffer.data();
}

constexpr char16_t kFill = 0x5A5A;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t f[6];
  for (size_t i = 0; i < 6; ++i) f[i] = Field(data, size, i);
  const uint8_t flags = size > 24 ? data[24] : 0;
  const uint8_t repeat = size > 25 ? data[25] : 0;
  const std::u16string units = size > 26 ? fuzz::Utf16FromBytes(data + 26, size - 26) : u"";
  const std::u16string message = fuzz::UpToNul(units);
  std::u16string folder =
      message.size() < units.size() ? fuzz::UpToNul(units.substr(message.size() + 1)) : u"";
  if (flags & 2) {
    // Repeated up to a little beyond the registry texts' capacity, and no further: the cut is
    // what is of interest there, and longer texts only slow the run down.
    const std::u16string piece = folder;
    for (int k = 1; k < repeat && folder.size() + piece.size() <= kRegistryTextCapacity + 256; ++k) {
      folder += piece;
    }
  }

  // --- appwatch: "%02d:%02d:%02d:%04d::%s\r\n" into 2048 units ---
  {
    static fuzz::GuardedUnits region(kMonitorLogLineCapacity);
    char16_t* buffer = region.At(kMonitorLogLineCapacity, kFill);
    const LogTime time{f[0], f[1], f[2], f[3]};
    const size_t length = FormatMonitorLogLine(buffer, time, message.c_str());
    const std::u16string expected = Cut(
        Formatted(u"%02d:%02d:%02d:%04d::%s\r\n", f[0], f[1], f[2], f[3], message.c_str()),
        kMonitorLogLineCapacity);
    FUZZ_CHECK(length == expected.size());
    FUZZ_CHECK(std::u16string(buffer, length) == expected);
    FUZZ_CHECK(buffer[length] == 0);
    FUZZ_CHECK(region.UntouchedBefore(buffer, kFill));
    FUZZ_CHECK(length <= kMonitorLogLineCapacity - 1);
  }

  // --- iconreg: "[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n", at most 2047 units ---
  {
    const ToolLogStamp stamp{f[0], f[1], f[2], f[3], f[4], f[5]};
    const bool nullMessage = (flags & 1) != 0;
    const std::u16string line = FormatToolLogLine(stamp, nullMessage ? nullptr : message.c_str());
    const std::u16string expected =
        Cut(Formatted(u"[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n", f[0], f[1], f[2], f[3], f[4],
                      f[5], nullMessage ? nullptr : message.c_str()),
            kToolLogLineCapacity);
    FUZZ_CHECK(line == expected);
    FUZZ_CHECK(line.size() <= kToolLogLineCapacity - 1);
    FUZZ_CHECK(line.find(u'\0') == std::u16string::npos);
  }

  // --- iconreg: the open command and the icon of the Control Panel item ---
  if (flags & 8) {
    const bool nullFolder = (flags & 4) != 0;
    const char16_t* folderText = nullFolder ? nullptr : folder.c_str();
    const std::u16string command =
        u"\"" + (nullFolder ? std::u16string() : folder) + kProgramPathTail + u"\"";
    const std::u16string icon = command + u", -130";

    RegistryText built = BuildCommandText(folderText);
    FUZZ_CHECK(built.complete == (command.size() < kRegistryTextCapacity));
    FUZZ_CHECK(built.text == Cut(command, kRegistryTextCapacity));

    RegistryText builtIcon = BuildIconText(folderText);
    if (!built.complete) {
      FUZZ_CHECK(!builtIcon.complete);  // never written: what it holds does not matter
    } else {
      FUZZ_CHECK(builtIcon.complete == (icon.size() < kRegistryTextCapacity));
      FUZZ_CHECK(builtIcon.text == Cut(icon, kRegistryTextCapacity));
    }
  }
  return 0;
}
