// One frame of the settings window: described part by part, redrawn into the cached last frame
// only where a part differs from what it showed, then that bitmap drawn into a window-sized
// memory bitmap and pushed to the layered window with per-pixel alpha. A hover or a moved row
// highlight costs the few pixels around it; the frame stays near the cost of a bare push.
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <utility>

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/frame_parts.h"
#include "sensorctl/render/render_test_hooks.h"
#include "sensorctl/render/widget_geometry.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "shared/win_handles.h"

namespace {

// A 16-bit screen has no room for per-pixel alpha, and a mode that cannot be read is taken for
// one: such frames are pushed opaque.
bool FrameMustBeOpaque() {
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  mode.dmDriverExtra = 0;
  const BOOL read = renderSeams.readDisplayMode != nullptr
                        ? renderSeams.readDisplayMode(&mode)
                        : EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  return !read || mode.dmBitsPerPel == 16;
}

// The frame's own texts, in drawing order, after the widgets.
struct FrameTextSource {
  int stringId;
  FrameText which;
};
constexpr FrameTextSource kFrameTexts[kFrameTextCount] = {
    {kStringDescription, FrameText::kDescription},
    {kStringRangeLabel, FrameText::kRangeLabel},
    {kStringOffDelayLabel, FrameText::kOffDelayLabel},
    {kStringDisableSensor, FrameText::kDisableLabel},
    {kStringWaitingForService, FrameText::kWaitingLine},
};

// The check box that disables the sensor dims the labels of the fields it disables.
bool FieldLabelsDimmed() {
  const auto& items = renderer.widgets.items;
  return items.size() > kWidgetDisableCheckBox && items[kWidgetDisableCheckBox].checked != 0;
}

// What the next frame shows, with the text layouts of `earlier` taken over where they still
// fit. The texts are loaded for every frame, so that a change of language is seen like any
// other change.
void DescribeFrame(FrameContent& content, const FrameContent* earlier) {
  auto& items = renderer.widgets.items;
  content.widgets.resize(items.size());
  for (size_t position = 0; position < items.size(); ++position) {
    const DrawnWidget* before =
        earlier != nullptr && position < earlier->widgets.size() ? &earlier->widgets[position]
                                                                 : nullptr;
    DescribeWidget(content.widgets[position], items[position], static_cast<int>(position),
                   before);
  }
  const TextFormats& formats = renderer.formats;
  const Brushes& brushes = renderer.device.brushes;
  const bool rightToLeft = renderer.rightToLeft != 0;
  for (int k = 0; k < kFrameTextCount; ++k) {
    const FrameTextSource& source = kFrameTexts[k];
    const bool label =
        source.which == FrameText::kRangeLabel || source.which == FrameText::kOffDelayLabel;
    ID2D1Brush* brush = label && FieldLabelsDimmed() ? brushes.dimWhite.Get() : brushes.white.Get();
    wchar_t text[kStringBufferSize] = {};
    int length = 0;
    if (source.which != FrameText::kWaitingLine || renderer.waitingLineShown) {
      length =
          std::max(0, LoadStringW(renderer.instance, source.stringId, text, kStringBufferSize));
    }
    LayOutText(content.texts[k], text, static_cast<size_t>(length),
               label ? formats.label.Get() : formats.body.Get(), brush,
               FrameTextBox(source.which, LayoutMetrics(), rightToLeft), rightToLeft,
               earlier != nullptr ? &earlier->texts[k] : nullptr);
  }
  content.focusMark = FocusMarkOutline(renderer.focusMark);
}

// Draws what of `content` falls into `area`, in drawing order.
void PaintContent(ID2D1RenderTarget* target, const FrameContent& content, const FrameBox& area) {
  for (const DrawnWidget& widget : content.widgets) {
    if (widget.visible && Overlap(widget.bounds, area)) PaintWidget(target, widget);
  }
  for (const DrawnText& text : content.texts) {
    if (text.layout && Overlap(text.ink, area)) DrawLaidOutText(target, text);
  }
  const FrameBox& mark = content.focusMark;
  ID2D1Brush* brush = renderer.device.brushes.white.Get();
  if (!Empty(mark) && Overlap(FocusMarkBounds(mark), area) && brush != nullptr) {
    const D2D1_ROUNDED_RECT outline = {D2D1::RectF(mark.left, mark.top, mark.right, mark.bottom),
                                       kFocusMarkRadius, kFocusMarkRadius};
    target->DrawRoundedRectangle(outline, brush, kFocusMarkStroke);
  }
}

// Where `now` draws other pixels than `shown`: the old and the new place of each part that
// changed.
FrameBox ChangedArea(const FrameContent& now, const FrameContent& shown) {
  FrameBox area;
  const size_t count = std::max(now.widgets.size(), shown.widgets.size());
  for (size_t k = 0; k < count; ++k) {
    const DrawnWidget* a = k < now.widgets.size() ? &now.widgets[k] : nullptr;
    const DrawnWidget* b = k < shown.widgets.size() ? &shown.widgets[k] : nullptr;
    if (a != nullptr && b != nullptr && SameWidget(*a, *b)) continue;
    if (a != nullptr && a->visible) area = Union(area, a->bounds);
    if (b != nullptr && b->visible) area = Union(area, b->bounds);
  }
  for (int k = 0; k < kFrameTextCount; ++k) {
    const DrawnText& a = now.texts[k];
    const DrawnText& b = shown.texts[k];
    if (SameText(a, b)) continue;
    if (a.layout) area = Union(area, a.ink);
    if (b.layout) area = Union(area, b.ink);
  }
  if (!(now.focusMark == shown.focusMark)) {
    area = Union(area, FocusMarkBounds(now.focusMark));
    area = Union(area, FocusMarkBounds(shown.focusMark));
  }
  return area;
}

const D2D1_COLOR_F kTransparent = D2D1::ColorF(1.0f, 1.0f, 1.0f, 0.0f);
const FrameBox kEverywhere = {-1e6f, -1e6f, 1e6f, 1e6f};

// Pixels per frame unit at the renderer's DPI.
float FrameScale() { return static_cast<float>(renderer.dpi) / 96.0f; }

// A bitmap render target of the frame's size (`width` x `height` pixels, at the frame's DPI)
// that shares the device of the frame's target, and draws the way it does.
HRESULT MakeFrameCache(FrameCache& cache, int width, int height) {
  cache = FrameCache{};
  ID2D1DCRenderTarget* target = renderer.device.target.Get();
  const float scale = FrameScale();
  const D2D1_SIZE_F size = D2D1::SizeF(static_cast<float>(width) / scale,
                                       static_cast<float>(height) / scale);
  const D2D1_SIZE_U pixels = D2D1::SizeU(static_cast<UINT32>(width), static_cast<UINT32>(height));
  const D2D1_PIXEL_FORMAT format =
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED);
  ComPtr<ID2D1BitmapRenderTarget> made;
  HRESULT hr = target->CreateCompatibleRenderTarget(
      &size, &pixels, &format, D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, &made);
  ComPtr<ID2D1Bitmap> bitmap;
  if (SUCCEEDED(hr)) hr = made->GetBitmap(&bitmap);
  if (FAILED(hr)) return hr;
  made->SetAntialiasMode(target->GetAntialiasMode());
  made->SetTextAntialiasMode(target->GetTextAntialiasMode());
  cache.target = made;
  cache.bitmap = bitmap;
  cache.width = width;
  cache.height = height;
  return S_OK;
}

// Brings the cached frame up to `now`, redrawing from scratch, in the cache's own bitmap, only
// the whole pixels where something changed. Fails (and leaves no cache) when the cache cannot
// be made or drawn. `width` and `height` are pixels; the area is in frame units.
HRESULT UpdateFrameCache(FrameContent& now, int width, int height) {
  FrameCache& cache = renderer.device.cache;
  const float scale = FrameScale();
  FrameBox area;
  if (!cache.target || cache.width != width || cache.height != height) {
    const HRESULT hr = MakeFrameCache(cache, width, height);
    if (FAILED(hr)) return hr;
    area = {0, 0, static_cast<float>(width) / scale, static_cast<float>(height) / scale};
  } else {
    area = ChangedArea(now, cache.shown);
  }
  // Out to whole pixels, so that the aliased clip clears and redraws every pixel it touches.
  area = {std::max(0.0f, std::floor(area.left * scale)) / scale,
          std::max(0.0f, std::floor(area.top * scale)) / scale,
          std::min(static_cast<float>(width), std::ceil(area.right * scale)) / scale,
          std::min(static_cast<float>(height), std::ceil(area.bottom * scale)) / scale};
  if (!Empty(area)) {
    ID2D1BitmapRenderTarget* target = cache.target.Get();
    target->BeginDraw();
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    target->PushAxisAlignedClip(D2D1::RectF(area.left, area.top, area.right, area.bottom),
                                D2D1_ANTIALIAS_MODE_ALIASED);
    target->Clear(kTransparent);
    PaintContent(target, now, area);
    target->PopAxisAlignedClip();
    const HRESULT hr = target->EndDraw();
    if (FAILED(hr)) {
      cache = FrameCache{};
      return hr;
    }
  }
  cache.shown = std::move(now);
  return S_OK;
}

// The frame, drawn into the bound DC render target: the cached frame brought up to date and
// drawn whole, or, when no cache can be had, every part drawn from scratch.
void ComposeFrame(int width, int height) {
  ID2D1DCRenderTarget* target = renderer.device.target.Get();
  FrameContent now;
  DescribeFrame(now, &renderer.device.cache.shown);
  target->SetTransform(D2D1::Matrix3x2F::Identity());
  target->Clear(kTransparent);
  if (FAILED(UpdateFrameCache(now, width, height))) {
    PaintContent(target, now, kEverywhere);
    return;
  }
  const float scale = FrameScale();
  const D2D1_RECT_F whole = D2D1::RectF(0, 0, static_cast<float>(width) / scale,
                                        static_cast<float>(height) / scale);
  target->DrawBitmap(renderer.device.cache.bitmap.Get(), whole, 1.0f,
                     D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, nullptr);
}

}  // namespace

void DrawFrameFromScratch(ID2D1RenderTarget* target) {
  FrameContent content;
  DescribeFrame(content, nullptr);
  target->SetTransform(D2D1::Matrix3x2F::Identity());
  target->Clear(kTransparent);
  PaintContent(target, content, kEverywhere);
}

void PaintWidgetsFromScratch(ID2D1RenderTarget* target) {
  FrameContent content;
  DescribeFrame(content, nullptr);
  for (const DrawnWidget& widget : content.widgets) PaintWidget(target, widget);
}

int RenderFrame(HWND window, const PAINTSTRUCT& paint) {
  // Without every factory and device resource nothing is drawn: the window keeps its last frame.
  if (FAILED(EnsureDeviceResources())) return 0;

  RECT windowRect = {};
  if (!GetWindowRect(window, &windowRect)) return 0;
  const int width = windowRect.right - windowRect.left;
  const int height = windowRect.bottom - windowRect.top;
  if (width <= 0 || height <= 0) return 0;

  // Declared in this order so that leaving selects the old object back, then deletes the
  // bitmap, then the memory context, on every path.
  UniqueMemoryDC memoryDC(CreateCompatibleDC(nullptr));
  if (!memoryDC) return 0;
  UniqueGdiObject bitmap(CreateCompatibleBitmap(paint.hdc, width, height));
  if (!bitmap) return 0;
  SelectedObject selection(memoryDC.Get(), bitmap.Get());

  const RECT bound = {0, 0, width, height};
  if (FAILED(renderer.device.target->BindDC(memoryDC.Get(), &bound))) return 0;
  renderer.device.target->BeginDraw();
  renderer.opaqueUpdate = FrameMustBeOpaque() ? 1 : 0;
  ComposeFrame(width, height);
  HRESULT drawn = renderer.device.target->EndDraw();
  if (renderSeams.endDrawResult != nullptr) drawn = renderSeams.endDrawResult(drawn);
  // The device is gone: the next frame makes new resources. What was drawn is pushed anyway.
  if (drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) DiscardDeviceResources();

  POINT destination = {windowRect.left, windowRect.top};
  SIZE size = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const DWORD flags = renderer.opaqueUpdate ? ULW_OPAQUE : ULW_ALPHA;
  renderSeams.lastUpdateFlags = flags;
  return UpdateLayeredWindow(window, nullptr, &destination, &size, memoryDC.Get(), &source, 0,
                             &blend, flags)
             ? 1
             : 0;
}
