// The widget on screens with more than one device pixel to the pixel: built
// three times, with the whole program at ratio 2 (QT_SCALE_FACTOR=2), at 1.5,
// and on two screens of ratios 1 and 2. Frames, bevels and the focus mark are the
// pixels of ratio 1 doubled; the caption is written at the device's
// resolution, as `torvelbutton render --scale 2` writes it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "button/qt/torvelbuttonwidget_p.h"
#include "qt_app.h"
#include "tests/support/run.h"

namespace vx::qt {
namespace {

using Json = nlohmann::json;
using W = TorvelButtonWidget;

// Chooses the screens before the application starts.
void StartApp() {
#if defined(TORVEL_TWO_SCREENS)
  static const std::string platform =
      "offscreen:configfile=" VETTRIX_SOURCE_DIR "/tests/button/qt/data/two_screens.json";
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
#elif defined(TORVEL_RATIO_ONE_AND_A_HALF)
  setenv("QT_SCALE_FACTOR", "1.5", 1);
#else
  setenv("QT_SCALE_FACTOR", "2", 1);
#endif
  testing::App();
}

vx::support::Outcome Tool(const std::string& args) {
  const std::string exe = VETTRIX_BIN_DIR "/torvelbutton";
  if (!std::filesystem::exists(exe)) {
    ADD_FAILURE() << "tool not built: " << exe;
    return {};
  }
  return vx::support::RunCommand(exe + " " + args + " 2>&1");
}

QImage Opaque(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_RGB32);
  out.setDevicePixelRatio(1);  // compared pixel for pixel
  return out;
}

// The number of pixels that differ, or -1 when the sizes do.
int Differing(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  }
  return n;
}

// `image` with every pixel a k x k block.
[[maybe_unused]] QImage Blocks(const QImage& image, int k) {
  return Opaque(image).scaled(image.size() * k, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

class Density : public ::testing::Test {
 protected:
  void SetUp() override {
    StartApp();
    ASSERT_TRUE(dir_.isValid());
    window_ = std::make_unique<QWidget>();
    button_ = new W(window_.get());
    button_->setObjectName(QStringLiteral("dense"));
    button_->setFocusPolicy(Qt::NoFocus);  // drawn as the tool draws it: no focus
    // Fixed colours, so that the tool's desktop palette does not matter.
    ASSERT_TRUE(button_->setStoredProperties(R"({"btype": 2, "coltype": 3, "tx": "Check &Source",
        "font": {"name": "DejaVu Sans", "size": 9}})"));
    button_->setGeometry(10, 10, 100, 26);
    window_->resize(200, 60);
  }
  void Show() {
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  // The tool's picture of the same button at `scale`; its state as JSON.
  QImage ToolPicture(int scale, Json* state = nullptr) {
    const QString props = dir_.filePath(QStringLiteral("props.json"));
    std::ofstream(props.toStdString()) << button_->storedProperties().toStdString();
    const QString out = dir_.filePath(QStringLiteral("tool-%1.png").arg(scale));
    const vx::support::Outcome r =
        Tool("render --props '" + props.toStdString() + "' --size 100x26 --scale " +
             std::to_string(scale) + " -o '" + out.toStdString() + "' --print-state");
    EXPECT_EQ(r.status, 0) << r.out;
    if (state != nullptr) *state = Json::parse(r.out, nullptr, false);
    QImage image(out);
    EXPECT_FALSE(image.isNull()) << out.toStdString();
    return Opaque(image);
  }
  QImage Grab() { return Opaque(button_->grab().toImage()); }

  QTemporaryDir dir_;
  std::unique_ptr<QWidget> window_;
  W* button_ = nullptr;
};

// Pixels of `a` and `b` (same size) that differ inside and outside `inside`.
struct Differences {
  int inside = 0;
  int outside = 0;
};
[[maybe_unused]] Differences Compare(const QImage& a, const QImage& b, const QRect& inside) {
  Differences d;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      (inside.contains(x, y) ? d.inside : d.outside)++;
    }
  }
  return d;
}

#if defined(TORVEL_RATIO_ONE_AND_A_HALF)

TEST_F(Density, AFractionalRatioIsDrawnForTheNextWholeOneAndScaledDown) {
  Show();
  ASSERT_DOUBLE_EQ(button_->devicePixelRatioF(), 1.5);
  EXPECT_EQ(Grab().size(), QSize(150, 39));
  // What is scaled down is the picture for ratio 2: lines of one weight,
  // focus dots whole.
  const QImage& made = TorvelButtonWidgetPrivate::Find(*button_)->shown;
  EXPECT_DOUBLE_EQ(made.devicePixelRatio(), 2.0);
  EXPECT_EQ(Differing(Opaque(made), ToolPicture(2)), 0);
}

#elif !defined(TORVEL_TWO_SCREENS)

TEST_F(Density, AtRatioTwoTheFrameIsDoubledAndTheCaptionWrittenForTheDevice) {
  Show();
  ASSERT_DOUBLE_EQ(button_->devicePixelRatioF(), 2.0);
  const QImage dense = Grab();
  ASSERT_EQ(dense.size(), QSize(200, 52));
  Json state;
  const QImage one = ToolPicture(1, &state);
  ASSERT_EQ(one.size(), QSize(100, 26));

  // The caption's rectangle, doubled: outside it every pixel is a block of
  // the ratio-1 picture; inside, the caption's ink is not.
  const Json& r = state.at("CaptionRect");
  const QRect caption(QPoint(r.at("Left").get<int>() * 2, r.at("Top").get<int>() * 2),
                      QPoint(r.at("Right").get<int>() * 2 - 1, r.at("Bottom").get<int>() * 2 - 1));
  const Differences d = Compare(dense, Blocks(one, 2), caption);
  EXPECT_EQ(d.outside, 0);
  EXPECT_GT(d.inside, 20);
  // The tool draws the same picture.
  EXPECT_EQ(Differing(dense, ToolPicture(2)), 0);

  // Asked for, the plain doubled picture.
  button_->setPixelScaling(W::Doubled);
  EXPECT_EQ(Differing(Grab(), Blocks(one, 2)), 0);
  button_->setPixelScaling(W::Device);
  EXPECT_EQ(Differing(Grab(), dense), 0);
}

// Without a window: every look, every caption direction, with an icon and
// the focus mark, drawn by the tool at scale 2 is its scale-1 picture
// doubled but for the caption, whose ink is its own.
TEST(DevicePicture, EveryLookAndCaptionDirectionIsDoubledButForTheCaption) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string icon = VETTRIX_SOURCE_DIR "/tests/button/designer/data/icon.png";
  ASSERT_TRUE(std::filesystem::exists(icon)) << icon;
  for (int type = 1; type <= 8; ++type) {
    for (int orient = 0; orient <= 2; ++orient) {
      SCOPED_TRACE("btype " + std::to_string(type) + ", orient " + std::to_string(orient));
      const std::string size = orient == 0 ? "120x30" : "34x120";
      const std::string common = "render --set btype=" + std::to_string(type) +
                                 " --set coltype=3 --set orient=" + std::to_string(orient) +
                                 " --set 'tx=Check &Source' --set 'font=DejaVu Sans,9' --icon '" +
                                 icon + "' --size " + size + " --state focused --focus";
      const QString one = dir.filePath(QStringLiteral("one.png"));
      const QString two = dir.filePath(QStringLiteral("two.png"));
      const vx::support::Outcome a = Tool(common + " -o '" + one.toStdString() + "' --print-state");
      ASSERT_EQ(a.status, 0) << a.out;
      const vx::support::Outcome b = Tool(common + " --scale 2 -o '" + two.toStdString() + "'");
      ASSERT_EQ(b.status, 0) << b.out;
      const Json state = Json::parse(a.out);
      const Json& r = state.at("CaptionRect");
      const QRect caption(
          QPoint(r.at("Left").get<int>() * 2, r.at("Top").get<int>() * 2),
          QPoint(r.at("Right").get<int>() * 2 - 1, r.at("Bottom").get<int>() * 2 - 1));
      const QImage small(one);
      const QImage large(two);
      ASSERT_EQ(large.size(), small.size() * 2);
      const Differences d = Compare(Opaque(large), Blocks(small, 2), caption);
      EXPECT_EQ(d.outside, 0);
      EXPECT_GT(d.inside, 20);
      // The outline too: transparent where the scale-1 picture is.
      int outline = 0;
      for (int y = 0; y < large.height(); ++y) {
        for (int x = 0; x < large.width(); ++x) {
          outline += (qAlpha(large.pixel(x, y)) == 0) != (qAlpha(small.pixel(x / 2, y / 2)) == 0);
        }
      }
      EXPECT_EQ(outline, 0);
    }
  }
}

TEST_F(Density, AShapedButtonKeepsItsOutlineAndARedrawKeepsTheDevicePicture) {
  button_->setButtonStyle(W::LeftSegment);
  button_->setButtonType(W::Macintosh);
  Show();
  const QImage before = Grab();
  // The window region is in the button's pixels; each covers 2 x 2 device
  // pixels, so the outline is the tool's doubled.
  const QString mask = dir_.filePath(QStringLiteral("mask.png"));
  const QString props = dir_.filePath(QStringLiteral("props.json"));
  std::ofstream(props.toStdString()) << button_->storedProperties().toStdString();
  ASSERT_EQ(Tool("render --props '" + props.toStdString() + "' --size 100x26 -o '" +
                 dir_.filePath(QStringLiteral("x.png")).toStdString() + "' --region-out '" +
                 mask.toStdString() + "'")
                .status,
            0);
  const QImage region(mask);
  ASSERT_FALSE(region.isNull());
  for (int y = 0; y < 26; ++y) {
    for (int x = 0; x < 100; ++x) {
      EXPECT_EQ(button_->mask().contains(QPoint(x, y)), qGray(region.pixel(x, y)) < 128)
          << x << "," << y;
    }
  }
  // A caption change draws for the device again.
  button_->setCaption(QStringLiteral("Other"));
  const QImage after = Grab();
  EXPECT_NE(after, before);
  EXPECT_EQ(after.size(), QSize(200, 52));
  // Outside the outline the window shows what lies under it.
  const QImage tool = ToolPicture(2);
  int differ = 0;
  for (int y = 0; y < after.height(); ++y) {
    for (int x = 0; x < after.width(); ++x) {
      if (button_->mask().contains(QPoint(x / 2, y / 2)) && after.pixel(x, y) != tool.pixel(x, y))
        ++differ;
    }
  }
  EXPECT_EQ(differ, 0);
}

#else

TEST_F(Density, MovedToADenserScreenItIsDrawnForThatScreen) {
  QList<QScreen*> screens = QGuiApplication::screens();
  ASSERT_EQ(screens.size(), 2);
  if (screens[0]->devicePixelRatio() > screens[1]->devicePixelRatio()) {
    std::swap(screens[0], screens[1]);
  }
  ASSERT_DOUBLE_EQ(screens[1]->devicePixelRatio(), 2.0);
  window_->setScreen(screens[0]);
  window_->move(screens[0]->geometry().topLeft() + QPoint(20, 20));
  Show();
  ASSERT_DOUBLE_EQ(button_->devicePixelRatioF(), 1.0);
  EXPECT_EQ(Differing(Grab(), ToolPicture(1)), 0);

  window_->setScreen(screens[1]);
  window_->move(screens[1]->geometry().topLeft() + QPoint(20, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return button_->devicePixelRatioF() == 2.0; }, 5000));
  QCoreApplication::processEvents();
  EXPECT_EQ(Differing(Grab(), ToolPicture(2)), 0);
  // What the window shows was made for the dense screen.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return TorvelButtonWidgetPrivate::Find(*button_)->shown.width() == 200; }, 5000));

  window_->setScreen(screens[0]);
  window_->move(screens[0]->geometry().topLeft() + QPoint(20, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return button_->devicePixelRatioF() == 1.0; }, 5000));
  EXPECT_EQ(Differing(Grab(), ToolPicture(1)), 0);
}

#endif

}  // namespace
}  // namespace vx::qt
