#pragma once
// The drawing state of the settings window: the platform factories, the device resources of a
// Direct2D DC render target, and the list of drawn widgets from which every frame is composed
// and pushed to the layered window with per-pixel alpha.
//
// Life of the window: CreateFactories at WM_CREATE, AddWidget fifteen times while the controls
// are built, RenderFrame on every WM_PAINT, DiscardDeviceResources then ReleaseFactories at
// WM_DESTROY. Between frames the window code changes Widget fields directly and invalidates the
// window; the frame finds what changed by itself, so nothing else needs telling.

#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <string>
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
  ComPtr<ID2D1Bitmap> bitmap;     // decoded from imageResource when first shown
  float radiusX = 5.0f, radiusY = 5.0f;
};

struct WidgetList {
  HMODULE module = nullptr;
  std::vector<Widget> items;
};

// --- Device-independent resources: made with the factories, kept until ReleaseFactories. ---

struct TextFormats {
  ComPtr<IDWriteTextFormat> body;    // Arial 14, leading, near: description, check box label
  ComPtr<IDWriteTextFormat> field;   // Arial bold 14, leading, centred: field buttons, lists
  ComPtr<IDWriteTextFormat> label;   // Arial bold 16, trailing, centred: the field labels
  ComPtr<IDWriteTextFormat> button;  // Arial 14, centred: the other buttons
};

// --- Device resources: made by the render target, dropped with it. ---

struct Brushes {
  ComPtr<ID2D1SolidColorBrush> white;
  ComPtr<ID2D1SolidColorBrush> dimWhite;     // white at half opacity: disabled texts
  ComPtr<ID2D1SolidColorBrush> borderGray;   // border of a disabled face
  ComPtr<ID2D1SolidColorBrush> shadow;
  ComPtr<ID2D1SolidColorBrush> hoverBorder;
  ComPtr<ID2D1LinearGradientBrush> normalFace;  // its transform follows each widget
  ComPtr<ID2D1LinearGradientBrush> hoverFace;
  ComPtr<ID2D1LinearGradientBrush> disabledFace;
};

// One text as a frame draws it: laid out once for its text, format, box and direction.
struct DrawnText {
  std::wstring text;
  IDWriteTextFormat* format = nullptr;
  ID2D1Brush* brush = nullptr;
  FrameBox box;
  int rightToLeft = 0;
  ComPtr<IDWriteTextLayout> layout;  // none for an empty text
  FrameBox ink;                      // where its pixels can fall
};

// What one widget looks like in a frame: every field the painter reads, and where it draws.
struct DrawnWidget {
  int visible = 0;
  FrameBox rect;
  float strokeWidth = 0, shadowOffset = 0, radiusX = 0, radiusY = 0;
  WidgetLook look = WidgetLook::kNormal;
  int hasImage = 0;
  HRSRC imageResource = nullptr;
  ComPtr<ID2D1Bitmap> bitmap;  // held, so that a new bitmap never shares an old one's address
  int captionCount = 0;
  DrawnText captions[kWidgetTextSlots];
  FrameBox bounds;  // the face, its shadow and border, and the ink of its captions
};

constexpr int kFrameTextCount = 5;

// Everything a frame shows, in drawing order: the widgets, then the frame's own texts.
struct FrameContent {
  std::vector<DrawnWidget> widgets;
  DrawnText texts[kFrameTextCount];
  FrameBox focusMark;  // the outline around the control with the keyboard focus, if shown
};

// The last frame, kept as a bitmap of the render target: a new frame redraws only the part
// where its content differs from what the bitmap holds, then draws the bitmap whole.
struct FrameCache {
  ComPtr<ID2D1BitmapRenderTarget> target;
  ComPtr<ID2D1Bitmap> bitmap;
  int width = 0, height = 0;
  FrameContent shown;  // what the bitmap holds
};

struct DeviceResources {
  ComPtr<ID2D1DCRenderTarget> target;  // software, bound to each frame's memory bitmap
  Brushes brushes;
  FrameCache cache;
};

struct Renderer {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;
  // Device independent.
  ComPtr<ID2D1Factory> d2dFactory;
  ComPtr<IDWriteFactory> textFactory;
  ComPtr<IWICImagingFactory> imagingFactory;
  TextFormats formats;
  // Device dependent: all made together, or none.
  DeviceResources device;
  // What is drawn.
  WidgetList widgets;
  FrameMetrics layoutMetrics{0, 0, 0, 0, 0, 0};  // zero until the controls set them
  int rightToLeft = 0;       // the reading direction of the texts, set at start-up
  int waitingLineShown = 0;  // the line saying that the window waits for the sensor service
  FrameBox focusMark;        // the control that shows the keyboard focus; empty for none
  int opaqueUpdate = 0;      // the last frame was pushed without per-pixel alpha
  // The window's DPI: frames are drawn in frame units (DIPs) at this DPI, with the image set
  // of its scale (ImageSetFor).
  int dpi = 96;
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
// Releases the factories, the text formats and the widgets' decoded images.
void ReleaseFactories();

// Makes whatever is missing: the text formats, then the render target and its brushes. With
// everything present it makes nothing. It fails (and the frame draws nothing) while a factory
// is missing or a resource cannot be made; a render target whose brushes could not all be made
// is dropped with them. A render target or text format failure shows "Fail
// CreateDCRenderTarget" or "Fail CreateTextFormat" once when it begins, later calls trying again
// quietly until the resource is made.
HRESULT EnsureDeviceResources();
// Drops the render target and all it made (brushes, the last frame's bitmap); the text formats
// and the widgets' decoded images stay.
void DiscardDeviceResources();
// The words of a window that can show no frame: no render target could be made.
constexpr wchar_t kFrameFailureText[] = L"Fail CreateDCRenderTarget";

// A new DPI for the frames: at a change the device resources and every widget's decoded image
// are dropped, so the next frame makes them for the new scale (each image decoded once).
void SetRenderDpi(int dpi);

// Appends a widget with the defaults above and `caption` in text slot 0 (cut to the slot).
// Returns 1.
int AddWidget(WidgetList& list, int id, float left, float top, float right, float bottom,
              const wchar_t* caption);

// The widget at `position`, or null where the list holds none: every position is checked, for
// the list stays empty until the window has its layout.
Widget* WidgetAt(WidgetList& list, int position);
const Widget* WidgetAt(const WidgetList& list, int position);

// Puts `text` into text slot `slot` of the widget, cut to the slot.
void SetWidgetText(Widget& widget, int slot, const wchar_t* text);

// A resource of type "IMAGE" by name ("IDI_PRXBK" ...), or null.
HRSRC FindWidgetImage(HMODULE module, const wchar_t* name);

// Changes a widget's image: the cached bitmap is dropped so the next frame decodes the new one.
void SetWidgetImage(Widget& widget, HRSRC imageResource);

// One complete frame, pushed with UpdateLayeredWindow; called between BeginPaint and EndPaint.
// Draws nothing (the window keeps its last frame) when a factory or a device resource is
// missing. Returns 1 when a frame was pushed, 0 when none was.
int RenderFrame(HWND window, const PAINTSTRUCT& paint);
