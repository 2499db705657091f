#include "sensorctl/app/window_rules.h"

bool IsRightToLeftLanguage(std::uint16_t languageId) {
  const unsigned primary = languageId & 0x3FFu;
  return primary == 0x01 || primary == 0x0D;
}

WindowOrigin CentredWindowOrigin(int desktopRight, int desktopBottom, int width, int height) {
  return {desktopRight / 2 - width / 2, desktopBottom / 2 - height / 2};
}

bool IsDragMove(std::uintptr_t mouseKeys) { return mouseKeys == 0x0001; }
