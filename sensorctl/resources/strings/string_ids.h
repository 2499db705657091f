#pragma once
// Numbers of the string resources of the settings window, the same in every language.

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
  kStringMinutes = 131,         // "Minute(s)"
};

// Every language carries these 16 strings; a loading buffer holds 1024 UTF-16 units.
constexpr int kStringIds[] = {103, 104, 105, 106, 107, 108, 109, 110,
                              111, 112, 113, 114, 115, 116, 117, 131};
constexpr int kStringBufferSize = 1024;
