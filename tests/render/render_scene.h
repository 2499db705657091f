#pragma once
// A scene for exercising the rendering engine in-process under Wine: a plain window of a known
// colour, a 566 x 460 WS_EX_LAYERED pop-up in front of it whose WM_PAINT runs RenderFrame, the
// fifteen widgets the settings window draws, and a reader of what the screen shows.
// Used by the Wine tests and by the render benchmark; the executable carries the resources of
// render_test_resources.rc.

#include <windows.h>

#include <string>
#include <vector>

#include "sensorctl_images.h"
#include "tests/support/wine_support.h"

constexpr int kFrameWidth = kImageBackground.width;
constexpr int kFrameHeight = kImageBackground.height;

constexpr WineFact kWineFactTransparentPixelsAreHoles = {
    "the fully transparent pixels of an opaque push (ULW_OPAQUE) show black",
    "fully transparent pixels are holes whatever the flag: the window is shaped by the pushed "
    "alpha"};

// Colour of the window behind the frame, seen through the frame's transparent margin.
constexpr COLORREF kBackdropColour = RGB(0, 200, 80);

struct Rgb {
  int r = 0, g = 0, b = 0;
};

struct SceneOptions {
  bool rightToLeft = false;
  int x = 300, y = 200;  // where the frame window lands on the screen
  int dpi = 96;          // the frame is drawn at this DPI, its window 566 x 460 frame units
};

// Creates the backdrop and the frame window, CreateFactories, and the fifteen widgets as the
// settings window builds them. False when a window cannot be made.
bool OpenScene(const SceneOptions& options);
// Destroys both windows and empties the Renderer (device resources, factories, widgets, seams).
void CloseScene();

HWND SceneFrameWindow();
// The frame window's size in pixels.
int SceneWidth();
int SceneHeight();

// Fills the widget list with the fifteen widgets (images, texts, flags) for the direction and
// sensor state; the list is emptied first.
void FillWindowWidgets(bool rightToLeft, bool sensorDisabled);

// Invalidates the frame window and paints it at once (WM_PAINT -> RenderFrame), then waits
// until the screen shows what the paint pushed (a paint that pushes nothing waits only for the
// queued messages). Returns the number of paints that ran, or kFrameNotShown when that did not
// happen within kScreenWaitMs.
int PushFrame();
constexpr int kFrameNotShown = -1;
constexpr DWORD kScreenWaitMs = 10000;
int FramePaintCount();
// Paints whose RenderFrame pushed a frame to the window, since the process began.
int FramesPushed();

// The product's next `count` UpdateLayeredWindow calls fail and push nothing (false: its calls
// cannot be watched). The calls it has made since the process began, refused ones included.
bool RefuseLayeredWindowUpdates(int count);
int LayeredWindowUpdateCalls();

// The pixels the last PushFrame pushed (premultiplied 0xAARRGGBB, top-down rows), and the same
// frame drawn from scratch by the Renderer's target into a bitmap of the frame's size.
const std::vector<DWORD>& LastPushedPixels();
std::vector<DWORD> FrameDrawnFromScratch();

// Runs every message queued for this thread so far: returns once a message posted now comes
// back, false if it did not within kScreenWaitMs.
bool DrainMessages();

// What the screen shows, read back through the screen's device context.
struct ScreenCapture {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<DWORD> pixels;  // 0x00RRGGBB, top-down rows
  Rgb At(int x, int y) const;  // in capture coordinates
  bool SavePng(const std::wstring& path) const;
};
ScreenCapture CaptureScreen(int left, int top, int width, int height);
// The frame window's area: pixel (x, y) of the capture is pixel (x, y) of the frame.
ScreenCapture CaptureFrame();

// Directory for screenshots kept as build artifacts (ZQ_ARTIFACT_DIR, a Linux path, seen through
// drive Z:); empty when not set.
std::wstring ArtifactDirectory();
