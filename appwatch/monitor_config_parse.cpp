#include "appwatch/monitor_config_parse.h"

#include <array>
#include <climits>
#include <new>

namespace {

constexpr uint8_t kCarriageReturn = 13;
constexpr uint8_t kLineFeed = 10;

constexpr std::u16string_view kExecutableHeader = u"[Executable]";
constexpr std::u16string_view kClassNameHeader = u"[ClassName]";
constexpr std::u16string_view kDebugHeader = u"[Debug]";

char16_t FoldAsciiCase(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view header) {
  if (text.size() != header.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (FoldAsciiCase(text[i]) != FoldAsciiCase(header[i])) return false;
  }
  return true;
}

// White space as the C runtime's iswspace sees it: the ASCII controls, the space, and the
// Unicode spaces a code page may map a byte to.
bool IsWideSpace(char16_t unit) {
  if ((unit >= 0x09 && unit <= 0x0D) || unit == 0x20) return true;
  if (unit < 0x85) return false;
  return unit == 0x85 || unit == 0xA0 || unit == 0x1680 || (unit >= 0x2000 && unit <= 0x200A) ||
         unit == 0x2028 || unit == 0x2029 || unit == 0x202F || unit == 0x205F || unit == 0x3000 ||
         unit == 0xFEFF;
}

// Decimal digits of the scripts the C runtime's wide conversions accept; -1 for anything else.
int DigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit < 0x0660) return -1;
  static constexpr char16_t kZeros[] = {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6,
                                        0x0B66, 0x0BE6, 0x0C66, 0x0CE6, 0x0D66, 0x0E50,
                                        0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
  for (char16_t zero : kZeros) {
    if (unit >= zero && unit <= zero + 9) return unit - zero;
  }
  return -1;
}

void AppendName(NameList& list, std::u16string_view text) {
  list.units.insert(list.units.end(), text.begin(), text.end());
  list.ends.push_back(static_cast<uint32_t>(list.units.size()));
}

// Keeps the first `count` entries. The units go back to the end of the last one kept even when
// no entry is dropped: an entry whose text went in but whose end could not be stored (the
// allocation for `ends` failed) leaves units behind the last end, which would otherwise become
// the start of the next entry appended.
void TruncateNames(NameList& list, size_t count) {
  if (count < list.ends.size()) list.ends.resize(count);
  list.units.resize(list.ends.empty() ? 0 : list.ends.back());
}

// The line being collected: its first kNameEntryMaxLength units and its full length, which is
// all a header test and an entry ever need.
struct LineBuffer {
  std::array<char16_t, kNameEntryMaxLength> kept;
  size_t length = 0;

  void Append(char16_t unit) {
    if (length < kept.size()) kept[length] = unit;
    ++length;
  }
  std::u16string_view Text() const {
    return {kept.data(), length < kept.size() ? length : kept.size()};
  }
};

void ParseBytes(std::span<const uint8_t> bytes, const std::array<char16_t, 256>& units,
                NameList& executables, NameList& classes, DebugValueFn onDebugValue,
                void* context) {
  const uint8_t* data = bytes.data();
  const size_t n = bytes.size();
  bool executablesOn = false;
  bool classesOn = false;
  bool debugOn = false;
  LineBuffer line;

  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = data[i];
    if (byte != kCarriageReturn && byte != kLineFeed && units[byte] != 0) {
      line.Append(units[byte]);
      // Only a line that has just grown can newly equal a header: the headers are tested
      // the moment their closing bracket has been read.
      if (line.length == kExecutableHeader.size() && line.Text() == kExecutableHeader) {
        executablesOn = true;
        classesOn = false;
        line.length = 0;
        i += 2;  // over the CR LF that should follow the bracket, whatever it is
      } else if (line.length == kClassNameHeader.size() &&
                 EqualsIgnoringCase(line.Text(), kClassNameHeader)) {
        classesOn = true;
        executablesOn = false;
        line.length = 0;
        i += 2;
      } else if (line.length == kDebugHeader.size() &&
                 EqualsIgnoringCase(line.Text(), kDebugHeader)) {
        debugOn = true;  // the header's own line goes on and completes as an entry
      }
    }
    // The skip above may have stepped past the end: a header in the last bytes of the file.
    if (i + 1 < n && data[i] == kCarriageReturn && data[i + 1] == kLineFeed) {
      std::u16string_view text = line.Text();
      if (executablesOn) AppendName(executables, text);
      if (classesOn) AppendName(classes, text);
      if (debugOn && onDebugValue != nullptr) {
        int32_t value = ReadDebugValue(text);
        if (value != 0) onDebugValue(value, context);
      }
      line.length = 0;
    }
  }
}

}  // namespace

size_t NameCount(const NameList& list) { return list.ends.size(); }

std::u16string_view NameAt(const NameList& list, size_t index) {
  uint32_t begin = index == 0 ? 0 : list.ends[index - 1];
  return {list.units.data() + begin, list.ends[index] - begin};
}

void ClearNames(NameList& list) {
  list.units.clear();
  list.ends.clear();
}

ConfigParseResult ParseMonitorConfig(std::span<const uint8_t> bytes, ConvertByteFn convert,
                                     NameList& executables, NameList& classes,
                                     DebugValueFn onDebugValue, void* context) {
  // Entry ends are kept as 32-bit offsets; the file's size is a 32-bit count anyway.
  if (bytes.size() > UINT32_MAX) return ConfigParseResult::kOutOfMemory;

  // Each byte converts on its own, so the conversion of every byte value is asked once.
  std::array<char16_t, 256> units{};
  for (unsigned b = 0; b < 256; ++b) units[b] = convert(static_cast<uint8_t>(b));

  const size_t executablesBefore = NameCount(executables);
  const size_t classesBefore = NameCount(classes);
  try {
    ParseBytes(bytes, units, executables, classes, onDebugValue, context);
  } catch (const std::bad_alloc&) {
    // Growing a list is the one step that can fail; what this file added is taken back.
    TruncateNames(executables, executablesBefore);
    TruncateNames(classes, classesBefore);
    return ConfigParseResult::kOutOfMemory;
  }
  return ConfigParseResult::kParsed;
}

int32_t ReadDebugValue(std::u16string_view line) {
  size_t i = 0;
  while (i < line.size() && IsWideSpace(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == u'+' || line[i] == u'-')) {
    negative = line[i] == u'-';
    ++i;
  }
  // Past 2^31 the value no longer matters: it stops at the range's end either way.
  constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
  int64_t magnitude = 0;
  for (; i < line.size(); ++i) {
    int digit = DigitValue(line[i]);
    if (digit < 0) break;
    if (magnitude <= kLimit) magnitude = magnitude * 10 + digit;
  }
  if (negative) return magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}
