#include "sensorctl/app/list_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Frame units of the 566 x 460 window.
// The column of the drop-downs: from the left edge when right to left, else the right-hand
// column (kRightColumnFromRight).
constexpr int kChoiceLeftRtl = 124;
// The check box, from the margin on its side.
constexpr int kCheckBoxFromLeftMargin = 40;
constexpr int kCheckBoxFromRightMarginRtl = 50;
constexpr int kCheckBoxWindowSize = 15;
constexpr int kCheckBoxSize = kImageCheckBoxChecked.width;  // drawn larger than its window
static_assert(kImageCheckBoxChecked.height == kCheckBoxSize &&
              kImageCheckBoxUnchecked.width == kCheckBoxSize &&
              kImageCheckBoxUnchecked.height == kCheckBoxSize);

// OK, Cancel and Apply, in one row in both directions.
constexpr int kOkLeft = 210;
constexpr int kCancelLeft = 311;
constexpr int kApplyLeft = 412;
constexpr int kPushButtonTop = 388;
constexpr int kPushButtonWidth = 85;
constexpr int kPushButtonHeight = 28;

// The close and minimise hot spots over the glyphs of the title bar.
constexpr int kCloseFromRight = 50;
constexpr int kMinimizeFromRight = 70;
constexpr int kHotSpotTop = 32;
constexpr int kHotSpotSize = 8;

// The drop-down buttons, one below the other, each with its list.
constexpr int kRangeTop = 165;
constexpr int kOffDelayTop = 225;
constexpr int kOnDelayTop = 285;
// Each drawn part is the size of its image.
constexpr int kChoiceWidth = kImageChoiceButton.width;
constexpr int kChoiceButtonHeight = kImageChoiceButton.height;
static_assert(kImageChoiceButtonHover.width == kChoiceWidth &&
              kImageChoiceButtonHover.height == kChoiceButtonHeight);
constexpr int kNativeListHeight = 64;
constexpr int kListBelowButton = 30;  // a drawn list opens over the lower edge of its button
constexpr int kDrawnListWidth = kImageChoiceList.width;
constexpr int kDrawnListHeight = kImageChoiceList.height;

// The row highlight and, at rest, the check mark, within a drawn list.
constexpr float kHighlightInset = 3;
constexpr float kHighlightWidth = kImageRowHighlight.width;
static_assert(kImageRowHighlight.height == kListRowHeight);
constexpr float kRestingCheckMarkInset = 6;
// Where CheckMarkAt puts the mark beside a row.
constexpr float kCheckMarkInset = 8;
constexpr float kCheckMarkInsetRtl = 20;  // from the right edge
constexpr float kCheckMarkBelowRowTop = 8;
constexpr float kCheckMarkWidth = kImageCheckMark.width;
constexpr float kCheckMarkHeight = kImageCheckMark.height;

ChildPlacement Place(int x, int y, int width, int height) { return {x, y, width, height}; }

// Whether some whole pixel of [start, start + length) lies strictly between low and high.
bool PixelsStrictlyBetween(float low, float high, int start, int length) {
  if (length <= 0) return false;
  const int first = std::max(start, static_cast<int>(std::floor(low)) + 1);
  const int last = std::min(start + length - 1, static_cast<int>(std::ceil(high)) - 1);
  return first <= last;
}

FrameBox Rect(int left, int top, int right, int bottom) {
  return {static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
          static_cast<float>(bottom)};
}

// The drawn rectangle of a child window's place.
FrameBox Box(const ChildPlacement& place) {
  return Rect(place.x, place.y, place.x + place.width, place.y + place.height);
}

FrameBox DrawnList(int left, int top) {
  return Rect(left, top, left + kDrawnListWidth, top + kDrawnListHeight);
}

}  // namespace

ControlLayout ComputeControlLayout(const FrameMetrics& metrics, bool rightToLeft) {
  const int x0 = static_cast<int>(metrics.originX);
  const int y0 = static_cast<int>(metrics.originY);
  const int width = static_cast<int>(metrics.frameWidth);
  const int height = static_cast<int>(metrics.frameHeight);
  const int margin = static_cast<int>(metrics.margin);

  ControlLayout layout;
  // Only the drop-downs and the check box are mirrored; the buttons and the title-bar areas keep
  // their places in both directions.
  layout.choiceX = rightToLeft ? x0 + kChoiceLeftRtl : width - kRightColumnFromRight;
  layout.checkBoxX = rightToLeft ? width - margin - kCheckBoxFromRightMarginRtl
                                 : x0 + margin + kCheckBoxFromLeftMargin;
  const int x = layout.choiceX;
  const int checkBoxTop = y0 + margin + kCheckBoxBelowMargin;

  layout.okWindow = Place(kOkLeft, kPushButtonTop, kPushButtonWidth, kPushButtonHeight);
  layout.cancelWindow = Place(kCancelLeft, kPushButtonTop, kPushButtonWidth, kPushButtonHeight);
  layout.applyWindow = Place(kApplyLeft, kPushButtonTop, kPushButtonWidth, kPushButtonHeight);
  layout.closeWindow = Place(width - kCloseFromRight, y0 + kHotSpotTop, kHotSpotSize, kHotSpotSize);
  layout.minimizeWindow =
      Place(width - kMinimizeFromRight, y0 + kHotSpotTop, kHotSpotSize, kHotSpotSize);
  // The native list of the sensitivity starts at its button; the other two start where their
  // drawn lists do.
  layout.rangeButtonWindow = Place(x, y0 + kRangeTop, kChoiceWidth, kChoiceButtonHeight);
  layout.rangeListWindow = Place(x, y0 + kRangeTop, kChoiceWidth, kNativeListHeight);
  layout.offDelayButtonWindow = Place(x, y0 + kOffDelayTop, kChoiceWidth, kChoiceButtonHeight);
  layout.offDelayListWindow =
      Place(x, y0 + kOffDelayTop + kListBelowButton, kChoiceWidth, kNativeListHeight);
  layout.onDelayButtonWindow = Place(x, y0 + kOnDelayTop, kChoiceWidth, kChoiceButtonHeight);
  layout.onDelayListWindow =
      Place(x, y0 + kOnDelayTop + kListBelowButton, kChoiceWidth, kNativeListHeight);
  layout.checkBoxWindow =
      Place(layout.checkBoxX, checkBoxTop, kCheckBoxWindowSize, kCheckBoxWindowSize);

  layout.background = Rect(x0, y0, width, height);
  layout.ok = Box(layout.okWindow);
  layout.cancel = Box(layout.cancelWindow);
  layout.apply = Box(layout.applyWindow);
  // Both hot spots keep the close area's rectangle, one unit shorter than its window; neither is
  // ever drawn.
  layout.closeArea = Rect(width - kCloseFromRight, y0 + kHotSpotTop,
                          width - kCloseFromRight + kHotSpotSize,
                          y0 + kHotSpotTop + kHotSpotSize - 1);
  layout.minimizeArea = layout.closeArea;
  layout.rangeButton = Box(layout.rangeButtonWindow);
  layout.offDelayButton = Box(layout.offDelayButtonWindow);
  layout.onDelayButton = Box(layout.onDelayButtonWindow);
  layout.rangeList = DrawnList(x, y0 + kRangeTop + kListBelowButton);
  layout.offDelayList = DrawnList(x, y0 + kOffDelayTop + kListBelowButton);
  layout.onDelayList = DrawnList(x, y0 + kOnDelayTop + kListBelowButton);
  layout.checkBox = Rect(layout.checkBoxX, checkBoxTop, layout.checkBoxX + kCheckBoxSize,
                         checkBoxTop + kCheckBoxSize);
  // At rest the row highlight lies over row 0 of the sensitivity list, the check mark beside it.
  const FrameBox& list = layout.rangeList;
  const float rowTop = list.top + kListFirstRowOffset;
  layout.rowHighlight = {list.left + kHighlightInset, rowTop,
                         list.left + kHighlightInset + kHighlightWidth, rowTop + kListRowHeight};
  layout.checkMark = {list.left + kRestingCheckMarkInset,
                      layout.rowHighlight.top + kCheckMarkBelowRowTop,
                      list.left + kRestingCheckMarkInset + kCheckMarkWidth,
                      layout.rowHighlight.top + kCheckMarkBelowRowTop + kCheckMarkHeight};
  return layout;
}

bool ListContains(const FrameBox& list, int x, int y) {
  const float fx = static_cast<float>(x);
  const float fy = static_cast<float>(y);
  return list.left < fx && fx < list.right && list.top < fy && fy < list.bottom;
}

int HitListRow(const FrameBox& list, int rowCount, int x, int y) {
  if (!ListContains(list, x, y)) return kNoListRow;
  const float firstRowTop = list.top + kListFirstRowOffset;
  const float fy = static_cast<float>(y);
  for (int row = 0; row < rowCount; ++row) {
    const float top = firstRowTop + kListRowHeight * static_cast<float>(row);
    if (top < fy && fy < top + kListRowHeight) return row;
  }
  return kNoListRow;
}

bool ListCoversChild(const FrameBox& list, const ChildPlacement& child) {
  return PixelsStrictlyBetween(list.left, list.right, child.x, child.width) &&
         PixelsStrictlyBetween(list.top, list.bottom, child.y, child.height);
}

FrameBox RowHighlightAt(const FrameBox& highlight, const FrameBox& list, int row) {
  FrameBox moved = highlight;
  moved.top = list.top + kListFirstRowOffset + kListRowHeight * static_cast<float>(row);
  moved.bottom = moved.top + kListRowHeight;
  return moved;
}

FrameBox CheckMarkAt(const FrameBox& list, int row, bool rightToLeft) {
  FrameBox mark;
  mark.left = rightToLeft ? list.right - kCheckMarkInsetRtl : list.left + kCheckMarkInset;
  mark.right = mark.left + kCheckMarkWidth;
  mark.top = list.top + kListFirstRowOffset + kListRowHeight * static_cast<float>(row) +
             kCheckMarkBelowRowTop;
  mark.bottom = mark.top + kCheckMarkHeight;
  return mark;
}

int HighlightedRow(const FrameBox& list, int rowCount, const FrameBox& highlight) {
  for (int row = 0; row < rowCount; ++row) {
    const FrameBox at = RowHighlightAt(highlight, list, row);
    if (at.top == highlight.top && at.bottom == highlight.bottom) return row;
  }
  return kNoListRow;
}

FrameBox ListRowBox(const FrameBox& list, int row) {
  FrameBox box = list;
  box.top = list.top + kListFirstRowOffset + kListRowHeight * static_cast<float>(row);
  box.bottom = box.top + kListRowHeight;
  return box;
}
