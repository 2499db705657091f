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
// Each parse is compared with an independent model of the configuration file's rules: the
// same entries in the same lists and order, the same debug values; the lists are consistent and
// no entry is longer than 129 units.
#include <cstddef>
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

// --- Model of the configuration file --------------------------------------------------------------------------

struct Outcome {
  std::vector<std::u16string> executables;
  std::vector<std::u16string> classes;
  std::vector<int32_t> debugValues;
};

bool EqualsAsciiIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char16_t c) -> char16_t { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The parsing rules, step by step; the debug value of a completed line is left to
// ReadDebugValue (checked on its own below).
Outcome ModelParse(const uint8_t* bytes, size_t n, ConvertByteFn convert) {
  Outcome out;
  bool executables = false;
  bool classes = false;
  bool debug = false;
  std::u16string line;
  for (size_t i = 0; i < n; ++i) {
    if (bytes[i] != 13 && bytes[i] != 10) {
      char16_t unit = convert(bytes[i]);
      if (unit != 0) line.push_back(unit);
    }
    if (line == u"[Executable]") {
      executables = true;
      classes = false;
      line.clear();
      i += 2;
    } else if (EqualsAsciiIgnoringCase(line, u"[ClassName]")) {
      classes = true;
      executables = false;
      line.clear();
      i += 2;
    } else if (EqualsAsciiIgnoringCase(line, u"[Debug]")) {
      debug = true;
    }
    if (i < n && bytes[i] == 13 && i + 1 < n && bytes[i + 1] == 10) {
      std::u16string entry = line.substr(0, 129);
      if (executables) out.executables.push_back(entry);
      if (classes) out.classes.push_back(entry);
      if (debug) {
        int32_t value = ReadDebugValue(entry);
        if (value != 0) out.debugValues.push_back(value);
      }
      line.clear();
    }
  }
  return out;
}

// _wtoi over ASCII text (the debug value of a line), with the product's documented
// saturation beyond the 32-bit range.
int32_t ModelDebugValue(const std::u16string& line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == u' ' || (line[i] >= 9 && line[i] <= 13))) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == u'-' || line[i] == u'+')) negative = line[i++] == u'-';
  long long value = 0;
  for (; i < line.size() && line[i] >= u'0' && line[i] <= u'9'; ++i) {
    if (value < (1ll << 40)) value = value * 10 + (line[i] - u'0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool IsAscii(const std::u16string& text) {
  for (char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

void CheckDebugValue(const std::u16string& line) {
  int32_t value = ReadDebugValue(line);
  if (IsAscii(line)) {
    FUZZ_CHECK(value == ModelDebugValue(line));
    return;
  }
  // Other scripts' digits and spaces are the C runtime's business; the sign still decides.
  size_t i = 0;
  while (i < line.size() && line[i] == u' ') ++i;
  if (i < line.size() && line[i] == u'-') FUZZ_CHECK(value <= 0);
  if (i < line.size() && line[i] == u'+') FUZZ_CHECK(value >= 0);
  if (i == line.size()) FUZZ_CHECK(value == 0);
}

// --- Checks on the product's lists --------------------------------------------------------------

// The compact form is consistent, and no entry is longer than 129 units.
void CheckConsistent(const NameList& list) {
  FUZZ_CHECK(list.units.size() == (list.ends.empty() ? 0 : list.ends.back()));
  for (size_t i = 1; i < list.ends.size(); ++i) FUZZ_CHECK(list.ends[i - 1] <= list.ends[i]);
  for (size_t i = 0; i < NameCount(list); ++i) FUZZ_CHECK(NameAt(list, i).size() <= kNameEntryMaxLength);
}

// The list holds `first` and then `then`, in this order, and nothing else.
bool Holds(const NameList& list, const std::vector<std::u16string>& first,
           const std::vector<std::u16string>& then) {
  CheckConsistent(list);
  if (NameCount(list) != first.size() + then.size()) return false;
  for (size_t i = 0; i < NameCount(list); ++i) {
    const std::u16string& expected = i < first.size() ? first[i] : then[i - first.size()];
    if (NameAt(list, i) != expected) return false;
  }
  return true;
}

void RecordDebugValue(int32_t value, void* context) {
  FUZZ_CHECK(value != 0);
  static_cast<std::vector<int32_t>*>(context)->push_back(value);
}

const std::vector<std::u16string> kNone;
const std::vector<std::u16string> kPrefilledExecutables{u"already.exe"};
const std::vector<std::u16string> kPrefilledClasses{u"Already"};

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

  // 1. Empty lists, Latin-1.
  {
    NameList executables;
    NameList classes;
    std::vector<int32_t> debugValues;
    FUZZ_CHECK(ParseMonitorConfig(bytes, Latin1, executables, classes, RecordDebugValue,
                                  &debugValues) == ConfigParseResult::kParsed);
    Outcome model = ModelParse(file.data(), file.size(), Latin1);
    FUZZ_CHECK(Holds(executables, kNone, model.executables));
    FUZZ_CHECK(Holds(classes, kNone, model.classes));
    FUZZ_CHECK(debugValues == model.debugValues);
    for (const auto& name : model.executables) CheckDebugValue(name);
    for (const auto& name : model.classes) CheckDebugValue(name);
  }

  // 2. Lists that hold an entry already, the unusual code page.
  Outcome model = ModelParse(file.data(), file.size(), Unusual);
  size_t allocations = 0;
  {
    NameList executables;
    NameList classes;
    Prefill(executables, classes);
    std::vector<int32_t> debugValues;
    debugValues.reserve(size);  // no allocation of the harness's own while counting
    ArmAllocationFailure();
    ConfigParseResult result = ParseMonitorConfig(bytes, Unusual, executables, classes,
                                                  RecordDebugValue, &debugValues);
    allocations = DisarmAllocationFailure();
    FUZZ_CHECK(result == ConfigParseResult::kParsed);
    FUZZ_CHECK(Holds(executables, kPrefilledExecutables, model.executables));
    FUZZ_CHECK(Holds(classes, kPrefilledClasses, model.classes));
    FUZZ_CHECK(debugValues == model.debugValues);
    ClearNames(executables);
    FUZZ_CHECK(Holds(executables, kNone, kNone));
  }

  // 3 and 4. Allocation number k fails; then the same lists take the file once more.
  {
    NameList executables;
    NameList classes;
    Prefill(executables, classes);
    const NameList executablesBefore = executables;
    const NameList classesBefore = classes;
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
      FUZZ_CHECK(executables.units == executablesBefore.units);
      FUZZ_CHECK(executables.ends == executablesBefore.ends);
      FUZZ_CHECK(classes.units == classesBefore.units);
      FUZZ_CHECK(classes.ends == classesBefore.ends);
    }
    CheckConsistent(executables);
    CheckConsistent(classes);

    if (result == ConfigParseResult::kOutOfMemory) {
      debugValues.clear();
      FUZZ_CHECK(ParseMonitorConfig(bytes, Unusual, executables, classes, RecordDebugValue,
                                    &debugValues) == ConfigParseResult::kParsed);
      FUZZ_CHECK(Holds(executables, kPrefilledExecutables, model.executables));
      FUZZ_CHECK(Holds(classes, kPrefilledClasses, model.classes));
      FUZZ_CHECK(debugValues == model.debugValues);
    }
  }
  return 0;
}
