#pragma once
// Helpers shared by the fuzz targets: a check that stops the run with a message, UTF-16 text from
// raw bytes, and a buffer whose last unit touches an unreadable page.
//
// The targets fuzz the product's own functions; what they compare against is written here from
// the documented formats and rules, never copied from the product.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run: libFuzzer treats the abort as a crash and saves the input as crash-*.
[[noreturn]] inline void FuzzFail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "\n*** fuzz invariant broken at %s:%d: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : FuzzFail(__FILE__, __LINE__, #condition))

namespace fuzz {

// Bytes taken two at a time as UTF-16 little-endian units; an odd last byte is dropped.
inline std::u16string Utf16FromBytes(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return text;
}

// The text up to its first NUL unit, as a C function taking a terminated text sees it.
inline std::u16string UpToNul(const std::u16string& text) {
  size_t end = text.find(u'\0');
  return end == std::u16string::npos ? text : text.substr(0, end);
}

inline size_t Length16(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// A region of UTF-16 units followed by a page that may not be touched: a buffer placed with
// At(capacity) ends exactly at that page, so a write (or read) one unit past its end faults at
// once, with or without the address sanitizer. The region is mapped once per process.
class GuardedUnits {
 public:
  explicit GuardedUnits(size_t maxUnits) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    bytes_ = (maxUnits * sizeof(char16_t) + page - 1) / page * page;
    void* region = mmap(nullptr, bytes_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
    if (region == MAP_FAILED) FuzzFail(__FILE__, __LINE__, "mmap");
    if (mprotect(static_cast<char*>(region) + bytes_, page, PROT_NONE) != 0) {
      FuzzFail(__FILE__, __LINE__, "mprotect");
    }
    begin_ = static_cast<char16_t*>(region);
    units_ = bytes_ / sizeof(char16_t);
  }
  GuardedUnits(const GuardedUnits&) = delete;
  GuardedUnits& operator=(const GuardedUnits&) = delete;

  size_t MaxUnits() const { return units_; }

  // The last `units` units before the guard page, filled with `fill`, as are the kMargin units
  // in front of them.
  char16_t* At(size_t units, char16_t fill) {
    if (units > units_) FuzzFail(__FILE__, __LINE__, "guarded buffer too small");
    char16_t* buffer = begin_ + (units_ - units);
    char16_t* from = buffer - (units_ - units < kMargin ? units_ - units : kMargin);
    for (char16_t* p = from; p < begin_ + units_; ++p) *p = fill;
    return buffer;
  }

  // True when the margin in front of `buffer` still holds `fill`.
  bool UntouchedBefore(const char16_t* buffer, char16_t fill) const {
    const size_t before = static_cast<size_t>(buffer - begin_);
    for (const char16_t* p = buffer - (before < kMargin ? before : kMargin); p < buffer; ++p) {
      if (*p != fill) return false;
    }
    return true;
  }

 private:
  static constexpr size_t kMargin = 64;
  char16_t* begin_ = nullptr;
  size_t bytes_ = 0;
  size_t units_ = 0;
};

}  // namespace fuzz
