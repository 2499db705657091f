#include "sensorctl/resources/strings/string_table.h"

#include <iterator>

#include "sensorctl/resources/strings/string_table_data.h"

static_assert(std::size(kStringIds) == kStringsPerLanguage);

namespace {

constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;  // PRIMARYLANGID; sublanguage 0 is neutral

const StringTableLanguage* FindTable(std::uint16_t languageId) {
  for (std::size_t i = 0; i < kStringTableDataCount; ++i) {
    if (kStringTableData[i].id == languageId) return &kStringTableData[i];
  }
  return nullptr;
}

int StringIndex(int stringId) {
  for (std::size_t i = 0; i < std::size(kStringIds); ++i) {
    if (kStringIds[i] == stringId) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::uint16_t StringTableLanguageFor(std::uint16_t languageId) {
  if (FindTable(languageId) != nullptr) return languageId;
  auto primaryNeutral = static_cast<std::uint16_t>(languageId & kPrimaryLanguageMask);
  if (FindTable(primaryNeutral) != nullptr) return primaryNeutral;
  return kEnglishUnitedStates;
}

const char16_t* LookupString(std::uint16_t languageId, int stringId) {
  int index = StringIndex(stringId);
  const StringTableLanguage* table = FindTable(StringTableLanguageFor(languageId));
  if (index < 0 || table == nullptr) return nullptr;
  return table->texts[index];
}

std::vector<std::uint16_t> StringTableLanguages() {
  std::vector<std::uint16_t> ids;
  ids.reserve(kStringTableDataCount);
  for (std::size_t i = 0; i < kStringTableDataCount; ++i) ids.push_back(kStringTableData[i].id);
  return ids;
}

const char16_t* StringTableLanguageTag(std::uint16_t languageId) {
  const StringTableLanguage* table = FindTable(languageId);
  return table != nullptr ? table->tag : nullptr;
}
