#pragma once
// One text laid out in a box and drawn: shared by the widget painter and the frame.

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/widget_geometry.h"

#include <cstddef>

// Releases `layout`, then (for a non-empty text) lays the text out with the box's width and
// height as its maximum size, mirrored when `rightToLeft`, and draws it with its origin at the
// box's top-left corner. The new layout stays in `layout` until the next call replaces it.
void DrawTextInBox(ID2D1RenderTarget* renderTarget, IDWriteFactory* textFactory,
                   ComPtr<IDWriteTextLayout>& layout, const wchar_t* text, size_t length,
                   IDWriteTextFormat* format, const FrameBox& box, ID2D1Brush* brush,
                   bool rightToLeft);
