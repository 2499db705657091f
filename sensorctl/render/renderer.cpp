// The Renderer: the platform factories and the device resources every frame draws with.
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"

#include "sensorctl/render/widget_geometry.h"

#include <utility>

Renderer renderer;
RenderSeams renderSeams;

void SetLayoutMetrics(const FrameMetrics& metrics) { renderer.layoutMetrics = metrics; }

FrameMetrics LayoutMetrics() { return renderer.layoutMetrics; }

namespace {

// The system's default caption, no owner: these failures happen before anything is on screen.
void ShowRenderFailure(const wchar_t* text) { MessageBoxW(nullptr, text, nullptr, MB_OK); }

// A text format failure is reported when it begins; while it lasts, later paints try again
// quietly (a message box on every paint would bring yet more paints, each drawing nothing).
// Once the formats are made, a new failure is reported again.
bool textFormatFailureShown = false;

// Likewise a render target that cannot be made: where Direct2D has no device at all (Wine
// without OpenGL), every paint fails the same way, and one message says why.
bool renderTargetFailureShown = false;

D2D1_COLOR_F ColorFromBytes(BYTE red, BYTE green, BYTE blue, float alpha) {
  return D2D1::ColorF(red / 255.0f, green / 255.0f, blue / 255.0f, alpha);
}

D2D1_COLOR_F Grey(BYTE level) { return ColorFromBytes(level, level, level, 1.0f); }

HRESULT MakeTextFormat(ComPtr<IDWriteTextFormat>& format, DWRITE_FONT_WEIGHT weight, float size,
                       DWRITE_TEXT_ALIGNMENT textAlignment,
                       DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment) {
  if (format) return S_OK;  // text formats outlive the render target
  ComPtr<IDWriteTextFormat> made;
  HRESULT hr = renderer.textFactory->CreateTextFormat(
      L"Arial", nullptr, weight, DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, L"",
      &made);
  if (FAILED(hr)) return hr;
  made->SetTextAlignment(textAlignment);
  made->SetParagraphAlignment(paragraphAlignment);
  format = made;
  return S_OK;
}

HRESULT MakeTextFormats(TextFormats& f) {
  HRESULT hr = MakeTextFormat(f.body, DWRITE_FONT_WEIGHT_NORMAL, 14.0f,
                              DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(f.field, DWRITE_FONT_WEIGHT_BOLD, 14.0f, DWRITE_TEXT_ALIGNMENT_LEADING,
                        DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(f.label, DWRITE_FONT_WEIGHT_BOLD, 16.0f, DWRITE_TEXT_ALIGNMENT_TRAILING,
                        DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(f.button, DWRITE_FONT_WEIGHT_NORMAL, 14.0f, DWRITE_TEXT_ALIGNMENT_CENTER,
                        DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  return hr;
}

HRESULT MakeSolidBrush(ID2D1RenderTarget* target, ComPtr<ID2D1SolidColorBrush>& brush,
                       const D2D1_COLOR_F& color) {
  return target->CreateSolidColorBrush(&color, nullptr, &brush);  // no properties
}

// A vertical face gradient over the first 30 units of the render target, clamped below. The
// brush keeps its stop collection.
HRESULT MakeFaceGradient(ID2D1RenderTarget* target, ComPtr<ID2D1LinearGradientBrush>& brush,
                         BYTE topGrey, BYTE bottomGrey) {
  const D2D1_GRADIENT_STOP stopList[2] = {{0.0f, Grey(topGrey)}, {1.0f, Grey(bottomGrey)}};
  ComPtr<ID2D1GradientStopCollection> stops;
  HRESULT hr = target->CreateGradientStopCollection(stopList, 2, D2D1_GAMMA_1_0,
                                                    D2D1_EXTEND_MODE_CLAMP, &stops);
  if (FAILED(hr)) return hr;
  return target->CreateLinearGradientBrush(
      D2D1::LinearGradientBrushProperties(D2D1::Point2F(0.0f, 0.0f),
                                          D2D1::Point2F(0.0f, kFaceGradientHeight)),
      D2D1::BrushProperties(1.0f, D2D1::IdentityMatrix()), stops.Get(), &brush);
}

HRESULT MakeBrushes(ID2D1RenderTarget* target, Brushes& b) {
  HRESULT hr = MakeSolidBrush(target, b.white, ColorFromBytes(255, 255, 255, 1.0f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(target, b.dimWhite, ColorFromBytes(255, 255, 255, 0.5f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(target, b.borderGray, Grey(91));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(target, b.shadow, ColorFromBytes(0, 0, 0, 0.3f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(target, b.hoverBorder, ColorFromBytes(64, 111, 141, 1.0f));
  if (SUCCEEDED(hr)) hr = MakeFaceGradient(target, b.normalFace, 132, 123);
  if (SUCCEEDED(hr)) hr = MakeFaceGradient(target, b.hoverFace, 107, 109);
  if (SUCCEEDED(hr)) hr = MakeFaceGradient(target, b.disabledFace, 132, 123);
  return hr;
}

// The render target and its brushes, made together into a record of their own: the Renderer
// gets all of them or none, so a frame never draws with a half-made set.
HRESULT MakeDeviceResources(DeviceResources& made) {
  const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_SOFTWARE,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 0.0f, 0.0f,
      D2D1_RENDER_TARGET_USAGE_GDI_COMPATIBLE, D2D1_FEATURE_LEVEL_DEFAULT);
  HRESULT hr = renderer.d2dFactory->CreateDCRenderTarget(&properties, &made.target);
  if (FAILED(hr)) {
    if (!renderTargetFailureShown) {
      renderTargetFailureShown = true;
      ShowRenderFailure(kFrameFailureText);
    }
    return hr;
  }
  renderTargetFailureShown = false;
  // Made with the default DPI, then set to the window's: frames are drawn in frame units.
  made.target->SetDpi(static_cast<float>(renderer.dpi), static_cast<float>(renderer.dpi));
  return MakeBrushes(made.target.Get(), made.brushes);
}

}  // namespace

HRESULT CreateFactories(HWND window) {
  renderer.window = window;
  HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                 nullptr, &renderer.d2dFactory);
  if (FAILED(hr)) {
    renderer.d2dFactory.Reset();
    ShowRenderFailure(L"Fail D2D1CreateFactory");
    return E_FAIL;
  }
  hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                           reinterpret_cast<IUnknown**>(renderer.textFactory.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    renderer.textFactory.Reset();
    ShowRenderFailure(L"Fail DWriteCreateFactory");
    return E_FAIL;
  }
  hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                        IID_PPV_ARGS(renderer.imagingFactory.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    renderer.imagingFactory.Reset();
    ShowRenderFailure(L"Fail Create WIC ImagingFactory");
    return E_FAIL;
  }
  return S_OK;
}

void ReleaseFactories() {
  // The widgets' decoded images hold the Direct2D factory and its device: they go with it, so
  // that nothing of Direct2D lives on into the process's exit (after COM has been closed) and
  // no image of an old factory is drawn by a new one.
  for (Widget& widget : renderer.widgets.items) widget.bitmap.Reset();
  renderer.formats = TextFormats{};
  renderer.d2dFactory.Reset();
  renderer.textFactory.Reset();
  renderer.imagingFactory.Reset();
}

HRESULT EnsureDeviceResources() {
  // A factory that failed was reported when the window was created; without it there is
  // nothing to draw with.
  if (!renderer.d2dFactory || !renderer.textFactory || !renderer.imagingFactory) return E_FAIL;
  if (FAILED(MakeTextFormats(renderer.formats))) {
    if (!textFormatFailureShown) {
      textFormatFailureShown = true;
      ShowRenderFailure(L"Fail CreateTextFormat");
    }
    return E_FAIL;
  }
  textFormatFailureShown = false;
  if (renderer.device.target) return S_OK;
  DeviceResources made;
  const HRESULT hr = MakeDeviceResources(made);
  if (FAILED(hr)) return hr;
  renderer.device = std::move(made);
  return S_OK;
}

void DiscardDeviceResources() { renderer.device = DeviceResources{}; }

void SetRenderDpi(int dpi) {
  if (dpi == renderer.dpi) return;
  renderer.dpi = dpi;
  DiscardDeviceResources();
  for (Widget& widget : renderer.widgets.items) widget.bitmap.Reset();
}
