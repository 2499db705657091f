#pragma once
// The monitor's configuration file, parsed over its bytes: two lists of names and the debug
// value that brings the monitor window onto the screen. Plain C++; the Windows side hands in
// the code-page conversion and applies the debug values to its window.
//
// The file is single-byte text. Lines end with CR LF only; a lone CR or LF ends nothing.
//   [Executable]   exact case         following lines go to the executable list
//   [ClassName]    any case           following lines go to the class-name list
//   [Debug]        any case           following lines are also read as debug values, to the end
// A header is recognised the moment its closing bracket has been read; after "[Executable]"
// and "[ClassName]" the next two bytes are skipped whatever they are. "[Debug]" consumes
// nothing, so its own line completes as an entry of the section that is on.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Longest text an entry keeps; a longer line is cut to its first kNameEntryMaxLength units.
constexpr size_t kNameEntryMaxLength = 129;

// One list of names in file order: the texts one after another, and where each one ends.
// Kept compact so that a file of many short lines costs about what its text costs.
struct NameList {
  std::vector<char16_t> units;
  std::vector<uint32_t> ends;
};

size_t NameCount(const NameList& list);
std::u16string_view NameAt(const NameList& list, size_t index);
void ClearNames(NameList& list);

// Converts one byte of the file, on its own, into one UTF-16 unit; 0 means the byte adds
// nothing to the line (a zero byte does not).
using ConvertByteFn = char16_t (*)(uint8_t byte);

// Called for every completed line, while debug reading is on, whose debug value is not 0.
using DebugValueFn = void (*)(int32_t value, void* context);

enum class ConfigParseResult { kParsed, kOutOfMemory };

// Appends the entries of `bytes` to the two lists and reports the debug values in file order.
// When memory for the lists runs out, both lists are left exactly as they were before the call
// (what this file added is taken back) and kOutOfMemory is returned.
ConfigParseResult ParseMonitorConfig(std::span<const uint8_t> bytes, ConvertByteFn convert,
                                     NameList& executables, NameList& classes,
                                     DebugValueFn onDebugValue, void* context);

// The leading decimal integer of a line, read as _wtoi reads it: leading white space skipped,
// an optional sign, digits up to the first other character; 0 without digits. Values beyond
// the 32-bit range stop at INT32_MAX or INT32_MIN.
int32_t ReadDebugValue(std::u16string_view line);
