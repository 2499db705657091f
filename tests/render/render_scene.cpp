#include "tests/render/render_scene.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>

#include "sensorctl/render/renderer.h"
#include "sensorctl/resources/strings/string_ids.h"
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

std::wstring LoadText(int id) {
  wchar_t buffer[kStringBufferSize] = {};
  LoadStringW(renderer.instance, id, buffer, kStringBufferSize);
  return buffer;
}

void SetImage(int position, const wchar_t* name) {
  Widget& widget = renderer.widgets.items[position];
  widget.hasImage = 1;
  SetWidgetImage(widget, FindWidgetImage(renderer.widgets.module, name));
}

void SetSlot(int position, int slot, const std::wstring& text) {
  wcsncpy(renderer.widgets.items[position].text[slot], text.c_str(), kWidgetTextCapacity - 1);
}

}  // namespace

void FillWindowWidgets(bool rightToLeft, bool sensorDisabled) {
  WidgetList& list = renderer.widgets;
  list.items.clear();
  list.module = renderer.instance;
  const float x = rightToLeft ? 124.0f : 308.0f;         // the choice column
  const float checkX = rightToLeft ? 492.0f : 64.0f;     // the check box
  const std::wstring seconds = LoadText(kStringSeconds);
  const std::wstring minutes = LoadText(kStringMinutes);

  AddWidget(list, 207, 0, 0, 566, 460, L"");
  AddWidget(list, 202, 210, 388, 295, 416, LoadText(kStringOk).c_str());
  AddWidget(list, 203, 311, 388, 396, 416, LoadText(kStringCancel).c_str());
  AddWidget(list, 204, 412, 388, 497, 416, LoadText(kStringApply).c_str());
  AddWidget(list, 200, 516, 32, 524, 39, L"");
  AddWidget(list, 201, 516, 32, 524, 39, L"");
  AddWidget(list, 210, x, 165, x + 153, 197, (L"  " + LoadText(kStringMinimum)).c_str());
  AddWidget(list, 211, x, 225, x + 153, 257, (L"  1 " + minutes).c_str());
  AddWidget(list, 212, x, 285, x + 153, 317, (L"  1 " + seconds).c_str());
  AddWidget(list, 230, x, 195, x + 168, 285, L"  ");
  AddWidget(list, 231, x, 255, x + 168, 345, L"");
  AddWidget(list, 231, x, 315, x + 168, 405, L"");
  AddWidget(list, 231, checkX, 339, checkX + 20, 359, L"");
  const Widget& rangeList = list.items[kWidgetRangeList];
  AddWidget(list, 233, rangeList.left + 3, rangeList.top + 9, rangeList.left + 163,
            rangeList.top + 33, L"");
  const Widget& highlight = list.items[kWidgetRowHighlight];
  AddWidget(list, 234, rangeList.left + 6, highlight.top + 8, rangeList.left + 16,
            highlight.top + 16, L"");

  SetImage(kWidgetBackground, L"IDI_PRXBK");
  list.items[kWidgetApply].enabled = 0;
  list.items[kWidgetCloseArea].visible = 0;
  list.items[kWidgetMinimizeArea].visible = 0;
  for (int position : {kWidgetRangeButton, kWidgetOffDelayButton, kWidgetOnDelayButton}) {
    SetImage(position, L"IDI_COMBOBKNORMAL");
  }
  list.items[kWidgetOnDelayButton].visible = 0;
  SetSlot(kWidgetRangeList, 0, L"  " + LoadText(kStringMinimum));
  SetSlot(kWidgetRangeList, 1, L"  " + LoadText(kStringMaximum));
  SetSlot(kWidgetRangeList, 2, L"");
  SetSlot(kWidgetOffDelayList, 0, L"  10 " + seconds);
  SetSlot(kWidgetOffDelayList, 1, L"  1 " + minutes);
  SetSlot(kWidgetOffDelayList, 2, L"  3 " + minutes);
  SetSlot(kWidgetOnDelayList, 0, L"  0.5 " + seconds);
  SetSlot(kWidgetOnDelayList, 1, L"  1 " + seconds);
  SetSlot(kWidgetOnDelayList, 2, L"  3 " + seconds);
  for (int position : {kWidgetRangeList, kWidgetOffDelayList, kWidgetOnDelayList}) {
    list.items[position].visible = 0;
    SetImage(position, L"IDI_COMBOBK");
  }
  Widget& checkBox = list.items[kWidgetDisableCheckBox];
  checkBox.checked = sensorDisabled ? 1 : 0;
  SetImage(kWidgetDisableCheckBox,
           sensorDisabled ? L"IDI_CHECKBOXCHECKED" : L"IDI_CHECKBOXUNCHECKED");
  list.items[kWidgetRangeButton].enabled = sensorDisabled ? 0 : 1;
  list.items[kWidgetOffDelayButton].enabled = sensorDisabled ? 0 : 1;
  list.items[kWidgetOnDelayButton].enabled = 0;
  for (int position : {kWidgetRowHighlight, kWidgetCheckMark}) list.items[position].visible = 0;
  SetImage(kWidgetRowHighlight, L"IDI_COMBOHIGHLIGHT");
  SetImage(kWidgetCheckMark, L"IDI_COMBOCHECK");
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
  renderer.originX = 0;
  renderer.originY = 0;
  renderer.frameWidth = kFrameWidth;
  renderer.frameHeight = kFrameHeight;
  renderer.headerHeight = 32;
  renderer.margin = 24;
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
