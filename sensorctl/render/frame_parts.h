#pragma once
// The parts a frame is drawn from, inside the rendering engine: texts laid out once, widgets
// described by what they draw, and boxes of where they draw it. A frame is described first,
// then drawn; two descriptions that are the same draw the same pixels.

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/widget_geometry.h"

#include <cstddef>

// Lays `text` (`length` units) out in `box` with `format`, mirrored when `rightToLeft`, to be
// drawn with `brush`: the box's width and height are the layout's maximum size, its top-left
// corner the origin. The layout of `earlier` is taken over when it was made for the same text,
// format, box and direction. An empty text, or one that cannot be laid out, draws nothing.
void LayOutText(DrawnText& laid, const wchar_t* text, size_t length, IDWriteTextFormat* format,
                ID2D1Brush* brush, const FrameBox& box, bool rightToLeft,
                const DrawnText* earlier);

// Whether two laid-out texts draw the same pixels.
bool SameText(const DrawnText& a, const DrawnText& b);

void DrawLaidOutText(ID2D1RenderTarget* renderTarget, const DrawnText& laid);

// Boxes that hold nothing have no area; the union of a box with one that holds nothing is the box.
bool Empty(const FrameBox& box);
FrameBox Union(const FrameBox& a, const FrameBox& b);
bool Overlap(const FrameBox& a, const FrameBox& b);

// Describes the widget at `position` as the next frame draws it, decoding its picture first if
// it is shown and not decoded yet. Caption layouts are taken over from `earlier` where they are
// the same.
void DescribeWidget(DrawnWidget& drawn, Widget& widget, int position, const DrawnWidget* earlier);
bool SameWidget(const DrawnWidget& a, const DrawnWidget& b);
// Between BeginDraw and EndDraw: the picture or the shadowed face, then the captions.
void PaintWidget(ID2D1RenderTarget* renderTarget, const DrawnWidget& widget);

// Fills one widget's bitmap cache from its imageResource (a PNG in `module`), decoded with the
// imaging factory and made a device bitmap of `renderTarget`. On failure the bitmap stays none
// and the next frame tries again.
HRESULT LoadWidgetBitmap(Widget& widget, HMODULE module, ID2D1RenderTarget* renderTarget,
                         IWICImagingFactory* imagingFactory);
