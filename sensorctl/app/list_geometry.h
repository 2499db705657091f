#pragma once
// Geometry of the settings window that needs no drawing platform: where the controls go in
// either reading direction, where a point falls on an open drop-down list, and where the row
// highlight and the check mark are placed. All values are frame units of the 566 x 460 window.

#include <cstdint>

// Rectangles (FrameBox), layout values (FrameMetrics) and the rows of a drop-down list are the
// ones the frame is drawn with.
#include "sensorctl/render/widget_geometry.h"

// Child window placement: left, top, width, height in client pixels.
struct ChildPlacement {
  int x = 0, y = 0, width = 0, height = 0;
};

// Every position of the controls, derived from the metrics and the reading direction. Each float
// is truncated to an integer before the integer offsets are added.
struct ControlLayout {
  int choiceX = 0;    // left edge of the drop-down buttons and their lists
  int checkBoxX = 0;  // left edge of the check box

  ChildPlacement okWindow, cancelWindow, applyWindow;
  ChildPlacement closeWindow, minimizeWindow;
  ChildPlacement rangeButtonWindow, offDelayButtonWindow, onDelayButtonWindow;
  ChildPlacement rangeListWindow, offDelayListWindow, onDelayListWindow;
  ChildPlacement checkBoxWindow;

  FrameBox background;
  FrameBox ok, cancel, apply;
  FrameBox closeArea, minimizeArea;
  FrameBox rangeButton, offDelayButton, onDelayButton;
  FrameBox rangeList, offDelayList, onDelayList;
  FrameBox checkBox;
  FrameBox rowHighlight;  // at rest: over row 0 of the sensitivity list
  FrameBox checkMark;     // at rest: beside that row
};

ControlLayout ComputeControlLayout(const FrameMetrics& metrics, bool rightToLeft);

constexpr int kNoListRow = -1;

// Strictly inside: a point on an edge is outside.
bool ListContains(const FrameBox& list, int x, int y);

// The row of an open list under (x, y), or kNoListRow: outside the list, in its top margin, exactly
// on a row boundary, or below its last row (rowCount rows).
int HitListRow(const FrameBox& list, int rowCount, int x, int y);

// Whether a child window lies under an open list: some pixel of the window is a point that
// ListContains puts inside the list, so a click there would reach the child and not the list.
bool ListCoversChild(const FrameBox& list, const ChildPlacement& child);

// The row highlight moved onto row `row` of `list`: its left and right stay as they are.
FrameBox RowHighlightAt(const FrameBox& highlight, const FrameBox& list, int row);

// The row of `list` (rowCount rows) that the row highlight stands on, or kNoListRow when it
// stands on none of them.
int HighlightedRow(const FrameBox& list, int rowCount, const FrameBox& highlight);

// The box of row `row` of `list`: the full width of the list, one row high.
FrameBox ListRowBox(const FrameBox& list, int row);

// The check mark beside row `row` of `list` (10 x 8): 8 units in from the left edge, or 20 in
// from the right edge when right to left. Rows past the end (range code 3 gives row 3) are
// placed below the list's rows all the same.
FrameBox CheckMarkAt(const FrameBox& list, int row, bool rightToLeft);
