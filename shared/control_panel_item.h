#pragma once
// The Control Panel item that starts the settings program: a shell class under
// HKEY_CLASSES_ROOT and its entry in the Control Panel's namespace. iconreg writes these keys;
// the set-up step looks for them to know whether an item was there before the install.

#define ZQ_CONTROL_PANEL_ITEM_CLSID u"{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}"

constexpr char16_t kClassKeyPath[] = u"CLSID\\" ZQ_CONTROL_PANEL_ITEM_CLSID;
constexpr char16_t kIconKeyPath[] = u"CLSID\\" ZQ_CONTROL_PANEL_ITEM_CLSID u"\\DefaultIcon";
constexpr char16_t kShellKeyPath[] = u"CLSID\\" ZQ_CONTROL_PANEL_ITEM_CLSID u"\\Shell";
constexpr char16_t kOpenKeyPath[] = u"CLSID\\" ZQ_CONTROL_PANEL_ITEM_CLSID u"\\Shell\\Open";
constexpr char16_t kOpenCommandKeyPath[] =
    u"CLSID\\" ZQ_CONTROL_PANEL_ITEM_CLSID u"\\Shell\\Open\\Command";
constexpr char16_t kNamespaceKeyPath[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\"
    ZQ_CONTROL_PANEL_ITEM_CLSID;
