#pragma once
// The tool's command line: one switch, "-" or "/" followed by a letter, selects one action.
// Plain C++ so that the switch rules are checked on any machine; Windows passes CharNextW as the
// way to step from one character to the next.

#include <cstddef>
#include <cstdint>

// Steps from one character to the next; at the terminating zero it stays where it is.
using NextCharacterFn = const char16_t* (*)(const char16_t*);

// One UTF-16 character forward: a surrogate pair counts as one character.
const char16_t* NextUtf16Character(const char16_t* text);

constexpr char16_t kSwitchDelimiters[] = u"-/";

// The position right after the first character of text that is one of delimiters, or null when
// there is none (also for an empty or absent text).
const char16_t* FindSwitchLetter(const char16_t* text, const char16_t* delimiters,
                                 NextCharacterFn next = NextUtf16Character);

enum class ToolAction { None, Register, Remove, FirmwareCommand };

// The action of the first recognised switch: R, C or U in either case, directly after a
// delimiter and followed by a space or the end of the text. Anything else is skipped.
ToolAction ChooseToolAction(const char16_t* commandLine, NextCharacterFn next = NextUtf16Character);

// Exit code of the removal action from RemoveControlPanelItem's result (1 is success).
constexpr int ExitCodeForRemoval(int removalResult) { return removalResult == 1 ? 0 : -1; }
