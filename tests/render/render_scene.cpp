#include "tests/render/render_scene.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/widget_layout.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "shared/win_handles.h"
#include "tests/support/wine_support.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kFrameClass[] = L"ZQ Render Test Frame";
constexpr wchar_t kBackdropClass[] = L"ZQ Render Test Backdrop";

HWND frameWindow = nullptr;
HWND backdropWindow = nullptr;
WindowSize sceneSize = MainWindowSize(kBaseDpi);
int paintCount = 0;
int framesPushed = 0;  // paints whose RenderFrame pushed a frame

// --- What the frame window was last given to show ---
// UpdateLayeredWindow in this program's import table is routed through a wrapper that, while
// PushFrame runs, keeps a copy of the bits pushed to the frame window. PushFrame then waits for
// the screen to show them instead of pausing for a guessed time. Outside PushFrame (e.g. the
// benchmark's timed frames) the wrapper only passes the call on.
using UpdateLayeredWindowFunction = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*,
                                                  COLORREF, BLENDFUNCTION*, DWORD);
UpdateLayeredWindowFunction realUpdateLayeredWindow = nullptr;

struct PushedFrame {
  int width = 0, height = 0;
  DWORD flags = 0;
  std::vector<DWORD> pixels;  // premultiplied 0xAARRGGBB, top-down rows
};
bool copyingPushes = false;
PushedFrame lastPushed;
int updatesToRefuse = 0;  // RefuseLayeredWindowUpdates
int updateCalls = 0;

// A 32-bit top-down DIB section of `width` x `height` for `dc`, its pixels at `bits`.
UniqueGdiObject TopDownSection(HDC dc, int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return UniqueGdiObject(CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

// The pixels of the `width` x `height` area at (x, y) of `source`, top-down rows; none when
// they cannot be read. A same-format SRCCOPY keeps the alpha bytes.
std::vector<DWORD> CopyPixels(HDC source, int x, int y, int width, int height) {
  void* bits = nullptr;
  UniqueMemoryDC memory(CreateCompatibleDC(source));
  UniqueGdiObject section = TopDownSection(source, width, height, &bits);
  if (!memory || !section || bits == nullptr) return {};
  SelectedObject selection(memory.Get(), section.Get());
  if (!BitBlt(memory.Get(), 0, 0, width, height, source, x, y, SRCCOPY)) return {};
  GdiFlush();
  const DWORD* first = static_cast<const DWORD*>(bits);
  return std::vector<DWORD>(first, first + static_cast<size_t>(width) * height);
}

void CopyPushedBits(HDC source, const POINT* sourcePoint, const SIZE& size, DWORD flags) {
  const POINT from = sourcePoint != nullptr ? *sourcePoint : POINT{0, 0};
  lastPushed = {static_cast<int>(size.cx), static_cast<int>(size.cy), flags,
                CopyPixels(source, from.x, from.y, size.cx, size.cy)};
  if (lastPushed.pixels.empty()) lastPushed = PushedFrame{};
}

BOOL WINAPI WatchedUpdateLayeredWindow(HWND window, HDC screen, POINT* destination, SIZE* size,
                                       HDC source, POINT* sourcePoint, COLORREF key,
                                       BLENDFUNCTION* blend, DWORD flags) {
  ++updateCalls;
  if (updatesToRefuse > 0) {
    --updatesToRefuse;
    return FALSE;
  }
  const BOOL pushed = realUpdateLayeredWindow(window, screen, destination, size, source,
                                              sourcePoint, key, blend, flags);
  if (pushed && copyingPushes && window == frameWindow && source != nullptr && size != nullptr) {
    CopyPushedBits(source, sourcePoint, *size, flags);
  }
  return pushed;
}

bool WatchLayeredWindowUpdates() {
  return WatchImport<UpdateLayeredWindowFunction>(realUpdateLayeredWindow, L"user32.dll",
                                                  "UpdateLayeredWindow",
                                                  &WatchedUpdateLayeredWindow);
}

// The backdrop as a captured pixel (0x00RRGGBB).
constexpr DWORD kBackdropPixel = (GetRValue(kBackdropColour) << 16) |
                                 (GetGValue(kBackdropColour) << 8) | GetBValue(kBackdropColour);

RECT BackdropRect() {
  RECT rect = {};
  GetWindowRect(backdropWindow, &rect);
  return rect;
}

// Within two levels a channel: the screen is 24-bit, so a pushed colour shows as it is; the
// slack only keeps a rounding in the display path from stalling the wait.
bool Near(DWORD seen, DWORD expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = static_cast<int>((seen >> shift) & 0xFF);
    const int b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > 2) return false;
  }
  return true;
}

// Whether the screen shows the last pushed frame where the window now is: its opaque pixels as
// they were pushed and, for a per-pixel alpha push, its fully transparent ones as the backdrop
// beneath. Pixels in between are blends, left to the tests. The transparent pixels of an opaque
// push are not looked at either (kWineFactTransparentPixelsAreHoles).
bool ScreenShowsLastPush() {
  RECT window = {};
  GetWindowRect(frameWindow, &window);
  if (window.right - window.left != lastPushed.width ||
      window.bottom - window.top != lastPushed.height) {
    return false;
  }
  const ScreenCapture shot = CaptureScreen(window.left, window.top, lastPushed.width,
                                           lastPushed.height);
  if (shot.pixels.size() != lastPushed.pixels.size()) return false;
  const RECT backdrop = BackdropRect();
  for (int y = 0; y < lastPushed.height; ++y) {
    for (int x = 0; x < lastPushed.width; ++x) {
      const size_t at = static_cast<size_t>(y) * lastPushed.width + x;
      const DWORD pushed = lastPushed.pixels[at];
      const DWORD alpha = pushed >> 24;
      if (alpha == 255) {
        if (!Near(shot.pixels[at], pushed & 0x00FFFFFF)) return false;
      } else if (alpha == 0 && lastPushed.flags == ULW_ALPHA) {
        const POINT onScreen = {window.left + x, window.top + y};
        if (PtInRect(&backdrop, onScreen) && !Near(shot.pixels[at], kBackdropPixel)) return false;
      }
    }
  }
  return true;
}

// Whether the screen shows the backdrop all round the frame's place.
bool ScreenShowsBackdrop() {
  const RECT backdrop = BackdropRect();
  const ScreenCapture shot = CaptureScreen(backdrop.left, backdrop.top,
                                           backdrop.right - backdrop.left,
                                           backdrop.bottom - backdrop.top);
  if (shot.width == 0) return false;
  // The ring between the backdrop's edge and the frame's place.
  for (const POINT& p : {POINT{5, 5}, POINT{shot.width - 6, 5}, POINT{5, shot.height - 6},
                         POINT{shot.width - 6, shot.height - 6}, POINT{shot.width / 2, 20},
                         POINT{20, shot.height / 2}}) {
    if (shot.pixels[static_cast<size_t>(p.y) * shot.width + p.x] != kBackdropPixel) return false;
  }
  return true;
}

// Drains the message queue (Wine turns the display's events into messages there) until
// `shown` holds, or kScreenWaitMs have passed.
template <typename Condition>
bool WaitForScreen(Condition shown) {
  const ULONGLONG deadline = GetTickCount64() + kScreenWaitMs;
  for (;;) {
    if (!DrainMessages()) return false;
    if (shown()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      framesPushed += RenderFrame(window, paint);
      EndPaint(window, &paint);
      ++paintCount;
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterClasses(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW frame = {};
  frame.cbSize = sizeof(frame);
  frame.lpfnWndProc = FrameProc;
  frame.hInstance = instance;
  frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  frame.lpszClassName = kFrameClass;
  WNDCLASSEXW backdrop = frame;
  backdrop.lpfnWndProc = DefWindowProcW;
  backdrop.hbrBackground = CreateSolidBrush(kBackdropColour);  // lives as long as the class
  backdrop.lpszClassName = kBackdropClass;
  registered = RegisterClassExW(&frame) != 0 && RegisterClassExW(&backdrop) != 0;
  return registered;
}

// Between BeginDraw and EndDraw of `target`: the frame drawn from scratch into a bitmap target
// of the frame's size, then copied pixel for pixel. Beyond 96 DPI Direct2D antialiases text in
// a bitmap target otherwise than in the DC target (seen here: up to 27 levels at glyph edges),
// so the frame cache is compared with a frame drawn the way it draws.
bool DrawnThroughABitmap(ID2D1DCRenderTarget* target) {
  const float scale = static_cast<float>(renderer.dpi) / kBaseDpi;
  const D2D1_SIZE_F size = D2D1::SizeF(sceneSize.width / scale, sceneSize.height / scale);
  const D2D1_SIZE_U pixels = D2D1::SizeU(sceneSize.width, sceneSize.height);
  const D2D1_PIXEL_FORMAT format =
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED);
  ComPtr<ID2D1BitmapRenderTarget> drawn;
  ComPtr<ID2D1Bitmap> bitmap;
  if (FAILED(target->CreateCompatibleRenderTarget(
          &size, &pixels, &format, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &drawn)) ||
      FAILED(drawn->GetBitmap(&bitmap))) {
    return false;
  }
  drawn->SetTextAntialiasMode(target->GetTextAntialiasMode());
  drawn->BeginDraw();
  DrawFrameFromScratch(drawn.Get());
  if (FAILED(drawn->EndDraw())) return false;
  target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f, 0.0f));
  target->DrawBitmap(bitmap.Get(), D2D1::RectF(0, 0, size.width, size.height), 1.0f,
                     D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, nullptr);
  return true;
}

}  // namespace

void FillWindowWidgets(bool rightToLeft, bool sensorDisabled) {
  // The settings the scene shows: sensitivity "Minimum", one minute until off, one second until on.
  SettingsBlock block = {};
  SetSensorEnabled(block, !sensorDisabled);
  SetRangeRow(block, 0);
  SetOffDelayRow(block, 1);
  SetOnDelayRow(block, 1);
  renderer.widgets.module = renderer.instance;
  BuildWidgetList(renderer.widgets, ComputeControlLayout(FrameMetrics{}, rightToLeft),
                  LoadControlTexts(renderer.instance), block);
}

bool OpenScene(const SceneOptions& options) {
  CoInitialize(nullptr);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterClasses(instance)) return false;
  sceneSize = MainWindowSize(options.dpi);
  // The backdrop is disabled, so that Wine never activates it when a message box of the
  // failing paints closes: it would come above the frame.
  backdropWindow = CreateWindowExW(0, kBackdropClass, L"backdrop", WS_POPUP | WS_DISABLED,
                                   options.x - 60, options.y - 60, sceneSize.width + 120,
                                   sceneSize.height + 120, nullptr, nullptr, instance, nullptr);
  frameWindow = CreateWindowExW(WS_EX_LAYERED, kFrameClass, L"render test", WS_POPUP, options.x,
                                options.y, sceneSize.width, sceneSize.height, nullptr, nullptr,
                                instance, nullptr);
  if (backdropWindow == nullptr || frameWindow == nullptr) return false;

  renderer.instance = instance;
  SetRenderDpi(options.dpi);
  CreateFactories(frameWindow);
  FrameMetrics metrics;  // the window's header and margin
  metrics.frameWidth = kFrameWidth;
  metrics.frameHeight = kFrameHeight;
  SetLayoutMetrics(metrics);
  renderer.rightToLeft = options.rightToLeft ? 1 : 0;
  FillWindowWidgets(options.rightToLeft, false);

  ShowWindow(backdropWindow, SW_SHOWNOACTIVATE);
  UpdateWindow(backdropWindow);
  ShowWindow(frameWindow, SW_SHOWNOACTIVATE);
  SetWindowPos(frameWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return WatchLayeredWindowUpdates() && WaitForScreen(ScreenShowsBackdrop);
}

void CloseScene() {
  DiscardDeviceResources();
  ReleaseFactories();
  renderer.widgets.items.clear();
  renderer.opaqueUpdate = 0;
  SetRenderDpi(kBaseDpi);
  renderSeams = RenderSeams{};
  if (frameWindow != nullptr) DestroyWindow(frameWindow);
  if (backdropWindow != nullptr) DestroyWindow(backdropWindow);
  frameWindow = backdropWindow = nullptr;
  lastPushed = PushedFrame{};
  DrainMessages();
  CoUninitialize();
}

const std::vector<DWORD>& LastPushedPixels() { return lastPushed.pixels; }

std::vector<DWORD> FrameDrawnFromScratch() {
  std::vector<DWORD> pixels;
  if (FAILED(EnsureDeviceResources())) return pixels;
  void* bits = nullptr;
  UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
  UniqueGdiObject bitmap =
      TopDownSection(memory.Get(), sceneSize.width, sceneSize.height, &bits);
  if (!memory || !bitmap || bits == nullptr) return pixels;
  SelectedObject selection(memory.Get(), bitmap.Get());
  const RECT bound = {0, 0, sceneSize.width, sceneSize.height};
  ID2D1DCRenderTarget* target = renderer.device.target.Get();
  if (FAILED(target->BindDC(memory.Get(), &bound))) return pixels;
  target->BeginDraw();
  if (renderer.dpi == kBaseDpi) {
    DrawFrameFromScratch(target);
  } else if (!DrawnThroughABitmap(target)) {
    target->EndDraw();
    return pixels;
  }
  if (FAILED(target->EndDraw())) return pixels;
  GdiFlush();
  const DWORD* first = static_cast<const DWORD*>(bits);
  pixels.assign(first, first + static_cast<size_t>(sceneSize.width) * sceneSize.height);
  return pixels;
}

HWND SceneFrameWindow() { return frameWindow; }
int SceneWidth() { return sceneSize.width; }
int SceneHeight() { return sceneSize.height; }
int FramePaintCount() { return paintCount; }
int FramesPushed() { return framesPushed; }

bool DrainMessages() {
  // A marker of this call, posted behind whatever is queued; posted messages come out in order.
  static WPARAM marker = 0;
  ++marker;
  constexpr UINT kDrainMarker = WM_APP + 0x2D;
  if (!PostThreadMessageW(GetCurrentThreadId(), kDrainMarker, marker, 0)) return false;
  const ULONGLONG deadline = GetTickCount64() + kScreenWaitMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.hwnd == nullptr && message.message == kDrainMarker) {
        if (message.wParam == marker) return true;
        continue;  // an earlier call's marker, left after it gave up
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

int PushFrame() {
  const int paintsBefore = paintCount;
  const int pushesBefore = framesPushed;
  copyingPushes = true;
  InvalidateRect(frameWindow, nullptr, FALSE);
  UpdateWindow(frameWindow);
  copyingPushes = false;
  const int paints = paintCount - paintsBefore;
  // The display server shows pushed bits a moment later; a paint that pushed nothing leaves the
  // screen as it was, with nothing to wait for.
  if (framesPushed == pushesBefore) return DrainMessages() ? paints : kFrameNotShown;
  return WaitForScreen(ScreenShowsLastPush) ? paints : kFrameNotShown;
}

Rgb ScreenCapture::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
  const DWORD p = pixels[static_cast<size_t>(y) * width + x];
  return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
          static_cast<int>(p & 0xFF)};
}

ScreenCapture CaptureScreen(int left, int top, int width, int height) {
  ScreenCapture capture;
  capture.left = left;
  capture.top = top;
  WindowDC screen(nullptr);
  if (!screen) return capture;
  capture.pixels = CopyPixels(screen.Get(), left, top, width, height);
  if (capture.pixels.empty()) return capture;
  capture.width = width;
  capture.height = height;
  for (DWORD& p : capture.pixels) p &= 0x00FFFFFF;
  return capture;
}

ScreenCapture CaptureFrame() {
  RECT rect = {};
  GetWindowRect(frameWindow, &rect);
  return CaptureScreen(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

bool ScreenCapture::SavePng(const std::wstring& path) const {
  if (width == 0 || height == 0) return false;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory)))) {
    return false;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(width, height))) {
    return false;
  }
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  if (FAILED(frame->SetPixelFormat(&format))) return false;
  std::vector<DWORD> rows(pixels);
  if (!IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) return false;
  return SUCCEEDED(frame->WritePixels(height, width * 4, static_cast<UINT>(rows.size() * 4),
                                      reinterpret_cast<BYTE*>(rows.data()))) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

std::wstring ArtifactDirectory() {
  const wchar_t* dir = _wgetenv(L"ZQ_ARTIFACT_DIR");
  if (dir == nullptr || *dir == L'\0') return L"";
  std::wstring path = dir;
  if (path[0] == L'/') {
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    path = L"Z:" + path;
  }
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

bool RefuseLayeredWindowUpdates(int count) {
  updatesToRefuse = count;
  return WatchLayeredWindowUpdates();
}

int LayeredWindowUpdateCalls() { return updateCalls; }
