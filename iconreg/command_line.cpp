#include "iconreg/command_line.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

ToolAction ActionOfLetter(char16_t letter) {
  switch (letter) {
    case u'R':
    case u'r':
      return ToolAction::Register;
    case u'C':
    case u'c':
      return ToolAction::Remove;
    case u'U':
    case u'u':
      return ToolAction::FirmwareCommand;
    default:
      return ToolAction::None;
  }
}

}  // namespace

const char16_t* NextUtf16Character(const char16_t* text) {
  if (*text == 0) return text;
  if (IsHighSurrogate(text[0]) && IsLowSurrogate(text[1])) return text + 2;
  return text + 1;
}

const char16_t* FindSwitchLetter(const char16_t* text, const char16_t* delimiters,
                                 NextCharacterFn next) {
  if (text == nullptr || delimiters == nullptr) return nullptr;
  for (const char16_t* p = text; *p != 0; p = next(p)) {
    for (const char16_t* d = delimiters; *d != 0; d = next(d)) {
      if (*p == *d) return next(p);
    }
  }
  return nullptr;
}

ToolAction ChooseToolAction(const char16_t* commandLine, NextCharacterFn next) {
  const char16_t* position = FindSwitchLetter(commandLine, kSwitchDelimiters, next);
  while (position != nullptr) {
    char16_t letter = position[0];
    // The follower is read only behind a real letter: a delimiter at the very end leaves the
    // position on the terminator, and nothing after it belongs to the text.
    if (letter != 0) {
      char16_t follower = position[1];
      ToolAction action = ActionOfLetter(letter);
      if (action != ToolAction::None && (follower == u' ' || follower == 0)) return action;
    }
    // Scan on from the letter itself, so that "--C" finds the C after the second hyphen.
    position = FindSwitchLetter(position, kSwitchDelimiters, next);
  }
  return ToolAction::None;
}
