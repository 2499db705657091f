// The widget list: one record per drawn element, addressed by its position.
#include "sensorctl/render/renderer.h"

#include <cwchar>
#include <new>
#include <utility>

int AddWidget(WidgetList& list, int id, float left, float top, float right, float bottom,
              const wchar_t* caption) {
  Widget widget;  // every other field keeps the default of a new widget
  widget.id = id;
  widget.left = left;
  widget.top = top;
  widget.right = right;
  widget.bottom = bottom;
  if (caption != nullptr) {
    // A longer caption is cut to the slot, which always stays terminated.
    const size_t length = wcsnlen(caption, kWidgetTextCapacity - 1);
    wmemcpy(widget.text[0], caption, length);
    widget.text[0][length] = L'\0';
  }
  try {
    list.items.push_back(std::move(widget));
  } catch (const std::bad_alloc&) {
    return 0;  // out of memory: the list stays as it was
  }
  return 1;
}

Widget* WidgetAt(WidgetList& list, int position) {
  if (position < 0 || static_cast<size_t>(position) >= list.items.size()) return nullptr;
  return &list.items[static_cast<size_t>(position)];
}

const Widget* WidgetAt(const WidgetList& list, int position) {
  return WidgetAt(const_cast<WidgetList&>(list), position);
}

void SetWidgetText(Widget& widget, int slot, const wchar_t* text) {
  wchar_t(&target)[kWidgetTextCapacity] = widget.text[slot];
  std::wcsncpy(target, text, kWidgetTextCapacity - 1);
  target[kWidgetTextCapacity - 1] = L'\0';
}

HRSRC FindWidgetImage(HMODULE module, const wchar_t* name) {
  return FindResourceW(module, name, L"IMAGE");
}

void SetWidgetImage(Widget& widget, HRSRC imageResource) {
  // The painter decodes only when the cache is empty, so the old picture must go first.
  widget.bitmap.Reset();
  widget.imageResource = imageResource;
}
