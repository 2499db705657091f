// The rendering engine under Wine: device resources, the widget list, image decoding, and what
// a pushed frame shows on the screen, read back from the display with the window's own
// artwork, in both reading directions; and the settings window opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
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
  PixelBox found;
  for (int y = region.top; y < region.bottom; ++y) {
    for (int x = region.left; x < region.right; ++x) {
      const Rgb c = capture.At(x, y);
      if (std::max({c.r, c.g, c.b}) <= threshold) continue;
      if (found.empty) {
        found = {x, y, x + 1, y + 1, false};
      } else {
        found.left = std::min(found.left, x);
        found.top = std::min(found.top, y);
        found.right = std::max(found.right, x + 1);
        found.bottom = std::max(found.bottom, y + 1);
      }
    }
  }
  return found;
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

// Every reference the Renderer holds for drawing, to tell made from kept.
struct ResourceSnapshot {
  ComPtr<ID2D1DCRenderTarget> target;
  std::vector<ComPtr<IUnknown>> brushes;
  TextFormats formats;

  static ResourceSnapshot Take() {
    ResourceSnapshot s;
    s.target = renderer.device.target;
    const Brushes& b = renderer.device.brushes;
    for (IUnknown* p : std::initializer_list<IUnknown*>{
             b.white.Get(), b.dimWhite.Get(), b.borderGray.Get(), b.shadow.Get(),
             b.hoverBorder.Get(), b.normalFace.Get(), b.hoverFace.Get(), b.disabledFace.Get()}) {
      s.brushes.emplace_back(p);
    }
    s.formats = renderer.formats;
    return s;
  }
};

// The four formats' objects, to compare kept with made in one check.
std::array<IDWriteTextFormat*, 4> Formats(const TextFormats& f) {
  return {f.body.Get(), f.field.Get(), f.label.Get(), f.button.Get()};
}

// How many pixels two captures of one area differ in: 0 when the frame is the same.
size_t PixelsDiffering(const ScreenCapture& a, const ScreenCapture& b) {
  if (a.pixels.size() != b.pixels.size()) return std::max(a.pixels.size(), b.pixels.size());
  size_t differing = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
  return differing;
}

bool AnyFormat(const TextFormats& f) { return f.body || f.field || f.label || f.button; }
bool AllFormats(const TextFormats& f) { return f.body && f.field && f.label && f.button; }

// A DirectWrite factory that passes every call on to the real one, except that it refuses to
// make text formats while `refuse` is set.
class FormatRefusingFactory final : public IDWriteFactory {
 public:
  explicit FormatRefusingFactory(IDWriteFactory* real) : real_(real) {}
  bool refuse = true;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IDWriteFactory))) {
      *out = static_cast<IDWriteFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateTextFormat(const WCHAR* family, IDWriteFontCollection* fonts,
                                             DWRITE_FONT_WEIGHT weight, DWRITE_FONT_STYLE style,
                                             DWRITE_FONT_STRETCH stretch, FLOAT size,
                                             const WCHAR* locale,
                                             IDWriteTextFormat** format) override {
    if (refuse) {
      *format = nullptr;
      return E_OUTOFMEMORY;
    }
    return real_->CreateTextFormat(family, fonts, weight, style, stretch, size, locale, format);
  }
  HRESULT STDMETHODCALLTYPE CreateTextLayout(const WCHAR* text, UINT32 length,
                                             IDWriteTextFormat* format, FLOAT width,
                                             FLOAT height, IDWriteTextLayout** layout) override {
    return real_->CreateTextLayout(text, length, format, width, height, layout);
  }
  // Everything else as the real factory does it.
  HRESULT STDMETHODCALLTYPE GetSystemFontCollection(IDWriteFontCollection** c, WINBOOL u) override {
    return real_->GetSystemFontCollection(c, u);
  }
  HRESULT STDMETHODCALLTYPE CreateCustomFontCollection(IDWriteFontCollectionLoader* l,
                                                       const void* k, UINT32 n,
                                                       IDWriteFontCollection** c) override {
    return real_->CreateCustomFontCollection(l, k, n, c);
  }
  HRESULT STDMETHODCALLTYPE RegisterFontCollectionLoader(IDWriteFontCollectionLoader* l) override {
    return real_->RegisterFontCollectionLoader(l);
  }
  HRESULT STDMETHODCALLTYPE UnregisterFontCollectionLoader(IDWriteFontCollectionLoader* l) override {
    return real_->UnregisterFontCollectionLoader(l);
  }
  HRESULT STDMETHODCALLTYPE CreateFontFileReference(const WCHAR* p, const FILETIME* t,
                                                    IDWriteFontFile** f) override {
    return real_->CreateFontFileReference(p, t, f);
  }
  HRESULT STDMETHODCALLTYPE CreateCustomFontFileReference(const void* k, UINT32 n,
                                                          IDWriteFontFileLoader* l,
                                                          IDWriteFontFile** f) override {
    return real_->CreateCustomFontFileReference(k, n, l, f);
  }
  HRESULT STDMETHODCALLTYPE CreateFontFace(DWRITE_FONT_FACE_TYPE t, UINT32 n,
                                           IDWriteFontFile* const* f, UINT32 i,
                                           DWRITE_FONT_SIMULATIONS s,
                                           IDWriteFontFace** face) override {
    return real_->CreateFontFace(t, n, f, i, s, face);
  }
  HRESULT STDMETHODCALLTYPE CreateRenderingParams(IDWriteRenderingParams** p) override {
    return real_->CreateRenderingParams(p);
  }
  HRESULT STDMETHODCALLTYPE CreateMonitorRenderingParams(HMONITOR m,
                                                         IDWriteRenderingParams** p) override {
    return real_->CreateMonitorRenderingParams(m, p);
  }
  HRESULT STDMETHODCALLTYPE CreateCustomRenderingParams(FLOAT g, FLOAT e, FLOAT c,
                                                        DWRITE_PIXEL_GEOMETRY pg,
                                                        DWRITE_RENDERING_MODE m,
                                                        IDWriteRenderingParams** p) override {
    return real_->CreateCustomRenderingParams(g, e, c, pg, m, p);
  }
  HRESULT STDMETHODCALLTYPE RegisterFontFileLoader(IDWriteFontFileLoader* l) override {
    return real_->RegisterFontFileLoader(l);
  }
  HRESULT STDMETHODCALLTYPE UnregisterFontFileLoader(IDWriteFontFileLoader* l) override {
    return real_->UnregisterFontFileLoader(l);
  }
  HRESULT STDMETHODCALLTYPE CreateTypography(IDWriteTypography** t) override {
    return real_->CreateTypography(t);
  }
  HRESULT STDMETHODCALLTYPE GetGdiInterop(IDWriteGdiInterop** g) override {
    return real_->GetGdiInterop(g);
  }
  HRESULT STDMETHODCALLTYPE CreateGdiCompatibleTextLayout(const WCHAR* s, UINT32 n,
                                                          IDWriteTextFormat* f, FLOAT w, FLOAT h,
                                                          FLOAT p, const DWRITE_MATRIX* m,
                                                          WINBOOL g,
                                                          IDWriteTextLayout** l) override {
    return real_->CreateGdiCompatibleTextLayout(s, n, f, w, h, p, m, g, l);
  }
  HRESULT STDMETHODCALLTYPE CreateEllipsisTrimmingSign(IDWriteTextFormat* f,
                                                       IDWriteInlineObject** o) override {
    return real_->CreateEllipsisTrimmingSign(f, o);
  }
  HRESULT STDMETHODCALLTYPE CreateTextAnalyzer(IDWriteTextAnalyzer** a) override {
    return real_->CreateTextAnalyzer(a);
  }
  HRESULT STDMETHODCALLTYPE CreateNumberSubstitution(DWRITE_NUMBER_SUBSTITUTION_METHOD m,
                                                     const WCHAR* l, WINBOOL i,
                                                     IDWriteNumberSubstitution** s) override {
    return real_->CreateNumberSubstitution(m, l, i, s);
  }
  HRESULT STDMETHODCALLTYPE CreateGlyphRunAnalysis(const DWRITE_GLYPH_RUN* r, FLOAT p,
                                                   const DWRITE_MATRIX* t,
                                                   DWRITE_RENDERING_MODE m,
                                                   DWRITE_MEASURING_MODE mm, FLOAT x, FLOAT y,
                                                   IDWriteGlyphRunAnalysis** a) override {
    return real_->CreateGlyphRunAnalysis(r, p, t, m, mm, x, y, a);
  }

 private:
  ComPtr<IDWriteFactory> real_;
  std::atomic<ULONG> references_{1};
};

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
  void TearDown() override { CloseScene(); }
  void Reopen(const SceneOptions& options) {
    CloseScene();
    ASSERT_TRUE(OpenScene(options));
  }
  Widget& At(int position) { return renderer.widgets.items[position]; }
};

// --- Device resources ---

using DeviceResourcesTest = RenderSceneTest;

TEST_F(DeviceResourcesTest, FirstEnsureMakesEverything) {
  ASSERT_FALSE(renderer.device.target);
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  ResourceSnapshot made = ResourceSnapshot::Take();
  EXPECT_TRUE(made.target);
  for (const auto& brush : made.brushes) EXPECT_TRUE(brush);
  EXPECT_TRUE(AllFormats(made.formats));
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
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.format, nullptr);
    wchar_t family[32] = {};
    c.format->GetFontFamilyName(family, 32);
    EXPECT_STREQ(family, L"Arial");
    EXPECT_EQ(c.format->GetFontWeight(), c.weight);
    EXPECT_EQ(c.format->GetFontStyle(), DWRITE_FONT_STYLE_NORMAL);
    EXPECT_EQ(c.format->GetFontStretch(), DWRITE_FONT_STRETCH_NORMAL);
    EXPECT_EQ(c.format->GetFontSize(), c.size);
    EXPECT_EQ(c.format->GetTextAlignment(), c.text);
    EXPECT_EQ(c.format->GetParagraphAlignment(), c.paragraph);
  }
}

TEST_F(DeviceResourcesTest, EnsureWithEverythingPresentMakesNothing) {
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  ResourceSnapshot before = ResourceSnapshot::Take();
  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  ResourceSnapshot after = ResourceSnapshot::Take();
  EXPECT_EQ(after.target.Get(), before.target.Get());
  for (size_t i = 0; i < before.brushes.size(); ++i) {
    EXPECT_EQ(after.brushes[i].Get(), before.brushes[i].Get()) << "brush " << i;
  }
  EXPECT_EQ(Formats(after.formats), Formats(before.formats));
}

// The text formats do not depend on the device: they outlive it.
TEST_F(DeviceResourcesTest, AfterDiscardTheNextEnsureMakesTargetResourcesAndKeepsTheFormats) {
  ASSERT_EQ(PushFrame(), 1);
  ResourceSnapshot old = ResourceSnapshot::Take();  // held, so new objects get new addresses

  DiscardDeviceResources();
  EXPECT_FALSE(renderer.device.target);
  for (const auto& brush : ResourceSnapshot::Take().brushes) EXPECT_FALSE(brush);
  EXPECT_FALSE(renderer.device.cache.target || renderer.device.cache.bitmap);
  EXPECT_TRUE(renderer.device.cache.shown.widgets.empty());

  ASSERT_EQ(EnsureDeviceResources(), S_OK);
  ResourceSnapshot made = ResourceSnapshot::Take();
  ASSERT_TRUE(made.target);
  EXPECT_NE(made.target.Get(), old.target.Get());
  for (size_t i = 0; i < old.brushes.size(); ++i) {
    ASSERT_TRUE(made.brushes[i]) << "brush " << i;
    EXPECT_NE(made.brushes[i].Get(), old.brushes[i].Get()) << "brush " << i;
  }
  EXPECT_EQ(Formats(made.formats), Formats(old.formats));
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
  EXPECT_FALSE(renderer.d2dFactory || renderer.textFactory || renderer.imagingFactory);
  EXPECT_FALSE(AnyFormat(renderer.formats));
  EXPECT_EQ(decodedImages(), 0) << "decoded images outlive the factories";
}

// A text format that cannot be made is reported once, when the failure begins; no frame is drawn
// while it lasts, however many paints come, and the first paint after it ends draws again.
TEST_F(DeviceResourcesTest, AFailedTextFormatIsReportedOnceAndNoFrameIsDrawnWhileItLasts) {
  At(kWidgetDisableCheckBox).checked = 0;
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture last = CaptureFrame();

  DiscardDeviceResources();
  renderer.formats = TextFormats{};
  auto* refusing = new FormatRefusingFactory(renderer.textFactory.Get());
  renderer.textFactory.Attach(refusing);
  At(kWidgetDisableCheckBox).checked = 1;  // would dim the labels if a frame were drawn
  {
    MessageBoxWatch watch;
    const int pushed = FramesPushed();
    for (int paint = 0; paint < 3; ++paint) ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(FramesPushed(), pushed);
    EXPECT_FALSE(AnyFormat(renderer.formats));
    EXPECT_EQ(PixelsDiffering(CaptureFrame(), last), 0u);
    EXPECT_EQ(EnsureDeviceResources(), E_FAIL);

    refusing->refuse = false;
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_TRUE(AllFormats(renderer.formats));
    ScreenCapture drawn = CaptureFrame();
    EXPECT_GT(PixelsDiffering(drawn, last), 0u);
    EXPECT_NEAR(MaxLevel(drawn, {74, 164, 274, 194}), 173, 4) << "the dimmed label is drawn";
    // The report is a modal box inside the failing paint, kept by the watch before it answers.
    const std::vector<std::wstring> texts = watch.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"Fail CreateTextFormat"), std::wstring::npos);
  }
}

// A paint without one of the factories draws nothing: the window keeps showing its last frame,
// and once the factories are back the next paint draws again.
TEST_F(DeviceResourcesTest, APaintWithAMissingFactoryKeepsTheLastFrame) {
  const char* names[] = {"Direct2D", "DirectWrite", "imaging"};
  for (int missing = 0; missing < 3; ++missing) {
    SCOPED_TRACE(names[missing]);
    At(kWidgetDisableCheckBox).checked = 0;
    ASSERT_EQ(PushFrame(), 1);
    ScreenCapture last = CaptureFrame();

    DiscardDeviceResources();
    if (missing == 0) renderer.d2dFactory.Reset();
    if (missing == 1) renderer.textFactory.Reset();
    if (missing == 2) renderer.imagingFactory.Reset();
    At(kWidgetDisableCheckBox).checked = 1;  // would dim the labels if a frame were drawn
    const int pushed = FramesPushed();
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_EQ(FramesPushed(), pushed);
    EXPECT_FALSE(renderer.device.target);
    EXPECT_EQ(PixelsDiffering(CaptureFrame(), last), 0u);

    ASSERT_EQ(CreateFactories(SceneFrameWindow()), S_OK);
    ASSERT_EQ(PushFrame(), 1);
    EXPECT_TRUE(renderer.device.target);
    EXPECT_GT(PixelsDiffering(CaptureFrame(), last), 0u);
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
  EXPECT_EQ(last.id, 214);
  EXPECT_EQ(last.left, 21.0f);
  EXPECT_EQ(last.top, 2.0f);
  EXPECT_EQ(last.right, 3.0f);
  EXPECT_EQ(last.bottom, 4.0f);
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
}

TEST(WidgetListTest, CaptionsAreCutToTheSlotAndAlwaysTerminated) {
  struct Case {
    size_t length;
    size_t kept;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {1022, 1022}, {1023, 1023}, {1024, 1023}, {5000, 1023}};
  for (const Case& c : cases) {
    WidgetList list;
    std::wstring caption(c.length, L'x');
    ASSERT_EQ(AddWidget(list, 1, 0, 0, 1, 1, caption.c_str()), 1);
    EXPECT_EQ(wcsnlen(list.items[0].text[0], kWidgetTextCapacity), c.kept) << c.length;
  }
  WidgetList list;
  ASSERT_EQ(AddWidget(list, 1, 0, 0, 1, 1, nullptr), 1);
  EXPECT_STREQ(list.items[0].text[0], L"");
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
  for (int position : {kWidgetBackground, kWidgetRangeButton, kWidgetOffDelayButton,
                       kWidgetDisableCheckBox}) {
    EXPECT_TRUE(At(position).bitmap) << position;
  }
  for (int position : {kWidgetOnDelayButton, kWidgetRangeList, kWidgetOffDelayList,
                       kWidgetOnDelayList, kWidgetRowHighlight, kWidgetCheckMark}) {
    EXPECT_FALSE(At(position).bitmap) << "hidden widget " << position;
  }
  for (int frame = 0; frame < 20; ++frame) PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, 4);
}

TEST_F(ImageDecodeTest, AChangedImageIsDecodedOnceOnTheNextFrame) {
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture normal = CaptureFrame();
  const long decodes = renderSeams.imageDecodes;

  SetWidgetImage(At(kWidgetRangeButton),
                 FindWidgetImage(renderer.widgets.module, L"IDI_COMBOBKHOVER"));
  EXPECT_FALSE(At(kWidgetRangeButton).bitmap);
  for (int frame = 0; frame < 5; ++frame) PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, decodes + 1);
  ScreenCapture hover = CaptureFrame();
  EXPECT_NE(hover.At(400, 170).r, normal.At(400, 170).r) << "the hover picture is shown";
}

TEST_F(ImageDecodeTest, AResourceChangedWithoutDroppingTheBitmapKeepsTheOldPicture) {
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture before = CaptureFrame();
  const long decodes = renderSeams.imageDecodes;
  At(kWidgetRangeButton).imageResource =
      FindWidgetImage(renderer.widgets.module, L"IDI_COMBOBKHOVER");
  PushFrame();
  EXPECT_EQ(renderSeams.imageDecodes, decodes);
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), before), 0u);
}

HRESULT LoseTheDeviceOnce(HRESULT result) {
  static int calls = 0;
  return calls++ == 0 ? static_cast<HRESULT>(D2DERR_RECREATE_TARGET) : result;
}

TEST_F(ImageDecodeTest, ADeviceLossRecreatesTheResourcesButDecodesNothingAgain) {
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture before = CaptureFrame();
  ResourceSnapshot old = ResourceSnapshot::Take();
  const long decodes = renderSeams.imageDecodes;

  renderSeams.endDrawResult = LoseTheDeviceOnce;
  ASSERT_EQ(PushFrame(), 1);
  // Discarded, but the frame drawn so far was still pushed.
  EXPECT_FALSE(renderer.device.target);
  EXPECT_EQ(Formats(renderer.formats), Formats(old.formats));
  EXPECT_EQ(PixelsDiffering(CaptureFrame(), before), 0u);
  for (int position : {kWidgetBackground, kWidgetRangeButton, kWidgetDisableCheckBox}) {
    EXPECT_TRUE(At(position).bitmap) << "the cache survives a device loss: " << position;
  }

  ASSERT_EQ(PushFrame(), 1);
  ASSERT_TRUE(renderer.device.target);
  EXPECT_NE(renderer.device.target.Get(), old.target.Get());
  EXPECT_NE(renderer.device.brushes.white.Get(), static_cast<IUnknown*>(old.brushes[0].Get()));
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
    if (image != nullptr) {
      ASSERT_NE(ok.imageResource, nullptr);
    }
    const long decodes = renderSeams.imageDecodes;
    PushFrame();
    PushFrame();
    EXPECT_FALSE(ok.bitmap);
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
  BOOL readable;
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

TEST_F(DisplayModeTest, ThisDisplayGetsPerPixelAlpha) {
  ASSERT_EQ(PushFrame(), 1);
  EXPECT_EQ(renderer.opaqueUpdate, 0);
  EXPECT_EQ(renderSeams.lastUpdateFlags, static_cast<DWORD>(ULW_ALPHA));
  ScreenCapture shot = CaptureFrame();
  EXPECT_PIXEL(shot, 2, 2, kBackdrop, 0);
}

// The flag itself is what is checked here, and a corner may be either
// (kWineFactTransparentPixelsAreHoles).
TEST_F(DisplayModeTest, A16BitOrUnreadableModePushesTheFrameOpaque) {
  NoteWineFact(kWineFactTransparentPixelsAreHoles);
  const ModeAnswer answers[] = {
      {"16 bits", TRUE, 16, 1},
      {"unreadable", FALSE, 32, 1},
      {"32 bits", TRUE, 32, 0},
      {"24 bits", TRUE, 24, 0},
      {"8 bits", TRUE, 8, 0},
      {"16 bits again, after a deep mode", TRUE, 16, 1},
  };
  renderSeams.readDisplayMode = AnswerDisplayMode;
  for (const ModeAnswer& answer : answers) {
    SCOPED_TRACE(answer.what);
    modeAnswer = answer;
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

TEST_F(FramePixelsTest, PanelIsGreyAndTheMarginShowsWhatLiesBeneath) {
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture shot = CaptureFrame();
  for (POINT corner : {POINT{0, 0}, POINT{3, 3}, POINT{562, 3}, POINT{3, 456}, POINT{565, 459}}) {
    EXPECT_PIXEL(shot, corner.x, corner.y, kBackdrop, 0);
  }
  for (POINT panel : {POINT{283, 300}, POINT{25, 230}, POINT{540, 230}, POINT{283, 120}}) {
    EXPECT_PIXEL(shot, panel.x, panel.y, Grey(91), 1);
  }
  // The window behind, just outside the frame, is untouched.
  ScreenCapture around = CaptureScreen(shot.left - 10, shot.top - 10, 5, 5);
  EXPECT_PIXEL(around, 2, 2, kBackdrop, 0);
}

TEST_F(FramePixelsTest, TheFrameFollowsTheWindowWhenItMoves) {
  ASSERT_EQ(PushFrame(), 1);
  SetWindowPos(SceneFrameWindow(), nullptr, 340, 230, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture shot = CaptureScreen(340, 230, kFrameWidth, kFrameHeight);
  EXPECT_PIXEL(shot, 283, 300, Grey(91), 1);
  EXPECT_PIXEL(shot, 2, 2, kBackdrop, 0);
}

// The OK button (210, 388, 295, 416) in each look.
TEST_F(FramePixelsTest, ButtonLooks) {
  Widget& ok = At(kWidgetOk);

  // Normal: a gradient from grey 132 at the top edge towards 123 thirty units below, no
  // border, a white caption, and the shadow one unit right and down.
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture normal = CaptureFrame();
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
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture hover = CaptureFrame();
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
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture disabled = CaptureFrame();
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
  ASSERT_EQ(PushFrame(), 1);
  ScreenCapture closed = CaptureFrame();
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

TEST_F(FramePixelsTest, EveryFrameTextIsDrawnInsideItsBoxInBothDirections) {
  const LabelCase cases[] = {
      {kStringDescription, FrameText::kDescription, {24, 54, 542, 145}, {24, 54, 542, 145}},
      {kStringRangeLabel, FrameText::kRangeLabel, {24, 150, 304, 215}, {282, 150, 545, 215}},
      {kStringOffDelayLabel, FrameText::kOffDelayLabel, {24, 215, 304, 280}, {282, 215, 545, 280}},
      {kStringDisableSensor, FrameText::kDisableLabel, {88, 325, 300, 368}, {240, 325, 488, 368}},
      {kStringWaitingForService, FrameText::kWaitingLine, {24, 262, 542, 322}, {24, 262, 542, 322}},
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
      // Which side the text keeps to follows the reading direction.
      switch (c.text) {
        case FrameText::kRangeLabel:
        case FrameText::kOffDelayLabel:  // trailing: next to the field buttons
          if (rightToLeft) {
            EXPECT_LE(drawn.left, box.left + 4);
          } else {
            EXPECT_GE(drawn.right, box.right - 4);
          }
          break;
        case FrameText::kDescription:
        case FrameText::kDisableLabel:  // leading
        case FrameText::kWaitingLine:
          if (rightToLeft) {
            EXPECT_GE(drawn.right, box.right - 4);
          } else {
            EXPECT_LE(drawn.left, box.left + 4);
          }
          break;
      }
    }
  }
}

TEST_F(FramePixelsTest, FieldButtonCaptionsKeepToTheirLeadingSide) {
  for (bool rightToLeft : {false, true}) {
    SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
    Reopen({.rightToLeft = rightToLeft});
    ASSERT_EQ(PushFrame(), 1);
    ScreenCapture shot = CaptureFrame();
    const int x = rightToLeft ? 124 : 308;
    // The picture's arrow takes the last 20 units; the caption lies left of it.
    const PixelBox drawn = BrightPixels(shot, {x, 165, x + 133, 197}, kTextThreshold);
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
    ASSERT_EQ(PushFrame(), 1);
    ScreenCapture shot = CaptureFrame();
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
  struct Level {
    int range, offDelay, disable;
  };
  Level levels[2];
  for (int checked = 0; checked < 2; ++checked) {
    At(kWidgetDisableCheckBox).checked = checked;
    ASSERT_EQ(PushFrame(), 1);
    ScreenCapture shot = CaptureFrame();
    levels[checked] = {MaxLevel(shot, {74, 164, 274, 194}), MaxLevel(shot, {74, 224, 274, 254}),
                       MaxLevel(shot, {94, 339, 264, 355})};
  }
  EXPECT_GE(levels[0].range, 240);
  EXPECT_GE(levels[0].offDelay, 240);
  // White at half opacity over grey 91 is 173.
  EXPECT_NEAR(levels[1].range, 173, 4);
  EXPECT_NEAR(levels[1].offDelay, 173, 4);
  EXPECT_GE(levels[0].disable, 240);
  EXPECT_GE(levels[1].disable, 240);
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
void CloseOffDelayList() {
  for (int position : {kWidgetOffDelayList, kWidgetRowHighlight, kWidgetCheckMark}) {
    WidgetAtPosition(position).visible = 0;
  }
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
       CloseOffDelayList();
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

using FrameCacheTest = RenderSceneTest;

TEST_F(FrameCacheTest, AfterEachKindOfChangeThePushedFrameEqualsOneDrawnFromScratch) {
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
    EXPECT_EQ(differing, 0u) << "first at (" << first % kFrameWidth << ", " << first / kFrameWidth
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

// Each frame makes a memory context and a window-sized bitmap and gives both back.
TEST_F(FramePixelsTest, FramesGiveBackTheirGdiObjects) {
  ASSERT_EQ(PushFrame(), 1);
  const unsigned before = HighestFreshGdiSlot();
  for (int frame = 0; frame < 30; ++frame) ASSERT_EQ(PushFrame(), 1);
  EXPECT_LE(HighestFreshGdiSlot(), before + 4);
}

// Every way a frame can stop before it is pushed: RenderFrame reports 0 and leaves no GDI object
// behind, whatever it had made by then.
struct EarlyStop {
  const char* name;
  // Brings the stop about; the frame is painted into `window` with `paint`.
  void (*arrange)(HWND& window, PAINTSTRUCT& paint);
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
    {"NoDeviceResources", DropDeviceResourcesAndFactory},
    {"WindowGone", WindowThatIsGone},
    {"WindowWithoutArea", WindowWithoutArea},
    {"NoCompatibleBitmap", PaintContextThatIsGone},
    {"OneBitPaintContext", PaintContextOfOneBit},
};

class FramesThatStopEarly : public RenderSceneTest, public testing::WithParamInterface<EarlyStop> {};

TEST_P(FramesThatStopEarly, ReportNothingDrawnAndGiveBackTheirGdiObjects) {
  ASSERT_EQ(PushFrame(), 1);
  HWND window = SceneFrameWindow();
  WindowDC windowDC(window);
  PAINTSTRUCT paint = {};
  paint.hdc = windowDC.Get();
  GetParam().arrange(window, paint);
  const unsigned before = HighestFreshGdiSlot();
  for (int frame = 0; frame < 30; ++frame) ASSERT_EQ(RenderFrame(window, paint), 0) << frame;
  EXPECT_LE(HighestFreshGdiSlot(), before + 4);
}

INSTANTIATE_TEST_SUITE_P(EveryEarlyReturn, FramesThatStopEarly, testing::ValuesIn(kEarlyStops),
                         [](const auto& info) { return std::string(info.param.name); });

// Screenshots of one frame in each direction, kept with the build for a person to look at.
TEST_F(FramePixelsTest, SaveScreenshotsInBothDirections) {
  const std::wstring directory = ArtifactDirectory();
  if (directory.empty()) GTEST_SKIP() << "ZQ_ARTIFACT_DIR is not set";
  for (bool rightToLeft : {false, true}) {
    Reopen({.rightToLeft = rightToLeft});
    ASSERT_EQ(PushFrame(), 1);
    ScreenCapture shot = CaptureFrame();
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
    EXPECT_EQ(calls, row.shown ? row.refusedPushes + 1 : kFirstFrameAttempts);
    EXPECT_EQ(watch.Texts(), row.boxes);
    RefuseLayeredWindowUpdates(0);
    refuseListBoxes = false;
    if (IsWindow(window)) DestroyWindow(window);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by WM_DESTROY
  }
  CoUninitialize();
}

}  // namespace
