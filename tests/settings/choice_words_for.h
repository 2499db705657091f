#pragma once
// The four words of the choice texts in one language of the string table, as the program
// loads them on Windows.

#include "sensorctl/resources/strings/string_table.h"
#include "sensorctl/settings/settings_block.h"

inline ChoiceWords ChoiceWordsFor(std::uint16_t languageId) {
  return ChoiceWords{LookupString(languageId, kStringSeconds), LookupString(languageId, kStringMinutes),
                     LookupString(languageId, kStringMinimum), LookupString(languageId, kStringMaximum)};
}
