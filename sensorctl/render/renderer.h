#pragma once
// The drawing state of the settings window: the platform factories, the device resources of a
// Direct2D DC render target, and the list of drawn widgets from which every frame is composed
// and pushed to the layered window with per-pixel alpha.
//
// Life of the window: CreateFactories at WM_CREATE, AddWidget fifteen times while the controls
// are built, RenderFrame on every WM_PAINT, DiscardDeviceResources then ReleaseFactories at
// WM_DESTROY. Between frames the window code changes Widget fields directly and invalidates the
// window.

#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

#include "sensorctl/render/widget_geometry.h"

using Microsoft::WRL::ComPtr;

// Positions of the widgets in the list: fixed roles that the window code and the painter share.
enum WidgetPosition : int {
  kWidgetBackground = 0,
  kWidgetOk = 1,
  kWidgetCancel = 2,
  kWidgetApply = 3,
  kWidgetCloseArea = 4,
  kWidgetMinimizeArea = 5,
  kWidgetRangeButton = 6,
  kWidgetOffDelayButton = 7,
  kWidgetOnDelayButton = 8,
  kWidgetRangeList = 9,
  kWidgetOffDelayList = 10,
  kWidgetOnDelayList = 11,
  kWidgetDisableCheckBox = 12,
  kWidgetRowHighlight = 13,
  kWidgetCheckMark = 14,
  kWidgetCount = 15,
};

constexpr int kWidgetTextSlots = 3;
constexpr int kWidgetTextCapacity = 1024;  // UTF-16 units per slot, terminator included

// What the widget painter draws with; refreshed from the Renderer at the start of every frame.
struct WidgetPalette {
  ComPtr<ID2D1Brush> normalFace;      // normalFaceBrush (its transform follows each widget)
  ComPtr<ID2D1Brush> disabledFace;    // disabledFaceBrush
  ComPtr<ID2D1Brush> disabledBorder;  // borderGrayBrush
  ComPtr<ID2D1Brush> disabledText;    // dimWhiteBrush
  ComPtr<ID2D1Brush> hoverFace;       // hoverFaceBrush
  ComPtr<ID2D1Brush> hoverBorder;     // hoverBorderBrush
  ComPtr<ID2D1Brush> normalText;      // whiteBrush
  ComPtr<ID2D1Brush> shadow;          // shadowBrush
  ComPtr<IDWriteTextFormat> buttonFormat;
  ComPtr<IDWriteTextFormat> fieldFormat;
  int rightToLeft = 0;
};

struct Widget {
  int id = 0;
  wchar_t text[kWidgetTextSlots][kWidgetTextCapacity] = {};
  float left = 0, top = 0, right = 0, bottom = 0;
  float strokeWidth = 2.0f;
  float shadowOffset = 1.0f;
  int enabled = 1;
  int hovered = 0;
  int pressed = 0;
  int visible = 1;
  int hasImage = 0;
  HRSRC imageResource = nullptr;  // a resource of type "IMAGE" (PNG) in the list's module
  int checked = 0;
  ComPtr<ID2D1Bitmap> bitmap;     // decoded from imageResource by the painter; a cache
  float radiusX = 5.0f, radiusY = 5.0f;
};

struct WidgetList {
  HMODULE module = nullptr;
  std::vector<Widget> items;
  WidgetPalette palette;
  ComPtr<IDWriteTextLayout> scratchLayout;
};

struct Renderer {
  HINSTANCE instance = nullptr;
  ComPtr<ID2D1Factory> d2dFactory;
  ComPtr<IDWriteFactory> textFactory;
  ComPtr<IWICImagingFactory> imagingFactory;
  ComPtr<ID2D1DCRenderTarget> renderTarget;
  ComPtr<ID2D1SolidColorBrush> whiteBrush;
  ComPtr<ID2D1SolidColorBrush> dimWhiteBrush;
  ComPtr<ID2D1SolidColorBrush> borderGrayBrush;
  ComPtr<ID2D1SolidColorBrush> shadowBrush;
  ComPtr<ID2D1SolidColorBrush> hoverBorderBrush;
  ComPtr<ID2D1GradientStopCollection> normalFaceStops;
  ComPtr<ID2D1GradientStopCollection> hoverFaceStops;
  ComPtr<ID2D1GradientStopCollection> disabledFaceStops;
  ComPtr<ID2D1LinearGradientBrush> normalFaceBrush;
  ComPtr<ID2D1LinearGradientBrush> hoverFaceBrush;
  ComPtr<ID2D1LinearGradientBrush> disabledFaceBrush;
  ComPtr<IDWriteTextFormat> bodyFormat;
  ComPtr<IDWriteTextFormat> fieldFormat;
  ComPtr<IDWriteTextFormat> labelFormat;
  ComPtr<IDWriteTextFormat> buttonFormat;
  int opaqueUpdate = 0;
  HWND window = nullptr;
  FrameMetrics layoutMetrics{0, 0, 0, 0, 0, 0};  // zero until the controls set them
  WidgetList widgets;
  WidgetPalette palette;
  ComPtr<IDWriteTextLayout> frameLayout;
  int waitingLineShown = 0;  // the line saying that the window waits for the sensor service
};

// The one Renderer of the process.
extern Renderer renderer;

// The layout metrics of the Renderer, set by the controls before the first frame and read by
// every frame for its text boxes.
void SetLayoutMetrics(const FrameMetrics& metrics);
FrameMetrics LayoutMetrics();

// Factories (Direct2D, DirectWrite, WIC). E_FAIL after showing "Fail D2D1CreateFactory",
// "Fail DWriteCreateFactory" or "Fail Create WIC ImagingFactory"; later factories are skipped.
HRESULT CreateFactories(HWND window);
HRESULT ReleaseFactories();

// Device resources: the DC render target, brushes, gradients and text formats.
// EnsureDeviceResources makes whatever is missing and refreshes the widget list's palette; with
// everything present it makes nothing. It fails (and the frame draws nothing) while a factory
// is missing or a resource cannot be made: a render target whose brushes could not all be made
// is dropped with them. A render target or text format failure shows "Fail
// CreateDCRenderTarget" or "Fail CreateTextFormat" once when it begins, later calls trying again
// quietly until the resource is made.
HRESULT EnsureDeviceResources();
HRESULT DiscardDeviceResources();
// The words of a window that can show no frame: no render target could be made.
constexpr wchar_t kFrameFailureText[] = L"Fail CreateDCRenderTarget";

// Appends a widget with the defaults above and `caption` in text slot 0 (cut to the slot).
// Returns 1.
int AddWidget(WidgetList& list, int id, float left, float top, float right, float bottom,
              const wchar_t* caption);

// Puts `text` into text slot `slot` of the widget, cut to the slot.
void SetWidgetText(Widget& widget, int slot, const wchar_t* text);

// A resource of type "IMAGE" by name ("IDI_PRXBK" ...), or null.
HRSRC FindWidgetImage(HMODULE module, const wchar_t* name);

// Changes a widget's image: the cached bitmap is dropped so the next frame decodes the new one.
void SetWidgetImage(Widget& widget, HRSRC imageResource);

// Draws every visible widget in list order. Between BeginDraw and EndDraw.
HRESULT PaintWidgets(WidgetList& list, ID2D1RenderTarget* renderTarget,
                     IWICImagingFactory* imagingFactory, IDWriteFactory* textFactory);

// One complete frame, pushed with UpdateLayeredWindow; called between BeginPaint and EndPaint.
// Draws nothing (the window keeps its last frame) when a factory or a device resource is
// missing. Returns 1 when a frame was pushed, 0 when none was.
int RenderFrame(HWND window, const PAINTSTRUCT& paint);
int ComposeFrame();

// Fills one widget's bitmap cache from its imageResource (a PNG in `module`), decoded with the
// imaging factory and made a device bitmap of `renderTarget`. On failure the bitmap stays none
// and the next frame tries again.
HRESULT LoadWidgetBitmap(Widget& widget, HMODULE module, ID2D1RenderTarget* renderTarget,
                         IWICImagingFactory* imagingFactory);
