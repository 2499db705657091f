#pragma once
// The settings window's decisions that need no window: the reading direction from the UI
// language, where the window goes on the desktop, and which mouse moves drag it.

#include <cstdint>

#include "sensorctl_images.h"

// Arabic (primary language 1) and Hebrew (13), whatever the sublanguage.
bool IsRightToLeftLanguage(std::uint16_t languageId);

struct WindowOrigin {
  int x = 0, y = 0;
};
// The window is the size of its background image, 566 x 460.
constexpr int kMainWindowWidth = kImageBackground.width;
constexpr int kMainWindowHeight = kImageBackground.height;
// The window (566 x 460 unless a scaled size is given) centred on the desktop rectangle by
// integer halves of its right and bottom edges.
WindowOrigin CentredWindowOrigin(int desktopRight, int desktopBottom,
                                 int width = kMainWindowWidth, int height = kMainWindowHeight);

// A mouse move drags the window only with the left button alone held (MK_LBUTTON, nothing else).
bool IsDragMove(std::uintptr_t mouseKeys);
