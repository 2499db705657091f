#pragma once
// Numbers of the string resources of the settings window, the same in every language. This enum
// is the one place they are written: tools/gen_strings.py reads it to build the string table.

enum StringId : int {
  kStringTitle = 103,           // "ZQ Proximity Sensor Control"
  kStringDescription = 104,     // the description drawn in the frame
  kStringRangeLabel = 105,      // "Sensitivity (Range):"
  kStringOffDelayLabel = 106,   // "Delay until off:"
  kStringOnDelayLabel = 107,    // "Delay until on:" (not displayed)
  kStringDisableSensor = 108,   // "Disable Proximity sensor"
  kStringApply = 109,
  kStringOk = 110,
  kStringCancel = 111,
  kStringFeet = 112,            // not displayed
  kStringSeconds = 113,         // "Second(s)"
  kStringEnable = 114,          // not displayed
  kStringMinimum = 115,
  kStringMiddle = 116,          // not displayed
  kStringMaximum = 117,
  kStringWaitingForService = 118,  // shown while a slow sensor service takes up new settings
  kStringMinutes = 131,         // "Minute(s)"
};

// Every language carries these 17 strings; a loading buffer holds 1024 UTF-16 units.
constexpr int kStringIds[] = {
    kStringTitle,      kStringDescription, kStringRangeLabel,    kStringOffDelayLabel,
    kStringOnDelayLabel, kStringDisableSensor, kStringApply,     kStringOk,
    kStringCancel,     kStringFeet,        kStringSeconds,       kStringEnable,
    kStringMinimum,    kStringMiddle,      kStringMaximum,       kStringWaitingForService,
    kStringMinutes};

// The generated table holds the texts in ascending order of their numbers.
constexpr bool StringIdsAscend() {
  for (unsigned i = 1; i < sizeof kStringIds / sizeof kStringIds[0]; ++i) {
    if (kStringIds[i - 1] >= kStringIds[i]) return false;
  }
  return true;
}
static_assert(StringIdsAscend(), "kStringIds lists every StringId in ascending order");
constexpr int kStringBufferSize = 1024;
