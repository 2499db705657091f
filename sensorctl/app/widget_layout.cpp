#include "sensorctl/app/widget_layout.h"

#include "sensorctl/resource.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "shared/text16.h"

#include <utility>

namespace {

std::u16string LoadU16(HMODULE module, int stringId) {
  wchar_t buffer[kStringBufferSize];
  buffer[0] = L'\0';
  LoadStringW(module, static_cast<UINT>(stringId), buffer, kStringBufferSize);
  return std::u16string(AsU16(buffer));
}

void SetImage(WidgetList& list, int position, const wchar_t* imageName) {
  Widget& widget = list.items[static_cast<size_t>(position)];
  widget.hasImage = 1;
  SetWidgetImage(widget, FindWidgetImage(list.module, imageName));
}

// The row texts of the three drop-down lists, in the order of their widgets.
using RowTextFunction = std::u16string (*)(int, const ChoiceWords&);
constexpr RowTextFunction kListRowTexts[] = {&RangeRowText, &OffDelayRowText, &OnDelayRowText};

}  // namespace

ControlTexts LoadControlTexts(HMODULE module) {
  ControlTexts texts;
  texts.ok = LoadU16(module, kStringOk);
  texts.cancel = LoadU16(module, kStringCancel);
  texts.apply = LoadU16(module, kStringApply);
  texts.disableSensor = LoadU16(module, kStringDisableSensor);
  texts.words.seconds = LoadU16(module, kStringSeconds);
  texts.words.minutes = LoadU16(module, kStringMinutes);
  texts.words.minimum = LoadU16(module, kStringMinimum);
  texts.words.maximum = LoadU16(module, kStringMaximum);
  return texts;
}

int BuildWidgetList(WidgetList& list, const ControlLayout& layout, const ControlTexts& texts,
                    const SettingsBlock& block) {
  list.items.clear();
  list.items.reserve(kWidgetCount);
  const ChoiceWords& words = texts.words;
  const std::u16string none;
  struct Entry {
    int id;
    const FrameBox& rect;
    std::u16string caption;
  };
  // In position order (WidgetPosition), with the ids the window has always stored (231 three
  // times).
  const Entry entries[kWidgetCount] = {
      {IDC_BACKGROUND, layout.background, none},
      {IDC_OK, layout.ok, texts.ok},
      {IDC_CANCEL, layout.cancel, texts.cancel},
      {IDC_APPLY, layout.apply, texts.apply},
      {IDC_CLOSE_AREA, layout.closeArea, none},
      {IDC_MINIMIZE_AREA, layout.minimizeArea, none},
      {IDC_RANGE_BUTTON, layout.rangeButton, RangeText(block, words)},
      {IDC_OFF_DELAY_BUTTON, layout.offDelayButton, OffDelayText(block, words)},
      {IDC_ON_DELAY_BUTTON, layout.onDelayButton, OnDelayText(block, words)},
      {IDC_RANGE_LIST, layout.rangeList, none},
      {IDC_OFF_DELAY_LIST, layout.offDelayList, none},
      {IDC_OFF_DELAY_LIST, layout.onDelayList, none},
      {IDC_OFF_DELAY_LIST, layout.checkBox, none},
      {IDC_ROW_HIGHLIGHT, layout.rowHighlight, none},
      {IDC_CHECK_MARK, layout.checkMark, none},
  };
  int added = 0;
  for (const Entry& entry : entries) {
    added += AddWidget(list, entry.id, entry.rect.left, entry.rect.top, entry.rect.right,
                       entry.rect.bottom, AsWide(entry.caption.c_str()));
  }
  if (added != kWidgetCount) {
    list.items.clear();
    return 0;
  }

  SetImage(list, kWidgetBackground, kImageBackground.name);
  list.items[kWidgetApply].enabled = 0;  // until a choice changes
  // Both title-bar hot spots are never drawn.
  list.items[kWidgetCloseArea].visible = 0;
  list.items[kWidgetMinimizeArea].visible = 0;
  for (int position = kWidgetRangeButton; position <= kWidgetOnDelayButton; ++position) {
    SetImage(list, position, kImageChoiceButton.name);
  }
  // The delay-until-on choice is built in full but never offered.
  list.items[kWidgetOnDelayButton].visible = 0;

  // The drawn lists, hidden until opened, show the rows of their choice.
  for (int choice = 0; choice < kChoiceCount; ++choice) {
    const int position = kWidgetRangeList + choice;
    Widget& drawnList = list.items[static_cast<size_t>(position)];
    drawnList.visible = 0;
    SetImage(list, position, kImageChoiceList.name);
    for (int slot = 0; slot < kWidgetTextSlots; ++slot) {
      const std::u16string row = kListRowTexts[choice](slot, words);
      SetWidgetText(drawnList, slot, AsWide(row.c_str()));
    }
  }

  list.items[kWidgetDisableCheckBox].hasImage = 1;
  SetSensorStateWidgets(list, SensorEnabled(block));

  // Row highlight and check mark, hidden until a list opens.
  list.items[kWidgetRowHighlight].visible = 0;
  SetImage(list, kWidgetRowHighlight, kImageRowHighlight.name);
  list.items[kWidgetCheckMark].visible = 0;
  SetImage(list, kWidgetCheckMark, kImageCheckMark.name);
  return 1;
}

void SetSensorStateWidgets(WidgetList& list, bool sensorEnabled) {
  if (list.items.size() < static_cast<size_t>(kWidgetCount)) return;  // never built
  Widget& checkBox = list.items[kWidgetDisableCheckBox];
  checkBox.checked = sensorEnabled ? 0 : 1;
  const ImageResource& image = sensorEnabled ? kImageCheckBoxUnchecked : kImageCheckBoxChecked;
  SetWidgetImage(checkBox, FindWidgetImage(list.module, image.name));
  list.items[kWidgetRangeButton].enabled = sensorEnabled ? 1 : 0;
  list.items[kWidgetOffDelayButton].enabled = sensorEnabled ? 1 : 0;
  list.items[kWidgetOnDelayButton].enabled = 0;  // never offered
}

void AccessibleReadingOrder(bool rightToLeft, int (&order)[kAccessibleControlCount]) {
  for (int k = 0; k < kAccessibleControlCount; ++k) order[k] = k;
  if (!rightToLeft) return;
  for (int first = 0; first < kAccessibleControlCount;) {
    int end = first;
    while (end < kAccessibleControlCount &&
           kAccessibleControls[end].line == kAccessibleControls[first].line) {
      ++end;
    }
    for (int a = first, b = end - 1; a < b; ++a, --b) std::swap(order[a], order[b]);
    first = end;
  }
}
