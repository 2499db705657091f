#include "sensorctl/app/list_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

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
  layout.choiceX = rightToLeft ? x0 + 124 : width - 258;
  layout.checkBoxX = rightToLeft ? width - margin - 50 : x0 + margin + 40;
  const int x = layout.choiceX;

  layout.okWindow = Place(210, 388, 85, 28);
  layout.cancelWindow = Place(311, 388, 85, 28);
  layout.applyWindow = Place(412, 388, 85, 28);
  layout.closeWindow = Place(width - 50, y0 + 32, 8, 8);
  layout.minimizeWindow = Place(width - 70, y0 + 32, 8, 8);
  layout.rangeButtonWindow = Place(x, y0 + 165, 153, 32);
  layout.rangeListWindow = Place(x, y0 + 165, 153, 64);
  layout.offDelayButtonWindow = Place(x, y0 + 225, 153, 32);
  layout.offDelayListWindow = Place(x, y0 + 255, 153, 64);
  layout.onDelayButtonWindow = Place(x, y0 + 285, 153, 32);
  layout.onDelayListWindow = Place(x, y0 + 315, 153, 64);
  layout.checkBoxWindow = Place(layout.checkBoxX, y0 + margin + 315, 15, 15);

  layout.background = Rect(x0, y0, width, height);
  layout.ok = Rect(210, 388, 295, 416);
  layout.cancel = Rect(311, 388, 396, 416);
  layout.apply = Rect(412, 388, 497, 416);
  // Both hot spots keep the close area's rectangle; neither is ever drawn.
  layout.closeArea = Rect(width - 50, y0 + 32, width - 42, y0 + 39);
  layout.minimizeArea = layout.closeArea;
  layout.rangeButton = Rect(x, y0 + 165, x + 153, y0 + 197);
  layout.offDelayButton = Rect(x, y0 + 225, x + 153, y0 + 257);
  layout.onDelayButton = Rect(x, y0 + 285, x + 153, y0 + 317);
  layout.rangeList = Rect(x, y0 + 195, x + 168, y0 + 285);
  layout.offDelayList = Rect(x, y0 + 255, x + 168, y0 + 345);
  layout.onDelayList = Rect(x, y0 + 315, x + 168, y0 + 405);
  layout.checkBox = Rect(layout.checkBoxX, y0 + margin + 315, layout.checkBoxX + 20,
                         y0 + margin + 335);
  const FrameBox& list = layout.rangeList;
  layout.rowHighlight = {list.left + 3, list.top + 9, list.left + 163, list.top + 33};
  layout.checkMark = {list.left + 6, layout.rowHighlight.top + 8, list.left + 16,
                      layout.rowHighlight.top + 16};
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
  mark.left = rightToLeft ? list.right - 20 : list.left + 8;
  mark.right = mark.left + 10;
  mark.top = list.top + kListFirstRowOffset + kListRowHeight * static_cast<float>(row) + 8;
  mark.bottom = mark.top + 8;
  return mark;
}

bool IsRightToLeftLanguage(std::uint16_t languageId) {
  const unsigned primary = languageId & 0x3FFu;
  return primary == 0x01 || primary == 0x0D;
}

WindowOrigin CentredWindowOrigin(int desktopRight, int desktopBottom) {
  return {desktopRight / 2 - kMainWindowWidth / 2, desktopBottom / 2 - kMainWindowHeight / 2};
}

bool IsDragMove(std::uintptr_t mouseKeys) { return mouseKeys == 0x0001; }
