// Fuzz target: the appwatch configuration parser (appwatch/monitor_config_parse.*) over the raw
// bytes of a configuration file.
//
// Every input is parsed four times:
//   1. into empty lists with a Latin-1 conversion;
//   2. into lists that already hold an entry, with a code page that maps high bytes to digits of
//      other scripts, Unicode spaces, letters of the headers, CR and LF units, or nothing;
//   3. like 2, with the allocation number k of the parse failing (k taken from the input), which
//      must leave both lists exactly as they were;
//   4. again into the lists of 3, which must then hold what 2 gave.
// The parser's rules themselves are pinned by tests/appwatch/monitor_config_parse_test.cpp; here
// each parse is held to what holds for any file: the lists are consistent, no entry is longer
// than 129 units or holds a NUL (or, read as Latin-1, a CR or LF) unit, there are no more
// entries than line ends, a file without '[' has no section, a parse into filled lists appends
// exactly what a parse into empty lists gives, and each debug value is the C library's reading
// of its line (ASCII lines) or has the line's sign.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cwchar>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "appwatch/monitor_config_parse.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/failing_allocations.h"

namespace {

// --- Code pages ---------------------------------------------------------------------------------

char16_t Latin1(uint8_t byte) { return byte; }

// A made-up single-byte code page that reaches what a real one can: units the parser must treat
// as plain characters although they look like something else.
char16_t Unusual(uint8_t byte) {
  if (byte < 0x80) return byte;
  if (byte < 0x86) return 0;                                          // no character: adds nothing
  if (byte < 0x90) {
    static constexpr char16_t kMoreSpaces[] = {0x2001, 0x200A, 0x2028, 0x2029, 0x202F,
                                               0x205F, 0x180E, 0x200B, 0x00AD, 0x3001};
    return kMoreSpaces[byte - 0x86];  // white space to the C runtime, and some that is not
  }
  if (byte < 0x9A) return static_cast<char16_t>(0x0660 + byte - 0x90);  // Arabic-Indic digits
  if (byte < 0xA0) {
    static constexpr char16_t kSpaces[] = {0x00A0, 0x2000, 0x3000, 0xFEFF, 0x0085, 0x1680};
    return kSpaces[byte - 0x9A];
  }
  if (byte < 0xAA) return static_cast<char16_t>(0xFF10 + byte - 0xA0);  // fullwidth digits
  if (byte < 0xC0) return static_cast<char16_t>(0x00C0 + byte - 0xAA);  // Latin-1 capitals
  if (byte <= 0xD9) return static_cast<char16_t>(u'A' + byte - 0xC0);   // header letters, upper
  if (byte <= 0xF3) return static_cast<char16_t>(u'a' + byte - 0xDA);   // and lower case
  switch (byte) {
    case 0xF4: return u'[';
    case 0xF5: return u']';
    case 0xF6: return u'-';
    case 0xF7: return u'+';
    case 0xF8: return u' ';
    case 0xF9: return 0x0130;  // capital I with dot
    case 0xFA: return 0xD800;  // a lone surrogate
    case 0xFB: return 0xDC00;
    case 0xFC: return 0x212A;  // Kelvin sign
    case 0xFD: return u'\t';
    case 0xFE: return u'\r';   // a CR unit from a byte that is not CR: part of the line
    default: return u'\n';
  }
}

// --- Checks on the product's lists --------------------------------------------------------------

struct Outcome {
  NameList executables;
  NameList classes;
  std::vector<int32_t> debugValues;
};

void RecordDebugValue(int32_t value, void* context) {
  FUZZ_CHECK(value != 0);
  static_cast<std::vector<int32_t>*>(context)->push_back(value);
}

// What the file gives in empty lists.
Outcome Parse(std::span<const uint8_t> bytes, ConvertByteFn convert) {
  Outcome out;
  FUZZ_CHECK(ParseMonitorConfig(bytes, convert, out.executables, out.classes, RecordDebugValue,
                                &out.debugValues) == ConfigParseResult::kParsed);
  return out;
}

// _wtoi of the C library, saturated to 32 bits as the product documents.
int32_t LibraryDebugValue(const std::u16string_view line) {
  const std::wstring wide(line.begin(), line.end());
  const long long value = std::wcstoll(wide.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

bool IsAscii(std::u16string_view text) {
  for (char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

void CheckDebugValue(std::u16string_view line) {
  int32_t value = ReadDebugValue(line);
  if (IsAscii(line)) {
    FUZZ_CHECK(value == LibraryDebugValue(line));
    return;
  }
  // Other scripts' digits and spaces are the C runtime's business; the sign still decides.
  size_t i = 0;
  while (i < line.size() && line[i] == u' ') ++i;
  if (i < line.size() && line[i] == u'-') FUZZ_CHECK(value <= 0);
  if (i < line.size() && line[i] == u'+') FUZZ_CHECK(value >= 0);
  if (i == line.size()) FUZZ_CHECK(value == 0);
}

// The compact form is consistent, and no entry is longer than 129 units.
void CheckConsistent(const NameList& list) {
  FUZZ_CHECK(list.units.size() == (list.ends.empty() ? 0 : list.ends.back()));
  for (size_t i = 1; i < list.ends.size(); ++i) FUZZ_CHECK(list.ends[i - 1] <= list.ends[i]);
  for (size_t i = 0; i < NameCount(list); ++i) {
    FUZZ_CHECK(NameAt(list, i).size() <= kNameEntryMaxLength);
  }
}

// `list` holds `first`'s entries and then `then`'s, and nothing else.
bool Holds(const NameList& list, const NameList& first, const NameList& then) {
  CheckConsistent(list);
  const size_t before = NameCount(first);
  if (NameCount(list) != before + NameCount(then)) return false;
  for (size_t i = 0; i < NameCount(list); ++i) {
    if (NameAt(list, i) != (i < before ? NameAt(first, i) : NameAt(then, i - before))) return false;
  }
  return true;
}

// Entries and units that no file can give.
void CheckEntries(const NameList& list, bool latin1) {
  CheckConsistent(list);
  for (size_t i = 0; i < NameCount(list); ++i) {
    const std::u16string_view name = NameAt(list, i);
    FUZZ_CHECK(name.find(u'\0') == name.npos);
    if (latin1) FUZZ_CHECK(name.find_first_of(u"\r\n") == name.npos);
    CheckDebugValue(name);
  }
}

void Prefill(NameList& executables, NameList& classes) {
  const uint8_t seed[] = "[Executable]\r\nalready.exe\r\n[ClassName]\r\nAlready\r\n";
  ParseMonitorConfig({seed, sizeof seed - 1}, Latin1, executables, classes, nullptr, nullptr);
}

uint64_t Hash(const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the file's end is caught.
  std::vector<uint8_t> file(data, data + size);
  const std::span<const uint8_t> bytes(file.data(), file.size());

  size_t lineEnds = 0;
  for (size_t i = 0; i + 1 < size; ++i) lineEnds += data[i] == '\r' && data[i + 1] == '\n';

  // 1. Empty lists, Latin-1.
  {
    const Outcome latin1 = Parse(bytes, Latin1);
    CheckEntries(latin1.executables, true);
    CheckEntries(latin1.classes, true);
    FUZZ_CHECK(NameCount(latin1.executables) + NameCount(latin1.classes) <= lineEnds);
    FUZZ_CHECK(latin1.debugValues.size() <= lineEnds);
    if (std::find(file.begin(), file.end(), '[') == file.end()) {
      FUZZ_CHECK(NameCount(latin1.executables) + NameCount(latin1.classes) == 0);
      FUZZ_CHECK(latin1.debugValues.empty());
    }
  }

  // 2. Lists that hold an entry already, the unusual code page: the same entries, appended.
  const Outcome unusual = Parse(bytes, Unusual);
  CheckEntries(unusual.executables, false);
  CheckEntries(unusual.classes, false);
  NameList prefilledExecutables;
  NameList prefilledClasses;
  Prefill(prefilledExecutables, prefilledClasses);
  size_t allocations = 0;
  {
    NameList executables = prefilledExecutables;
    NameList classes = prefilledClasses;
    std::vector<int32_t> debugValues;
    debugValues.reserve(size);  // no allocation of the harness's own while counting
    ArmAllocationFailure();
    ConfigParseResult result = ParseMonitorConfig(bytes, Unusual, executables, classes,
                                                  RecordDebugValue, &debugValues);
    allocations = DisarmAllocationFailure();
    FUZZ_CHECK(result == ConfigParseResult::kParsed);
    FUZZ_CHECK(Holds(executables, prefilledExecutables, unusual.executables));
    FUZZ_CHECK(Holds(classes, prefilledClasses, unusual.classes));
    FUZZ_CHECK(debugValues == unusual.debugValues);
    ClearNames(executables);
    FUZZ_CHECK(NameCount(executables) == 0 && executables.units.empty());
  }

  // 3 and 4. Allocation number k fails; then the same lists take the file once more.
  {
    NameList executables = prefilledExecutables;
    NameList classes = prefilledClasses;
    std::vector<int32_t> debugValues;
    debugValues.reserve(size);
    const size_t k = Hash(file.data(), file.size()) % (allocations + 1);
    ArmAllocationFailure(k);
    ConfigParseResult result = ParseMonitorConfig(bytes, Unusual, executables, classes,
                                                  RecordDebugValue, &debugValues);
    DisarmAllocationFailure();
    // The parse allocates the same way every time: it fails exactly when k is one of its own.
    FUZZ_CHECK((result == ConfigParseResult::kOutOfMemory) == (k < allocations));
    if (result == ConfigParseResult::kOutOfMemory) {
      // What the file added is taken back, to the last unit.
      FUZZ_CHECK(executables.units == prefilledExecutables.units);
      FUZZ_CHECK(executables.ends == prefilledExecutables.ends);
      FUZZ_CHECK(classes.units == prefilledClasses.units);
      FUZZ_CHECK(classes.ends == prefilledClasses.ends);
    }
    CheckConsistent(executables);
    CheckConsistent(classes);

    if (result == ConfigParseResult::kOutOfMemory) {
      debugValues.clear();
      FUZZ_CHECK(ParseMonitorConfig(bytes, Unusual, executables, classes, RecordDebugValue,
                                    &debugValues) == ConfigParseResult::kParsed);
      FUZZ_CHECK(Holds(executables, prefilledExecutables, unusual.executables));
      FUZZ_CHECK(Holds(classes, prefilledClasses, unusual.classes));
      FUZZ_CHECK(debugValues == unusual.debugValues);
    }
  }
  return 0;
}
