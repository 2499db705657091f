#pragma once
// Resource identifiers of iconreg.
#define IDI_ICONREG 101
