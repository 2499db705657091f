#pragma once
// Where the settings window's frame puts things, in frame units (pixels from the window's
// top-left corner): the look of a widget, its face and shadow shapes, the boxes of its captions,
// and the boxes of the four texts the frame draws itself. Plain C++ with no drawing platform:
// the Direct2D painter and frame draw exactly what these functions return, so the placement is
// tested on the host.

#include "sensorctl_images.h"  // generated from the art list: each image's name and size

struct FrameBox {
  float left = 0, top = 0, right = 0, bottom = 0;
  float Width() const { return right - left; }
  float Height() const { return bottom - top; }
};
bool operator==(const FrameBox& a, const FrameBox& b);

struct RoundedBox {
  FrameBox box;
  float radiusX = 0, radiusY = 0;
};
bool operator==(const RoundedBox& a, const RoundedBox& b);

// The parts of a widget record that decide its shapes.
struct WidgetShape {
  FrameBox rect;
  float shadowOffset = 1.0f;
  float radiusX = 5.0f, radiusY = 5.0f;
};

enum class WidgetLook { kNormal, kHover, kDisabled };

// Disabled whenever `enabled` is 0; hover only while hovered and not pressed; normal otherwise
// (a pressed button shows its normal face).
WidgetLook ChooseWidgetLook(int enabled, int hovered, int pressed);

// The face: the widget's rectangle with its corner radii.
RoundedBox OuterRoundedBox(const WidgetShape& shape);
// The drop shadow: the face moved by shadowOffset right and down.
RoundedBox ShadowRoundedBox(const WidgetShape& shape);

// The vertical face gradient of the normal look runs over this many units from the widget's top.
constexpr float kFaceGradientHeight = 30.0f;

enum class CaptionFont { kField, kButton };  // bold 14 leading / normal 14 centred

// The caption boxes of the widget at `position` in the list: box k shows text slot k.
struct CaptionLayout {
  CaptionFont font = CaptionFont::kButton;
  int count = 1;
  FrameBox boxes[3];
};

// Field buttons (6-8) narrow their box by 20 on the right when right to left; lists (9-11)
// show three rows 24 high from top + 9, inset 16 on the leading side; the row highlight (13)
// is inset 13 on the left, or 11 on the right when right to left; every other position uses
// its rectangle.
CaptionLayout WidgetCaptionLayout(int position, const FrameBox& rect, bool rightToLeft);

// The focus mark: a one-unit outline this far around the control that holds the keyboard focus,
// with rounded corners; an empty control box gives an empty outline.
constexpr float kFocusMarkGap = 3.0f;
constexpr float kFocusMarkStroke = 1.0f;
constexpr float kFocusMarkRadius = 6.0f;
FrameBox FocusMarkOutline(const FrameBox& control);
// Where the outline's pixels can fall.
FrameBox FocusMarkBounds(const FrameBox& outline);

constexpr int kListRows = 3;
constexpr float kListFirstRowOffset = 9.0f;
constexpr float kListRowHeight = 24.0f;

// The image set a window at `dpi` draws with: the index into kImageScalePercents of the
// smallest scale at or above dpi / 96 (the set is drawn down to size), the largest beyond them.
int ImageSetFor(int dpi);

// Layout metrics of the window (set by the controls before the first frame).
constexpr float kFrameHeaderHeight = 32;
constexpr float kFrameMargin = 24;
// The frame is the size of its background image.
struct FrameMetrics {
  float originX = 0, frameWidth = kImageBackground.width, originY = 0,
        frameHeight = kImageBackground.height,
        headerHeight = kFrameHeaderHeight, margin = kFrameMargin;
};

// The right-hand column starts this far left of the frame's right edge: the drop-downs' left
// to right, the field labels' right to left.
constexpr int kRightColumnFromRight = 258;

// The row of the check box and its label, below the top margin.
constexpr int kCheckBoxBelowMargin = 315;

enum class FrameText {
  kDescription,  // string 104, body text
  kRangeLabel,   // string 105, label of the first field button
  kOffDelayLabel,  // string 106, label of the second field button
  kDisableLabel,   // string 108, beside the check box
  kWaitingLine,    // string 118, while a slow sensor service takes up new settings
};

// The box a frame text is laid out in: its top-left corner is the origin, its width and height
// the layout's maximum width and height.
FrameBox FrameTextBox(FrameText text, const FrameMetrics& metrics, bool rightToLeft);
