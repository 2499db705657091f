#include "sensorctl/render/widget_geometry.h"

namespace {

// Positions in the widget list whose captions have their own placement.
constexpr int kFirstFieldButton = 6;
constexpr int kLastFieldButton = 8;
constexpr int kFirstList = 9;
constexpr int kLastList = 11;
constexpr int kRowHighlight = 13;

constexpr float kFieldCaptionTrailingInset = 20.0f;  // room for the drop-down arrow
constexpr float kListRowLeadingInset = 16.0f;        // room for the check mark
constexpr float kHighlightLeftInset = 13.0f;
constexpr float kHighlightRightInsetRtl = 11.0f;

constexpr float kDescriptionLeft = 50.0f;
constexpr float kDescriptionTop = 60.0f;
constexpr float kDescriptionWidth = 469.0f;
constexpr float kDescriptionHeight = 70.0f;

}  // namespace

bool operator==(const FrameBox& a, const FrameBox& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool operator==(const RoundedBox& a, const RoundedBox& b) {
  return a.box == b.box && a.radiusX == b.radiusX && a.radiusY == b.radiusY;
}

WidgetLook ChooseWidgetLook(int enabled, int hovered, int pressed) {
  if (enabled == 0) return WidgetLook::kDisabled;
  if (hovered != 0 && pressed == 0) return WidgetLook::kHover;
  return WidgetLook::kNormal;
}

RoundedBox OuterRoundedBox(const WidgetShape& shape) {
  return {shape.rect, shape.radiusX, shape.radiusY};
}

RoundedBox ShadowRoundedBox(const WidgetShape& shape) {
  const float s = shape.shadowOffset;
  const FrameBox& r = shape.rect;
  return {{r.left + s, r.top + s, r.right + s, r.bottom + s}, shape.radiusX, shape.radiusY};
}

CaptionLayout WidgetCaptionLayout(int position, const FrameBox& rect, bool rightToLeft) {
  CaptionLayout layout;
  layout.boxes[0] = rect;
  if (position >= kFirstFieldButton && position <= kLastFieldButton) {
    layout.font = CaptionFont::kField;
    if (rightToLeft) layout.boxes[0].right = rect.right - kFieldCaptionTrailingInset;
  } else if (position >= kFirstList && position <= kLastList) {
    layout.font = CaptionFont::kField;
    layout.count = kListRows;
    for (int k = 0; k < kListRows; ++k) {
      FrameBox& row = layout.boxes[k];
      row.left = rightToLeft ? rect.left : rect.left + kListRowLeadingInset;
      row.right = rightToLeft ? rect.right - kListRowLeadingInset : rect.right;
      row.top = rect.top + kListFirstRowOffset + kListRowHeight * static_cast<float>(k);
      row.bottom = row.top + kListRowHeight;
    }
  } else if (position == kRowHighlight) {
    layout.font = CaptionFont::kField;
    if (rightToLeft) {
      layout.boxes[0].right = rect.right - kHighlightRightInsetRtl;
    } else {
      layout.boxes[0].left = rect.left + kHighlightLeftInset;
    }
  }
  return layout;
}

FrameBox FrameTextBox(FrameText text, const FrameMetrics& m, bool rightToLeft) {
  // The field labels stand in one column, the top of which follows from the header.
  const float labelsTop = m.headerHeight + m.originY + m.margin + 24 + 32 + 22;
  FrameBox labelColumn =
      rightToLeft ? FrameBox{m.frameWidth - 258, 0, m.frameWidth - 8, 0}
                  : FrameBox{m.originX + m.margin + 50, 0, m.originX + m.margin + 250, 0};
  switch (text) {
    case FrameText::kDescription:
      // The description keeps its box in both directions; only its reading direction changes.
      return {kDescriptionLeft, kDescriptionTop, kDescriptionLeft + kDescriptionWidth,
              kDescriptionTop + kDescriptionHeight};
    case FrameText::kRangeLabel:
      labelColumn.top = labelsTop + 30;
      labelColumn.bottom = labelsTop + 60;
      return labelColumn;
    case FrameText::kOffDelayLabel:
      labelColumn.top = labelsTop + 90;
      labelColumn.bottom = labelsTop + 120;
      return labelColumn;
    case FrameText::kDisableLabel: {
      FrameBox box = rightToLeft
                         ? FrameBox{m.frameWidth - m.margin - 240, 0, m.frameWidth - m.margin - 70, 0}
                         : FrameBox{m.originX + m.margin + 70, 0, m.originX + m.margin + 240, 0};
      box.top = m.originY + m.margin + 315;
      box.bottom = m.originY + m.margin + 330;
      return box;
    }
  }
  return {};
}
