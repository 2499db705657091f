#pragma once
// What the Wine tests and the render benchmark of the rendering engine reach into, and the
// settings window never does. Only the engine's own files and the tests include this header.

#include "sensorctl/render/renderer.h"

// --- Test seams. In the program they stay null and zero, and the frame behaves as if they did
// not exist: the display mode comes from EnumDisplaySettingsW and EndDraw's result is used as
// it is. The Wine tests set them to see what Windows would do on other machines. ---
struct RenderSeams {
  // Answers the frame's display mode query in place of EnumDisplaySettingsW (same contract:
  // FALSE when the mode cannot be read, else the mode in `mode`).
  BOOL (*readDisplayMode)(DEVMODEW* mode) = nullptr;
  // Sees each frame's EndDraw result and returns the one the frame acts on, e.g.
  // D2DERR_RECREATE_TARGET as after a lost device.
  HRESULT (*endDrawResult)(HRESULT result) = nullptr;
  // Images decoded into device bitmaps so far (successful LoadWidgetBitmap calls).
  long imageDecodes = 0;
  // The flags the last frame gave UpdateLayeredWindow (ULW_ALPHA or ULW_OPAQUE); 0 before any.
  DWORD lastUpdateFlags = 0;
};
extern RenderSeams renderSeams;

// A whole frame drawn into `target` (between BeginDraw and EndDraw) with nothing taken from the
// frame cache: what every pushed frame must equal.
void DrawFrameFromScratch(ID2D1RenderTarget* target);
// The widgets alone, drawn the same way, without clearing first.
void PaintWidgetsFromScratch(ID2D1RenderTarget* target);
