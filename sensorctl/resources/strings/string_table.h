#pragma once
// The settings window's string table for code that runs without the Windows resource loader
// (the host tests, and anything that needs a text outside a Windows process). The program
// itself loads its texts with LoadStringW from the same table compiled into its resources.

#include <cstdint>
#include <vector>

#include "sensorctl/resources/strings/string_ids.h"

constexpr std::uint16_t kEnglishUnitedStates = 1033;

// The table a UI language reads from, the way the resource loader searches: the exact
// identifier, then its primary language with the neutral sublanguage (id & 0x3FF), then
// English (United States).
std::uint16_t StringTableLanguageFor(std::uint16_t languageId);

// The text of stringId in the table StringTableLanguageFor(languageId) picks;
// nullptr for a number that is not one of kStringIds.
const char16_t* LookupString(std::uint16_t languageId, int stringId);

// The identifiers of all languages in the table, ascending.
std::vector<std::uint16_t> StringTableLanguages();

// The language tag ("de", "en-US") of a language in the table; nullptr when it has no table.
const char16_t* StringTableLanguageTag(std::uint16_t languageId);
