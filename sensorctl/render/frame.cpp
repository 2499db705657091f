// One frame of the settings window: composed into a window-sized memory bitmap and pushed to
// the layered window with per-pixel alpha.
#include <cwchar>

#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "sensorctl/render/text_drawing.h"
#include "sensorctl/render/widget_geometry.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "shared/win_handles.h"

namespace {

// A 16-bit screen has no room for per-pixel alpha, and a mode that cannot be read is taken for
// one: such frames are pushed opaque.
bool FrameMustBeOpaque() {
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  mode.dmDriverExtra = 0;
  const BOOL read = renderSeams.readDisplayMode != nullptr
                        ? renderSeams.readDisplayMode(&mode)
                        : EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  return !read || mode.dmBitsPerPel == 16;
}

void DrawFrameText(int stringId, FrameText which, IDWriteTextFormat* format, ID2D1Brush* brush) {
  wchar_t text[kStringBufferSize] = {};
  const int length = LoadStringW(renderer.instance, stringId, text, kStringBufferSize);
  const bool rightToLeft = renderer.palette.rightToLeft != 0;
  DrawTextInBox(renderer.renderTarget.Get(), renderer.textFactory.Get(), renderer.frameLayout,
                text, length > 0 ? static_cast<size_t>(length) : 0, format,
                FrameTextBox(which, LayoutMetrics(), rightToLeft), brush, rightToLeft);
}

// The check box that disables the sensor dims the labels of the fields it disables.
bool FieldLabelsDimmed() {
  const auto& items = renderer.widgets.items;
  return items.size() > kWidgetDisableCheckBox && items[kWidgetDisableCheckBox].checked != 0;
}

}  // namespace

int ComposeFrame() {
  ID2D1DCRenderTarget* target = renderer.renderTarget.Get();
  if (target == nullptr) return 0;
  target->SetTransform(D2D1::Matrix3x2F::Identity());
  target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f, 0.0f));  // fully transparent
  PaintWidgets(renderer.widgets, target, renderer.imagingFactory.Get(),
               renderer.textFactory.Get());

  ID2D1Brush* white = renderer.whiteBrush.Get();
  ID2D1Brush* labelBrush = FieldLabelsDimmed() ? renderer.dimWhiteBrush.Get() : white;
  DrawFrameText(kStringDescription, FrameText::kDescription, renderer.bodyFormat.Get(), white);
  DrawFrameText(kStringRangeLabel, FrameText::kRangeLabel, renderer.labelFormat.Get(), labelBrush);
  DrawFrameText(kStringOffDelayLabel, FrameText::kOffDelayLabel, renderer.labelFormat.Get(),
                labelBrush);
  DrawFrameText(kStringDisableSensor, FrameText::kDisableLabel, renderer.bodyFormat.Get(), white);
  if (renderer.waitingLineShown) {
    DrawFrameText(kStringWaitingForService, FrameText::kWaitingLine, renderer.bodyFormat.Get(),
                  white);
  }
  return 0;
}

int RenderFrame(HWND window, const PAINTSTRUCT& paint) {
  // Without every factory and device resource nothing is drawn: the window keeps its last frame.
  if (FAILED(EnsureDeviceResources())) return 0;

  RECT windowRect = {};
  if (!GetWindowRect(window, &windowRect)) return 0;
  const int width = windowRect.right - windowRect.left;
  const int height = windowRect.bottom - windowRect.top;
  if (width <= 0 || height <= 0) return 0;

  // Declared in this order so that leaving selects the old object back, then deletes the
  // bitmap, then the memory context, on every path.
  UniqueMemoryDC memoryDC(CreateCompatibleDC(nullptr));
  if (!memoryDC) return 0;
  UniqueGdiObject bitmap(CreateCompatibleBitmap(paint.hdc, width, height));
  if (!bitmap) return 0;
  SelectedObject selection(memoryDC.Get(), bitmap.Get());

  const RECT bound = {0, 0, width, height};
  if (FAILED(renderer.renderTarget->BindDC(memoryDC.Get(), &bound))) return 0;
  renderer.renderTarget->BeginDraw();
  renderer.opaqueUpdate = FrameMustBeOpaque() ? 1 : 0;
  ComposeFrame();
  HRESULT drawn = renderer.renderTarget->EndDraw();
  if (renderSeams.endDrawResult != nullptr) drawn = renderSeams.endDrawResult(drawn);
  // The device is gone: the next frame makes new resources. What was drawn is pushed anyway.
  if (drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) DiscardDeviceResources();

  POINT destination = {windowRect.left, windowRect.top};
  SIZE size = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const DWORD flags = renderer.opaqueUpdate ? ULW_OPAQUE : ULW_ALPHA;
  renderSeams.lastUpdateFlags = flags;
  return UpdateLayeredWindow(window, nullptr, &destination, &size, memoryDC.Get(), &source, 0,
                             &blend, flags)
             ? 1
             : 0;
}
