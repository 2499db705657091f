// Placement and hit-testing of the settings window's controls, in both reading directions.
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/list_geometry.h"
#include "sensorctl/app/window_rules.h"
#include "sensorctl/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// Compared as tuples, so that a failure shows every coordinate.
void ExpectRect(const FrameBox& r, float left, float top, float right, float bottom) {
  EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom), std::tie(left, top, right, bottom));
}
void ExpectPlace(const ChildPlacement& p, int x, int y, int width, int height) {
  EXPECT_EQ(std::tie(p.x, p.y, p.width, p.height), std::tie(x, y, width, height));
}

const FrameBox kRangeList = {308, 195, 476, 285};  // widget 9, left to right
const FrameBox kDelayList = {308, 255, 476, 345};  // widget 10

using Place = ChildPlacement ControlLayout::*;

FrameBox BoxOf(const ChildPlacement& p) {
  return {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.x + p.width),
          static_cast<float>(p.y + p.height)};
}

// The child windows that take clicks, by id.
struct Clickable {
  int id;
  Place place;
};
const Clickable kClickable[] = {
    {IDC_OK, &ControlLayout::okWindow},
    {IDC_CANCEL, &ControlLayout::cancelWindow},
    {IDC_APPLY, &ControlLayout::applyWindow},
    {IDC_CLOSE_AREA, &ControlLayout::closeWindow},
    {IDC_MINIMIZE_AREA, &ControlLayout::minimizeWindow},
    {IDC_RANGE_BUTTON, &ControlLayout::rangeButtonWindow},
    {IDC_OFF_DELAY_BUTTON, &ControlLayout::offDelayButtonWindow},
    {IDC_ON_DELAY_BUTTON, &ControlLayout::onDelayButtonWindow},
    {IDC_DISABLE_CHECKBOX, &ControlLayout::checkBoxWindow},
};

// The places the window is laid out from; the rest follows from them and the properties below.
TEST(ControlLayout, AnchorsInBothDirections) {
  for (bool rightToLeft : {false, true}) {
    SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
    const ControlLayout layout = ComputeControlLayout(FrameMetrics{}, rightToLeft);
    const int x = rightToLeft ? 124 : 308;
    EXPECT_EQ(layout.checkBoxX, rightToLeft ? 492 : 64);
    ExpectPlace(layout.okWindow, 210, 388, 85, 28);
    ExpectPlace(layout.cancelWindow, 311, 388, 85, 28);
    ExpectPlace(layout.applyWindow, 412, 388, 85, 28);
    ExpectPlace(layout.closeWindow, 516, 32, 8, 8);
    ExpectPlace(layout.minimizeWindow, 496, 32, 8, 8);
    ExpectPlace(layout.checkBoxWindow, layout.checkBoxX, 339, 15, 15);
    ExpectPlace(layout.rangeButtonWindow, x, 165, 153, 32);
    ExpectPlace(layout.offDelayButtonWindow, x, 225, 153, 32);
    ExpectPlace(layout.onDelayButtonWindow, x, 285, 153, 32);
    // The native lists: the sensitivity's at its button, the others where their drawn lists are.
    ExpectPlace(layout.rangeListWindow, x, 165, 153, 64);
    ExpectPlace(layout.offDelayListWindow, x, 255, 153, 64);
    ExpectPlace(layout.onDelayListWindow, x, 315, 153, 64);
    ExpectRect(layout.rangeList, x, 195, x + 168, 285);
    ExpectRect(layout.rowHighlight, x + 3, 204, x + 163, 228);
    ExpectRect(layout.checkMark, x + 6, 212, x + 16, 220);
    // Both hot spots keep the close area's box, one unit shorter than its window.
    ExpectRect(layout.closeArea, 516, 32, 524, 39);
    ExpectRect(layout.minimizeArea, 516, 32, 524, 39);
  }
}

// Each drawn part has the size of its image, stands on its window, inside the frame; the
// windows that take clicks do not overlap; right to left moves only the drop-downs and the
// check box sideways.
TEST(ControlLayout, PropertiesInBothDirections) {
  const ControlLayout ltr = ComputeControlLayout(FrameMetrics{}, false);
  for (bool rightToLeft : {false, true}) {
    SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
    const ControlLayout layout = ComputeControlLayout(FrameMetrics{}, rightToLeft);
    const std::pair<FrameBox, ImageResource> drawn[] = {
        {layout.background, kImageBackground},   {layout.rangeButton, kImageChoiceButton},
        {layout.offDelayButton, kImageChoiceButton}, {layout.onDelayButton, kImageChoiceButton},
        {layout.rangeList, kImageChoiceList},    {layout.offDelayList, kImageChoiceList},
        {layout.onDelayList, kImageChoiceList},  {layout.rowHighlight, kImageRowHighlight},
        {layout.checkMark, kImageCheckMark},     {layout.checkBox, kImageCheckBoxChecked},
    };
    for (const auto& [box, image] : drawn) {
      EXPECT_EQ(box.Width(), image.width) << image.name;
      EXPECT_EQ(box.Height(), image.height) << image.name;
      EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= kImageBackground.width &&
                  box.bottom <= kImageBackground.height)
          << image.name << " " << box.left << "," << box.top << "," << box.right << ","
          << box.bottom;
    }
    EXPECT_EQ(layout.ok, BoxOf(layout.okWindow));
    EXPECT_EQ(layout.cancel, BoxOf(layout.cancelWindow));
    EXPECT_EQ(layout.apply, BoxOf(layout.applyWindow));
    EXPECT_EQ(layout.rangeButton, BoxOf(layout.rangeButtonWindow));
    EXPECT_EQ(layout.offDelayButton, BoxOf(layout.offDelayButtonWindow));
    EXPECT_EQ(layout.onDelayButton, BoxOf(layout.onDelayButtonWindow));
    EXPECT_EQ(layout.checkBox.left, layout.checkBoxWindow.x);
    EXPECT_EQ(layout.checkBox.top, layout.checkBoxWindow.y);
    for (size_t i = 0; i < std::size(kClickable); ++i) {
      const FrameBox a = BoxOf(layout.*kClickable[i].place);
      for (size_t j = i + 1; j < std::size(kClickable); ++j) {
        const FrameBox b = BoxOf(layout.*kClickable[j].place);
        EXPECT_FALSE(a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)
            << "windows " << kClickable[i].id << " and " << kClickable[j].id << " overlap";
      }
      const ChildPlacement& here = layout.*kClickable[i].place;
      const ChildPlacement& there = ltr.*kClickable[i].place;
      const bool sideways = kClickable[i].id == IDC_DISABLE_CHECKBOX || there.x == ltr.choiceX;
      EXPECT_EQ(here.x != there.x, rightToLeft && sideways) << "window " << kClickable[i].id;
      EXPECT_EQ(std::tie(here.y, here.width, here.height),
                std::tie(there.y, there.width, there.height))
          << "window " << kClickable[i].id;
    }
  }
}

TEST(ControlLayout, MetricsAreTruncatedBeforeOffsetsAreAdded) {
  FrameMetrics metrics;
  metrics.frameWidth = 566.9f;
  metrics.margin = 24.7f;
  metrics.originY = 0.9f;
  const ControlLayout ltr = ComputeControlLayout(metrics, false);
  EXPECT_EQ(ltr.choiceX, 308);
  EXPECT_EQ(ltr.checkBoxX, 64);
  EXPECT_EQ(ltr.checkBoxWindow.y, 339);
  const ControlLayout rtl = ComputeControlLayout(metrics, true);
  EXPECT_EQ(rtl.checkBoxX, 492);
}

TEST(ListContains, EdgesAreOutside) {
  struct Case {
    int x, y;
    bool inside;
  };
  const Case cases[] = {
      {308, 240, false}, {309, 240, true}, {475, 240, true}, {476, 240, false},
      {400, 195, false}, {400, 196, true}, {400, 284, true}, {400, 285, false},
      {-1, -1, false},   {1000, 240, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListContains(kRangeList, c.x, c.y), c.inside) << c.x << "," << c.y;
  }
}

TEST(ListCoversChild, EdgePixelsFollowListContains) {
  // kRangeList is inside for x 309..475 and y 196..284.
  struct Case {
    ChildPlacement child;
    bool covered;
  };
  const Case cases[] = {
      {{400, 185, 10, 11}, false},  // last pixel row 195: the top edge
      {{400, 185, 10, 12}, true},   // reaches 196
      {{400, 285, 10, 10}, false},  // starts on the bottom edge
      {{400, 284, 10, 10}, true},
      {{298, 240, 10, 10}, false},  // last pixel column 307
      {{299, 240, 10, 10}, false},  // 308: the left edge
      {{300, 240, 10, 10}, true},   // 309
      {{476, 240, 10, 10}, false},  // the right edge
      {{475, 240, 10, 10}, true},
      {{200, 100, 400, 300}, true},  // the list wholly inside the window
      {{400, 240, 0, 10}, false},    // no pixels
      {{400, 240, 10, 0}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListCoversChild(kRangeList, c.child), c.covered)
        << c.child.x << "," << c.child.y << " " << c.child.width << "x" << c.child.height;
  }
  // A list between whole units: a pixel at 196 is inside (195.5, 284.5), one at 285 is not.
  const FrameBox between = {308.5f, 195.5f, 476.5f, 284.5f};
  EXPECT_TRUE(ListCoversChild(between, {400, 186, 10, 11}));
  EXPECT_FALSE(ListCoversChild(between, {400, 185, 10, 11}));
  EXPECT_TRUE(ListCoversChild(between, {400, 284, 10, 10}));
  EXPECT_FALSE(ListCoversChild(between, {400, 285, 10, 10}));
  EXPECT_TRUE(ListCoversChild(between, {476, 240, 10, 10}));
}

TEST(ListCoversChild, WhichWindowsEachListLiesOver) {
  struct Case {
    bool rightToLeft;
    FrameBox ControlLayout::*list;
    std::vector<int> covered;
  };
  // Each list reaches 2 units over its own button's bottom edge (its top margin, no row); the
  // sensitivity list lies over the delay-until-off button, the delay-until-off list over the
  // delay-until-on button, and the delay-until-on list (never opened) over buttons in the bottom
  // row: Cancel and Apply left to right, OK right to left.
  const Case cases[] = {
      {false, &ControlLayout::rangeList, {210, 211}},
      {false, &ControlLayout::offDelayList, {211, 212}},
      {false, &ControlLayout::onDelayList, {203, 204, 212}},
      {true, &ControlLayout::rangeList, {210, 211}},
      {true, &ControlLayout::offDelayList, {211, 212}},
      {true, &ControlLayout::onDelayList, {202, 212}},
  };
  for (const Case& c : cases) {
    const ControlLayout layout = ComputeControlLayout(FrameMetrics{}, c.rightToLeft);
    std::vector<int> covered;
    for (const Clickable& window : kClickable) {
      if (ListCoversChild(layout.*c.list, layout.*window.place)) covered.push_back(window.id);
    }
    std::sort(covered.begin(), covered.end());
    EXPECT_EQ(covered, c.covered) << "right to left " << c.rightToLeft;
  }
}

TEST(HitListRow, RowsAreStrictAndStartBelowTheMarginInsideTheList) {
  // T = 195 + 9 = 204; rows (204, 228), (228, 252), (252, 276) strictly.
  struct Case {
    int x, y;
    int rows;
    int expected;
  };
  const Case cases[] = {
      {400, 196, 2, kNoListRow},  // inside the list, in the 9-unit top margin
      {400, 203, 2, kNoListRow},
      {400, 204, 2, kNoListRow},  // T itself: the boundary above row 0
      {400, 205, 2, 0},
      {400, 227, 2, 0},
      {400, 228, 2, kNoListRow},  // T + 24: boundary between rows 0 and 1
      {400, 229, 2, 1},
      {400, 251, 2, 1},
      {400, 252, 2, kNoListRow},  // T + 48
      {400, 260, 2, kNoListRow},  // below the last of two rows, still inside the list
      {400, 260, 3, 2},
      {400, 275, 3, 2},
      {400, 276, 3, kNoListRow},  // T + 72, below the last of three rows
      {400, 284, 3, kNoListRow},
      {400, 285, 3, kNoListRow},  // list bottom edge
      {308, 215, 2, kNoListRow},  // the list's side edges, level with a row
      {476, 215, 2, kNoListRow},
      {309, 215, 2, 0},
      {475, 240, 2, 1},
      {400, 215, 0, kNoListRow},  // a list without rows
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitListRow(kRangeList, c.rows, c.x, c.y), c.expected) << c.x << "," << c.y;
  }
}

TEST(RowHighlightAt, MovesVerticallyOnly) {
  const FrameBox highlight = {311, 204, 471, 228};
  ExpectRect(RowHighlightAt(highlight, kDelayList, 0), 311, 264, 471, 288);
  ExpectRect(RowHighlightAt(highlight, kDelayList, 2), 311, 312, 471, 336);
  ExpectRect(RowHighlightAt(highlight, kRangeList, 1), 311, 228, 471, 252);
}

// The row a highlight stands on is the row RowHighlightAt put it on, and no other; the rows'
// boxes are the bands HitListRow hits.
TEST(HighlightedRow, FindsTheRowRowHighlightAtPlacedItOn) {
  const FrameBox highlight = {311, 204, 471, 228};
  for (const FrameBox& list : {kRangeList, kDelayList}) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(HighlightedRow(list, 3, RowHighlightAt(highlight, list, row)), row);
      EXPECT_EQ(HighlightedRow(list, row, RowHighlightAt(highlight, list, row)), kNoListRow)
          << "past the last of " << row << " rows";
      const FrameBox box = ListRowBox(list, row);
      ExpectRect(box, list.left, list.top + 9 + 24 * row, list.right, list.top + 33 + 24 * row);
      const int middle = static_cast<int>(box.top) + 12;
      EXPECT_EQ(HitListRow(list, 3, 400, middle), row);
    }
  }
  // A highlight left over another list's row, or between rows, stands on none.
  EXPECT_EQ(HighlightedRow(kRangeList, 3, RowHighlightAt(highlight, kDelayList, 0)), kNoListRow);
  EXPECT_EQ(HighlightedRow(kRangeList, 3, {311, 210, 471, 234}), kNoListRow);
}

TEST(CheckMarkAt, SitsBesideTheRowOnTheLeadingSide) {
  struct Case {
    FrameBox list;
    int row;
    bool rightToLeft;
    FrameBox expected;
  };
  const Case cases[] = {
      {kRangeList, 0, false, {316, 212, 326, 220}},
      {kRangeList, 1, false, {316, 236, 326, 244}},
      // Range code 3 gives row 3: below the two rows of the list.
      {kRangeList, 3, false, {316, 284, 326, 292}},
      {kDelayList, 2, false, {316, 320, 326, 328}},
      {kRangeList, 0, true, {456, 212, 466, 220}},  // list right - 20
      {{124, 255, 292, 345}, 1, true, {272, 296, 282, 304}},
  };
  for (const Case& c : cases) {
    const FrameBox mark = CheckMarkAt(c.list, c.row, c.rightToLeft);
    ExpectRect(mark, c.expected.left, c.expected.top, c.expected.right, c.expected.bottom);
  }
}

TEST(IsRightToLeftLanguage, ArabicAndHebrewInAnySublanguage) {
  struct Case {
    unsigned language;
    bool rightToLeft;
  };
  const Case cases[] = {
      {0x0401, true},  {0x0C01, true},  {0x1401, true},  {0x3801, true},  {0x0001, true},
      {0x040D, true},  {0x000D, true},  {0x0409, false}, {0x0407, false}, {0x0404, false},
      {0x0429, false},  // Farsi: not in the string table, left to right
      {0x0420, false},  // Urdu
      {0x0000, false}, {0x0402, false}, {0x040C, false}, {0xFC01, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsRightToLeftLanguage(static_cast<std::uint16_t>(c.language)), c.rightToLeft)
        << std::hex << c.language;
  }
}

TEST(CentredWindowOrigin, IntegerHalvesOfTheDesktop) {
  struct Case {
    int right, bottom, dpi, x, y, width, height;
  };
  const Case cases[] = {
      {1920, 1080, 96, 677, 310, 566, 460},
      {1921, 1081, 96, 677, 310, 566, 460},
      {1366, 768, 96, 400, 154, 566, 460},
      {1024, 768, 96, 229, 154, 566, 460},
      {566, 460, 96, 0, 0, 566, 460},
      {500, 400, 96, -33, -30, 566, 460},
      {1920, 1080, 120, 606, 253, 708, 575},  // 707.5 rounds up
      {1920, 1080, 144, 536, 195, 849, 690},
      {1920, 1080, 168, 465, 138, 991, 805},
      {1920, 1080, 192, 394, 80, 1132, 920},
      {1920, 1080, 0, 677, 310, 566, 460},  // no DPI read: 96
  };
  for (const Case& c : cases) {
    const WindowSize size = MainWindowSize(UsableDpi(c.dpi));
    const WindowOrigin origin = CentredWindowOrigin(c.right, c.bottom, size.width, size.height);
    EXPECT_EQ(std::tie(origin.x, origin.y, size.width, size.height),
              std::tie(c.x, c.y, c.width, c.height))
        << c.right << " x " << c.bottom << " at " << c.dpi;
  }
}

TEST(DisplayScale, UnitsAndPixelsAtEachScale) {
  // `units` start at `pixels`; the pixel before them lies in the unit before.
  struct Case {
    int dpi, units, pixels;
  };
  const Case cases[] = {
      {96, 308, 308}, {96, -3, -3},    {120, 1, 1},     {120, 2, 3},    {120, 165, 206},
      {144, 1, 2},    {144, 308, 462}, {144, -1, -1},   {168, 3, 5},    {192, 308, 616},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PixelsFromUnits(c.units, c.dpi), c.pixels) << c.units << " at " << c.dpi;
    EXPECT_EQ(UnitsFromPixels(c.pixels, c.dpi), c.units) << c.pixels << " at " << c.dpi;
    EXPECT_EQ(UnitsFromPixels(c.pixels - 1, c.dpi), c.units - 1) << c.pixels << " at " << c.dpi;
  }
  for (int dpi : {0, -96, 100000}) EXPECT_EQ(UsableDpi(dpi), 96) << dpi;
  EXPECT_EQ(UsableDpi(144), 144);
}

// At every scale each child window's pixels lie in its own frame units and nobody else's: a
// click anywhere on it reaches it, and ListCoversChild sees what the list really covers.
TEST(DisplayScale, ChildWindowsCoverTheirUnitsAtEachScale) {
  const ControlLayout layout = ComputeControlLayout(FrameMetrics{}, false);
  for (int dpi : {96, 120, 144, 168, 192}) {
    for (const Clickable& c : kClickable) {
      SCOPED_TRACE(testing::Message() << "id " << c.id << " at " << dpi);
      const ChildPlacement& units = layout.*c.place;
      const ChildPlacement pixels = PixelPlacement(units, dpi);
      EXPECT_EQ(pixels.x + pixels.width, PixelsFromUnits(units.x + units.width, dpi));
      const ChildPlacement back = UnitPlacement(pixels, dpi);
      EXPECT_EQ(std::tie(back.x, back.y, back.width, back.height),
                std::tie(units.x, units.y, units.width, units.height));
    }
  }
  if (!HasFailure()) {
    // 96 DPI is the layout itself.
    const ChildPlacement ok = PixelPlacement(layout.okWindow, 96);
    ExpectPlace(ok, 210, 388, 85, 28);
  }
}

TEST(IsDragMove, OnlyTheLeftButtonAlone) {
  EXPECT_TRUE(IsDragMove(0x0001));   // MK_LBUTTON
  EXPECT_FALSE(IsDragMove(0x0000));
  EXPECT_FALSE(IsDragMove(0x0003));  // with the right button
  EXPECT_FALSE(IsDragMove(0x0011));  // with the middle button
  EXPECT_FALSE(IsDragMove(0x0005));  // with Shift
  EXPECT_FALSE(IsDragMove(0x0009));  // with Ctrl
  EXPECT_FALSE(IsDragMove(0x0002));
}

}  // namespace
