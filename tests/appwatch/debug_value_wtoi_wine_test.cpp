// ReadDebugValue against the C runtime's own _wtoi: the same lines through both, in the "C"
// locale and in a Thai system's (code page 874), through the runtime the programs link
// (msvcrt.dll) and, where present, the newer one (ucrtbase.dll).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "appwatch/monitor_config_parse.h"
#include "shared/text16.h"
#include "tests/support/wine_support.h"

namespace {

using WtoiFunction = int(__cdecl*)(const wchar_t*);
using WsetlocaleFunction = wchar_t*(__cdecl*)(int, const wchar_t*);

struct Runtime {
  const wchar_t* dll;
  HMODULE module = nullptr;
  WtoiFunction wtoi = nullptr;
  WsetlocaleFunction wsetlocale = nullptr;
};

Runtime LoadRuntime(const wchar_t* dll) {
  Runtime runtime{dll};
  runtime.module = LoadLibraryW(dll);
  if (runtime.module == nullptr) return runtime;
  runtime.wtoi = reinterpret_cast<WtoiFunction>(
      reinterpret_cast<void*>(GetProcAddress(runtime.module, "_wtoi")));
  runtime.wsetlocale = reinterpret_cast<WsetlocaleFunction>(
      reinterpret_cast<void*>(GetProcAddress(runtime.module, "_wsetlocale")));
  return runtime;
}

constexpr int kNoDeviation = INT32_MIN + 1;

struct Line {
  const char* what;
  std::u16string text;
  // Set where Wine's runtimes read the line otherwise than the Windows runtime's character
  // types; the reader follows Windows, and the check takes either answer from the runtime.
  int windowsValue = kNoDeviation;
};

constexpr WineFact kWineFactRuntimeWhiteSpace = {
    "the runtime's wide white space (iswspace) takes in U+FEFF and U+0085, which _wtoi skips",
    "neither runtime skips U+FEFF (zero width no-break space), and msvcrt.dll does not skip "
    "U+0085 (next line) although ucrtbase.dll does: _wtoi reads 0"};

// White space, signs, overflow, and the digits of other scripts. The product's results are not
// written here: _wtoi is the reference.
const Line kLines[] = {
    {"plain", u"42"},
    {"zero", u"0"},
    {"empty", u""},
    {"letters", u"abc"},
    {"number then letters", u"12abc"},
    {"space inside", u"1 2"},
    {"hexadecimal prefix", u"0x1A"},
    {"leading zeros", u"00000000000000000000012"},
    {"ASCII white space", u"\t\n\v\f\r 7"},
    {"no-break spaces", u"\u00A0\u00A012"},
    {"ideographic space", u"\u30005"},
    {"en quad to hair space", u"\u2000\u200A9"},
    {"zero width space", u"\u200B1"},
    // The reader skips both, as on Windows (kWineFactRuntimeWhiteSpace; not confirmed on a
    // Windows machine here).
    {"byte order mark", u"\uFEFF3", 3},
    {"next line", u"\u00854", 4},
    {"Ogham space mark", u"\u16806"},
    {"line and paragraph separators", u"\u2028\u20298"},
    {"plus", u"+17"},
    {"minus", u"-17"},
    {"two signs", u"+-5"},
    {"space after sign", u"- 5"},
    {"sign alone", u"-"},
    {"largest", u"2147483647"},
    {"largest plus one", u"2147483648"},
    {"smallest", u"-2147483648"},
    {"smallest minus one", u"-2147483649"},
    {"far beyond", u"99999999999999999999999"},
    {"far below", u"-99999999999999999999999"},
    {"Thai digits", u"\u0E51\u0E52"},
    {"Thai nine, negative", u"-\u0E59"},
    {"Thai zero to nine", u"\u0E50\u0E51\u0E52\u0E53\u0E54\u0E55\u0E56\u0E57\u0E58\u0E59"},
    {"ASCII then Thai", u"1\u0E52"},
    {"Thai letter after digits", u"\u0E513\u0E01"},
    {"Thai mark past the digits", u"\u0E5A"},
    {"full-width digits", u"\uFF11\uFF12"},
    {"full-width minus", u"\uFF0D5"},
    {"Arabic-Indic digits", u"\u0661\u0662"},
    {"extended Arabic-Indic", u"\u06F3"},
    {"Devanagari digits", u"\u0967\u0966"},
    {"Lao digits", u"\u0ED5"},
    {"Tibetan digits", u"\u0F24"},
    {"Myanmar digits", u"\u1047"},
    {"Khmer digits", u"\u17E8"},
    {"Mongolian digits", u"\u1819"},
    {"Ethiopic digit (no zero in its script)", u"\u1369"},
    {"superscript two", u"\u00B2"},
    {"vulgar fraction", u"12\u00BD"},
    {"circled one", u"\u2460"},
    {"mathematical bold one (surrogates)", u"\U0001D7CF"},
    {"Thai digits overflowing",
     u"\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59\u0E59"},
};

class DebugValueAgainstWtoi : public testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    runtime_ = LoadRuntime(GetParam());
    if (runtime_.module == nullptr && std::wstring(GetParam()) == L"ucrtbase.dll") {
      GTEST_SKIP() << "no ucrtbase.dll here";
    }
    ASSERT_NE(runtime_.wtoi, nullptr);
    ASSERT_NE(runtime_.wsetlocale, nullptr);
  }
  void TearDown() override {
    if (runtime_.wsetlocale != nullptr) runtime_.wsetlocale(LC_ALL, L"C");
    if (runtime_.module != nullptr) FreeLibrary(runtime_.module);
  }

  void ExpectEveryLineReadAlike() {
    for (const Line& line : kLines) {
      SCOPED_TRACE(line.what);
      const int runtimeValue = runtime_.wtoi(AsWide(line.text.c_str()));
      const int read = ReadDebugValue(line.text);
      if (line.windowsValue == kNoDeviation) {
        EXPECT_EQ(read, runtimeValue);
      } else {
        EXPECT_EQ(read, line.windowsValue);
        if (runtimeValue != line.windowsValue) {
          NoteWineFact(kWineFactRuntimeWhiteSpace);
          EXPECT_EQ(runtimeValue, 0);
        }
      }
    }
  }

  Runtime runtime_{L""};
};

TEST_P(DebugValueAgainstWtoi, InTheCLocale) {
  ASSERT_NE(runtime_.wsetlocale(LC_ALL, L"C"), nullptr);
  ExpectEveryLineReadAlike();
}

// A Thai system's locale: were _wtoi to read white space or digits through the locale, a Thai
// machine would read the file otherwise, so the same lines go through again. (Under Wine the
// answers are those of the "C" locale.)
TEST_P(DebugValueAgainstWtoi, InAThaiLocale) {
  ASSERT_NE(runtime_.wsetlocale(LC_ALL, L"Thai_Thailand.874"), nullptr);
  ExpectEveryLineReadAlike();
}

INSTANTIATE_TEST_SUITE_P(Runtimes, DebugValueAgainstWtoi,
                         testing::Values(L"msvcrt.dll", L"ucrtbase.dll"),
                         [](const auto& info) {
                           return std::string(std::wstring(info.param) == L"msvcrt.dll"
                                                  ? "msvcrt"
                                                  : "ucrtbase");
                         });

}  // namespace
