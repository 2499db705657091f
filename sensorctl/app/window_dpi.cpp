#include "sensorctl/app/window_dpi.h"

#include <iterator>

#include "sensorctl/app/controls.h"
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/render/renderer.h"
#include "shared/win_handles.h"

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

void MoveChild(HWND child, const ChildPlacement& units) {
  if (child == nullptr) return;
  const ChildPlacement place = ChildPixels(units);
  SetWindowPos(child, nullptr, place.x, place.y, place.width, place.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every child window at its place for the renderer's DPI.
void PlaceChildWindows() {
  const ControlLayout layout = ComputeControlLayout(LayoutMetrics(), rightToLeft != 0);
  // By the position of the button's widget (controls.h), entry 0 unused.
  const ChildPlacement* const buttons[] = {
      nullptr, &layout.okWindow, &layout.cancelWindow, &layout.applyWindow, &layout.closeWindow,
      &layout.minimizeWindow, &layout.rangeButtonWindow, &layout.offDelayButtonWindow,
      &layout.onDelayButtonWindow};
  static_assert(std::size(buttons) == std::size(controls.buttons), "a place for every button");
  for (size_t position = 1; position < std::size(buttons); ++position) {
    MoveChild(controls.buttons[position].window, *buttons[position]);
  }
  const ChildPlacement* const lists[] = {&layout.rangeListWindow, &layout.offDelayListWindow,
                                         &layout.onDelayListWindow};
  for (int choice = 0; choice < 3; ++choice) {
    MoveChild(controls.lists[choice], *lists[choice]);
    if (choice != 0) RoundNativeListCorners(controls.lists[choice]);  // the delay lists' outline
  }
  MoveChild(controls.checkBox, layout.checkBoxWindow);
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

void OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
  SetRenderDpi(UsableDpi(LOWORD(wParam)));
  PlaceChildWindows();
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested != nullptr) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
}
