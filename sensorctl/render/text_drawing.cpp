#include "sensorctl/render/frame_parts.h"

#include <algorithm>

namespace {

// Beyond the metrics of its lines, a glyph may reach into its neighbourhood by an overhang and
// by the antialiased edge around it: half the font's size covers both.
FrameBox InkOf(IDWriteTextLayout* layout, IDWriteTextFormat* format, const FrameBox& box) {
  DWRITE_TEXT_METRICS metrics = {};
  if (FAILED(layout->GetMetrics(&metrics))) return {-1e6f, -1e6f, 1e6f, 1e6f};  // anywhere
  const float slack = format->GetFontSize() / 2 + 2;
  const float left = box.left + metrics.left;
  const float top = box.top + metrics.top;
  return {left - slack, top - slack,
          left + std::max(metrics.width, metrics.widthIncludingTrailingWhitespace) + slack,
          top + metrics.height + slack};
}

}  // namespace

bool Empty(const FrameBox& box) { return !(box.left < box.right && box.top < box.bottom); }

FrameBox Union(const FrameBox& a, const FrameBox& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

bool Overlap(const FrameBox& a, const FrameBox& b) {
  return !Empty(a) && !Empty(b) && a.left < b.right && b.left < a.right && a.top < b.bottom &&
         b.top < a.bottom;
}

bool SameText(const DrawnText& a, const DrawnText& b) {
  return a.format == b.format && a.brush == b.brush && a.box == b.box &&
         a.rightToLeft == b.rightToLeft && a.text == b.text;
}

void LayOutText(DrawnText& laid, const wchar_t* text, size_t length, IDWriteTextFormat* format,
                ID2D1Brush* brush, const FrameBox& box, bool rightToLeft,
                const DrawnText* earlier) {
  laid = DrawnText{};
  laid.text.assign(text, length);
  laid.format = format;
  laid.brush = brush;
  laid.box = box;
  laid.rightToLeft = rightToLeft ? 1 : 0;
  if (earlier != nullptr && SameText(laid, *earlier)) {
    laid.layout = earlier->layout;
    laid.ink = earlier->ink;
    return;
  }
  if (length == 0 || renderer.textFactory == nullptr || format == nullptr || brush == nullptr) {
    return;
  }
  const float width = box.Width() > 0 ? box.Width() : 0.0f;
  const float height = box.Height() > 0 ? box.Height() : 0.0f;
  ComPtr<IDWriteTextLayout> layout;
  if (FAILED(renderer.textFactory->CreateTextLayout(text, static_cast<UINT32>(length), format,
                                                    width, height, &layout))) {
    return;
  }
  if (rightToLeft) layout->SetReadingDirection(DWRITE_READING_DIRECTION_RIGHT_TO_LEFT);
  laid.layout = layout;
  laid.ink = InkOf(layout.Get(), format, box);
}

void DrawLaidOutText(ID2D1RenderTarget* renderTarget, const DrawnText& laid) {
  if (!laid.layout) return;
  renderTarget->DrawTextLayout(D2D1::Point2F(laid.box.left, laid.box.top), laid.layout.Get(),
                               laid.brush, D2D1_DRAW_TEXT_OPTIONS_NONE);
}
