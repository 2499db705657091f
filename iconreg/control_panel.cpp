#include "iconreg/control_panel.h"

#include <shlobj.h>

#include "iconreg/tool_log.h"
#include "iconreg/tool_texts.h"
#include "shared/text16.h"
#include "shared/win_handles.h"

namespace {

LONG CreateItemKey(HKEY root, const char16_t* path, UniqueRegKey& key) {
  return RegCreateKeyExW(root, AsWide(path), 0, nullptr, REG_OPTION_NON_VOLATILE, kItemKeyAccess,
                         nullptr, key.Put(), nullptr);
}

// A REG_SZ value is stored with its terminating zero, as readers that take the bytes as they
// are expect ("2" is 4 bytes). Windows would add the zero to a count that leaves it out as well,
// since the text is terminated in memory; counting it says so instead of leaning on that.
LONG SetTextValue(HKEY key, const char16_t* name, const std::u16string& text) {
  return RegSetValueExW(key, AsWide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

// Three lines in the tool log: what failed, the key path or value text concerned, the result.
int LogRegistryFault(const char16_t* failure, const char16_t* subject) {
  WriteToolLog(AsWide(failure));
  WriteToolLog(AsWide(subject));
  WriteToolLog(AsWide(kLogReturnFailure));
  return -1;
}

// Windows Installer runs the tool as SYSTEM in the service's window station, which no one sees,
// and waits for it: a box there would never be answered. When the station cannot be asked,
// it is taken for one that no one sees.
bool WindowStationIsVisible() {
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  return station != nullptr &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

// Shown where someone can answer it, else written to the tool log.
void ShowDebugBox(const wchar_t* text) {
  if (WindowStationIsVisible()) {
    MessageBoxW(nullptr, text, L"dbg", MB_OK);
  } else {
    WriteToolLog(text);
  }
}

}  // namespace

std::wstring ProgramFilesFolder() {
  wchar_t folder[MAX_PATH] = {};
  // The result is not examined: the buffer starts zeroed, so a failure leaves the folder empty
  // (and some systems fill in the path while reporting the folder as missing).
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
  folder[MAX_PATH - 1] = 0;
  return folder;
}

int RegisterControlPanelItem() { return RegisterControlPanelItemFor(ProgramFilesFolder().c_str()); }

int RegisterControlPanelItemFor(const wchar_t* programFilesFolder) {
  const char16_t* folder = programFilesFolder != nullptr ? AsU16(programFilesFolder) : u"";
  {
    UniqueRegKey classKey;
    if (CreateItemKey(HKEY_CLASSES_ROOT, kClassKeyPath, classKey) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogKeyFailure, kClassKeyPath);
    }
    // The names go with the category; only the category decides whether the class stands.
    SetTextValue(classKey.Get(), u"", kDisplayName);
    SetTextValue(classKey.Get(), kApplicationNameValue, kApplicationName);
    if (SetTextValue(classKey.Get(), kCategoryValue, kCategory) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogValueFailure, kCategory);
    }
  }
  {
    UniqueRegKey iconKey;
    if (CreateItemKey(HKEY_CLASSES_ROOT, kIconKeyPath, iconKey) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogKeyFailure, kIconKeyPath);
    }
    WriteToolLog(AsWide(kLogIconProgress));
    // A cut icon or command text would name a file that does not exist: it is a failed write.
    RegistryText icon = BuildIconText(folder);
    if (!icon.complete || SetTextValue(iconKey.Get(), u"", icon.text) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogValueFailure, icon.text.c_str());
    }
  }
  {
    UniqueRegKey commandKey;
    if (CreateItemKey(HKEY_CLASSES_ROOT, kOpenCommandKeyPath, commandKey) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogKeyFailure, kOpenCommandKeyPath);
    }
    RegistryText command = BuildCommandText(folder);
    if (!command.complete || SetTextValue(commandKey.Get(), u"", command.text) != ERROR_SUCCESS) {
      return LogRegistryFault(kLogValueFailure, command.text.c_str());
    }
  }
  // The namespace entry makes the class show in the Control Panel. Its failures are shown (or
  // logged where no one would see them) and do not change the result; with no key the value
  // cannot be written either.
  UniqueRegKey namespaceKey;
  if (CreateItemKey(HKEY_LOCAL_MACHINE, kNamespaceKeyPath, namespaceKey) != ERROR_SUCCESS) {
    ShowDebugBox(L"RegCreateKey:Fail");
  }
  if (!namespaceKey || SetTextValue(namespaceKey.Get(), u"", kDisplayName) != ERROR_SUCCESS) {
    ShowDebugBox(L"RegSetValueEx:Fail");
  }
  return 0;
}

int RemoveControlPanelItem() {
  struct ItemKey {
    HKEY root;
    const char16_t* path;
  };
  // Children before parents. A key with sub-keys of someone else's is left as it is.
  const ItemKey keys[] = {
      {HKEY_CLASSES_ROOT, kIconKeyPath},  {HKEY_CLASSES_ROOT, kOpenCommandKeyPath},
      {HKEY_CLASSES_ROOT, kOpenKeyPath},  {HKEY_CLASSES_ROOT, kShellKeyPath},
      {HKEY_CLASSES_ROOT, kClassKeyPath}, {HKEY_LOCAL_MACHINE, kNamespaceKeyPath},
  };
  for (const ItemKey& key : keys) RegDeleteKeyExW(key.root, AsWide(key.path), kItemKeyAccess, 0);
  return 1;
}
