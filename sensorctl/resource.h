// Resource ids of sensorctl, shared by the resource script and the code. The string numbers are
// in resources/strings/string_ids.h, from which the string table is generated.
#pragma once

#define IDM_UNHANDLED_ACCELERATOR 104  // the command of Alt+? and Alt+/, which nothing handles
#define IDR_ACCELERATORS 109
#include "shared/program_ids.h"  // IDI_SENSORCTL, the icon group

// The main window's child windows and drawn widgets. A child window's id is the command it
// sends (the low word of WM_COMMAND's wParam); each drawn widget stores an id too (231 three
// times, as the window has always stored them), but widgets are addressed by position.
#define IDC_CLOSE_AREA 200     // over the title bar's close glyph
#define IDC_MINIMIZE_AREA 201  // over the title bar's minimise glyph
#define IDC_OK 202
#define IDC_CANCEL 203
#define IDC_APPLY 204
#define IDC_BACKGROUND 207  // the background widget; no window
#define IDC_RANGE_BUTTON 210
#define IDC_OFF_DELAY_BUTTON 211
#define IDC_ON_DELAY_BUTTON 212
#define IDC_DISABLE_CHECKBOX 220
#define IDC_RANGE_LIST 230
#define IDC_OFF_DELAY_LIST 231  // also the widgets of the delay-until-on list and the check box
#define IDC_ON_DELAY_LIST 232   // the native list only
#define IDC_ROW_HIGHLIGHT 233   // widgets only
#define IDC_CHECK_MARK 234
