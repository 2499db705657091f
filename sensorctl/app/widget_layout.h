#pragma once
// The fifteen widgets the settings window draws, built from the layout, the texts and a settings
// block alone: no window is needed, so the controls and the render tests share one list.

#include <windows.h>

#include <string>

#include "sensorctl/app/list_geometry.h"
#include "sensorctl/render/renderer.h"
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
