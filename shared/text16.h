#pragma once
// Portable UTF-16 text. Code that needs no Windows keeps its texts as char16_t; on Windows
// wchar_t is the same 16-bit unit, so the two views of a buffer convert without copying.

#include <string>

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* AsU16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* AsU16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
inline std::wstring ToWide(const std::u16string& text) { return std::wstring(AsWide(text.c_str()), text.size()); }
inline std::u16string ToU16(const std::wstring& text) { return std::u16string(AsU16(text.c_str()), text.size()); }
#endif
