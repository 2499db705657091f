#include "sensorctl/render/text_drawing.h"

void DrawTextInBox(ID2D1RenderTarget* renderTarget, IDWriteFactory* textFactory,
                   ComPtr<IDWriteTextLayout>& layout, const wchar_t* text, size_t length,
                   IDWriteTextFormat* format, const FrameBox& box, ID2D1Brush* brush,
                   bool rightToLeft) {
  layout.Reset();
  if (length == 0 || textFactory == nullptr || format == nullptr || brush == nullptr) return;
  const float width = box.Width() > 0 ? box.Width() : 0.0f;
  const float height = box.Height() > 0 ? box.Height() : 0.0f;
  if (FAILED(textFactory->CreateTextLayout(text, static_cast<UINT32>(length), format, width,
                                           height, &layout))) {
    layout.Reset();
    return;
  }
  if (rightToLeft) layout->SetReadingDirection(DWRITE_READING_DIRECTION_RIGHT_TO_LEFT);
  renderTarget->DrawTextLayout(D2D1::Point2F(box.left, box.top), layout.Get(), brush,
                               D2D1_DRAW_TEXT_OPTIONS_NONE);
}
