// The widget painter: a widget described by what it draws, then drawn as an image or as a
// shadowed face, with its captions.
#include <algorithm>
#include <cwchar>

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/frame_parts.h"
#include "sensorctl/render/render_test_hooks.h"
#include "sensorctl/render/widget_geometry.h"

namespace {

D2D1_RECT_F ToRect(const FrameBox& box) {
  return D2D1::RectF(box.left, box.top, box.right, box.bottom);
}

D2D1_ROUNDED_RECT ToRoundedRect(const RoundedBox& rounded) {
  return D2D1::RoundedRect(ToRect(rounded.box), rounded.radiusX, rounded.radiusY);
}

struct LookBrushes {
  ID2D1Brush* face;
  ID2D1Brush* border;  // none in the normal look
  ID2D1Brush* caption;
};

LookBrushes BrushesOf(WidgetLook look, const Brushes& b) {
  switch (look) {
    case WidgetLook::kHover:
      return {b.hoverFace.Get(), b.hoverBorder.Get(), b.white.Get()};
    case WidgetLook::kDisabled:
      return {b.disabledFace.Get(), b.borderGray.Get(), b.dimWhite.Get()};
    case WidgetLook::kNormal:
      break;
  }
  return {b.normalFace.Get(), nullptr, b.white.Get()};
}

bool SameShape(const DrawnWidget& a, const DrawnWidget& b) {
  return a.visible == b.visible && a.rect == b.rect && a.strokeWidth == b.strokeWidth &&
         a.shadowOffset == b.shadowOffset && a.radiusX == b.radiusX && a.radiusY == b.radiusY &&
         a.look == b.look && a.hasImage == b.hasImage && a.imageResource == b.imageResource &&
         a.bitmap.Get() == b.bitmap.Get() && a.captionCount == b.captionCount;
}

constexpr int kImageCount = sizeof kImages / sizeof kImages[0];

// The picture of `base` (an image of the art list at 100 %) in the set of the renderer's DPI:
// the nearest set at or above that the module holds, else `base` itself, as also for an image
// outside the list.
HRSRC ImageForDpi(HMODULE module, HRSRC base) {
  const int set = ImageSetFor(renderer.dpi);
  if (set == 0 || base == nullptr) return base;
  for (int k = 0; k < kImageCount; ++k) {
    if (FindWidgetImage(module, kImages[k].name) != base) continue;
    for (int larger = set; larger < kImageScaleCount; ++larger) {
      HRSRC scaled = FindWidgetImage(module, kScaledImageNames[larger][k]);
      if (scaled != nullptr) return scaled;
    }
    break;
  }
  return base;
}

}  // namespace

void DescribeWidget(DrawnWidget& drawn, Widget& widget, int position, const DrawnWidget* earlier) {
  drawn = DrawnWidget{};
  drawn.visible = widget.visible != 0 ? 1 : 0;
  if (!drawn.visible) return;
  // A shown picture is decoded before the frame is drawn, so that what the frame describes is
  // what it draws.
  if (widget.hasImage && !widget.bitmap && widget.imageResource != nullptr) {
    LoadWidgetBitmap(widget, renderer.widgets.module, renderer.device.target.Get(),
                     renderer.imagingFactory.Get());
  }
  drawn.rect = {widget.left, widget.top, widget.right, widget.bottom};
  drawn.strokeWidth = widget.strokeWidth;
  drawn.shadowOffset = widget.shadowOffset;
  drawn.radiusX = widget.radiusX;
  drawn.radiusY = widget.radiusY;
  drawn.look = ChooseWidgetLook(widget.enabled, widget.hovered, widget.pressed);
  drawn.hasImage = widget.hasImage;
  drawn.imageResource = widget.imageResource;
  drawn.bitmap = widget.bitmap;

  // The face, its shadow, and a border centred on its edge.
  const float reach = std::max(0.0f, widget.shadowOffset) + widget.strokeWidth / 2 + 1;
  drawn.bounds = {drawn.rect.left - reach, drawn.rect.top - reach, drawn.rect.right + reach,
                  drawn.rect.bottom + reach};

  const bool rightToLeft = renderer.rightToLeft != 0;
  const CaptionLayout captions = WidgetCaptionLayout(position, drawn.rect, rightToLeft);
  const TextFormats& formats = renderer.formats;
  IDWriteTextFormat* format =
      captions.font == CaptionFont::kField ? formats.field.Get() : formats.button.Get();
  ID2D1Brush* brush = BrushesOf(drawn.look, renderer.device.brushes).caption;
  drawn.captionCount = std::min(captions.count, kWidgetTextSlots);
  for (int k = 0; k < drawn.captionCount; ++k) {
    // A slot written to its last unit without a terminator still ends at the slot's end.
    const size_t length = wcsnlen(widget.text[k], kWidgetTextCapacity);
    LayOutText(drawn.captions[k], widget.text[k], length, format, brush, captions.boxes[k],
               rightToLeft, earlier != nullptr ? &earlier->captions[k] : nullptr);
    if (drawn.captions[k].layout) drawn.bounds = Union(drawn.bounds, drawn.captions[k].ink);
  }
}

bool SameWidget(const DrawnWidget& a, const DrawnWidget& b) {
  if (!SameShape(a, b)) return false;
  for (int k = 0; k < a.captionCount; ++k) {
    if (!SameText(a.captions[k], b.captions[k])) return false;
  }
  return true;
}

void PaintWidget(ID2D1RenderTarget* renderTarget, const DrawnWidget& widget) {
  if (!widget.visible) return;
  const Brushes& brushes = renderer.device.brushes;
  const WidgetShape shape{widget.rect, widget.shadowOffset, widget.radiusX, widget.radiusY};
  const LookBrushes look = BrushesOf(widget.look, brushes);

  if (widget.hasImage) {
    if (widget.bitmap) {
      renderTarget->DrawBitmap(widget.bitmap.Get(), ToRect(shape.rect), 1.0f,
                               D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
    }
  } else {
    // The normal face gradient starts at the widget's top edge; the hover and disabled faces
    // stay anchored at the top of the frame.
    brushes.normalFace->SetTransform(
        D2D1::Matrix3x2F::Translation(widget.rect.left, widget.rect.top));
    const D2D1_ROUNDED_RECT outer = ToRoundedRect(OuterRoundedBox(shape));
    renderTarget->FillRoundedRectangle(ToRoundedRect(ShadowRoundedBox(shape)),
                                       brushes.shadow.Get());
    renderTarget->FillRoundedRectangle(outer, look.face);
    if (look.border != nullptr) {
      renderTarget->DrawRoundedRectangle(outer, look.border, widget.strokeWidth, nullptr);
    }
  }
  for (int k = 0; k < widget.captionCount; ++k) DrawLaidOutText(renderTarget, widget.captions[k]);
}

HRESULT LoadWidgetBitmap(Widget& widget, HMODULE module, ID2D1RenderTarget* renderTarget,
                         IWICImagingFactory* imagingFactory) {
  if (widget.imageResource == nullptr || renderTarget == nullptr || imagingFactory == nullptr) {
    return E_POINTER;
  }
  // The set of the window's scale, drawn into the widget's rectangle in frame units.
  const HRSRC resource = ImageForDpi(module, widget.imageResource);
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return E_FAIL;
  const void* bytes = LockResource(loaded);
  const DWORD size = SizeofResource(module, resource);
  if (bytes == nullptr || size == 0) return E_FAIL;

  // Released in the reverse order of making: converter, frame, decoder, stream.
  ComPtr<IWICStream> stream;
  HRESULT hr = imagingFactory->CreateStream(&stream);
  if (SUCCEEDED(hr)) {
    hr = stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size);
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (SUCCEEDED(hr)) {
    hr = imagingFactory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                 WICDecodeMetadataCacheOnLoad, &decoder);
  }
  ComPtr<IWICBitmapFrameDecode> frame;
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  ComPtr<IWICFormatConverter> converter;
  if (SUCCEEDED(hr)) hr = imagingFactory->CreateFormatConverter(&converter);
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                               WICBitmapDitherTypeNone, nullptr, 0.0,
                               WICBitmapPaletteTypeMedianCut);
  }
  ComPtr<ID2D1Bitmap> bitmap;
  if (SUCCEEDED(hr)) hr = renderTarget->CreateBitmapFromWicBitmap(converter.Get(), nullptr, &bitmap);
  if (FAILED(hr)) return hr;
  widget.bitmap = bitmap;
  ++renderSeams.imageDecodes;
  return S_OK;
}

