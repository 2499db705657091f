#include "sensorctl/app/window_dpi.h"

#include "sensorctl/app/display_scale.h"
#include "sensorctl/render/renderer.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up, not linked: systems before Windows 10 1607 lack it.
GetDpiForWindowFunction DpiForWindowFunction() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

int ReadWindowDpi(HWND window) {
  static const GetDpiForWindowFunction dpiForWindow = DpiForWindowFunction();
  int dpi = 0;
  if (dpiForWindow != nullptr && window != nullptr) dpi = static_cast<int>(dpiForWindow(window));
  if (dpi <= 0) dpi = ScreenDpi();
  return UsableDpi(dpi);
}

ChildPlacement ChildPixels(const ChildPlacement& units) {
  return PixelPlacement(units, renderer.dpi);
}

int ClientUnits(int pixels) { return UnitsFromPixels(pixels, renderer.dpi); }

