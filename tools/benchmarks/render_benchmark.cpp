// Figures of the settings window's rendering under Wine. It prints figures and never judges
// them: a slow machine is not a failure.
//   - RenderFrame for the whole window (the fifteen widgets, the real images), median of many
//     frames, beside UpdateLayeredWindow alone pushing an already composed bitmap, in the same
//     run and window, so the two can be compared;
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
#include <vector>

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

// RenderFrame with a paint structure as WM_PAINT would give it.
double TimeOneFrame(HWND window) {
  WindowDC dc(window);
  PAINTSTRUCT paint = {};
  paint.hdc = dc.Get();
  GetClientRect(window, &paint.rcPaint);
  const double start = Now();
  RenderFrame(window, paint);
  return Now() - start;
}

void MeasureFrames(int frames) {
  if (!OpenScene({})) {
    std::printf("  frames: not available (the test window could not be made)\n");
    return;
  }
  HWND window = SceneFrameWindow();
  // The first frame is timed cold: no paint has run in this scene, so this frame makes the
  // device resources and decodes the images. Opening the scene runs the queued messages; were
  // a paint among them, the figure would be a warm one and is not printed as the cold one.
  const bool cold = FramePaintCount() == 0 && FramesPushed() == 0 && !renderer.renderTarget &&
                    renderSeams.imageDecodes == 0;
  const double first = TimeOneFrame(window);
  const bool madeResources = static_cast<bool>(renderer.renderTarget);
  if (cold && madeResources) {
    std::printf("  %-46s %8.3f ms  (%ld images decoded)\n",
                "RenderFrame, cold first frame (resources, decoding)", first,
                renderSeams.imageDecodes);
  } else {
    std::printf("  RenderFrame, cold first frame: not available (%s)\n",
                cold ? "the frame made no device resources" : "a paint ran before it");
  }

  std::vector<double> frameTimes;
  for (int i = 0; i < frames; ++i) frameTimes.push_back(TimeOneFrame(window));

  // The same frame composed once into a bitmap, then only pushed.
  std::vector<double> pushTimes;
  {
    WindowDC dc(window);
    UniqueMemoryDC memory(CreateCompatibleDC(nullptr));
    UniqueGdiObject bitmap(CreateCompatibleBitmap(dc.Get(), kFrameWidth, kFrameHeight));
    if (memory && bitmap && SUCCEEDED(EnsureDeviceResources())) {
      SelectedObject selection(memory.Get(), bitmap.Get());
      const RECT bound = {0, 0, kFrameWidth, kFrameHeight};
      renderer.renderTarget->BindDC(memory.Get(), &bound);
      renderer.renderTarget->BeginDraw();
      ComposeFrame();
      renderer.renderTarget->EndDraw();
      RECT rect;
      GetWindowRect(window, &rect);
      POINT destination = {rect.left, rect.top};
      SIZE size = {kFrameWidth, kFrameHeight};
      POINT source = {0, 0};
      BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      for (int i = 0; i < frames; ++i) {
        const double start = Now();
        UpdateLayeredWindow(window, nullptr, &destination, &size, memory.Get(), &source, 0,
                            &blend, ULW_ALPHA);
        pushTimes.push_back(Now() - start);
      }
    }
  }
  PrintFigures("RenderFrame, whole window", Summarise(frameTimes), frameTimes.size());
  PrintFigures("UpdateLayeredWindow alone, composed bitmap", Summarise(pushTimes),
               pushTimes.size());
  const Figures frame = Summarise(frameTimes);
  const Figures push = Summarise(pushTimes);
  if (push.median > 0) {
    std::printf("  %-46s %8.1f x\n", "RenderFrame / push alone (medians)", frame.median / push.median);
  }
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
  std::printf("render benchmark: %d x %d layered window, 15 widgets, real images\n",
              kFrameWidth, kFrameHeight);
  MeasureFrames(frames);
  if (starts > 0) MeasureStart(starts);
  std::fflush(stdout);
  return 0;
}
