// Resource ids of sensorctl, shared by the resource script and the code. The string numbers are
// in resources/strings/string_ids.h, from which the string table is generated.
#pragma once

#define IDM_UNHANDLED_ACCELERATOR 104  // the command of Alt+? and Alt+/, which nothing handles
#define IDR_ACCELERATORS 109
#include "shared/program_ids.h"  // IDI_SENSORCTL, the icon group
