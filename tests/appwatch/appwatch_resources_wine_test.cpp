// The resources of the built appwatch.exe, read through the same calls that use them: strings,
// menu, accelerators, About box template, icons, version and manifest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "appwatch/resource.h"
#include "tests/support/wine_support.h"

namespace {

class ProgramResources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = ProgramPath(L"appwatch.exe");
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr); }

  static std::vector<BYTE> Resource(const wchar_t* type, int id) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const auto* data = static_cast<const BYTE*>(LockResource(loaded));
    return std::vector<BYTE>(data, data + SizeofResource(module_, found));
  }

  static std::wstring path_;
  static HMODULE module_;
};

std::wstring ProgramResources::path_;
HMODULE ProgramResources::module_ = nullptr;

std::wstring MenuText(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return text;
}

TEST_F(ProgramResources, TitleAndClassNameStrings) {
  wchar_t text[100] = {};
  EXPECT_EQ(LoadStringW(module_, IDS_APP_TITLE, text, 100), 8);
  EXPECT_STREQ(text, L"APPWATCH");
  EXPECT_EQ(LoadStringW(module_, IDC_APPWATCH, text, 100), 8);
  EXPECT_STREQ(text, L"APPWATCH");
}

TEST_F(ProgramResources, MenuHasItsFourPopupsAndEightItems) {
  HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(IDC_APPWATCH));
  ASSERT_NE(menu, nullptr);
  struct Item {
    const wchar_t* text;
    UINT id;
  };
  struct Popup {
    const wchar_t* text;
    std::vector<Item> items;
  };
  const std::vector<Popup> expected = {
      {L"&File", {{L"E&xit", 105}}},
      {L"&Help", {{L"&About ...", 104}}},
      {L"Event Monitor",
       {{L"Start App Launch Monitor", 32782}, {L"Stop App Launch Monitor", 32783},
        {L"Start App Close Monitor", 32779}, {L"Stop App Close Monitor", 32780}}},
      {L"Proximity Sensor", {{L"Suspend", 32775}, {L"Resume", 32776}}},
  };
  ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.size()));
  for (UINT p = 0; p < expected.size(); ++p) {
    EXPECT_EQ(MenuText(menu, p), expected[p].text);
    HMENU popup = GetSubMenu(menu, static_cast<int>(p));
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected[p].items.size()));
    for (UINT i = 0; i < expected[p].items.size(); ++i) {
      EXPECT_EQ(MenuText(popup, i), expected[p].items[i].text);
      EXPECT_EQ(GetMenuItemID(popup, static_cast<int>(i)), expected[p].items[i].id);
    }
  }
  DestroyMenu(menu);
}

TEST_F(ProgramResources, AcceleratorsAreAltWithTheCharacterKeysOpeningAbout) {
  HACCEL table = LoadAcceleratorsW(module_, MAKEINTRESOURCEW(IDC_APPWATCH));
  ASSERT_NE(table, nullptr);
  ACCEL entries[8] = {};
  ASSERT_EQ(CopyAcceleratorTableW(table, entries, 8), 2);
  const WORD keys[] = {'?', '/'};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(entries[i].key, keys[i]);
    EXPECT_EQ(entries[i].cmd, IDM_ABOUT);
    EXPECT_EQ(entries[i].fVirt & (FALT | FVIRTKEY | FSHIFT | FCONTROL), FALT);  // a character
  }
  DestroyAcceleratorTable(table);
}

// Reads the extended dialog template as the dialog manager does.
struct TemplateReader {
  const BYTE* data;
  size_t size;
  size_t at = 0;

  template <typename T>
  T Read() {
    T value{};
    if (at + sizeof(T) <= size) std::memcpy(&value, data + at, sizeof(T));
    at += sizeof(T);
    return value;
  }
  // A string, or 0xFFFF and an ordinal (returned as "#n").
  std::wstring ReadSzOrOrd() {
    WORD first = Read<WORD>();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
    std::wstring text;
    for (WORD c = first; c != 0 && at < size; c = Read<WORD>()) text += static_cast<wchar_t>(c);
    return text;
  }
  void AlignTo4() { at = (at + 3) & ~size_t{3}; }
};

TEST_F(ProgramResources, AboutBoxTemplate) {
  std::vector<BYTE> bytes = Resource(RT_DIALOG, IDD_ABOUTBOX);
  ASSERT_FALSE(bytes.empty());
  TemplateReader r{bytes.data(), bytes.size()};
  EXPECT_EQ(r.Read<WORD>(), 1);       // dlgVer
  EXPECT_EQ(r.Read<WORD>(), 0xFFFF);  // signature of the extended form
  r.Read<DWORD>();                    // helpID
  r.Read<DWORD>();                    // exStyle
  DWORD style = r.Read<DWORD>();
  const DWORD expectedStyle =
      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
  EXPECT_EQ(style & expectedStyle, expectedStyle);
  WORD count = r.Read<WORD>();
  EXPECT_EQ(count, 4);
  EXPECT_EQ(r.Read<short>(), 0);
  EXPECT_EQ(r.Read<short>(), 0);
  EXPECT_EQ(r.Read<short>(), 170);
  EXPECT_EQ(r.Read<short>(), 62);
  EXPECT_EQ(r.ReadSzOrOrd(), L"");  // no menu
  EXPECT_EQ(r.ReadSzOrOrd(), L"");  // the dialog class
  EXPECT_EQ(r.ReadSzOrOrd(), L"About EventReceiver");
  EXPECT_EQ(r.Read<WORD>(), 8);     // points
  r.Read<WORD>();                   // weight
  r.Read<BYTE>();                   // italic
  r.Read<BYTE>();                   // character set
  EXPECT_EQ(r.ReadSzOrOrd(), L"MS Shell Dlg");

  struct Control {
    short x, y, cx, cy;
    DWORD id;
    std::wstring cls;
    std::wstring text;
    DWORD styleBits;
  };
  const std::vector<Control> expected = {
      {14, 14, 21, 20, 0xFFFF, L"#130", L"#" + std::to_wstring(IDI_APPWATCH), SS_ICON},
      {42, 14, 114, 8, 0xFFFF, L"#130", L"EventReceiver, Version 1.0", SS_NOPREFIX | WS_GROUP},
      {42, 26, 114, 8, 0xFFFF, L"#130", L"", WS_GROUP},
      {113, 41, 50, 14, IDOK, L"#128", L"OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
  };
  for (WORD i = 0; i < count && i < expected.size(); ++i) {
    r.AlignTo4();
    r.Read<DWORD>();  // helpID
    r.Read<DWORD>();  // exStyle
    DWORD controlStyle = r.Read<DWORD>();
    Control c;
    c.x = r.Read<short>();
    c.y = r.Read<short>();
    c.cx = r.Read<short>();
    c.cy = r.Read<short>();
    c.id = r.Read<DWORD>();
    c.cls = r.ReadSzOrOrd();
    c.text = r.ReadSzOrOrd();
    r.at += r.Read<WORD>();  // creation data
    SCOPED_TRACE(i);
    EXPECT_EQ(c.x, expected[i].x);
    EXPECT_EQ(c.y, expected[i].y);
    EXPECT_EQ(c.cx, expected[i].cx);
    EXPECT_EQ(c.cy, expected[i].cy);
    EXPECT_EQ(c.id & 0xFFFF, expected[i].id);
    // The class by ordinal (0x0082 static, 0x0080 button) or by name, which mean the same.
    std::wstring cls = c.cls;
    if (_wcsicmp(cls.c_str(), L"Static") == 0) cls = L"#130";
    if (_wcsicmp(cls.c_str(), L"Button") == 0) cls = L"#128";
    EXPECT_EQ(cls, expected[i].cls);
    if (!expected[i].text.empty()) {
      EXPECT_EQ(c.text, expected[i].text);
    }
    EXPECT_EQ(controlStyle & expected[i].styleBits, expected[i].styleBits);
  }
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, BothIconGroupsHoldSevenImagesOf32Bits) {
  for (int group : {IDI_APPWATCH, IDI_SMALL}) {
    SCOPED_TRACE(group);
    std::vector<BYTE> bytes = Resource(RT_GROUP_ICON, group);
    ASSERT_GE(bytes.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, bytes.data() + 4, 2);
    ASSERT_EQ(count, 7);
    ASSERT_EQ(bytes.size(), 6 + 7 * sizeof(IconGroupEntry));
    const int sizes[] = {256, 128, 96, 48, 32, 24, 16};
    for (int i = 0; i < 7; ++i) {
      IconGroupEntry entry;
      std::memcpy(&entry, bytes.data() + 6 + i * sizeof entry, sizeof entry);
      EXPECT_EQ(entry.width == 0 ? 256 : entry.width, sizes[i]);
      EXPECT_EQ(entry.bitCount, 32);
      std::vector<BYTE> image = Resource(RT_ICON, entry.id);
      ASSERT_GE(image.size(), 8u);
      // The 256-pixel image is stored as PNG, the others as bitmaps.
      bool png = std::memcmp(image.data(), "\x89PNG", 4) == 0;
      EXPECT_EQ(png, sizes[i] == 256);
    }
  }
}

TEST_F(ProgramResources, VersionIs1_0_15_0WithItsNames) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x000F0000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x000F0000u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);  // U.S. English
  EXPECT_EQ(translation[1], 1200);    // Unicode
  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
      return std::wstring(L"(missing)");
    }
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"InternalName"), L"APPWATCH.exe");
  EXPECT_EQ(text(L"OriginalFilename"), L"APPWATCH.exe");
  EXPECT_EQ(text(L"FileVersion"), L"1.0.15.0");
  EXPECT_EQ(text(L"ProductVersion"), L"1.0.15.0");
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"ProductName"}) {
    EXPECT_NE(text(name), L"(missing)") << name;
  }
}

TEST_F(ProgramResources, ManifestAsksForTheStartersRights) {
  std::vector<BYTE> bytes = Resource(RT_MANIFEST, 1);
  std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""),
            std::string::npos)
      << manifest;
  // System aware: its windows are laid out by the system at the session's DPI.
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                          "WindowsSettings\">true</dpiAware>"),
            std::string::npos)
      << manifest;
}

}  // namespace
