#pragma once
// The fifteen widgets the settings window draws, built from the layout, the texts and a settings
// block alone: no window is needed, so the controls and the render tests share one list.

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "sensorctl/app/list_geometry.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "sensorctl/settings/settings_block.h"

// The texts the widgets show, in the user's language.
struct ControlTexts {
  std::u16string ok, cancel, apply;
  std::u16string disableSensor;  // the check box's label
  ChoiceWords words;
};

// OK, Cancel, Apply, the check box's label and the four choice words from the string table of
// `module`; a missing string reads as empty.
ControlTexts LoadControlTexts(HMODULE module);

// Empties `list` and fills it with the fifteen widgets in their fixed positions (WidgetPosition):
// rectangles from `layout`, captions and list rows from `texts`, button texts and the sensor's
// state from `block`. Images are looked up in list.module. Returns 1, or 0 when the list could
// not grow.
int BuildWidgetList(WidgetList& list, const ControlLayout& layout, const ControlTexts& texts,
                    const SettingsBlock& block);

// The check box widget and the drop-down button widgets for the sensor's state: while it is
// disabled the box is ticked and the buttons are disabled. The delay-until-on button is never
// enabled. A list without its fifteen widgets is left alone.
void SetSensorStateWidgets(WidgetList& list, bool sensorEnabled);

// What an assistive technology is told of each control a user can operate: its role and where
// its name comes from. The drawing hides what the child windows would say themselves (a
// drop-down button's window text is its choice; the title bar's hot spots are "BUTTON4" and
// "BUTTON5"), so names come from the texts the frame draws beside or on the control.
enum class AccessibleName {
  kCaption,        // the widget's caption (text slot 0)
  kString,         // a string of the table: the label drawn beside the control
  kSystemCommand,  // the system menu's item for a command, in the system's own words
};

struct AccessibleControl {
  int widget;         // position in the widget list
  LONG role;          // ROLE_SYSTEM_...
  AccessibleName name;
  int nameSource;     // the string id (kString) or the SC_ command (kSystemCommand)
  bool choiceValue;   // the value is the choice the drop-down button shows
  int line;           // controls on one line are read in the window's direction; a list opens
                      // below its drop-down, on a line of its own
};

// In the order a reader of the left-to-right window meets them; right to left, each line is
// read the other way round. A drop-down's list follows its button.
constexpr AccessibleControl kAccessibleControls[] = {
    {kWidgetMinimizeArea, ROLE_SYSTEM_PUSHBUTTON, AccessibleName::kSystemCommand, SC_MINIMIZE,
     false, 0},
    {kWidgetCloseArea, ROLE_SYSTEM_PUSHBUTTON, AccessibleName::kSystemCommand, SC_CLOSE, false,
     0},
    {kWidgetRangeButton, ROLE_SYSTEM_COMBOBOX, AccessibleName::kString, kStringRangeLabel, true,
     1},
    {kWidgetRangeList, ROLE_SYSTEM_LIST, AccessibleName::kString, kStringRangeLabel, false, 2},
    {kWidgetOffDelayButton, ROLE_SYSTEM_COMBOBOX, AccessibleName::kString, kStringOffDelayLabel,
     true, 3},
    {kWidgetOffDelayList, ROLE_SYSTEM_LIST, AccessibleName::kString, kStringOffDelayLabel, false,
     4},
    {kWidgetOnDelayButton, ROLE_SYSTEM_COMBOBOX, AccessibleName::kString, kStringOnDelayLabel,
     true, 5},
    {kWidgetOnDelayList, ROLE_SYSTEM_LIST, AccessibleName::kString, kStringOnDelayLabel, false,
     6},
    {kWidgetDisableCheckBox, ROLE_SYSTEM_CHECKBUTTON, AccessibleName::kString,
     kStringDisableSensor, false, 7},
    {kWidgetOk, ROLE_SYSTEM_PUSHBUTTON, AccessibleName::kCaption, 0, false, 8},
    {kWidgetCancel, ROLE_SYSTEM_PUSHBUTTON, AccessibleName::kCaption, 0, false, 8},
    {kWidgetApply, ROLE_SYSTEM_PUSHBUTTON, AccessibleName::kCaption, 0, false, 8},
};
constexpr int kAccessibleControlCount =
    static_cast<int>(sizeof kAccessibleControls / sizeof kAccessibleControls[0]);

// The rows of kAccessibleControls in reading order: as listed, or with each line reversed when
// the window reads right to left.
void AccessibleReadingOrder(bool rightToLeft, int (&order)[kAccessibleControlCount]);
