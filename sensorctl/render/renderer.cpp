// The Renderer: the platform factories and the device resources every frame draws with.
#include "sensorctl/render/renderer.h"
#include "sensorctl/render/render_test_hooks.h"

#include "sensorctl/render/widget_geometry.h"

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

HRESULT MakeTextFormats() {
  HRESULT hr = MakeTextFormat(renderer.bodyFormat, DWRITE_FONT_WEIGHT_NORMAL, 14.0f,
                              DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(renderer.fieldFormat, DWRITE_FONT_WEIGHT_BOLD, 14.0f,
                        DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(renderer.labelFormat, DWRITE_FONT_WEIGHT_BOLD, 16.0f,
                        DWRITE_TEXT_ALIGNMENT_TRAILING, DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  if (SUCCEEDED(hr)) {
    hr = MakeTextFormat(renderer.buttonFormat, DWRITE_FONT_WEIGHT_NORMAL, 14.0f,
                        DWRITE_TEXT_ALIGNMENT_CENTER, DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  }
  return hr;
}

HRESULT MakeSolidBrush(ComPtr<ID2D1SolidColorBrush>& brush, const D2D1_COLOR_F& color) {
  return renderer.renderTarget->CreateSolidColorBrush(&color, nullptr, &brush);  // no properties
}

// A vertical face gradient over the first 30 units of the render target, clamped below.
HRESULT MakeFaceGradient(ComPtr<ID2D1GradientStopCollection>& stops,
                         ComPtr<ID2D1LinearGradientBrush>& brush, BYTE topGrey,
                         BYTE bottomGrey) {
  const D2D1_GRADIENT_STOP stopList[2] = {{0.0f, Grey(topGrey)}, {1.0f, Grey(bottomGrey)}};
  HRESULT hr = renderer.renderTarget->CreateGradientStopCollection(
      stopList, 2, D2D1_GAMMA_1_0, D2D1_EXTEND_MODE_CLAMP, &stops);
  if (FAILED(hr)) return hr;
  return renderer.renderTarget->CreateLinearGradientBrush(
      D2D1::LinearGradientBrushProperties(D2D1::Point2F(0.0f, 0.0f),
                                          D2D1::Point2F(0.0f, kFaceGradientHeight)),
      D2D1::BrushProperties(1.0f, D2D1::IdentityMatrix()), stops.Get(), &brush);
}

HRESULT MakeBrushesAndGradients() {
  HRESULT hr = MakeSolidBrush(renderer.whiteBrush, ColorFromBytes(255, 255, 255, 1.0f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(renderer.dimWhiteBrush, ColorFromBytes(255, 255, 255, 0.5f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(renderer.borderGrayBrush, Grey(91));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(renderer.shadowBrush, ColorFromBytes(0, 0, 0, 0.3f));
  if (SUCCEEDED(hr)) hr = MakeSolidBrush(renderer.hoverBorderBrush, ColorFromBytes(64, 111, 141, 1.0f));
  if (SUCCEEDED(hr)) hr = MakeFaceGradient(renderer.normalFaceStops, renderer.normalFaceBrush, 132, 123);
  if (SUCCEEDED(hr)) hr = MakeFaceGradient(renderer.hoverFaceStops, renderer.hoverFaceBrush, 107, 109);
  if (SUCCEEDED(hr)) {
    hr = MakeFaceGradient(renderer.disabledFaceStops, renderer.disabledFaceBrush, 132, 123);
  }
  return hr;
}

// The render target and everything made from it; text formats are independent of it.
void ReleaseTargetResources() {
  renderer.renderTarget.Reset();
  renderer.whiteBrush.Reset();
  renderer.dimWhiteBrush.Reset();
  renderer.borderGrayBrush.Reset();
  renderer.shadowBrush.Reset();
  renderer.hoverBorderBrush.Reset();
  renderer.normalFaceBrush.Reset();
  renderer.hoverFaceBrush.Reset();
  renderer.disabledFaceBrush.Reset();
  renderer.normalFaceStops.Reset();
  renderer.hoverFaceStops.Reset();
  renderer.disabledFaceStops.Reset();
}

bool DeviceResourcesComplete() {
  const Renderer& r = renderer;
  return r.renderTarget && r.whiteBrush && r.dimWhiteBrush && r.borderGrayBrush &&
         r.shadowBrush && r.hoverBorderBrush && r.normalFaceStops && r.hoverFaceStops &&
         r.disabledFaceStops && r.normalFaceBrush && r.hoverFaceBrush && r.disabledFaceBrush &&
         r.bodyFormat && r.fieldFormat && r.labelFormat && r.buttonFormat;
}

void FillPalette() {
  WidgetPalette& p = renderer.palette;  // rightToLeft keeps the value set at start-up
  p.normalFace = renderer.normalFaceBrush;
  p.disabledFace = renderer.disabledFaceBrush;
  p.disabledBorder = renderer.borderGrayBrush;
  p.disabledText = renderer.dimWhiteBrush;
  p.hoverFace = renderer.hoverFaceBrush;
  p.hoverBorder = renderer.hoverBorderBrush;
  p.normalText = renderer.whiteBrush;
  p.shadow = renderer.shadowBrush;
  p.buttonFormat = renderer.buttonFormat;
  p.fieldFormat = renderer.fieldFormat;
}

// Makes whatever is missing. Nothing half-made is kept that a frame could draw with: a render
// target whose brushes could not all be made is dropped with them, and the next frame starts
// over.
HRESULT CreateDeviceResources() {
  // A factory that failed was reported when the window was created; without it there is
  // nothing to draw with.
  if (!renderer.d2dFactory || !renderer.textFactory || !renderer.imagingFactory) return E_FAIL;

  if (!renderer.renderTarget) {
    ReleaseTargetResources();  // brushes belong to the render target that made them
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_SOFTWARE,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 0.0f, 0.0f,
        D2D1_RENDER_TARGET_USAGE_GDI_COMPATIBLE, D2D1_FEATURE_LEVEL_DEFAULT);
    HRESULT hr = renderer.d2dFactory->CreateDCRenderTarget(&properties, &renderer.renderTarget);
    if (FAILED(hr)) {
      renderer.renderTarget.Reset();
      if (!renderTargetFailureShown) {
        renderTargetFailureShown = true;
        ShowRenderFailure(kFrameFailureText);
      }
      return hr;
    }
    renderTargetFailureShown = false;
  }

  if (FAILED(MakeTextFormats())) {
    if (!textFormatFailureShown) {
      textFormatFailureShown = true;
      ShowRenderFailure(L"Fail CreateTextFormat");
    }
    return E_FAIL;
  }
  textFormatFailureShown = false;

  const bool brushesComplete =
      renderer.whiteBrush && renderer.dimWhiteBrush && renderer.borderGrayBrush &&
      renderer.shadowBrush && renderer.hoverBorderBrush && renderer.normalFaceBrush &&
      renderer.hoverFaceBrush && renderer.disabledFaceBrush;
  if (!brushesComplete) {
    HRESULT hr = MakeBrushesAndGradients();
    if (FAILED(hr)) {
      ReleaseTargetResources();
      return hr;
    }
  }
  FillPalette();
  return S_OK;
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

HRESULT ReleaseFactories() {
  renderer.d2dFactory.Reset();
  renderer.textFactory.Reset();
  renderer.imagingFactory.Reset();
  return S_OK;
}

HRESULT EnsureDeviceResources() {
  if (!DeviceResourcesComplete()) {
    HRESULT hr = CreateDeviceResources();
    if (FAILED(hr)) return hr;
  }
  // Every frame, made or not: the painter draws with what the Renderer holds now.
  renderer.widgets.palette = renderer.palette;
  return S_OK;
}

HRESULT DiscardDeviceResources() {
  ReleaseTargetResources();
  renderer.bodyFormat.Reset();
  renderer.labelFormat.Reset();
  // fieldFormat and buttonFormat stay; the palettes keep their references until the next
  // EnsureDeviceResources that makes new ones.
  return S_OK;
}
