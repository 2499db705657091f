#include "tests/render/render_scene.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>

#include "sensorctl/app/widget_layout.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "shared/win_handles.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kFrameClass[] = L"ZQ Render Test Frame";
constexpr wchar_t kBackdropClass[] = L"ZQ Render Test Backdrop";

HWND frameWindow = nullptr;
HWND backdropWindow = nullptr;
int paintCount = 0;
int framesPushed = 0;  // paints whose RenderFrame pushed a frame

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
  backdropWindow = CreateWindowExW(0, kBackdropClass, L"backdrop", WS_POPUP | WS_VISIBLE,
                                   options.x - 60, options.y - 60, kFrameWidth + 120,
                                   kFrameHeight + 120, nullptr, nullptr, instance, nullptr);
  frameWindow = CreateWindowExW(WS_EX_LAYERED, kFrameClass, L"render test", WS_POPUP, options.x,
                                options.y, kFrameWidth, kFrameHeight, nullptr, nullptr,
                                instance, nullptr);
  if (backdropWindow == nullptr || frameWindow == nullptr) return false;

  renderer.instance = instance;
  CreateFactories(frameWindow);
  FrameMetrics metrics;  // the window's header and margin
  metrics.frameWidth = kFrameWidth;
  metrics.frameHeight = kFrameHeight;
  SetLayoutMetrics(metrics);
  renderer.palette.rightToLeft = options.rightToLeft ? 1 : 0;
  renderer.widgets.palette.rightToLeft = renderer.palette.rightToLeft;
  FillWindowWidgets(options.rightToLeft, options.sensorDisabled);

  UpdateWindow(backdropWindow);
  ShowWindow(frameWindow, SW_SHOWNOACTIVATE);
  SetWindowPos(frameWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  PumpMessages(50);
  return true;
}

void CloseScene() {
  DiscardDeviceResources();
  ReleaseFactories();
  renderer.widgets.items.clear();
  renderer.widgets.palette = WidgetPalette{};
  renderer.widgets.scratchLayout.Reset();
  renderer.palette = WidgetPalette{};
  renderer.frameLayout.Reset();
  renderer.fieldFormat.Reset();
  renderer.buttonFormat.Reset();
  renderer.opaqueUpdate = 0;
  renderSeams = RenderSeams{};
  if (frameWindow != nullptr) DestroyWindow(frameWindow);
  if (backdropWindow != nullptr) DestroyWindow(backdropWindow);
  frameWindow = backdropWindow = nullptr;
  PumpMessages(20);
  CoUninitialize();
}

HWND SceneFrameWindow() { return frameWindow; }
HWND SceneBackdropWindow() { return backdropWindow; }
int FramePaintCount() { return paintCount; }
int FramesPushed() { return framesPushed; }

void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

int PushFrame() {
  const int before = paintCount;
  InvalidateRect(frameWindow, nullptr, FALSE);
  UpdateWindow(frameWindow);
  // The display server shows the pushed bits a moment later.
  GdiFlush();
  PumpMessages(60);
  return paintCount - before;
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
  UniqueMemoryDC memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject section(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen || !memory || !section || bits == nullptr) return capture;
  {
    SelectedObject selection(memory.Get(), section.Get());
    if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), left, top, SRCCOPY)) {
      return capture;
    }
    GdiFlush();
  }
  capture.width = width;
  capture.height = height;
  const DWORD* source = static_cast<const DWORD*>(bits);
  capture.pixels.assign(source, source + static_cast<size_t>(width) * height);
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
