// The string table compiled into a program: each language's table holds exactly the texts of its
// language file, no other language sneaks in, and LoadStringW picks the table for the process's
// UI language (run_in_ui_language.sh starts this program under several locales).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "sensorctl/resources/strings/string_table.h"
#include "shared/text16.h"

namespace {

// One string of one language's table, straight from the resource data. The resource loader
// searches further when the language is missing, so only identifiers that have a table of
// their own give an exact answer here.
std::optional<std::wstring> ReadStringResource(LANGID language, int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  auto* units = static_cast<const WCHAR*>(LockResource(loaded));
  if (units == nullptr) return std::nullopt;
  const WCHAR* end = units + SizeofResource(module, found) / sizeof(WCHAR);
  // A block holds 16 counted strings; skip to ours.
  for (int i = 0; i < id % 16; ++i) {
    if (units >= end) return std::nullopt;
    units += 1 + *units;
  }
  if (units >= end || units + 1 + *units > end) return std::nullopt;
  return std::wstring(units + 1, *units);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::set<std::uint16_t>*>(param)->insert(language);
  return TRUE;
}

std::optional<unsigned long> NumberFromEnvironment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  if (value == nullptr || *value == 0) return std::nullopt;
  return std::wcstoul(value, nullptr, 0);
}

TEST(StringResources, EveryTableHoldsTheTextsOfItsLanguageFile) {
  auto languages = StringTableLanguages();
  ASSERT_EQ(languages.size(), 37u + 29u);  // the languages and the ids carried as their copies
  for (std::uint16_t language : languages) {
    for (int id : kStringIds) {
      auto text = ReadStringResource(language, id);
      ASSERT_TRUE(text.has_value()) << language << " string " << id;
      EXPECT_EQ(*text, ToWide(LookupString(language, id))) << language << " string " << id;
    }
  }
}

TEST(StringResources, TheBlocksHoldTheTableLanguagesAndNoOthers) {
  auto languages = StringTableLanguages();
  const std::set<std::uint16_t> expected(languages.begin(), languages.end());
  // Strings 103-111 lie in block 7, 112-118 in block 8, 131 in block 9.
  for (int block : {7, 8, 9}) {
    std::set<std::uint16_t> found;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), RT_STRING, MAKEINTRESOURCEW(block),
                           CollectLanguage, reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(found, expected) << "block " << block;
  }
}

TEST(StringResources, LoadStringFollowsTheUserInterfaceLanguage) {
  LANGID ui = GetUserDefaultUILanguage();
  if (auto expectedUi = NumberFromEnvironment(L"ZQ_EXPECT_UI_LANGUAGE")) {
    // Without this the cases below could pass in English for the wrong reason.
    ASSERT_EQ(ui, *expectedUi) << "the locale did not reach the UI language";
  }
  std::uint16_t table = StringTableLanguageFor(ui);
  if (auto expectedTable = NumberFromEnvironment(L"ZQ_EXPECT_TABLE_LANGUAGE")) {
    EXPECT_EQ(table, *expectedTable) << "the host rule picks another table than the loader";
    table = static_cast<std::uint16_t>(*expectedTable);
  }
  std::printf("UI language 0x%04X, table %u\n", ui, table);
  for (int id : kStringIds) {
    wchar_t buffer[kStringBufferSize];
    int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), buffer,
                             kStringBufferSize);
    EXPECT_EQ(std::wstring(buffer, length > 0 ? length : 0), ToWide(LookupString(table, id)))
        << "string " << id;
  }
}

}  // namespace
