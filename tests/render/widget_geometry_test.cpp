// Placement of the settings window's shapes and texts, checked against the window's own numbers
// (the 566 x 460 frame with a 32-unit header and a 24-unit margin) in both reading directions.
#include "sensorctl/render/widget_geometry.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

std::ostream& operator<<(std::ostream& out, const FrameBox& b) {
  return out << "(" << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << ")";
}

namespace {

// The choice column sits at x 308 left to right and at x 124 right to left.
constexpr float kChoiceLtr = 308;
constexpr float kChoiceRtl = 124;

TEST(ChooseWidgetLookTest, FlagsSelectTheLook) {
  struct Case {
    int enabled, hovered, pressed;
    WidgetLook look;
  };
  const Case cases[] = {
      {1, 0, 0, WidgetLook::kNormal},   {1, 1, 0, WidgetLook::kHover},
      {1, 0, 1, WidgetLook::kNormal},   {1, 1, 1, WidgetLook::kNormal},
      {0, 0, 0, WidgetLook::kDisabled}, {0, 1, 0, WidgetLook::kDisabled},
      {0, 0, 1, WidgetLook::kDisabled}, {0, 1, 1, WidgetLook::kDisabled},
      // Any nonzero value counts as set.
      {7, -1, 0, WidgetLook::kHover},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseWidgetLook(c.enabled, c.hovered, c.pressed), c.look)
        << "enabled " << c.enabled << " hovered " << c.hovered << " pressed " << c.pressed;
  }
}

TEST(WidgetShapesTest, ShapesFollowTheRecordsOffsetAndRadii) {
  WidgetShape shape;
  shape.rect = {10.5f, 20, 30, 40.25f};
  shape.shadowOffset = 3;
  shape.radiusX = 2;
  shape.radiusY = 7;
  EXPECT_EQ(OuterRoundedBox(shape), (RoundedBox{{10.5f, 20, 30, 40.25f}, 2, 7}));
  EXPECT_EQ(ShadowRoundedBox(shape), (RoundedBox{{13.5f, 23, 33, 43.25f}, 2, 7}));
  shape.shadowOffset = 0;
  EXPECT_EQ(ShadowRoundedBox(shape), OuterRoundedBox(shape));
}

struct CaptionCase {
  std::string what;
  int position;
  FrameBox rect;
  bool rightToLeft;
  CaptionFont font;
  std::vector<FrameBox> boxes;
};

TEST(WidgetCaptionLayoutTest, BoxesByPositionAndDirection) {
  const FrameBox ok{210, 388, 295, 416};
  const FrameBox rangeLtr{kChoiceLtr, 165, kChoiceLtr + 153, 197};
  const FrameBox rangeRtl{kChoiceRtl, 165, kChoiceRtl + 153, 197};
  const FrameBox offListLtr{kChoiceLtr, 255, kChoiceLtr + 168, 345};
  const FrameBox rangeListRtl{kChoiceRtl, 195, kChoiceRtl + 168, 285};
  const FrameBox highlightLtr{311, 204, 471, 228};
  const FrameBox highlightRtl{127, 204, 287, 228};
  const CaptionCase cases[] = {
      {"OK button", 1, ok, false, CaptionFont::kButton, {ok}},
      {"OK button, mirrored layout leaves it", 1, ok, true, CaptionFont::kButton, {ok}},
      {"background", 0, {0, 0, 566, 460}, false, CaptionFont::kButton, {{0, 0, 566, 460}}},
      {"minimise area", 5, {516, 32, 524, 39}, true, CaptionFont::kButton, {{516, 32, 524, 39}}},
      {"sensitivity button", 6, rangeLtr, false, CaptionFont::kField, {rangeLtr}},
      {"sensitivity button, right to left", 6, rangeRtl, true, CaptionFont::kField,
       {{124, 165, 257, 197}}},
      {"delay-until-on button, right to left", 8, {124, 285, 277, 317}, true,
       CaptionFont::kField, {{124, 285, 257, 317}}},
      {"delay-until-off list", 10, offListLtr, false, CaptionFont::kField,
       {{324, 264, 476, 288}, {324, 288, 476, 312}, {324, 312, 476, 336}}},
      {"sensitivity list, right to left", 9, rangeListRtl, true, CaptionFont::kField,
       {{124, 204, 276, 228}, {124, 228, 276, 252}, {124, 252, 276, 276}}},
      {"delay-until-on list", 11, {308, 315, 476, 405}, false, CaptionFont::kField,
       {{324, 324, 476, 348}, {324, 348, 476, 372}, {324, 372, 476, 396}}},
      {"check box", 12, {64, 339, 84, 359}, false, CaptionFont::kButton, {{64, 339, 84, 359}}},
      {"row highlight", 13, highlightLtr, false, CaptionFont::kField, {{324, 204, 471, 228}}},
      {"row highlight, right to left", 13, highlightRtl, true, CaptionFont::kField,
       {{127, 204, 276, 228}}},
      {"check mark", 14, {314, 212, 324, 220}, false, CaptionFont::kButton,
       {{314, 212, 324, 220}}},
      {"a position past the fifteen", 15, ok, true, CaptionFont::kButton, {ok}},
  };
  for (const CaptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    CaptionLayout layout = WidgetCaptionLayout(c.position, c.rect, c.rightToLeft);
    EXPECT_EQ(layout.font, c.font);
    ASSERT_EQ(layout.count, static_cast<int>(c.boxes.size()));
    for (int k = 0; k < layout.count; ++k) EXPECT_EQ(layout.boxes[k], c.boxes[k]) << "box " << k;
  }
}

struct TextBoxCase {
  FrameText text;
  FrameBox leftToRight;
  FrameBox rightToLeft;
};

TEST(FrameTextBoxTest, BoxesOfTheWindowInBothDirections) {
  const TextBoxCase cases[] = {
      {FrameText::kDescription, {50, 60, 519, 130}, {50, 60, 519, 130}},
      {FrameText::kRangeLabel, {74, 164, 274, 194}, {308, 164, 558, 194}},
      {FrameText::kOffDelayLabel, {74, 224, 274, 254}, {308, 224, 558, 254}},
      {FrameText::kDisableLabel, {94, 339, 264, 354}, {302, 339, 472, 354}},
  };
  const FrameMetrics window;  // 0, 566, 0, 460, 32, 24
  for (const TextBoxCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.text));
    EXPECT_EQ(FrameTextBox(c.text, window, false), c.leftToRight);
    EXPECT_EQ(FrameTextBox(c.text, window, true), c.rightToLeft);
  }
}

TEST(FrameTextBoxTest, BoxesFollowTheLayoutMetrics) {
  FrameMetrics moved;
  moved.originX = 10;
  moved.originY = 5;
  moved.frameWidth = 600;
  moved.headerHeight = 40;
  moved.margin = 20;
  // Labels: B = 40 + 5 + 20 + 78 = 143.
  EXPECT_EQ(FrameTextBox(FrameText::kRangeLabel, moved, false), (FrameBox{80, 173, 280, 203}));
  EXPECT_EQ(FrameTextBox(FrameText::kOffDelayLabel, moved, true), (FrameBox{342, 233, 592, 263}));
  EXPECT_EQ(FrameTextBox(FrameText::kDisableLabel, moved, false), (FrameBox{100, 340, 270, 355}));
  EXPECT_EQ(FrameTextBox(FrameText::kDisableLabel, moved, true), (FrameBox{340, 340, 510, 355}));
  // The description's box is fixed.
  EXPECT_EQ(FrameTextBox(FrameText::kDescription, moved, true), (FrameBox{50, 60, 519, 130}));
}

// The nearest set at or above the window's scale, the largest beyond 200 %.
TEST(ImageSetForTest, NearestSetAtOrAbove) {
  const int cases[][2] = {{96, 0},  {72, 0},  {97, 1},  {120, 1}, {121, 2},
                          {144, 2}, {168, 3}, {169, 4}, {192, 4}, {288, 4}};
  for (const auto& c : cases) EXPECT_EQ(ImageSetFor(c[0]), c[1]) << c[0];
}

}  // namespace

// The focus mark stands 3 units around its control, its pixels within a stroke and a pixel of
// that; no control, no mark.
TEST(FocusMarkTest, OutlineAroundTheControlAndNoneForNoControl) {
  const FrameBox outline = FocusMarkOutline({308, 165, 461, 197});
  EXPECT_EQ(outline, (FrameBox{305, 162, 464, 200}));
  EXPECT_EQ(FocusMarkBounds(outline), (FrameBox{303.5f, 160.5f, 465.5f, 201.5f}));
  for (const FrameBox& none : {FrameBox{}, FrameBox{10, 10, 10, 20}, FrameBox{10, 20, 30, 5}}) {
    EXPECT_EQ(FocusMarkOutline(none), FrameBox{});
    EXPECT_EQ(FocusMarkBounds(FocusMarkOutline(none)), FrameBox{});
  }
}
