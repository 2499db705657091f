#pragma once
// Resource ids that one program defines and another names. Included by resource scripts, so
// only #define lines.

// The settings program's icon group. The Control Panel item's icon names it as "-130" (a
// negative number in an icon reference names a resource id rather than an index).
#define IDI_SENSORCTL 130
