// The main window's button redrawn, against a toolkit push button of the same
// size and text painted into an image, in one run. Run with QT_SCALE_FACTOR=2
// (or any ratio) to compare them on a dense screen: the widget benchmark then
// draws for the device, caption at the device's resolution.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <torvelbutton/torvelbuttonwidget.h>

#include "button/model/torvel_button.h"
#include "button/render/painter.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"
#include "platform/json/json_reader.h"

namespace {

constexpr int kWidth = 89;
constexpr int kHeight = 19;

// CmdCheck as the window restores it: its stored set, read on a headless host
// with the real renderer, then shown.
struct CmdCheck {
  vx::host::HeadlessHost host;
  std::unique_ptr<vx::button::TorvelButton> button;

  explicit CmdCheck(vx::button::Long smoothing = vx::button::SmoothingStandard) {
    const std::string file = VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json";
    vx::host::JsonPropertyBag bag(vx::json::ParseFile(file));
    host.SetSize(kWidth, kHeight);
    button = std::make_unique<vx::button::TorvelButton>(host.site());
    host.Join(button.get());
    button->SetRenderer(std::make_shared<vx::render::ButtonPainter>());
    button->ReadProperties(bag);
    // Set directly, so that the layout is not left pending.
    button->state().CaptionSmoothing = smoothing;
    button->state().IsShown = vx::button::kTrue;
    button->UserControl_Resize();
  }
};

// Restored and shown, CmdCheck has no pending layout: a redraw paints the
// frame and writes the caption. Once the caption or the font has been set
// (arg 1: the caption assigned again at run time) LayoutPending stays set and
// every redraw also rebuilds the caption font and the layout. Arg 2 is the
// CaptionSmoothing (0 Standard, 2 Full).
void BM_TorvelButtonRefresh(benchmark::State& state) {
  CmdCheck cmd(static_cast<vx::button::Long>(state.range(1)));
  vx::button::ButtonState& st = cmd.button->state();
  if (state.range(0) != 0) {
    cmd.button->SetCaption("Check Source");
    if (st.LayoutPending == vx::button::kFalse) {
      state.SkipWithError("LayoutPending is not set: the caption rebuild would not be measured");
      return;
    }
  }
  if (st.CaptionLines.empty() || st.CaptionLines[0].Text != "Check Source") {
    state.SkipWithError("the caption was not laid out");
    return;
  }
  for (auto _ : state) {
    cmd.button->RefreshButton();
    benchmark::DoNotOptimize(cmd.host.DrawingSurface().pixels().data());
  }
}
BENCHMARK(BM_TorvelButtonRefresh)
    ->ArgNames({"layout_pending", "smoothing"})
    ->ArgsProduct({{0, 1}, {vx::button::SmoothingFull, vx::button::SmoothingStandard}});

// An image of the widget's size in device pixels, for its screen's ratio.
QImage DeviceImage(const QWidget& w) {
  const qreal ratio = w.devicePixelRatioF();
  QImage image((QSizeF(w.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  return image;
}

// The widget of the library, restored from CmdCheck's stored set: a redraw
// of the button and its paint into an image at the screen's ratio, as a
// window repaints it. Arg 1: the plain enlarged picture (pixelScaling
// Doubled), as the widget was drawn before it drew for the device.
void BM_TorvelButtonWidgetPaint(benchmark::State& state) {
  std::ifstream in(VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json");
  const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TorvelButtonWidget button;
  QString error;
  if (!button.setStoredProperties(QByteArray::fromStdString(json), &error)) {
    state.SkipWithError(error.toStdString().c_str());
    return;
  }
  if (state.range(0) != 0) button.setPixelScaling(TorvelButtonWidget::Doubled);
  button.resize(kWidth, kHeight);
  QImage image = DeviceImage(button);
  button.refreshButton();
  button.render(&image);
  for (auto _ : state) {
    button.refreshButton();
    button.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["ratio"] = button.devicePixelRatioF();
}
BENCHMARK(BM_TorvelButtonWidgetPaint)->ArgName("doubled")->Arg(0)->Arg(1);

void BM_QtPushButtonRender(benchmark::State& state) {
  std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  if (!fusion) {
    state.SkipWithError("no Fusion style");
    return;
  }
  QPushButton button("Check Source");
  button.setStyle(fusion.get());
  QFont font("Times New Roman");
  font.setPointSizeF(8.25);
  button.setFont(font);
  button.resize(kWidth, kHeight);
  QImage image = DeviceImage(button);
  button.render(&image);  // polish and lay out once outside the loop
  for (auto _ : state) {
    button.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["ratio"] = button.devicePixelRatioF();
}
BENCHMARK(BM_QtPushButtonRender);

}  // namespace

int main(int argc, char** argv) {
  // No display is needed: the toolkit paints into an image.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
