// The rendering engine under Wine: device resources, the widget list, image decoding, and what
// a pushed frame shows on the screen, read back from the display with the window's own
// artwork, in both reading directions; and the settings window opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sensorctl/app/main_window.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "sensorctl/render/widget_geometry.h"
#include "sensorctl/resources/strings/string_ids.h"
#include "shared/win_handles.h"
#include "tests/render/render_scene.h"
#include "tests/support/wine_support.h"

namespace {

const Rgb kBackdrop{GetRValue(kBackdropColour), GetGValue(kBackdropColour),
                    GetBValue(kBackdropColour)};

bool Near(const Rgb& a, const Rgb& b, int tolerance = 2) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string Show(const Rgb& c) {
  return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

Rgb Grey(int level) { return {level, level, level}; }

#define EXPECT_PIXEL(capture, x, y, expected, tolerance)                                     \
  EXPECT_PRED3(Near, (capture).At((x), (y)), (expected), (tolerance))                        \
      << "pixel (" << (x) << ", " << (y) << ") is " << Show((capture).At((x), (y)))          \
      << ", expected " << Show(expected)

struct PixelBox {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool empty = true;
};

// Bounding box of the pixels brighter than `threshold` (any channel) inside `region`.
PixelBox BrightPixels(const ScreenCapture& capture, const PixelBox& region, int threshold) {
  PixelBox found{INT_MAX, INT_MAX, INT_MIN, INT_MIN, true};
  for (int y = region.top; y < region.bottom; ++y) {
    for (int x = region.left; x < region.right; ++x) {
      const Rgb c = capture.At(x, y);
      if (std::max({c.r, c.g, c.b}) <= threshold) continue;
      found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
               std::max(found.bottom, y + 1), false};
    }
  }
  return found.empty ? PixelBox{} : found;
}

int MaxLevel(const ScreenCapture& capture, const PixelBox& region) {
  int level = -1;
  for (int y = region.top; y < region.bottom; ++y) {
    for (int x = region.left; x < region.right; ++x) {
      const Rgb c = capture.At(x, y);
      level = std::max({level, c.r, c.g, c.b});
    }
  }
  return level;
}

std::string Show(const PixelBox& b) {
  if (b.empty) return "(nothing)";
  return "(" + std::to_string(b.left) + ", " + std::to_string(b.top) + ", " +
         std::to_string(b.right) + ", " + std::to_string(b.bottom) + ")";
}

// The pixels a frame text may cover: its box, widened by `slack` for antialiased edges.
bool Inside(const PixelBox& drawn, const FrameBox& box, int slack) {
  return !drawn.empty && drawn.left >= box.left - slack && drawn.top >= box.top - slack &&
         drawn.right <= box.right + slack && drawn.bottom <= box.bottom + slack;
}

// The objects the Renderer draws with, held so that new ones get new addresses.
struct ResourceSnapshot {
  std::vector<IUnknown*> device;   // the render target, then its eight brushes
  std::vector<IUnknown*> formats;  // body, field, label, button
  std::vector<ComPtr<IUnknown>> held;
};

ResourceSnapshot TakeSnapshot() {
  const Brushes& b = renderer.device.brushes;
  const TextFormats& f = renderer.formats;
  ResourceSnapshot s{{renderer.device.target.Get(), b.white.Get(), b.dimWhite.Get(),
                      b.borderGray.Get(), b.shadow.Get(), b.hoverBorder.Get(), b.normalFace.Get(),
                      b.hoverFace.Get(), b.disabledFace.Get()},
                     {f.body.Get(), f.field.Get(), f.label.Get(), f.button.Get()},
                     {}};
  for (const auto* objects : {&s.device, &s.formats}) {
    for (IUnknown* object : *objects) s.held.emplace_back(object);
  }
  return s;
}

long Missing(const std::vector<IUnknown*>& objects) {
  return std::count(objects.begin(), objects.end(), nullptr);
}

// How many pixels two captures of one area differ in: 0 when the frame is the same.
size_t PixelsDiffering(const ScreenCapture& a, const ScreenCapture& b) {
  if (a.pixels.size() != b.pixels.size()) return std::max(a.pixels.size(), b.pixels.size());
  size_t differing = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
  return differing;
}

// CreateTextFormat of every DirectWrite factory in this process, swapped in their method table
// (slot 15: IUnknown's three methods and the factory's twelve come first) for one that fails
// while `refuseTextFormats` is set.
using CreateTextFormatMethod = HRESULT(STDMETHODCALLTYPE*)(
    IDWriteFactory*, const WCHAR*, IDWriteFontCollection*, DWRITE_FONT_WEIGHT, DWRITE_FONT_STYLE,
    DWRITE_FONT_STRETCH, FLOAT, const WCHAR*, IDWriteTextFormat**);
CreateTextFormatMethod realCreateTextFormat = nullptr;
bool refuseTextFormats = false;

HRESULT STDMETHODCALLTYPE RefusableCreateTextFormat(
    IDWriteFactory* factory, const WCHAR* family, IDWriteFontCollection* fonts,
    DWRITE_FONT_WEIGHT weight, DWRITE_FONT_STYLE style, DWRITE_FONT_STRETCH stretch, FLOAT size,
    const WCHAR* locale, IDWriteTextFormat** format) {
  if (!refuseTextFormats) {
    return realCreateTextFormat(factory, family, fonts, weight, style, stretch, size, locale,
                                format);
  }
  *format = nullptr;
  return E_OUTOFMEMORY;
}

bool MakeTextFormatsRefusable() {
  if (realCreateTextFormat != nullptr) return true;
  void** slot = *reinterpret_cast<void***>(renderer.textFactory.Get()) + 15;
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_EXECUTE_READWRITE, &protection)) return false;
  realCreateTextFormat = reinterpret_cast<CreateTextFormatMethod>(*slot);
  *slot = reinterpret_cast<void*>(&RefusableCreateTextFormat);
  return VirtualProtect(slot, sizeof *slot, protection, &protection) != 0;
}

// Answers the message boxes this process shows, from a second thread, and keeps their texts.
class MessageBoxWatch {
 public:
  MessageBoxWatch() : thread_([this] { Run(); }) {}
  ~MessageBoxWatch() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  void Run() {
    std::set<HWND> answered;
    while (!stop_) {
      for (const DialogSeen& box : VisibleDialogs(GetCurrentProcessId())) {
        if (!answered.insert(box.window).second) continue;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(box.message);
        }
        AnswerOk(box.window);
      }
      Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

class RenderSceneTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(OpenScene({})); }
  void TearDown() override {
    refuseTextFormats = false;
    CloseScene();
  }
  void Reopen(const SceneOptions& options) {
    CloseScene();
    ASSERT_TRUE(OpenScene(options));
  }
  Widget& At(int position) { return renderer.widgets.items[position]; }
  // Pushes a frame and reads back what the screen shows of it.
  ScreenCapture PushedFrame() {
    EXPECT_EQ(PushFrame(), 1);
    return CaptureFrame();
  }
};

// --- Device resources ---

using DeviceResourcesTest = RenderSceneTest;

TEST_F(DeviceResourcesTest, FirstEnsureMakesEverythingAndASecondMakesNothing) {
  ASSERT_EQ(Missing(TakeSnapshot().device), 9);
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  const ResourceSnapshot made = TakeSnapshot();
  EXPECT_EQ(Missing(made.device), 0);
  EXPECT_EQ(Missing(made.formats), 0);
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  const ResourceSnapshot after = TakeSnapshot();
  EXPECT_EQ(after.device, made.device);
  EXPECT_EQ(after.formats, made.formats);
}

TEST_F(DeviceResourcesTest, TextFormatsCarryTheirFontsAndAlignments) {
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  struct Case {
    const char* name;
    IDWriteTextFormat* format;
    DWRITE_FONT_WEIGHT weight;
    float size;
    DWRITE_TEXT_ALIGNMENT text;
    DWRITE_PARAGRAPH_ALIGNMENT paragraph;
  };
  const Case cases[] = {
      {"body", renderer.formats.body.Get(), DWRITE_FONT_WEIGHT_NORMAL, 14,
       DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_NEAR},
      {"field", renderer.formats.field.Get(), DWRITE_FONT_WEIGHT_BOLD, 14,
       DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_CENTER},
      {"label", renderer.formats.label.Get(), DWRITE_FONT_WEIGHT_BOLD, 16,
       DWRITE_TEXT_ALIGNMENT_TRAILING, DWRITE_PARAGRAPH_ALIGNMENT_CENTER},
      {"button", renderer.formats.button.Get(), DWRITE_FONT_WEIGHT_NORMAL, 14,
       DWRITE_TEXT_ALIGNMENT_CENTER, DWRITE_PARAGRAPH_ALIGNMENT_CENTER},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.format, nullptr) << c.name;
    wchar_t family[32] = {};
    c.format->GetFontFamilyName(family, 32);
    IDWriteTextFormat& f = *c.format;
    EXPECT_EQ(std::make_tuple(std::wstring(family), f.GetFontWeight(), f.GetFontStyle(),
                              f.GetFontStretch(), f.GetFontSize(), f.GetTextAlignment(),
                              f.GetParagraphAlignment()),
              std::make_tuple(std::wstring(L"Arial"), c.weight, DWRITE_FONT_STYLE_NORMAL,
                              DWRITE_FONT_STRETCH_NORMAL, c.size, c.text, c.paragraph))
        << c.name;
  }
}

// The text formats do not depend on the device: they outlive it.
TEST_F(DeviceResourcesTest, AfterDiscardTheNextEnsureMakesTargetResourcesAndKeepsTheFormats) {
  ASSERT_EQ(PushFrame(), 1);
  const ResourceSnapshot old = TakeSnapshot();

  DiscardDeviceResources();
  EXPECT_EQ(Missing(TakeSnapshot().device), 9);
  EXPECT_EQ(renderer.device.cache.target.Get(), nullptr);
  EXPECT_EQ(renderer.device.cache.bitmap.Get(), nullptr);
  EXPECT_EQ(renderer.device.cache.shown.widgets.size(), 0u);

  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  const ResourceSnapshot made = TakeSnapshot();
  for (size_t i = 0; i < old.device.size(); ++i) {
    ASSERT_NE(made.device[i], nullptr) << "object " << i;
    EXPECT_NE(made.device[i], old.device[i]) << "object " << i;
  }
  EXPECT_EQ(made.formats, old.formats);
}

// Nothing made from the factories outlives them, the decoded images included.
TEST_F(DeviceResourcesTest, ReleaseFactoriesClearsAllThreeAndWhatTheyMade) {
  ASSERT_TRUE(renderer.d2dFactory && renderer.textFactory && renderer.imagingFactory);
  EXPECT_EQ(renderer.window, SceneFrameWindow());
  ASSERT_EQ(PushFrame(), 1);
  const auto decodedImages = [] {
    return std::count_if(renderer.widgets.items.begin(), renderer.widgets.items.end(),
                         [](const Widget& widget) { return widget.bitmap != nullptr; });
  };
  ASSERT_GT(decodedImages(), 0);
  ReleaseFactories();
  EXPECT_FALSE(renderer.d2dFactory || renderer.textFactory || renderer.imagingFactory)
      << renderer.d2dFactory.Get() << " " << renderer.textFactory.Get() << " "
      << renderer.imagingFactory.Get();
  EXPECT_EQ(Missing(TakeSnapshot().formats), 4);
  EXPECT_EQ(decodedImages(), 0) << "decoded images outlive the factories";
}

// A paint without one of the factories, or whose text formats cannot be made, draws nothing:
// the window keeps showing its last frame however many paints come, and the first paint after
// the cause is gone draws again. A text format failure is reported once, when it begins.
TEST_F(DeviceResourcesTest, APaintThatCannotDrawKeepsTheLastFrameUntilItCan) {
  ASSERT_TRUE(MakeTextFormatsRefusable());
  struct Row {
    const char* what;
    void (*arrange)();
    std::vector<std::wstring> boxes;
  };
  const Row rows[] = {
      {"text formats refused",
       [] {
         renderer.formats = TextFormats{};
         refuseTextFormats = true;
       },
       {L"Fail CreateTextFormat"}},
      {"no Direct2D factory", [] { renderer.d2dFactory.Reset(); }, {}},
      {"no DirectWrite factory", [] { renderer.textFactory.Reset(); }, {}},
      {"no imaging factory", [] { renderer.imagingFactory.Reset(); }, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    At(kWidgetDisableCheckBox).checked = 0;
    ScreenCapture last = PushedFrame();
    // The report is a modal box inside the failing paint, kept by the watch before it answers.
    MessageBoxWatch watch;
    DiscardDeviceResources();
    row.arrange();
    At(kWidgetDisableCheckBox).checked = 1;  // would dim the labels if a frame were drawn
    const int pushed = FramesPushed();
    for (int paint = 0; paint < 3; ++paint) ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(FramesPushed(), pushed);
    EXPECT_EQ(renderer.device.target.Get(), nullptr);
    EXPECT_EQ(PixelsDiffering(CaptureFrame(), last), 0u);
    EXPECT_EQ(EnsureDeviceResources(), E_FAIL);

    refuseTextFormats = false;
    const bool madeAgain =
        !renderer.d2dFactory || !renderer.textFactory || !renderer.imagingFactory;
    if (madeAgain) {
      ASSERT_EQ(CreateFactories(SceneFrameWindow()), S_OK);
    }
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(FramesPushed(), pushed + 1);
    ScreenCapture drawn = CaptureFrame();
    EXPECT_GT(PixelsDiffering(drawn, last), 0u);
    // Factories made again within a session draw the dimmed label brighter here (200, not
    // 173), so its level is checked with the factories kept.
    if (!madeAgain) {
      EXPECT_NEAR(MaxLevel(drawn, {74, 164, 274, 194}), 173, 4) << "the dimmed label is drawn";
    }
    EXPECT_EQ(watch.Texts(), row.boxes);
  }
}

// --- The widget list ---

TEST(WidgetListTest, AddWidgetAppendsNewWidgetsWithTheirDefaults) {
  WidgetList list;
  EXPECT_EQ(AddWidget(list, 207, 0, 0, 566, 460, L""), 1);
  ASSERT_EQ(list.items.size(), 1u);
  for (int i = 1; i < kWidgetCount; ++i) {
    EXPECT_EQ(AddWidget(list, 200 + i, 1.5f * i, 2, 3, 4, L"caption"), 1);
  }
  ASSERT_EQ(list.items.size(), 15u);
  const Widget& last = list.items[14];
  EXPECT_EQ(std::make_tuple(last.id, last.left, last.top, last.right, last.bottom),
            std::make_tuple(214, 21.0f, 2.0f, 3.0f, 4.0f));
  EXPECT_STREQ(last.text[0], L"caption");
  EXPECT_STREQ(last.text[1], L"");
  EXPECT_STREQ(last.text[2], L"");
  // Every other field keeps the default of a new widget.
  const auto rest = [](const Widget& w) {
    return std::make_tuple(w.strokeWidth, w.shadowOffset, w.enabled, w.hovered, w.pressed,
                           w.visible, w.hasImage, w.imageResource, w.checked, w.bitmap.Get(),
                           w.radiusX, w.radiusY);
  };
  EXPECT_EQ(rest(last), rest(Widget{}));
  EXPECT_STREQ(list.items[0].text[0], L"");
  // Positions are checked both ways: none before the first or past the last.
  const WidgetList& readOnly = list;
  for (const int position : {-1, 0, 14, 15, kWidgetCount + 100}) {
    const Widget* expected = position >= 0 && position < 15 ? &list.items[position] : nullptr;
    EXPECT_EQ(WidgetAt(list, position), expected) << position;
    EXPECT_EQ(WidgetAt(readOnly, position), expected) << position;
  }
  EXPECT_EQ(WidgetAt(WidgetList{}, 0), nullptr);
}

TEST(WidgetListTest, CaptionsAreCutToTheSlotAndAlwaysTerminated) {
  constexpr size_t kNone = ~size_t{0};  // a null caption
  struct Case {
    size_t length;
    size_t kept;
  };
  const Case cases[] = {{kNone, 0},    {0, 0},       {1, 1},       {1022, 1022},
                        {1023, 1023}, {1024, 1023}, {5000, 1023}};
  for (const Case& c : cases) {
    WidgetList list;
    std::wstring caption(c.length == kNone ? 0 : c.length, L'x');
    ASSERT_EQ(AddWidget(list, 1, 0, 0, 1, 1, c.length == kNone ? nullptr : caption.c_str()), 1);
    EXPECT_EQ(wcsnlen(list.items[0].text[0], kWidgetTextCapacity), c.kept) << c.length;
  }
}

TEST(WidgetListTest, ImagesAreFoundByNameAsTypeImage) {
  HMODULE module = GetModuleHandleW(nullptr);
  for (const ImageResource& image : kImages) {
    EXPECT_NE(FindWidgetImage(module, image.name), nullptr) << image.name;
  }
  EXPECT_EQ(FindWidgetImage(module, L"IDI_NOSUCHIMAGE"), nullptr);
}

// --- Decoding the images ---

using ImageDecodeTest = RenderSceneTest;

TEST_F(ImageDecodeTest, EachShownImageIsDecodedOnceOverManyFrames) {
  ASSERT_EQ(PushFrame(), 1);
  // Shown at start: background, the two field buttons, the check box.
  EXPECT_EQ(renderSeams.imageDecodes, 4);
  std::vector<int> decoded;
  for (int position = 0; position < kWidgetCount; ++position) {
    if (At(position).bitmap) decoded.push_back(position);
  }
  EXPECT_EQ(decoded, (std::vector<int>{kWidgetBackground, kWidgetRangeButton,
                                       kWidgetOffDelayButton, kWidgetDisableCheckBox}));
  for (int frame = 0; frame < 20; ++frame) PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, 4);
}

// A resource changed behind the widget's back keeps the decoded picture; SetWidgetImage drops
// it, and the new image is decoded once, on the next frame.
TEST_F(ImageDecodeTest, AnImageIsDecodedAgainOnlyOnceSetWidgetImageChangesIt) {
  ScreenCapture normal = PushedFrame();
  const long decodes = renderSeams.imageDecodes;
  HRSRC hover = FindWidgetImage(renderer.widgets.module, L"IDI_COMBOBKHOVER");
  At(kWidgetRangeButton).imageResource = hover;
  PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, decodes);
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), normal), 0u);

  SetWidgetImage(At(kWidgetRangeButton), hover);
  EXPECT_EQ(At(kWidgetRangeButton).bitmap.Get(), nullptr);
  for (int frame = 0; frame < 5; ++frame) PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, decodes + 1);
  EXPECT_NE(CaptureFrame().At(400, 170).r, normal.At(400, 170).r) << "the hover picture is shown";
}

// A new scale: each shown image is decoded once more, from the nearest set at or above, and
// the render target draws at the new DPI; the same scale again changes nothing.
TEST_F(ImageDecodeTest, ANewScaleDecodesEachShownImageOnceFromItsSet) {
  const int rows[][2] = {{192, 1132}, {144, 849}, {120, 708}, {97, 708}, {96, 566}, {288, 1132}};
  ASSERT_EQ(PushFrame(), 1);
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    const long decodes = renderSeams.imageDecodes;
    SetRenderDpi(row[0]);
    ASSERT_EQ(PushFrame(), 1);
    SetRenderDpi(row[0]);
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(renderSeams.imageDecodes, decodes + 4);
    float dpiX = 0, dpiY = 0;
    renderer.device.target->GetDpi(&dpiX, &dpiY);
    EXPECT_EQ(dpiX, static_cast<float>(row[0]));
    EXPECT_EQ(dpiY, dpiX);
    EXPECT_EQ(At(kWidgetBackground).bitmap->GetPixelSize().width, static_cast<UINT32>(row[1]));
  }
}

HRESULT LoseTheDeviceOnce(HRESULT result) {
  static int calls = 0;
  return calls++ == 0 ? static_cast<HRESULT>(D2DERR_RECREATE_TARGET) : result;
}

TEST_F(ImageDecodeTest, ADeviceLossRecreatesTheResourcesButDecodesNothingAgain) {
  ScreenCapture before = PushedFrame();
  const ResourceSnapshot old = TakeSnapshot();
  const long decodes = renderSeams.imageDecodes;

  renderSeams.endDrawResult = LoseTheDeviceOnce;
  ASSERT_EQ(PushFrame(), 1);
  // Discarded, but the frame drawn so far was still pushed.
  EXPECT_EQ(Missing(TakeSnapshot().device), 9);
  EXPECT_EQ(TakeSnapshot().formats, old.formats);
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), before), 0u);
  for (int position : {kWidgetBackground, kWidgetRangeButton, kWidgetDisableCheckBox}) {
    EXPECT_NE(At(position).bitmap.Get(), nullptr) << "the cache survives a loss: " << position;
  }

  ASSERT_EQ(PushFrame(), 1);
  const ResourceSnapshot made = TakeSnapshot();
  ASSERT_NE(made.device[0], nullptr);
  EXPECT_NE(made.device[0], old.device[0]);
  EXPECT_NE(made.device[1], old.device[1]);
  EXPECT_EQ(renderSeams.imageDecodes, decodes);
  // The cached pictures are drawn by the new render target.
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), before), 0u);
}

// An image widget whose picture cannot be had draws no body, no face and no shadow, but its
// caption still shows; a failed decode is tried again at the next frame.
TEST_F(ImageDecodeTest, AnImageWidgetWithoutAPictureDrawsOnlyItsCaption) {
  const wchar_t* images[] = {nullptr, L"IDI_NOTAPNG"};
  for (const wchar_t* image : images) {
    SCOPED_TRACE(image == nullptr ? "no resource" : "not a PNG");
    ASSERT_EQ(PushFrame(), 1);  // the shown images are decoded
    Widget& ok = At(kWidgetOk);
    ok.hasImage = 1;
    SetWidgetImage(ok, image == nullptr ? nullptr : FindWidgetImage(renderer.widgets.module, image));
    ASSERT_EQ(ok.imageResource != nullptr, image != nullptr);
    const long decodes = renderSeams.imageDecodes;
    PushFrame();
    PushFrame();
    EXPECT_EQ(ok.bitmap.Get(), nullptr);
    EXPECT_EQ(renderSeams.imageDecodes, decodes);
    ScreenCapture shot = CaptureFrame();
    EXPECT_PIXEL(shot, 214, 392, Grey(91), 1);  // no face
    EXPECT_PIXEL(shot, 295, 400, Grey(91), 1);  // no shadow
    EXPECT_GE(MaxLevel(shot, {230, 392, 275, 412}), 230) << "the caption is drawn";
  }
}

// --- The display mode ---

struct ModeAnswer {
  const char* what;
  BOOL readable;  // -1: not answered here
  DWORD bitsPerPixel;
  int opaque;
};
ModeAnswer modeAnswer;

BOOL AnswerDisplayMode(DEVMODEW* mode) {
  if (!modeAnswer.readable) return FALSE;
  mode->dmBitsPerPel = modeAnswer.bitsPerPixel;
  mode->dmFields |= DM_BITSPERPEL;
  return TRUE;
}

using DisplayModeTest = RenderSceneTest;

// The flag itself is what is checked here, and a corner may be either
// (kWineFactTransparentPixelsAreHoles).
TEST_F(DisplayModeTest, OnlyA16BitOrUnreadableModePushesTheFrameOpaque) {
  NoteWineFact(kWineFactTransparentPixelsAreHoles);
  const ModeAnswer answers[] = {
      {"this display's own mode, read as the program reads it", -1, 0, 0},
      {"16 bits", TRUE, 16, 1},
      {"unreadable", FALSE, 32, 1},
      {"32 bits", TRUE, 32, 0},
      {"24 bits", TRUE, 24, 0},
      {"8 bits", TRUE, 8, 0},
      {"16 bits again, after a deep mode", TRUE, 16, 1},
  };
  for (const ModeAnswer& answer : answers) {
    SCOPED_TRACE(answer.what);
    modeAnswer = answer;
    renderSeams.readDisplayMode = answer.readable < 0 ? nullptr : AnswerDisplayMode;
    renderer.opaqueUpdate = 1 - answer.opaque;
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(renderer.opaqueUpdate, answer.opaque);
    EXPECT_EQ(renderSeams.lastUpdateFlags,
              static_cast<DWORD>(answer.opaque ? ULW_OPAQUE : ULW_ALPHA));
    // Either way the whole frame is pushed.
    ScreenCapture shot = CaptureFrame();
    EXPECT_PIXEL(shot, 283, 300, Grey(91), 1);
    const Rgb corner = shot.At(2, 2);
    if (answer.opaque) {
      EXPECT_TRUE(Near(corner, kBackdrop, 0) || Near(corner, Grey(0), 0)) << Show(corner);
    } else {
      EXPECT_PIXEL(shot, 2, 2, kBackdrop, 0);
    }
    EXPECT_GE(MaxLevel(shot, {74, 164, 274, 194}), 240);
  }
}

// --- What a frame shows ---

using FramePixelsTest = RenderSceneTest;

TEST_F(FramePixelsTest, PanelIsGreyTheMarginShowsWhatLiesBeneathAndBothFollowTheWindow) {
  ScreenCapture shot = PushedFrame();
  for (POINT corner : {POINT{0, 0}, POINT{3, 3}, POINT{562, 3}, POINT{3, 456}, POINT{565, 459}}) {
    EXPECT_PIXEL(shot, corner.x, corner.y, kBackdrop, 0);
  }
  for (POINT panel : {POINT{283, 300}, POINT{25, 230}, POINT{540, 230}, POINT{283, 120}}) {
    EXPECT_PIXEL(shot, panel.x, panel.y, Grey(91), 1);
  }
  // The window behind, just outside the frame, is untouched.
  ScreenCapture around = CaptureScreen(shot.left - 10, shot.top - 10, 5, 5);
  EXPECT_PIXEL(around, 2, 2, kBackdrop, 0);

  SetWindowPos(SceneFrameWindow(), nullptr, 340, 230, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(PushFrame(), 1);
  shot = CaptureScreen(340, 230, kFrameWidth, kFrameHeight);
  EXPECT_PIXEL(shot, 283, 300, Grey(91), 1);
  EXPECT_PIXEL(shot, 2, 2, kBackdrop, 0);
}

// The OK button (210, 388, 295, 416) in each look.
TEST_F(FramePixelsTest, ButtonLooks) {
  Widget& ok = At(kWidgetOk);

  // Normal: a gradient from grey 132 at the top edge towards 123 thirty units below, no
  // border, a white caption, and the shadow one unit right and down.
  ScreenCapture normal = PushedFrame();
  for (int y = 388; y < 416; ++y) {
    const double expected = 132.0 - 9.0 * (y + 0.5 - 388) / 30.0;
    EXPECT_NEAR(normal.At(214, y).r, expected, 1.5) << "row " << y;
  }
  EXPECT_PIXEL(normal, 250, 388, Grey(132), 1);  // no border on top
  EXPECT_PIXEL(normal, 295, 400, Grey(64), 1);   // shadow: black at 0.3 over grey 91
  EXPECT_PIXEL(normal, 250, 416, Grey(64), 1);
  EXPECT_PIXEL(normal, 209, 400, Grey(91), 1);   // nothing left of the face
  EXPECT_PIXEL(normal, 250, 387, Grey(91), 1);   // nor above it
  EXPECT_GE(MaxLevel(normal, {230, 392, 275, 412}), 235);

  // Hover: a flat grey 109 face inside a 2-unit (64, 111, 141) border.
  ok.hovered = 1;
  ScreenCapture hover = PushedFrame();
  EXPECT_PIXEL(hover, 214, 392, Grey(109), 1);
  EXPECT_PIXEL(hover, 214, 412, Grey(109), 1);
  const Rgb hoverBorder{64, 111, 141};
  EXPECT_PIXEL(hover, 210, 400, hoverBorder, 2);
  EXPECT_PIXEL(hover, 250, 388, hoverBorder, 2);
  EXPECT_PIXEL(hover, 294, 400, hoverBorder, 2);
  EXPECT_PIXEL(hover, 250, 415, hoverBorder, 2);
  EXPECT_GE(MaxLevel(hover, {230, 392, 275, 412}), 235);

  // Pressed shows the normal face again.
  ok.pressed = 1;
  ASSERT_EQ(PushFrame(), 1);
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), normal), 0u);

  // Disabled: a flat grey 123 face, a 2-unit grey 91 border and a half-white caption.
  ok.hovered = 0;
  ok.pressed = 0;
  ok.enabled = 0;
  ScreenCapture disabled = PushedFrame();
  EXPECT_PIXEL(disabled, 214, 392, Grey(123), 1);
  EXPECT_PIXEL(disabled, 214, 412, Grey(123), 1);
  EXPECT_PIXEL(disabled, 210, 400, Grey(91), 1);
  EXPECT_PIXEL(disabled, 250, 388, Grey(91), 1);
  const int caption = MaxLevel(disabled, {230, 392, 275, 412});
  EXPECT_GE(caption, 180);  // white at half opacity over 123 is 189
  EXPECT_LE(caption, 192);

  // Apply starts disabled and looks it.
  EXPECT_PIXEL(disabled, 416, 392, Grey(123), 1);
}

TEST_F(FramePixelsTest, AHiddenWidgetDrawsNothingWhateverItsFlags) {
  ScreenCapture closed = PushedFrame();
  Widget& list = At(kWidgetRangeList);
  list.hovered = 1;
  list.enabled = 0;
  list.hasImage = 0;
  ASSERT_EQ(PushFrame(), 1);
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), closed), 0u);
  // Below the sensitivity button, where the list opens, only the panel shows.
  EXPECT_EQ(BrightPixels(closed, {300, 199, 480, 223}, 92).empty, true);
}

struct LabelCase {
  int stringId;
  FrameText text;
  PixelBox searchLtr, searchRtl;  // around the box, clear of everything else
};

// Bright text pixels: white on the grey 91 panel, well above it.
constexpr int kTextThreshold = 140;

// The frame's own texts and a field button's caption, each on its side of its box.
TEST_F(FramePixelsTest, EveryFrameTextIsDrawnInsideItsBoxInBothDirections) {
  const LabelCase cases[] = {
      {kStringDescription, FrameText::kDescription, {24, 54, 542, 145}, {24, 54, 542, 145}},
      {kStringRangeLabel, FrameText::kRangeLabel, {24, 150, 304, 215}, {282, 150, 545, 215}},
      {kStringOffDelayLabel, FrameText::kOffDelayLabel, {24, 215, 304, 280},
       {282, 215, 545, 280}},
      {kStringDisableSensor, FrameText::kDisableLabel, {88, 325, 300, 368},
       {240, 325, 488, 368}},
      {kStringWaitingForService, FrameText::kWaitingLine, {24, 262, 542, 322},
       {24, 262, 542, 322}},
  };
  for (bool rightToLeft : {false, true}) {
    Reopen({.rightToLeft = rightToLeft});
    renderer.waitingLineShown = 1;  // as while a slow service takes up new settings
    const int pushed = PushFrame();
    renderer.waitingLineShown = 0;
    ASSERT_EQ(pushed, 1);
    ScreenCapture shot = CaptureFrame();
    for (const LabelCase& c : cases) {
      SCOPED_TRACE(std::string(rightToLeft ? "right to left, string " : "left to right, string ") +
                   std::to_string(c.stringId));
      const FrameBox box = FrameTextBox(c.text, FrameMetrics{}, rightToLeft);
      const PixelBox drawn =
          BrightPixels(shot, rightToLeft ? c.searchRtl : c.searchLtr, kTextThreshold);
      // One unit of slack below: a 14-unit line is a little taller than the 15-unit box of the
      // check-box label, whose descenders may touch the row under it.
      EXPECT_TRUE(Inside(drawn, box, 1)) << "text at " << Show(drawn);
      if (drawn.empty) continue;
      // Which side the text keeps to follows the reading direction: the field labels are
      // trailing, next to the field buttons; the other texts leading.
      const bool trailing =
          c.text == FrameText::kRangeLabel || c.text == FrameText::kOffDelayLabel;
      if (trailing != rightToLeft) {
        EXPECT_GE(drawn.right, box.right - 4) << "text at " << Show(drawn);
      } else {
        EXPECT_LE(drawn.left, box.left + 4) << "text at " << Show(drawn);
      }
    }
    // The sensitivity button's caption keeps to its leading side, left of the picture's arrow
    // in the last 20 units.
    const int x = rightToLeft ? 124 : 308;
    const PixelBox drawn = BrightPixels(shot, {x, 165, x + 133, 197}, kTextThreshold);
    SCOPED_TRACE(std::string(rightToLeft ? "right to left" : "left to right") +
                 ", the button's caption at " + Show(drawn));
    ASSERT_FALSE(drawn.empty);
    EXPECT_GE(drawn.top, 165);
    EXPECT_LE(drawn.bottom, 197);
    if (rightToLeft) {
      EXPECT_LE(drawn.right, x + 133);  // box narrowed by 20 on the right
      EXPECT_GE(drawn.right, x + 133 - 16);
      EXPECT_GT(drawn.left, x + 40);
    } else {
      EXPECT_GE(drawn.left, x);
      EXPECT_LE(drawn.left, x + 16);  // two spaces, then the text
      EXPECT_LT(drawn.right, x + 100);
    }
  }
}

TEST_F(FramePixelsTest, AnOpenListShowsItsRowsInTheirBoxes) {
  for (bool rightToLeft : {false, true}) {
    SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
    Reopen({.rightToLeft = rightToLeft});
    Widget& list = At(kWidgetOffDelayList);
    list.visible = 1;
    ScreenCapture shot = PushedFrame();
    const FrameBox rect{list.left, list.top, list.right, list.bottom};
    const CaptionLayout rows = WidgetCaptionLayout(kWidgetOffDelayList, rect, rightToLeft);
    for (int k = 0; k < rows.count; ++k) {
      const FrameBox& row = rows.boxes[k];
      const PixelBox drawn = BrightPixels(
          shot, {static_cast<int>(row.left), static_cast<int>(row.top),
                 static_cast<int>(row.right), static_cast<int>(row.bottom)},
          kTextThreshold);
      EXPECT_FALSE(drawn.empty) << "row " << k;
      EXPECT_GT(drawn.top, row.top) << "row " << k << " at " << Show(drawn);
      EXPECT_LT(drawn.bottom, row.bottom) << "row " << k << " at " << Show(drawn);
    }
  }
}

TEST_F(FramePixelsTest, ACheckedBoxDimsTheFieldLabelsButNotItsOwn) {
  for (int checked : {0, 1}) {
    SCOPED_TRACE(checked ? "checked" : "not checked");
    At(kWidgetDisableCheckBox).checked = checked;
    ScreenCapture shot = PushedFrame();
    for (const PixelBox& label : {PixelBox{74, 164, 274, 194}, PixelBox{74, 224, 274, 254}}) {
      // White at half opacity over grey 91 is 173; white alone at least 240.
      EXPECT_NEAR(MaxLevel(shot, label), checked ? 173 : 250, checked ? 4 : 10) << Show(label);
    }
    EXPECT_GE(MaxLevel(shot, {94, 339, 264, 355}), 240) << "the box's own label";
  }
}

// --- The frame cache: a frame redraws only what changed since the last one ---

// Each kind of change the window makes between two frames, in the order a session could make
// them; each row changes the scene left by the rows before it.
struct FrameChange {
  const char* what;
  void (*change)();
};

Widget& WidgetAtPosition(int position) { return renderer.widgets.items[position]; }
void OpenOffDelayList(int row) {
  Widget& list = WidgetAtPosition(kWidgetOffDelayList);
  Widget& highlight = WidgetAtPosition(kWidgetRowHighlight);
  list.visible = 1;
  WidgetAtPosition(kWidgetCheckMark).visible = 1;
  const float height = highlight.bottom - highlight.top;
  highlight.top = list.top + kListFirstRowOffset + row * kListRowHeight;
  highlight.bottom = highlight.top + height;
  highlight.visible = 1;
  SetWidgetText(highlight, 0, list.text[row]);
}
HRESULT LoseTheDeviceEveryTime(HRESULT) { return static_cast<HRESULT>(D2DERR_RECREATE_TARGET); }

const FrameChange kFrameChanges[] = {
    {"nothing", [] {}},
    {"OK hovered", [] { WidgetAtPosition(kWidgetOk).hovered = 1; }},
    {"OK pressed", [] { WidgetAtPosition(kWidgetOk).pressed = 1; }},
    {"OK released and left",
     [] { WidgetAtPosition(kWidgetOk).pressed = WidgetAtPosition(kWidgetOk).hovered = 0; }},
    {"field button pressed: another image",
     [] {
       SetWidgetImage(WidgetAtPosition(kWidgetOffDelayButton),
                      FindWidgetImage(renderer.widgets.module, L"IDI_COMBOBKHOVER"));
     }},
    {"list open, first row under the pointer", [] { OpenOffDelayList(0); }},
    {"highlight moved to the next row", [] { OpenOffDelayList(1); }},
    {"pick: the row's text on the button, list closed",
     [] {
       SetWidgetText(WidgetAtPosition(kWidgetOffDelayButton), 0,
                     WidgetAtPosition(kWidgetOffDelayList).text[1]);
       SetWidgetImage(WidgetAtPosition(kWidgetOffDelayButton),
                      FindWidgetImage(renderer.widgets.module, L"IDI_COMBOBKNORMAL"));
       for (int position : {kWidgetOffDelayList, kWidgetRowHighlight, kWidgetCheckMark}) {
         WidgetAtPosition(position).visible = 0;
       }
     }},
    {"Apply enabled", [] { WidgetAtPosition(kWidgetApply).enabled = 1; }},
    {"sensor disabled", [] { FillWindowWidgets(false, true); }},
    {"only the box unticked: the labels lit",
     [] { WidgetAtPosition(kWidgetDisableCheckBox).checked = 0; }},
    {"waiting line shown", [] { renderer.waitingLineShown = 1; }},
    {"waiting line gone", [] { renderer.waitingLineShown = 0; }},
    {"the texts of another language",
     [] {
       renderer.instance = GetModuleHandleW(L"user32.dll");
       SetWidgetText(WidgetAtPosition(kWidgetOk), 0, L"\x0645\x0648\x0627\x0641\x0642");
     }},
    {"right to left", [] {
       renderer.instance = GetModuleHandleW(nullptr);
       renderer.rightToLeft = 1;
       FillWindowWidgets(true, false);
     }},
    {"device lost", [] { renderSeams.endDrawResult = LoseTheDeviceEveryTime; }},
    {"device back", [] { renderSeams.endDrawResult = nullptr; }},
};

// At 96 DPI, at 125 % (frame units between pixels) and at 200 %.
class FrameCacheTest : public RenderSceneTest, public testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(Scales, FrameCacheTest, testing::Values(96, 120, 192));

TEST_P(FrameCacheTest, AfterEachKindOfChangeThePushedFrameEqualsOneDrawnFromScratch) {
  SceneOptions options;
  options.dpi = GetParam();
  options.x = options.y = 100;  // the 200 % frame and its backdrop on the screen
  Reopen(options);
  ASSERT_EQ(PushFrame(), 1);
  for (const FrameChange& row : kFrameChanges) {
    SCOPED_TRACE(row.what);
    row.change();
    ASSERT_EQ(PushFrame(), 1);
    const std::vector<DWORD> pushed = LastPushedPixels();
    const std::vector<DWORD> scratch = FrameDrawnFromScratch();
    ASSERT_EQ(pushed.size(), scratch.size());
    size_t differing = 0, first = pushed.size();
    for (size_t at = 0; at < pushed.size(); ++at) {
      if (pushed[at] == scratch[at]) continue;
      if (differing++ == 0) first = at;
    }
    EXPECT_EQ(differing, 0u) << "first at (" << first % SceneWidth() << ", " << first / SceneWidth()
                             << "): pushed " << std::hex << pushed[first] << ", from scratch "
                             << scratch[first];
  }
}

// The highest GDI handle slot among 100 fresh handles. Freed slots are handed out again, so a
// frame that kept its memory context or its bitmap pushes this up with every frame.
// (kWineFactNoGuiResources.)
unsigned HighestFreshGdiSlot() {
  NoteWineFact(kWineFactNoGuiResources);
  std::vector<HDC> probes;
  unsigned highest = 0;
  for (int i = 0; i < 100; ++i) {
    probes.push_back(CreateCompatibleDC(nullptr));
    highest = std::max<unsigned>(highest, LOWORD(reinterpret_cast<ULONG_PTR>(probes.back())));
  }
  for (HDC probe : probes) DeleteDC(probe);
  return highest;
}

// A whole frame, and every way a frame can stop before it is pushed: RenderFrame reports
// whether it pushed and leaves no GDI object behind (each frame makes a memory context and a
// window-sized bitmap), whatever it had made by then.
struct EarlyStop {
  const char* name;
  // Brings the stop about; the frame is painted into `window` with `paint`.
  void (*arrange)(HWND& window, PAINTSTRUCT& paint);
  int pushed = 0;
};

void DropDeviceResourcesAndFactory(HWND&, PAINTSTRUCT&) {
  DiscardDeviceResources();
  renderer.d2dFactory.Reset();
}
void WindowThatIsGone(HWND& window, PAINTSTRUCT&) {
  window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
  DestroyWindow(window);
}
void WindowWithoutArea(HWND& window, PAINTSTRUCT&) {
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
// A context that no longer exists: no bitmap can be made compatible with it, after the frame's
// own memory context has been.
void PaintContextThatIsGone(HWND&, PAINTSTRUCT& paint) {
  paint.hdc = CreateCompatibleDC(nullptr);
  DeleteDC(paint.hdc);
}
// A memory context holds a one-bit bitmap, so the frame's bitmap is one-bit too: under Wine the
// target binds to it and the push is refused, after the context and the bitmap have been made.
// (The early return of a refused bind cannot be brought about from outside.)
void PaintContextOfOneBit(HWND&, PAINTSTRUCT& paint) {
  static UniqueMemoryDC oneBit(CreateCompatibleDC(nullptr));
  paint.hdc = oneBit.Get();
}

const EarlyStop kEarlyStops[] = {
    {"WholeFrame", [](HWND&, PAINTSTRUCT&) {}, 1},
    {"NoDeviceResources", DropDeviceResourcesAndFactory},
    {"WindowGone", WindowThatIsGone},
    {"WindowWithoutArea", WindowWithoutArea},
    {"NoCompatibleBitmap", PaintContextThatIsGone},
    {"OneBitPaintContext", PaintContextOfOneBit},
};

class FrameEndTest : public RenderSceneTest, public testing::WithParamInterface<EarlyStop> {};

TEST_P(FrameEndTest, ReportWhetherTheyPushedAndGiveBackTheirGdiObjects) {
  ASSERT_EQ(PushFrame(), 1);
  HWND window = SceneFrameWindow();
  WindowDC windowDC(window);
  PAINTSTRUCT paint = {};
  paint.hdc = windowDC.Get();
  GetParam().arrange(window, paint);
  const unsigned before = HighestFreshGdiSlot();
  for (int frame = 0; frame < 30; ++frame) {
    ASSERT_EQ(RenderFrame(window, paint), GetParam().pushed) << frame;
  }
  EXPECT_LE(HighestFreshGdiSlot(), before + 4);
}

INSTANTIATE_TEST_SUITE_P(EveryEnd, FrameEndTest, testing::ValuesIn(kEarlyStops),
                         [](const auto& info) { return std::string(info.param.name); });

// Screenshots of one frame in each direction, kept with the build for a person to look at.
TEST_F(FramePixelsTest, SaveScreenshotsInBothDirections) {
  const std::wstring directory = ArtifactDirectory();
  if (directory.empty()) GTEST_SKIP() << "ZQ_ARTIFACT_DIR is not set";
  for (bool rightToLeft : {false, true}) {
    Reopen({.rightToLeft = rightToLeft});
    ScreenCapture shot = PushedFrame();
    const std::wstring path =
        directory + (rightToLeft ? L"\\render-rtl.png" : L"\\render-ltr.png");
    EXPECT_TRUE(shot.SavePng(path));
  }
}

// --- The settings window opening ---

using CreateWindowFunction = decltype(&CreateWindowExW);
CreateWindowFunction realCreateWindow = nullptr;
bool refuseListBoxes = false;

HWND WINAPI CreateWindowRefusingListBoxes(DWORD exStyle, LPCWSTR className, LPCWSTR name,
                                          DWORD style, int x, int y, int width, int height,
                                          HWND parent, HMENU menu, HINSTANCE module, LPVOID param) {
  if (refuseListBoxes && !IS_INTRESOURCE(className) && std::wcscmp(className, L"LISTBOX") == 0) {
    return nullptr;
  }
  return realCreateWindow(exStyle, className, name, style, x, y, width, height, parent, menu,
                          module, param);
}

// The real settings window, made in this process. Pushes of its first frames refused: it tries
// again on the next paints and shows itself, or after kFirstFrameAttempts says it cannot draw
// and closes. (A renderer that cannot make its device closes it at once: app_e2e_startup.) A
// child window that cannot be made is reported, and the window opens all the same.
TEST(SettingsWindowTest, WhatFailsWhileItOpensIsSaidAndOnlyAFrameNeverShownClosesIt) {
  struct Row {
    const char* name;
    int refusedPushes;
    bool refusedLists;
    bool shown;
    std::vector<std::wstring> boxes;
  };
  const Row rows[] = {
      {"pushes refused, one fewer than allowed", kFirstFrameAttempts - 1, false, true, {}},
      {"every push allowed refused", kFirstFrameAttempts, false, false, {kFrameFailureText}},
      {"the list boxes refused", 0, true, true, {L"Control Creation Error"}},
  };
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));  // as the program does, for the imaging factory
  if (realCreateWindow == nullptr) {
    realCreateWindow = reinterpret_cast<CreateWindowFunction>(ReplaceImport(
        L"user32.dll", "CreateWindowExW", reinterpret_cast<void*>(&CreateWindowRefusingListBoxes)));
  }
  ASSERT_NE(realCreateWindow, nullptr);
  HINSTANCE module = GetModuleHandleW(nullptr);
  std::wcsncpy(windowClassName, L"ZQ Settings Window Test", kTextBufferSize - 1);
  RegisterMainWindowClass(module);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(RefuseLayeredWindowUpdates(row.refusedPushes));
    refuseListBoxes = row.refusedLists;
    const int callsBefore = LayeredWindowUpdateCalls();
    MessageBoxWatch watch;
    ASSERT_EQ(CreateMainWindow(module, SW_SHOWNOACTIVATE), 1);
    HWND window = mainWindow;
    const ULONGLONG deadline = GetTickCount64() + kScreenWaitMs;
    while (IsWindow(window) && LayeredWindowUpdateCalls() - callsBefore <= row.refusedPushes &&
           GetTickCount64() < deadline) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    const int calls = LayeredWindowUpdateCalls() - callsBefore;
    EXPECT_EQ(IsWindow(window) != FALSE, row.shown) << calls << " pushes tried";
    if (row.shown) {
      // Every refused push was tried again; the frame, once shown, may be repainted meanwhile.
      EXPECT_GE(calls, row.refusedPushes + 1);
    } else {
      EXPECT_EQ(calls, kFirstFrameAttempts);
    }
    EXPECT_EQ(watch.Texts(), row.boxes);
    RefuseLayeredWindowUpdates(0);
    refuseListBoxes = false;
    if (IsWindow(window)) DestroyWindow(window);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by WM_DESTROY
  }
  CoUninitialize();
}

// WM_DPICHANGED (another monitor, another scale): before it returns the window has taken the
// suggested rectangle, its child windows their places at the new DPI, and a frame is pushed.
TEST(SettingsWindowTest, ANewDpiPlacesTheWindowAndItsChildrenAndDrawsAFrame) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_TRUE(RefuseLayeredWindowUpdates(0));  // the pushes counted, none refused
  HINSTANCE module = GetModuleHandleW(nullptr);
  std::wcsncpy(windowClassName, L"ZQ Settings Window Test", kTextBufferSize - 1);
  RegisterMainWindowClass(module);
  ASSERT_EQ(CreateMainWindow(module, SW_SHOWNOACTIVATE), 1);
  HWND window = mainWindow;
  struct Row {
    int dpi;
    RECT suggested;
    RECT ok, rangeButton;  // client pixels of the child windows 202 and 210
  };
  const Row rows[] = {
      {192, {100, 50, 1232, 970}, {420, 776, 590, 832}, {616, 330, 922, 394}},
      {120, {90, 40, 798, 615}, {263, 485, 369, 520}, {385, 206, 576, 246}},
      {96, {80, 30, 646, 490}, {210, 388, 295, 416}, {308, 165, 461, 197}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dpi);
    const int calls = LayeredWindowUpdateCalls();
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(row.dpi, row.dpi),
                 reinterpret_cast<LPARAM>(&row.suggested));
    EXPECT_GT(LayeredWindowUpdateCalls(), calls);
    const auto edges = [](const RECT& r) {
      return std::make_tuple(r.left, r.top, r.right, r.bottom);
    };
    RECT now = {};
    GetWindowRect(window, &now);
    EXPECT_EQ(edges(now), edges(row.suggested));
    const std::pair<int, const RECT&> children[] = {{202, row.ok}, {210, row.rangeButton}};
    for (const auto& [id, expected] : children) {
      RECT box = {};
      GetWindowRect(GetDlgItem(window, id), &box);
      MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
      EXPECT_EQ(edges(box), edges(expected)) << id;
    }
    EXPECT_EQ(renderer.dpi, row.dpi);
  }
  DestroyWindow(window);
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by WM_DESTROY
  CoUninitialize();
}

}  // namespace
