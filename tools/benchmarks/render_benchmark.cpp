// Figures of the settings window's rendering under Wine. It prints figures and never judges
// them: a slow machine is not a failure.
//   - RenderFrame for the whole window (the fifteen widgets, the real images), median of many
//     frames: with nothing changed, with only a button's hover changed, with a list open and its
//     highlight moving, with Apply enabled or disabled; beside the platform's floor measured in
//     the same process and window (a DC render target of its own bound to a DIB of the window's
//     size, cleared, one bitmap of that size drawn, pushed), in alternating rounds, with each
//     ratio; at 100 % (566 x 460 pixels) and at 200 % (192 DPI, 1132 x 920), where a whole
//     frame should stay within 1.2 times its floor and a hover-only frame within 1.1 times;
//   - where a frame drawn from scratch spends its time, part by part;
//   - the time from starting <build>/bin/sensorctl.exe to its first pushed frame, found by
//     looking for its window and for its panel's grey on the screen every 10 ms.
//
// By hand (win64 build, a bench up):
//   bash tools/winebench.sh up --state build/bench --private-display
//   bash tools/winebench.sh run --state build/bench --timeout 300
//        build/win64/bin/render_benchmark.exe [frames] [starts]
//   bash tools/winebench.sh down --state build/bench
// ctest runs it with the label "benchmark" (ctest -L benchmark -V); it fails only if it crashes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "sensorctl/app/display_scale.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"
#include "shared/win_handles.h"
#include "tests/render/render_scene.h"

namespace {

constexpr wchar_t kSensorctlClass[] = L"ZQ Proximity Sensor Utility";
// How often the start-up figure looks for the window and its first frame: fine enough beside a
// start of most of a second, and coarse enough to leave the processor to the program.
constexpr DWORD kStartPollMs = 10;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Processor time of this process, all its threads (the software rasteriser's among them), in
// milliseconds. Less swayed than the clock by other programs on a busy machine; the display
// server's share of a push is not in it, alike for every kind of frame.
double ProcessorMs() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

struct Figures {
  double median = 0, minimum = 0, p90 = 0;
};

Figures Summarise(std::vector<double> samples) {
  Figures f;
  if (samples.empty()) return f;
  std::sort(samples.begin(), samples.end());
  f.minimum = samples.front();
  f.median = samples[samples.size() / 2];
  f.p90 = samples[std::min(samples.size() - 1, samples.size() * 9 / 10)];
  return f;
}

void PrintFigures(const char* what, const Figures& f, size_t count) {
  std::printf("  %-46s %8.3f ms  (min %.3f, p90 %.3f, %zu samples)\n", what, f.median, f.minimum,
              f.p90, count);
}

// RenderFrame with a paint structure as WM_PAINT would give it; `change` runs first, untimed.
double TimeOneFrame(HWND window, void (*change)(int frame), int frame) {
  if (change != nullptr) change(frame);
  WindowDC dc(window);
  PAINTSTRUCT paint = {};
  paint.hdc = dc.Get();
  GetClientRect(window, &paint.rcPaint);
  const double start = Now();
  RenderFrame(window, paint);
  return Now() - start;
}

// Pushes a composed frame to the layered window where it stands, as the program does.
void PushComposedFrame(HWND window, const RECT& rect, HDC memory) {
  POINT destination = {rect.left, rect.top};
  SIZE size = {SceneWidth(), SceneHeight()};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(window, nullptr, &destination, &size, memory, &source, 0, &blend,
                      ULW_ALPHA);
}

// The platform's floor for one frame, made with nothing of the renderer: its own factory and DC
// render target (at 96 DPI: pixel for pixel), bound to a new DIB of the window's size, cleared,
// one bitmap of that size drawn, pushed to the same layered window with per-pixel alpha.
struct Floor {
  ComPtr<ID2D1Factory> factory;
  ComPtr<ID2D1DCRenderTarget> target;
  ComPtr<ID2D1Bitmap> picture;
};

bool MakeFloor(Floor& floor) {
  if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                               &floor.factory))) {
    return false;
  }
  const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_SOFTWARE,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 0, 0,
      D2D1_RENDER_TARGET_USAGE_GDI_COMPATIBLE, D2D1_FEATURE_LEVEL_DEFAULT);
  if (FAILED(floor.factory->CreateDCRenderTarget(&properties, &floor.target))) return false;
  floor.target->SetDpi(96.0f, 96.0f);
  std::vector<UINT32> pixels(static_cast<size_t>(SceneWidth()) * SceneHeight(),
                             0xFF5B5B5Bu);  // opaque grey 91
  return SUCCEEDED(floor.target->CreateBitmap(
      D2D1::SizeU(SceneWidth(), SceneHeight()), pixels.data(), SceneWidth() * 4,
      D2D1::BitmapProperties(
          D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
      &floor.picture));
}

double TimeFloorFrame(HWND window, Floor& floor) {
  RECT rect;
  GetWindowRect(window, &rect);
  const double start = Now();
  UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = SceneWidth();
  info.bmiHeader.biHeight = -SceneHeight();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  UniqueGdiObject dib(CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !dib) return 0;
  SelectedObject selection(memory.Get(), dib.Get());
  const RECT bound = {0, 0, SceneWidth(), SceneHeight()};
  floor.target->BindDC(memory.Get(), &bound);
  floor.target->BeginDraw();
  floor.target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f, 0.0f));
  floor.target->DrawBitmap(floor.picture.Get(),
                           D2D1::RectF(0, 0, static_cast<float>(SceneWidth()),
                                       static_cast<float>(SceneHeight())),
                           1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
  floor.target->EndDraw();
  PushComposedFrame(window, rect, memory.Get());
  return Now() - start;
}

// One frame of the renderer's device resources with `draw` in place of the composition: bound,
// cleared, drawn, pushed. For the figures of where a frame's time goes.
double TimePartialFrame(HWND window, void (*draw)()) {
  if (FAILED(EnsureDeviceResources())) return 0;
  RECT rect;
  GetWindowRect(window, &rect);
  WindowDC dc(window);
  const double start = Now();
  UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
  UniqueGdiObject bitmap(CreateCompatibleBitmap(dc.Get(), SceneWidth(), SceneHeight()));
  if (!memory || !bitmap) return 0;
  SelectedObject selection(memory.Get(), bitmap.Get());
  const RECT bound = {0, 0, SceneWidth(), SceneHeight()};
  ID2D1DCRenderTarget* target = renderer.device.target.Get();
  target->BindDC(memory.Get(), &bound);
  target->BeginDraw();
  target->SetTransform(D2D1::Matrix3x2F::Identity());
  target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f, 0.0f));
  if (draw != nullptr) draw();
  target->EndDraw();
  PushComposedFrame(window, rect, memory.Get());
  return Now() - start;
}

// The parts of a frame drawn from scratch, each alone (the other widgets hidden).
void DrawNothing() {}
void DrawFromScratch() { DrawFrameFromScratch(renderer.device.target.Get()); }
// The widgets without their captions: images, faces, borders and shadows.
void DrawShapesOnly() {
  std::vector<wchar_t> firsts;
  for (auto& w : renderer.widgets.items) {
    for (auto& slot : w.text) {
      firsts.push_back(slot[0]);
      slot[0] = L'\0';
    }
  }
  PaintWidgetsFromScratch(renderer.device.target.Get());
  size_t k = 0;
  for (auto& w : renderer.widgets.items) {
    for (auto& slot : w.text) slot[0] = firsts[k++];
  }
}
void DrawWidgetsOnly() { PaintWidgetsFromScratch(renderer.device.target.Get()); }

// Text layouts alone: every caption of the shown widgets laid out, nothing drawn.
double TimeTextLayouts() {
  const double start = Now();
  for (const Widget& w : renderer.widgets.items) {
    if (!w.visible) continue;
    for (const auto& slot : w.text) {
      const UINT32 length = static_cast<UINT32>(wcsnlen(slot, kWidgetTextCapacity));
      if (length == 0) continue;
      ComPtr<IDWriteTextLayout> layout;
      DWRITE_TEXT_METRICS metrics;
      // Asked for its metrics, so that a layout made lazily is timed too.
      if (SUCCEEDED(renderer.textFactory->CreateTextLayout(
              slot, length, renderer.formats.button.Get(), 200, 30, &layout))) {
        layout->GetMetrics(&metrics);
      }
    }
  }
  return Now() - start;
}

// Changes made before each timed frame.
void HoverOnly(int frame) { renderer.widgets.items[kWidgetOk].hovered = frame % 2; }
void RowUnderPointer(int frame) {
  Widget& highlight = renderer.widgets.items[kWidgetRowHighlight];
  const Widget& list = renderer.widgets.items[kWidgetOffDelayList];
  const float rowHeight = (highlight.bottom - highlight.top);
  const float top = list.top + 8 + (frame % 3) * rowHeight;
  highlight.bottom = top + rowHeight;
  highlight.top = top;
  highlight.visible = 1;
}
void ApplyToggled(int frame) { renderer.widgets.items[kWidgetApply].enabled = frame % 2; }

struct Row {
  const char* what;
  Figures figures;
  size_t count;
};

// What a scale's frames should stay within, as multiples of the floor (0: no target).
struct Targets {
  double whole = 0, hover = 0;
};

// `withParts`: also where a frame drawn from scratch spends its time.
void MeasureFrames(int frames, int dpi, const Targets& targets, bool withParts) {
  SceneOptions options;
  options.dpi = dpi;
  options.x = options.y = 100;  // the 200 % window and its backdrop on the 1920 x 1080 screen
  if (!OpenScene(options)) {
    std::printf("  frames: not available (the test window could not be made)\n");
    return;
  }
  HWND window = SceneFrameWindow();
  // The first frame is timed cold: no paint has run in this scene, so this frame makes the
  // device resources and decodes the images. Opening the scene runs the queued messages; were
  // a paint among them, the figure would be a warm one and is not printed as the cold one.
  const bool cold = FramePaintCount() == 0 && FramesPushed() == 0 && !renderer.device.target &&
                    renderSeams.imageDecodes == 0;
  const double first = TimeOneFrame(window, nullptr, 0);
  const bool madeResources = static_cast<bool>(renderer.device.target);
  if (cold && madeResources) {
    std::printf("  %-46s %8.3f ms  (%ld images decoded)\n",
                "RenderFrame, cold first frame (resources, decoding)", first,
                renderSeams.imageDecodes);
  } else {
    std::printf("  RenderFrame, cold first frame: not available (%s)\n",
                cold ? "the frame made no device resources" : "a paint ran before it");
  }
  Floor floor;
  if (!MakeFloor(floor)) {
    std::printf("  the floor: not available (its render target could not be made)\n");
    CloseScene();
    return;
  }

  // Rounds alternate between the kinds of frame, so that a machine that slows down or speeds up
  // meanwhile touches all of them alike.
  enum { kFloor, kWhole, kHover, kList, kRebuilt, kKinds };
  std::vector<double> samples[kKinds];
  double processor[kKinds] = {};  // processor time over all frames of each kind
  auto timed = [&processor](int kind, const auto& batch) {
    const double before = ProcessorMs();
    batch();
    processor[kind] += ProcessorMs() - before;
  };
  Widget& list = renderer.widgets.items[kWidgetOffDelayList];
  Widget& mark = renderer.widgets.items[kWidgetCheckMark];
  const int rounds = 10;
  const int perRound = std::max(1, frames / rounds);
  for (int round = 0; round < rounds; ++round) {
    timed(kFloor, [&] {
      for (int i = 0; i < perRound; ++i) samples[kFloor].push_back(TimeFloorFrame(window, floor));
    });
    timed(kWhole, [&] {
      for (int i = 0; i < perRound; ++i) samples[kWhole].push_back(TimeOneFrame(window, nullptr, i));
    });
    timed(kHover, [&] {
      for (int i = 0; i < perRound; ++i) {
        samples[kHover].push_back(TimeOneFrame(window, HoverOnly, i));
      }
    });
    HoverOnly(0);
    list.visible = mark.visible = 1;
    timed(kList, [&] {
      for (int i = 0; i < perRound; ++i) {
        samples[kList].push_back(TimeOneFrame(window, RowUnderPointer, i));
      }
    });
    list.visible = mark.visible = renderer.widgets.items[kWidgetRowHighlight].visible = 0;
    timed(kRebuilt, [&] {
      for (int i = 0; i < perRound; ++i) {
        samples[kRebuilt].push_back(TimeOneFrame(window, ApplyToggled, i));
      }
    });
    ApplyToggled(0);
  }
  const Row rows[] = {
      {"the floor (DC target, DIB, Clear, bitmap, push)", Summarise(samples[kFloor]), 0},
      {"RenderFrame, whole window, nothing changed", Summarise(samples[kWhole]), 0},
      {"RenderFrame, only the hover changed", Summarise(samples[kHover]), 0},
      {"RenderFrame, a list open, its highlight moved", Summarise(samples[kList]), 0},
      {"RenderFrame, Apply enabled or disabled", Summarise(samples[kRebuilt]), 0},
  };
  const double floorMedian = rows[0].figures.median;
  for (int kind = 0; kind < kKinds; ++kind) {
    PrintFigures(rows[kind].what, rows[kind].figures, samples[kind].size());
  }
  const double floorProcessor = processor[kFloor] / static_cast<double>(samples[kFloor].size());
  std::printf("  ratio to the floor: medians of the clock; processor time of this process per "
              "frame (floor %.3f ms):\n", floorProcessor);
  for (int kind = kWhole; kind < kKinds; ++kind) {
    const double perFrame = processor[kind] / static_cast<double>(samples[kind].size());
    std::printf("    %-44s %8.2f x   %8.3f ms %6.2f x\n", rows[kind].what + 13,
                floorMedian > 0 ? rows[kind].figures.median / floorMedian : 0.0, perFrame,
                floorProcessor > 0 ? perFrame / floorProcessor : 0.0);
  }
  const std::pair<int, double> goals[] = {{kWhole, targets.whole}, {kHover, targets.hover}};
  for (const auto& [kind, goal] : goals) {
    if (goal <= 0 || floorMedian <= 0) continue;
    const double ratio = rows[kind].figures.median / floorMedian;
    std::printf("    target: %-36s %8.2f x of the floor, within %.1f x: %s\n",
                rows[kind].what + 13, ratio, goal, ratio <= goal ? "yes" : "NO");
  }

  if (!withParts) {
    std::printf("  %-46s %8ld\n", "images decoded over all frames", renderSeams.imageDecodes);
    CloseScene();
    return;
  }
  // Where a frame drawn from scratch spends its time: each part alone in a frame of its own.
  std::printf("  a frame drawn from scratch, part by part (medians):\n");
  struct Part {
    const char* what;
    void (*draw)();
  };
  const Part parts[] = {
      {"bind, clear, push", DrawNothing},
      {"+ the widgets' shapes and images", DrawShapesOnly},
      {"+ the widgets and their captions", DrawWidgetsOnly},
      {"+ the frame texts (the whole frame)", DrawFromScratch},
  };
  for (const Part& part : parts) {
    std::vector<double> times;
    const double before = ProcessorMs();
    for (int i = 0; i < perRound * 2; ++i) times.push_back(TimePartialFrame(window, part.draw));
    const double perFrame = (ProcessorMs() - before) / static_cast<double>(times.size());
    PrintFigures(part.what, Summarise(times), times.size());
    std::printf("  %-46s %8.3f ms\n", "    processor time per frame", perFrame);
  }
  std::vector<double> layouts;
  for (int i = 0; i < perRound * 2; ++i) layouts.push_back(TimeTextLayouts());
  PrintFigures("the captions laid out alone, nothing drawn", Summarise(layouts),
               layouts.size());
  std::printf("  %-46s %8ld\n", "images decoded over all frames", renderSeams.imageDecodes);
  CloseScene();
}

std::wstring SensorctlPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path);
  directory.resize(directory.find_last_of(L'\\') + 1);
  return directory + L"sensorctl.exe";
}

bool IsPanelGrey(const Rgb& c) {
  return std::abs(c.r - 91) <= 3 && std::abs(c.g - 91) <= 3 && std::abs(c.b - 91) <= 3;
}

void EndSensorctl(const PROCESS_INFORMATION& process, HWND window) {
  if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
}

// Milliseconds from CreateProcess to the first frame on screen, or a negative number with the
// reason in `why`.
double TimeToFirstFrame(const std::wstring& program, std::string& why) {
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double start = Now();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    why = "it could not be started (error " + std::to_string(GetLastError()) + ")";
    return -1;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  HWND window = nullptr;
  double shown = -1;
  while (Now() - start < 20000) {
    // Between looks the process is waited on, so its end is seen at once, and the program
    // starting up is not starved of the processor by this loop.
    if (WaitForSingleObject(process.hProcess, kStartPollMs) == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      GetExitCodeProcess(process.hProcess, &exitCode);
      why = "it ended with code " + std::to_string(static_cast<int>(exitCode)) +
            " before showing a frame";
      return -1;
    }
    if (window == nullptr) window = FindWindowW(kSensorctlClass, nullptr);
    if (window != nullptr) {
      RECT rect;
      if (GetWindowRect(window, &rect) && IsWindowVisible(window)) {
        ScreenCapture pixel = CaptureScreen(rect.left + 283, rect.top + 300, 1, 1);
        if (IsPanelGrey(pixel.At(0, 0))) {
          shown = Now() - start;
          break;
        }
      }
    }
  }
  EndSensorctl(process, window);
  if (shown < 0) why = window == nullptr ? "no window within 20 s" : "no frame within 20 s";
  return shown;
}

void MeasureStart(int starts) {
  const std::wstring program = SensorctlPath();
  if (GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("  sensorctl start to first frame: not available (no sensorctl.exe beside this "
                "program)\n");
    return;
  }
  if (FindWindowW(kSensorctlClass, nullptr) != nullptr) {
    std::printf("  sensorctl start to first frame: not available (sensorctl is already running)\n");
    return;
  }
  std::vector<double> samples;
  for (int i = 0; i < starts; ++i) {
    std::string why;
    const double ms = TimeToFirstFrame(program, why);
    if (ms < 0) {
      std::printf("  sensorctl start to first frame: not available (%s)\n", why.c_str());
      return;
    }
    samples.push_back(ms);
    // The next start must not find this instance's window.
    const double gone = Now();
    while (FindWindowW(kSensorctlClass, nullptr) != nullptr && Now() - gone < 5000) {
      Sleep(kStartPollMs);
    }
  }
  std::printf("  %-46s %8.1f ms  (looked for every %lu ms)\n",
              "sensorctl start to first frame, first start", samples[0], kStartPollMs);
  PrintFigures("sensorctl start to first frame", Summarise(samples), samples.size());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int frames = argc > 1 ? std::max(1, _wtoi(argv[1])) : 200;
  const int starts = argc > 2 ? std::max(0, _wtoi(argv[2])) : 5;
  // A 200 % frame has four times the pixels: a quarter of the frames keeps the run short.
  struct Scale {
    int dpi;
    Targets targets;
    int frames;
    bool parts;
  };
  const Scale scales[] = {{96, {}, frames, true},
                         {192, {1.2, 1.1}, std::max(10, frames / 4), false}};
  for (const Scale& scale : scales) {
    const WindowSize size = MainWindowSize(scale.dpi);
    std::printf("render benchmark at %d %% (%d DPI): %d x %d layered window, 15 widgets, real "
                "images\n", scale.dpi * 100 / 96, scale.dpi, size.width, size.height);
    MeasureFrames(scale.frames, scale.dpi, scale.targets, scale.parts);
  }
  if (starts > 0) MeasureStart(starts);
  std::fflush(stdout);
  return 0;
}
