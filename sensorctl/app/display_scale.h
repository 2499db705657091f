#pragma once
// The window's frame units are device-independent pixels: one pixel each at 96 DPI, d / 96
// pixels at a window DPI of d. Child windows and the window itself are placed in pixels, so
// every frame-unit place goes through PixelsFromUnits, the one rounding; mouse positions come
// back through UnitsFromPixels. Plain C++, tested on the host.

#include "sensorctl/app/list_geometry.h"

constexpr int kBaseDpi = 96;

// A DPI the window can be drawn at: what the system reports, or 96 where it reports nothing
// usable (0, negative, or beyond any screen: a broken driver or registry value).
int UsableDpi(int dpi);

// Frame units to pixels, to the nearest pixel, halves up.
int PixelsFromUnits(int units, int dpi);
// The frame unit whose pixels (from its rounded edge to the next one's) hold a client pixel, also
// left of or above the window: the inverse of PixelsFromUnits.
int UnitsFromPixels(int pixels, int dpi);

// A child window's place in pixels: its edges rounded, so windows that touch in frame units
// touch in pixels.
ChildPlacement PixelPlacement(const ChildPlacement& units, int dpi);
// The frame units that the pixels of a child window's place lie in.
ChildPlacement UnitPlacement(const ChildPlacement& pixels, int dpi);

struct WindowSize {
  int width = 0, height = 0;
};
// The main window, 566 x 460 frame units, in pixels.
WindowSize MainWindowSize(int dpi);
