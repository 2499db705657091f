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
// The waiting line stands in the free band between the delay field and the check box.
constexpr float kWaitingLineTop = 280.0f;
constexpr float kWaitingLineHeight = 22.0f;

// The field labels stand in one column a fixed distance below the header and margin: one more
// band of the window's own header and margin, then a gap. It does not follow the metrics.
constexpr float kLabelsBelowHeader = kFrameMargin + kFrameHeaderHeight + 22;
constexpr float kLabelColumnLeft = 50;  // from the margin, left to right
constexpr float kLabelColumnWidth = 200;
constexpr float kLabelColumnRightInsetRtl = 8;
constexpr float kRangeLabelTop = 30;  // below the top of the column
constexpr float kOffDelayLabelTop = 90;
constexpr float kLabelHeight = 30;

// The label of the check box, beside it, from the margin on its side.
constexpr float kDisableLabelNear = 70;
constexpr float kDisableLabelFar = 240;
constexpr float kDisableLabelHeight = 15;

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
  const float labelsTop = m.headerHeight + m.originY + m.margin + kLabelsBelowHeader;
  FrameBox labelColumn =
      rightToLeft ? FrameBox{m.frameWidth - kRightColumnFromRight, 0,
                             m.frameWidth - kLabelColumnRightInsetRtl, 0}
                  : FrameBox{m.originX + m.margin + kLabelColumnLeft, 0,
                             m.originX + m.margin + kLabelColumnLeft + kLabelColumnWidth, 0};
  switch (text) {
    case FrameText::kDescription:
      // The description keeps its box in both directions; only its reading direction changes.
      return {kDescriptionLeft, kDescriptionTop, kDescriptionLeft + kDescriptionWidth,
              kDescriptionTop + kDescriptionHeight};
    case FrameText::kRangeLabel:
      labelColumn.top = labelsTop + kRangeLabelTop;
      labelColumn.bottom = labelColumn.top + kLabelHeight;
      return labelColumn;
    case FrameText::kOffDelayLabel:
      labelColumn.top = labelsTop + kOffDelayLabelTop;
      labelColumn.bottom = labelColumn.top + kLabelHeight;
      return labelColumn;
    case FrameText::kWaitingLine:
      // Like the description: one box in both directions, read in the language's direction.
      return {kDescriptionLeft, kWaitingLineTop, kDescriptionLeft + kDescriptionWidth,
              kWaitingLineTop + kWaitingLineHeight};
    case FrameText::kDisableLabel: {
      FrameBox box = rightToLeft ? FrameBox{m.frameWidth - m.margin - kDisableLabelFar, 0,
                                            m.frameWidth - m.margin - kDisableLabelNear, 0}
                                 : FrameBox{m.originX + m.margin + kDisableLabelNear, 0,
                                            m.originX + m.margin + kDisableLabelFar, 0};
      // Level with the check box.
      box.top = m.originY + m.margin + kCheckBoxBelowMargin;
      box.bottom = box.top + kDisableLabelHeight;
      return box;
    }
  }
  return {};
}

FrameBox FocusMarkOutline(const FrameBox& control) {
  if (!(control.right > control.left && control.bottom > control.top)) return {};
  return {control.left - kFocusMarkGap, control.top - kFocusMarkGap,
          control.right + kFocusMarkGap, control.bottom + kFocusMarkGap};
}

FrameBox FocusMarkBounds(const FrameBox& outline) {
  if (!(outline.right > outline.left && outline.bottom > outline.top)) return {};
  const float half = kFocusMarkStroke / 2 + 1;  // and a pixel of antialiasing
  return {outline.left - half, outline.top - half, outline.right + half, outline.bottom + half};
}

int ImageSetFor(int dpi) {
  for (int set = 0; set < kImageScaleCount; ++set) {
    if (kImageScalePercents[set] * 96 >= dpi * 100) return set;
  }
  return kImageScaleCount - 1;
}
