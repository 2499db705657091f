#include "shared/format_bounded.h"

namespace {

// Writes into the caller's buffer and remembers whether anything had to be dropped.
struct BoundedWriter {
  char16_t* buffer;
  size_t limit;  // characters that may be stored, terminator excluded
  size_t length;
  bool truncated;

  void Put(char16_t c) {
    if (length < limit) {
      buffer[length++] = c;
    } else {
      truncated = true;
    }
  }
};

void PutPadded(BoundedWriter& out, const char16_t* text, size_t textLength, size_t width,
               bool leftAlign, char16_t pad) {
  size_t padding = width > textLength ? width - textLength : 0;
  if (!leftAlign) {
    // A zero pad goes after the sign, as printf does.
    if (pad == u'0' && textLength > 0 && text[0] == u'-') {
      out.Put(u'-');
      ++text;
      --textLength;
    }
    for (size_t i = 0; i < padding; ++i) out.Put(pad);
  }
  for (size_t i = 0; i < textLength; ++i) out.Put(text[i]);
  if (leftAlign) {
    for (size_t i = 0; i < padding; ++i) out.Put(u' ');
  }
}

size_t FormatUnsigned(char16_t* digits, unsigned long long value, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char16_t reversed[32];
  size_t n = 0;
  do {
    reversed[n++] = static_cast<char16_t>(set[value % base]);
    value /= base;
  } while (value != 0);
  for (size_t i = 0; i < n; ++i) digits[i] = reversed[n - 1 - i];
  return n;
}

}  // namespace

int32_t FormatBoundedV(char16_t* buffer, size_t capacity, const char16_t* format, va_list args) {
  if (buffer == nullptr || capacity == 0 || capacity > kFormatMaxCapacity) {
    return kFormatInvalidArgument;
  }
  BoundedWriter out{buffer, capacity - 1, 0, false};
  for (const char16_t* p = format; p != nullptr && *p != 0; ++p) {
    if (*p != u'%') {
      out.Put(*p);
      continue;
    }
    const char16_t* start = p;
    ++p;
    bool leftAlign = false;
    char16_t pad = u' ';
    for (;; ++p) {
      if (*p == u'-') {
        leftAlign = true;
      } else if (*p == u'0') {
        pad = u'0';
      } else {
        break;
      }
    }
    size_t width = 0;
    while (*p >= u'0' && *p <= u'9') {
      width = width * 10 + static_cast<size_t>(*p - u'0');
      if (width > 4096) width = 4096;  // no real format asks for more; keeps the loop bounded
      ++p;
    }
    bool isLong = false;
    bool isShort = false;
    if (*p == u'l') {
      isLong = true;
      ++p;
    } else if (*p == u'h') {
      isShort = true;
      ++p;
    }
    if (leftAlign) pad = u' ';

    char16_t digits[40];
    switch (*p) {
      case u'%':
        out.Put(u'%');
        break;
      case u'c': {
        char16_t c = static_cast<char16_t>(va_arg(args, int));
        PutPadded(out, &c, 1, width, leftAlign, u' ');
        break;
      }
      case u's': {
        const char16_t* text = va_arg(args, const char16_t*);
        if (text == nullptr) text = u"(null)";
        size_t n = 0;
        while (text[n] != 0) ++n;
        PutPadded(out, text, n, width, leftAlign, u' ');
        break;
      }
      case u'd':
      case u'i': {
        long long value = isLong ? va_arg(args, long) : va_arg(args, int);
        if (isShort) value = static_cast<short>(value);
        size_t n = 0;
        unsigned long long magnitude;
        if (value < 0) {
          digits[n++] = u'-';
          magnitude = 0ull - static_cast<unsigned long long>(value);
        } else {
          magnitude = static_cast<unsigned long long>(value);
        }
        n += FormatUnsigned(digits + n, magnitude, 10, false);
        PutPadded(out, digits, n, width, leftAlign, pad);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        unsigned long long value =
            isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned int);
        if (isShort) value = static_cast<unsigned short>(value);
        unsigned base = *p == u'u' ? 10 : 16;
        size_t n = FormatUnsigned(digits, value, base, *p == u'X');
        PutPadded(out, digits, n, width, leftAlign, pad);
        break;
      }
      default:
        // Not a conversion we know: copy it as it stands (and stop at the end of the format).
        for (const char16_t* q = start; q <= p && *q != 0; ++q) out.Put(*q);
        if (*p == 0) --p;
        break;
    }
  }
  buffer[out.length] = 0;
  return out.truncated ? kFormatTruncated : kFormatOk;
}

int32_t FormatBounded(char16_t* buffer, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t result = FormatBoundedV(buffer, capacity, format, args);
  va_end(args);
  return result;
}

#ifdef _WIN32
int32_t FormatBounded(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t result = FormatBoundedV(reinterpret_cast<char16_t*>(buffer), capacity,
                                  reinterpret_cast<const char16_t*>(format), args);
  va_end(args);
  return result;
}
#endif
