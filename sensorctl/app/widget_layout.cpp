#include "sensorctl/app/widget_layout.h"

#include "sensorctl/app/main_window.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "shared/text16.h"

namespace {

// Ids stored in the widgets that have no command of their own. They are kept as the window has
// always stored them (231 three times); widgets are addressed by position, never by id.
constexpr int kWidgetIdBackground = 207;
constexpr int kWidgetIdRangeList = 230;
constexpr int kWidgetIdDelayListOrCheckBox = 231;
constexpr int kWidgetIdRowHighlight = 233;
constexpr int kWidgetIdCheckMark = 234;

std::u16string LoadU16(HMODULE module, int stringId) {
  wchar_t buffer[kTextBufferSize];
  buffer[0] = L'\0';
  LoadStringW(module, static_cast<UINT>(stringId), buffer, kTextBufferSize);
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
  // In position order (WidgetPosition).
  const Entry entries[kWidgetCount] = {
      {kWidgetIdBackground, layout.background, none},
      {kCommandOk, layout.ok, texts.ok},
      {kCommandCancel, layout.cancel, texts.cancel},
      {kCommandApply, layout.apply, texts.apply},
      {kCommandClose, layout.closeArea, none},
      {kCommandMinimize, layout.minimizeArea, none},
      {kCommandRangeButton, layout.rangeButton, RangeText(block, words)},
      {kCommandOffDelayButton, layout.offDelayButton, OffDelayText(block, words)},
      {kCommandOnDelayButton, layout.onDelayButton, OnDelayText(block, words)},
      {kWidgetIdRangeList, layout.rangeList, none},
      {kWidgetIdDelayListOrCheckBox, layout.offDelayList, none},
      {kWidgetIdDelayListOrCheckBox, layout.onDelayList, none},
      {kWidgetIdDelayListOrCheckBox, layout.checkBox, none},
      {kWidgetIdRowHighlight, layout.rowHighlight, none},
      {kWidgetIdCheckMark, layout.checkMark, none},
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
