// The widget painter: every visible widget, in list order, as an image or as a shadowed face,
// then its captions.
#include <cwchar>

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "sensorctl/render/text_drawing.h"
#include "sensorctl/render/widget_geometry.h"

namespace {

D2D1_RECT_F ToRect(const FrameBox& box) {
  return D2D1::RectF(box.left, box.top, box.right, box.bottom);
}

D2D1_ROUNDED_RECT ToRoundedRect(const RoundedBox& rounded) {
  return D2D1::RoundedRect(ToRect(rounded.box), rounded.radiusX, rounded.radiusY);
}

bool PaletteComplete(const WidgetPalette& p) {
  return p.normalFace && p.disabledFace && p.disabledBorder && p.disabledText && p.hoverFace &&
         p.hoverBorder && p.normalText && p.shadow && p.buttonFormat && p.fieldFormat;
}

struct LookBrushes {
  ID2D1Brush* face;
  ID2D1Brush* border;  // none in the normal look
  ID2D1Brush* caption;
};

LookBrushes BrushesOf(WidgetLook look, const WidgetPalette& p) {
  switch (look) {
    case WidgetLook::kHover:
      return {p.hoverFace.Get(), p.hoverBorder.Get(), p.normalText.Get()};
    case WidgetLook::kDisabled:
      return {p.disabledFace.Get(), p.disabledBorder.Get(), p.disabledText.Get()};
    case WidgetLook::kNormal:
      break;
  }
  return {p.normalFace.Get(), nullptr, p.normalText.Get()};
}

void PaintWidget(WidgetList& list, int position, ID2D1RenderTarget* renderTarget,
                 IWICImagingFactory* imagingFactory, IDWriteFactory* textFactory) {
  Widget& widget = list.items[position];
  const WidgetPalette& palette = list.palette;
  const WidgetShape shape{{widget.left, widget.top, widget.right, widget.bottom},
                          widget.shadowOffset, widget.radiusX, widget.radiusY};
  const WidgetLook look = ChooseWidgetLook(widget.enabled, widget.hovered, widget.pressed);
  const LookBrushes brushes = BrushesOf(look, palette);

  // The normal face gradient starts at the widget's top edge; the hover and disabled faces stay
  // anchored at the top of the frame.
  palette.normalFace->SetTransform(D2D1::Matrix3x2F::Translation(widget.left, widget.top));

  if (widget.hasImage) {
    if (!widget.bitmap && widget.imageResource != nullptr) {
      LoadWidgetBitmap(widget, list.module, renderTarget, imagingFactory);
    }
    if (widget.bitmap) {
      renderTarget->DrawBitmap(widget.bitmap.Get(), ToRect(shape.rect), 1.0f,
                               D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
    }
  } else {
    const D2D1_ROUNDED_RECT outer = ToRoundedRect(OuterRoundedBox(shape));
    renderTarget->FillRoundedRectangle(ToRoundedRect(ShadowRoundedBox(shape)),
                                       palette.shadow.Get());
    renderTarget->FillRoundedRectangle(outer, brushes.face);
    if (brushes.border != nullptr) {
      renderTarget->DrawRoundedRectangle(outer, brushes.border, widget.strokeWidth, nullptr);
    }
  }

  const bool rightToLeft = palette.rightToLeft != 0;
  const CaptionLayout captions = WidgetCaptionLayout(position, shape.rect, rightToLeft);
  IDWriteTextFormat* format = captions.font == CaptionFont::kField ? palette.fieldFormat.Get()
                                                                   : palette.buttonFormat.Get();
  for (int k = 0; k < captions.count && k < kWidgetTextSlots; ++k) {
    // A slot written to its last unit without a terminator still ends at the slot's end.
    const size_t length = wcsnlen(widget.text[k], kWidgetTextCapacity);
    DrawTextInBox(renderTarget, textFactory, list.scratchLayout, widget.text[k], length, format,
                  captions.boxes[k], brushes.caption, rightToLeft);
  }
}

}  // namespace

HRESULT LoadWidgetBitmap(Widget& widget, HMODULE module, ID2D1RenderTarget* renderTarget,
                         IWICImagingFactory* imagingFactory) {
  if (widget.imageResource == nullptr || renderTarget == nullptr || imagingFactory == nullptr) {
    return E_POINTER;
  }
  HGLOBAL loaded = LoadResource(module, widget.imageResource);
  if (loaded == nullptr) return E_FAIL;
  const void* bytes = LockResource(loaded);
  const DWORD size = SizeofResource(module, widget.imageResource);
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

HRESULT PaintWidgets(WidgetList& list, ID2D1RenderTarget* renderTarget,
                     IWICImagingFactory* imagingFactory, IDWriteFactory* textFactory) {
  // Held for the whole call, whatever the caller does with its own references meanwhile.
  ComPtr<ID2D1RenderTarget> target(renderTarget);
  ComPtr<IWICImagingFactory> imaging(imagingFactory);
  ComPtr<IDWriteFactory> text(textFactory);
  // Never draw with a missing brush or format: a frame without them shows nothing of the list.
  if (!target || !PaletteComplete(list.palette)) return E_FAIL;

  const int count = static_cast<int>(list.items.size());
  for (int position = 0; position < count; ++position) {
    if (list.items[position].visible == 0) continue;
    PaintWidget(list, position, target.Get(), imaging.Get(), text.Get());
  }
  return S_OK;
}
