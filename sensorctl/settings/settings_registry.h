#pragma once
// The registry side of the sensor service contract: "Current" is read from, "New" written to
// HKEY_LOCAL_MACHINE\Software\Zenquill\ZQ Proximity Sensor, and control 200 tells the service.

#include <windows.h>

#include "sensorctl/settings/settings_block.h"

// The two blocks the settings window holds for the life of its window. currentBlock is the
// last "Current" read (all zero until a read succeeds); workingBlock is what the controls edit.
extern SettingsBlock currentBlock;
extern SettingsBlock workingBlock;

// Reads "Current" over currentBlock; a missing key or value keeps the copy held so far.
// Returns 1 when the copy was replaced, 0 when it was kept.
int ReadCurrentSettings();

// How WriteNewSettings hands control 200 to the service: returns once the service has answered
// it (or was not told, as a service that is not running never is). SendSensorControl unless
// the settings window puts in one that keeps the window alive while a slow service answers.
using SendControlFunction = int (*)(DWORD code);
extern SendControlFunction sendControlToService;

// When workingBlock differs from currentBlock: writes it as "New", sends control 200 and reads
// "Current" again (workingBlock is left as it is). Writes and sends nothing when they are equal.
// Returns 0.
int WriteNewSettings();
