#pragma once
// The texts of every language of the string table, generated from languages/*.json by
// tools/gen_strings.py into the build directory. Only string_table.cpp reads these.

#include <cstddef>
#include <cstdint>

constexpr int kStringsPerLanguage = 17;

struct StringTableLanguage {
  std::uint16_t id;                          // Windows language identifier
  const char16_t* tag;                       // "en-US", "de" ...
  const char16_t* texts[kStringsPerLanguage];  // in the order of kStringIds
};

// Sorted by id, one entry per language, each with all strings present and non-empty.
extern const StringTableLanguage kStringTableData[];
extern const std::size_t kStringTableDataCount;
