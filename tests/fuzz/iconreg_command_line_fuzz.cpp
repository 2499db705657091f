// Fuzz target: iconreg's command line (iconreg/command_line.*), the text after the program's name
// as UTF-16 little-endian units (up to the first NUL unit, as wWinMain receives it).
//
// ChooseToolAction runs with the product's own stepping (surrogate pairs) and with one that also
// steps over combining marks, as CharNextW may. The result must be one of the four actions and
// equal an independent model of the command-line rules in another shape: the text cut into
// characters first, then the first delimiter character whose next two units read as a switch.
// FindSwitchLetter is checked on its own, with the switch delimiters and with delimiters taken
// from the input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iconreg/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool IsCombiningMark(char16_t c) { return (c >= 0x0300 && c <= 0x036F) || (c >= 0x20D0 && c <= 0x20FF); }

// Like CharNextW: one character forward, a surrogate pair and the combining marks after it
// included; at the terminator it stays.
const char16_t* NextWithMarks(const char16_t* p) {
  if (*p == 0) return p;
  p = NextUtf16Character(p);
  while (IsCombiningMark(*p)) ++p;
  return p;
}

// The starts of the characters of a terminated text, as `next` steps; the terminator's own
// position comes last.
std::vector<size_t> CharacterStarts(const char16_t* text, NextCharacterFn next) {
  std::vector<size_t> starts;
  const char16_t* p = text;
  while (true) {
    starts.push_back(static_cast<size_t>(p - text));
    if (*p == 0) break;
    const char16_t* q = next(p);
    FUZZ_CHECK(q > p);  // stepping always moves on before the end
    p = q;
  }
  return starts;
}

bool IsDelimiter(char16_t c) { return c == u'-' || c == u'/'; }

ToolAction ActionOf(char16_t letter) {
  switch (letter) {
    case u'R': case u'r': return ToolAction::Register;
    case u'C': case u'c': return ToolAction::Remove;
    case u'U': case u'u': return ToolAction::FirmwareCommand;
    default: return ToolAction::None;
  }
}

// Reading the command line: every delimiter found while scanning is a candidate; the
// first whose letter is C, R or U (either case) followed by a space or the end acts.
ToolAction ModelAction(const char16_t* text, const std::vector<size_t>& starts) {
  for (size_t j = 0; j + 1 < starts.size(); ++j) {
    if (!IsDelimiter(text[starts[j]])) continue;
    const char16_t* letter = text + starts[j + 1];
    if (*letter == 0) continue;
    ToolAction action = ActionOf(letter[0]);
    if (action != ToolAction::None && (letter[1] == u' ' || letter[1] == 0)) return action;
  }
  return ToolAction::None;
}

void CheckFindSwitchLetter(const char16_t* text, const char16_t* delimiters, NextCharacterFn next,
                           const std::vector<size_t>& starts) {
  // The first units of the delimiters' characters are what a text character is compared with.
  std::u16string firsts;
  for (const char16_t* d = delimiters; *d != 0; d = next(d)) firsts.push_back(*d);
  const char16_t* expected = nullptr;
  for (size_t j = 0; j + 1 < starts.size(); ++j) {
    if (firsts.find(text[starts[j]]) != std::u16string::npos) {
      expected = text + starts[j + 1];
      break;
    }
  }
  FUZZ_CHECK(FindSwitchLetter(text, delimiters, next) == expected);
}

void CheckWith(const char16_t* text, size_t length, NextCharacterFn next,
               const char16_t* otherDelimiters) {
  const std::vector<size_t> starts = CharacterStarts(text, next);
  FUZZ_CHECK(starts.back() == length);

  const ToolAction action = ChooseToolAction(text, next);
  const int value = static_cast<int>(action);
  FUZZ_CHECK(value >= static_cast<int>(ToolAction::None) &&
             value <= static_cast<int>(ToolAction::FirmwareCommand));
  FUZZ_CHECK(action == ModelAction(text, starts));
  if (action != ToolAction::None) {
    // An action needs a delimiter somewhere in the text.
    bool anyDelimiter = false;
    for (size_t i = 0; i < length; ++i) anyDelimiter = anyDelimiter || IsDelimiter(text[i]);
    FUZZ_CHECK(anyDelimiter);
  }

  CheckFindSwitchLetter(text, kSwitchDelimiters, next, starts);
  CheckFindSwitchLetter(text, otherDelimiters, next, starts);
  const char16_t* found = FindSwitchLetter(text, kSwitchDelimiters, next);
  FUZZ_CHECK(found == nullptr || (found > text && found <= text + length));
}

// An exact-size heap copy of a terminated text: a read past the terminator is caught.
std::unique_ptr<char16_t[]> Exact(const std::u16string& text) {
  auto copy = std::make_unique<char16_t[]>(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) copy[i] = text[i];
  copy[text.size()] = 0;
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string units = fuzz::Utf16FromBytes(data, size);
  const std::u16string commandLine = fuzz::UpToNul(units);
  // Whatever follows the first NUL unit serves as a set of other delimiters (up to four units).
  std::u16string rest =
      commandLine.size() < units.size() ? fuzz::UpToNul(units.substr(commandLine.size() + 1)) : u"";
  rest.resize(rest.size() < 4 ? rest.size() : 4);

  auto text = Exact(commandLine);
  auto delimiters = Exact(rest);
  CheckWith(text.get(), commandLine.size(), NextUtf16Character, delimiters.get());
  CheckWith(text.get(), commandLine.size(), NextWithMarks, delimiters.get());

  // The stepping without marks is the default one.
  FUZZ_CHECK(ChooseToolAction(text.get()) == ChooseToolAction(text.get(), NextUtf16Character));
  FUZZ_CHECK(ChooseToolAction(nullptr) == ToolAction::None);
  FUZZ_CHECK(FindSwitchLetter(nullptr, kSwitchDelimiters) == nullptr);
  FUZZ_CHECK(FindSwitchLetter(text.get(), nullptr) == nullptr);
  return 0;
}
