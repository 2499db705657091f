#include "sensorctl/app/display_scale.h"

#include <cstdint>

#include "sensorctl/app/window_rules.h"

namespace {

constexpr int kMaxDpi = 96 * 8;  // 800 %, beyond the largest scale Windows offers

// Rounds a / b down for any sign of a (b > 0).
std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

}  // namespace

int UsableDpi(int dpi) { return dpi > 0 && dpi <= kMaxDpi ? dpi : kBaseDpi; }

int PixelsFromUnits(int units, int dpi) {
  return static_cast<int>(FloorDivide(2 * std::int64_t{units} * dpi + kBaseDpi, 2 * kBaseDpi));
}

int UnitsFromPixels(int pixels, int dpi) {
  // The unit u with PixelsFromUnits(u) <= pixels < PixelsFromUnits(u + 1): the last u whose
  // edge rounds to at most `pixels`, i.e. u * dpi < (pixels + 1/2) * 96.
  const std::int64_t twice = (2 * std::int64_t{pixels} + 1) * kBaseDpi;
  return static_cast<int>(-FloorDivide(-twice, 2 * std::int64_t{dpi}) - 1);
}

ChildPlacement PixelPlacement(const ChildPlacement& units, int dpi) {
  const int x = PixelsFromUnits(units.x, dpi);
  const int y = PixelsFromUnits(units.y, dpi);
  return {x, y, PixelsFromUnits(units.x + units.width, dpi) - x,
          PixelsFromUnits(units.y + units.height, dpi) - y};
}

ChildPlacement UnitPlacement(const ChildPlacement& pixels, int dpi) {
  if (pixels.width <= 0 || pixels.height <= 0) {
    return {UnitsFromPixels(pixels.x, dpi), UnitsFromPixels(pixels.y, dpi), 0, 0};
  }
  const int x = UnitsFromPixels(pixels.x, dpi);
  const int y = UnitsFromPixels(pixels.y, dpi);
  return {x, y, UnitsFromPixels(pixels.x + pixels.width - 1, dpi) - x + 1,
          UnitsFromPixels(pixels.y + pixels.height - 1, dpi) - y + 1};
}

WindowSize MainWindowSize(int dpi) {
  return {PixelsFromUnits(kMainWindowWidth, dpi), PixelsFromUnits(kMainWindowHeight, dpi)};
}
