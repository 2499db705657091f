#pragma once
// printf-style formatting of UTF-16 text into a buffer of a fixed capacity in characters.
//
// At most capacity - 1 characters are produced and the result is always terminated; a longer
// result is cut and the cut text stays in the buffer. Conversions: %s (a UTF-16 string; null
// prints "(null)"), %c, %d, %i, %u, %x, %X, each optionally with flags '-' and '0', a width and
// the length modifier l or h, and %%. Results follow the strsafe conventions, so callers on
// Windows can compare them with HRESULTs.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

constexpr int32_t kFormatOk = 0;                                        // S_OK
constexpr int32_t kFormatTruncated = static_cast<int32_t>(0x8007007Au); // STRSAFE_E_INSUFFICIENT_BUFFER
constexpr int32_t kFormatInvalidArgument = static_cast<int32_t>(0x80070057u); // E_INVALIDARG
constexpr size_t kFormatMaxCapacity = 2147483647u;                     // STRSAFE_MAX_CCH

// Capacity 0 or above kFormatMaxCapacity: kFormatInvalidArgument, and nothing is written.
int32_t FormatBoundedV(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);
int32_t FormatBounded(char16_t* buffer, size_t capacity, const char16_t* format, ...);

#ifdef _WIN32
int32_t FormatBounded(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);
#endif
