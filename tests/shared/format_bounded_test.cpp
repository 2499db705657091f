// FormatBounded at its boundaries: exact fit, one over, capacity 1 and 0, capacity above the
// limit, and each conversion the programs use.
#include "shared/format_bounded.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(const char16_t* buffer) { return std::u16string(buffer); }

TEST(FormatBounded, CapacityBoundaries) {
  struct Case {
    size_t capacity;
    int32_t result;
    std::u16string text;
  };
  // "abcde" needs 6 units with its terminator.
  const Case cases[] = {
      {7, kFormatOk, u"abcde"},          // room to spare
      {6, kFormatOk, u"abcde"},          // exact fit
      {5, kFormatTruncated, u"abcd"},    // one character over: cut, still terminated
      {2, kFormatTruncated, u"a"},
      {1, kFormatTruncated, u""},        // only the terminator fits
  };
  for (const Case& c : cases) {
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(FormatBounded(buffer, c.capacity, u"%s", u"abcde"), c.result) << c.capacity;
    EXPECT_EQ(Text(buffer), c.text) << c.capacity;
    // Nothing is written past the capacity.
    for (size_t i = c.capacity; i < 16; ++i) EXPECT_EQ(buffer[i], u'#') << c.capacity;
  }
}

TEST(FormatBounded, InvalidCapacityWritesNothing) {
  for (size_t capacity : {size_t{0}, kFormatMaxCapacity + 1, static_cast<size_t>(-1)}) {
    char16_t buffer[4] = {u'x', u'y', u'z', 0};
    EXPECT_EQ(FormatBounded(buffer, capacity, u"abc"), kFormatInvalidArgument) << capacity;
    EXPECT_EQ(Text(buffer), u"xyz") << capacity;
  }
  char16_t buffer[4] = {u'x', 0};
  EXPECT_EQ(FormatBounded(buffer, kFormatMaxCapacity, u"ab"), kFormatOk);  // the limit itself
  EXPECT_EQ(Text(buffer), u"ab");
}

TEST(FormatBounded, Conversions) {
  struct Case {
    std::u16string expected;
    std::u16string produced;
  };
  auto fmt = [](const char16_t* format, auto... args) {
    char16_t buffer[128];
    EXPECT_EQ(FormatBounded(buffer, 128, format, args...), kFormatOk);
    return std::u16string(buffer);
  };
  const Case cases[] = {
      {u"09:05:03:0042::ExecutableFileList:",
       fmt(u"%02d:%02d:%02d:%04d::%s", 9, 5, 3, 42, u"ExecutableFileList:")},
      {u"[03:14:09:05:07:0042] m", fmt(u"[%02d:%02d:%02d:%02d:%02d:%04d] %s", 3, 14, 9, 5, 7, 42, u"m")},
      {u"zqwBIOSInt0", fmt(u"zqwBIOSInt%ld", 0L)},
      {u"flag=1\n", fmt(u"flag=%x\n", 1)},
      {u"ff FF", fmt(u"%x %X", 255u, 255u)},
      {u"-42|-042|  7|7  |", fmt(u"%d|%04d|%3d|%-3d|", -42, -42, 7, 7)},
      {u"2147483647 -2147483648", fmt(u"%d %d", 2147483647, -2147483647 - 1)},
      {u"100%", fmt(u"100%%")},
      {u"\"C:\\x\"", fmt(u"\"%s\"", u"C:\\x")},
      {u"  5 Second(s)", fmt(u"  %d %s", 5, u"Second(s)")},
      {u"(null)", fmt(u"%s", static_cast<const char16_t*>(nullptr))},
      {u"", fmt(u"%s", u"")},
      {u"A", fmt(u"%c", u'A')},
      // Lengths, flags and widths beyond the programs' own formats.
      {u"-1 65535 -1 4294967295", fmt(u"%hd %hu %ld %lu", 65535, -1, -1L, 4294967295UL)},
      {u"  ab|ab  |  ab| (null)", fmt(u"%4s|%-4s|%04s|%7s", u"ab", u"ab", u"ab",
                                           static_cast<const char16_t*>(nullptr))},
      {u"7    |-0007|  c", fmt(u"%-05d|%05d|%3c", 7, -7, u'c')},
      {u"%q % 100%", fmt(u"%q %5% 100%")},  // unknown letters and an unfinished end stay
  };
  for (const Case& c : cases) EXPECT_EQ(c.produced, c.expected);
}

TEST(FormatBounded, CutInsideAConversionKeepsTheFront) {
  char16_t buffer[8];
  EXPECT_EQ(FormatBounded(buffer, 8, u"%04d-%s", 7, u"abcdef"), kFormatTruncated);
  EXPECT_EQ(Text(buffer), u"0007-ab");
  EXPECT_EQ(FormatBounded(buffer, 4, u"%d", 123456), kFormatTruncated);
  EXPECT_EQ(Text(buffer), u"123");
}

TEST(FormatBounded, WidthIsBoundedAt4096) {
  std::u16string buffer(5000, u'#');
  EXPECT_EQ(FormatBounded(buffer.data(), buffer.size(), u"%99999d", 1), kFormatOk);
  EXPECT_EQ(std::u16string(buffer.c_str()).size(), 4096u);
}

TEST(FormatBounded, ReusesABufferWithoutLeftovers) {
  char16_t buffer[16];
  FormatBounded(buffer, 16, u"%s", u"a long text");
  FormatBounded(buffer, 16, u"%s", u"ab");
  EXPECT_EQ(Text(buffer), u"ab");
}

}  // namespace
