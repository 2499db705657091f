// Fuzz target: FormatBounded (shared/format_bounded.*): a format, its arguments and a capacity.
//
// Input, little-endian:
//   bytes 0-1    capacity: 0 (invalid), 0xFFFF (kFormatMaxCapacity + 1, invalid), 0xFFFE
//                (kFormatMaxCapacity itself), else 1 + value % 4200
//   byte 2       the argument list: one of the fixed signatures below
//   byte 3       bit i: string argument i is a null pointer
//   bytes 4-67   eight 64-bit numbers, one per argument position (an int takes the low half)
//   bytes 68-    UTF-16 units: the format up to the first NUL unit, then the string arguments,
//                separated by NUL units
//
// The harness never lets FormatBounded read an argument that is not there or of another type:
// it reads the fuzzed format with the grammar of format_bounded.h ('%', flags '-' and '0', a
// width, l or h, a conversion) and fits each conversion that takes an argument to the kind of
// the next one in the signature (or, when none is left, turns it into "%%"-like text that takes
// none). Conversions that take no argument (%% and unknown letters) stay as they are.
//
// Checked: a capacity of 0 or above the maximum writes nothing and says so, and no format at all
// gives an empty text. Otherwise the full text (the product's own, formatted with room to spare)
// bounds every other capacity: the buffer (its last unit touching an unreadable page) holds the
// first min(n, C - 1) units of it and a NUL after them, nothing after that NUL or in front of the
// buffer changes, and the result is S_OK exactly when nothing was cut. What each conversion
// produces is pinned by tests/shared/format_bounded_test.cpp.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/format_bounded.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

enum Kind { kInt, kUnsigned, kLong, kUnsignedLong, kString };

struct Signature {
  int count;
  Kind kinds[8];
};

// The shapes of the argument lists the programs pass, and some mixed ones.
const Signature kSignatures[] = {
    {5, {kInt, kInt, kInt, kInt, kString}},                    // monitor log line
    {7, {kInt, kInt, kInt, kInt, kInt, kInt, kString}},        // tool log line
    {2, {kString, kString}},                                   // the open command
    {1, {kString}},                                            // messages, icon text
    {1, {kUnsigned}},                                          // menu command reports (%x)
    {1, {kLong}},                                              // firmware method name (%ld)
    {2, {kInt, kString}},                                      // choice texts ("  %d %s")
    {8, {kInt, kUnsigned, kLong, kUnsignedLong, kString, kInt, kString, kUnsignedLong}},
    {8, {kString, kInt, kString, kUnsigned, kString, kLong, kString, kUnsignedLong}},
    {0, {}},
    {4, {kUnsignedLong, kLong, kUnsigned, kInt}},
    {8, {kString, kString, kString, kString, kString, kString, kString, kString}},
};
constexpr size_t kSignatureCount = sizeof kSignatures / sizeof kSignatures[0];

struct Arg {
  Kind kind;
  uint64_t number;
  const char16_t* text;  // for kString; may be null
  int AsInt() const { return static_cast<int>(static_cast<uint32_t>(number)); }
  unsigned AsUnsigned() const { return static_cast<unsigned>(number); }
  long AsLong() const { return static_cast<long>(number); }
  unsigned long AsUnsignedLong() const { return static_cast<unsigned long>(number); }
};

// The signature's call, every argument with its own type.
int32_t Call(char16_t* buffer, size_t capacity, const char16_t* format, size_t signature,
             const Arg* a) {
  switch (signature) {
    case 0:
      return FormatBounded(buffer, capacity, format, a[0].AsInt(), a[1].AsInt(), a[2].AsInt(),
                           a[3].AsInt(), a[4].text);
    case 1:
      return FormatBounded(buffer, capacity, format, a[0].AsInt(), a[1].AsInt(), a[2].AsInt(),
                           a[3].AsInt(), a[4].AsInt(), a[5].AsInt(), a[6].text);
    case 2:
      return FormatBounded(buffer, capacity, format, a[0].text, a[1].text);
    case 3:
      return FormatBounded(buffer, capacity, format, a[0].text);
    case 4:
      return FormatBounded(buffer, capacity, format, a[0].AsUnsigned());
    case 5:
      return FormatBounded(buffer, capacity, format, a[0].AsLong());
    case 6:
      return FormatBounded(buffer, capacity, format, a[0].AsInt(), a[1].text);
    case 7:
      return FormatBounded(buffer, capacity, format, a[0].AsInt(), a[1].AsUnsigned(),
                           a[2].AsLong(), a[3].AsUnsignedLong(), a[4].text, a[5].AsInt(),
                           a[6].text, a[7].AsUnsignedLong());
    case 8:
      return FormatBounded(buffer, capacity, format, a[0].text, a[1].AsInt(), a[2].text,
                           a[3].AsUnsigned(), a[4].text, a[5].AsLong(), a[6].text,
                           a[7].AsUnsignedLong());
    case 9:
      return FormatBounded(buffer, capacity, format);
    case 10:
      return FormatBounded(buffer, capacity, format, a[0].AsUnsignedLong(), a[1].AsLong(),
                           a[2].AsUnsigned(), a[3].AsInt());
    case 11:
      return FormatBounded(buffer, capacity, format, a[0].text, a[1].text, a[2].text, a[3].text,
                           a[4].text, a[5].text, a[6].text, a[7].text);
  }
  FuzzFail(__FILE__, __LINE__, "no such signature");
}

// --- The grammar of a conversion -----------------------------------------------------------------

struct Conversion {
  size_t widthEnd = 0;    // after the flags and width digits
  size_t end = 0;         // after the conversion letter; 0 when the format ends inside
  char16_t length = 0;    // 'l', 'h' or 0
  char16_t conversion = 0;
};

Conversion ReadConversion(const std::u16string& f, size_t at) {
  Conversion s;
  size_t i = at + 1;
  while (i < f.size() && (f[i] == u'-' || f[i] == u'0')) ++i;
  while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') ++i;
  s.widthEnd = i;
  if (i < f.size() && (f[i] == u'l' || f[i] == u'h')) s.length = f[i++];
  if (i < f.size()) {
    s.conversion = f[i];
    s.end = i + 1;
  }
  return s;
}

bool TakesArgument(char16_t c) {
  return c == u'c' || c == u's' || c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X';
}

// The fuzzed format with each argument-taking conversion fitted to the next argument.
std::u16string FitFormat(const std::u16string& raw, const Signature& signature) {
  std::u16string out;
  int next = 0;
  for (size_t i = 0; i < raw.size();) {
    if (raw[i] != u'%') {
      out.push_back(raw[i++]);
      continue;
    }
    Conversion s = ReadConversion(raw, i);
    if (s.end == 0) {  // the format ends inside the conversion: nothing is taken
      out.append(raw, i, std::u16string::npos);
      break;
    }
    const std::u16string flagsAndWidth = raw.substr(i, s.widthEnd - i);
    if (!TakesArgument(s.conversion)) {
      out.append(raw, i, s.end - i);
    } else if (next >= signature.count) {
      out += flagsAndWidth + u"%";  // "%-5%" takes no argument
    } else {
      const char16_t c = s.conversion;
      switch (signature.kinds[next++]) {
        case kInt:
          if (c == u'c') out += flagsAndWidth + u"c";
          else out += flagsAndWidth + (s.length == u'h' ? u"h" : u"") + (c == u'i' ? u"i" : u"d");
          break;
        case kUnsigned:
          out += flagsAndWidth + (s.length == u'h' ? u"h" : u"") +
                 (c == u'x' ? u"x" : c == u'X' ? u"X" : u"u");
          break;
        case kLong:
          out += flagsAndWidth + (c == u'i' ? u"li" : u"ld");
          break;
        case kUnsignedLong:
          out += flagsAndWidth + (c == u'x' ? u"lx" : c == u'X' ? u"lX" : u"lu");
          break;
        case kString:
          out += flagsAndWidth + (s.length == u'l' ? u"ls" : u"s");
          break;
      }
    }
    i = s.end;
  }
  return out;
}

uint64_t Number(const uint8_t* data, size_t size, size_t slot) {
  uint64_t value = 0;
  for (size_t b = 0; b < 8; ++b) {
    size_t at = 4 + slot * 8 + b;
    if (at < size) value |= static_cast<uint64_t>(data[at]) << (8 * b);
  }
  return value;
}

constexpr char16_t kFill = 0xA5A5;

fuzz::GuardedUnits& Region() {
  static fuzz::GuardedUnits region(1 << 17);
  return region;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const unsigned selector = data[0] | data[1] << 8;
  const Signature& signature = kSignatures[data[2] % kSignatureCount];
  const size_t signatureIndex = data[2] % kSignatureCount;
  const uint8_t nulls = data[3];

  // The format and the string arguments.
  std::u16string units = size > 68 ? fuzz::Utf16FromBytes(data + 68, size - 68) : u"";
  std::vector<std::u16string> pieces(1);
  for (char16_t unit : units) {
    if (unit == 0) pieces.emplace_back();
    else pieces.back().push_back(unit);
  }
  pieces.resize(pieces.size() < 9 ? 9 : pieces.size());
  const std::u16string format = FitFormat(pieces[0], signature);

  Arg args[8];
  for (int k = 0; k < 8; ++k) {
    args[k].kind = signature.kinds[k];
    args[k].number = Number(data, size, static_cast<size_t>(k));
    args[k].text = (nulls >> k) & 1 ? nullptr : pieces[1 + k].c_str();
  }

  fuzz::GuardedUnits& region = Region();

  // Capacities that are refused: nothing is written.
  if (selector == 0 || selector == 0xFFFF) {
    const size_t capacity = selector == 0 ? 0 : kFormatMaxCapacity + 1;
    char16_t* buffer = region.At(16, kFill);
    FUZZ_CHECK(Call(buffer, capacity, format.c_str(), signatureIndex, args) == kFormatInvalidArgument);
    for (size_t i = 0; i < 16; ++i) FUZZ_CHECK(buffer[i] == kFill);
    FUZZ_CHECK(region.UntouchedBefore(buffer, kFill));
    FUZZ_CHECK(Call(nullptr, 16, format.c_str(), signatureIndex, args) == kFormatInvalidArgument);
    // No format at all: an empty text, nothing read.
    buffer = region.At(16, kFill);
    FUZZ_CHECK(Call(buffer, 16, nullptr, signatureIndex, args) == kFormatOk);
    FUZZ_CHECK(buffer[0] == 0);
    return 0;
  }

  // The full text's length n: the least capacity that takes it whole is n + 1 (a %c of 0 puts a
  // NUL inside the text, so its terminator does not tell). A longer text is out of reach here.
  auto fits = [&](size_t capacity) {
    return Call(region.At(capacity, kFill), capacity, format.c_str(), signatureIndex, args) ==
           kFormatOk;
  };
  size_t least = 1;
  size_t tooSmall = 0;
  while (!fits(least)) {
    if (least == region.MaxUnits()) return 0;
    tooSmall = least;
    least = least * 2 < region.MaxUnits() ? least * 2 : region.MaxUnits();
  }
  for (size_t low = tooSmall + 1; low < least;) {
    const size_t middle = low + (least - low) / 2;
    if (fits(middle)) least = middle;
    else low = middle + 1;
  }
  // It fits exactly, terminated, with nothing in front touched; one unit less and it is cut.
  char16_t* buffer = region.At(least, kFill);
  Call(buffer, least, format.c_str(), signatureIndex, args);
  const std::u16string full(buffer, least - 1);
  FUZZ_CHECK(buffer[full.size()] == 0);
  FUZZ_CHECK(region.UntouchedBefore(buffer, kFill));
  if (!full.empty()) {
    buffer = region.At(full.size(), kFill);
    FUZZ_CHECK(Call(buffer, full.size(), format.c_str(), signatureIndex, args) == kFormatTruncated);
    FUZZ_CHECK(std::u16string(buffer, full.size() - 1) == full.substr(0, full.size() - 1));
    FUZZ_CHECK(buffer[full.size() - 1] == 0);
  }

  // The fuzzed capacity.
  const size_t capacity = selector == 0xFFFE ? kFormatMaxCapacity : 1 + selector % 4200;
  // A buffer of the largest capacity only needs room for what can be written.
  const size_t room = selector == 0xFFFE ? full.size() + 1 : capacity;
  buffer = region.At(room, kFill);
  const int32_t result = Call(buffer, capacity, format.c_str(), signatureIndex, args);
  const size_t kept = full.size() < capacity - 1 ? full.size() : capacity - 1;
  FUZZ_CHECK(result == (full.size() > capacity - 1 ? kFormatTruncated : kFormatOk));
  FUZZ_CHECK(std::u16string(buffer, kept) == full.substr(0, kept));
  FUZZ_CHECK(buffer[kept] == 0);
  for (size_t i = kept + 1; i < room; ++i) FUZZ_CHECK(buffer[i] == kFill);
  FUZZ_CHECK(region.UntouchedBefore(buffer, kFill));
  return 0;
}
