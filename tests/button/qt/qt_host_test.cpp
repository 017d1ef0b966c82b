// The Qt host driving real widgets on a real (offscreen) window.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "button/qt/button_widget.h"
#include "button/qt/container.h"
#include "button/qt/system_colors.h"
#include "button/render/painter.h"
#include "platform/host/json_property_bag.h"
#include "qt_app.h"

namespace vx::qt {
namespace {

using Json = host::JsonPropertyBag::Json;
using testing::App;
using Names = std::vector<std::string>;

// The stored settings of the window's check button.
Json CheckButtonSettings() {
  return Json{{"_extentx", 2355},
              {"_extenty", 503},
              {"btype", 4},
              {"tx", "Check Source"},
              {"enab", true},
              {"font", {{"name", "Times New Roman"}, {"size", 8.25}, {"weight", 400}}},
              {"coltype", 1},
              {"bcol", 0xC8D0D4},
              {"fcol", 0},
              {"fcolo", 0},
              {"embossm", 0xC0C0C0},
              {"embosss", 0xFFFFFF},
              {"mptr", 0},
              {"align", 1},
              {"iconsize", 2},
              {"showf", true},
              {"bstyle", 0},
              {"optval", false},
              {"optmod", false}};
}

Json With(Json base, const Json& changes) {
  for (const auto& [k, v] : changes.items()) base[k] = v;
  return base;
}

class QtHost : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    form_ = std::make_unique<FormWidget>("Form1");
    form_->resize(320, 200);
    frame_ = new ContainerWidget(*form_, "Frame1");
    frame_->setGeometry(0, 0, 320, 100);
  }
  void TearDown() override {
    form_.reset();
    QCoreApplication::processEvents();
  }

  void Show() {
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  }

  ButtonWidget* AddButton(ContainerWidget& where, const std::string& name, const Json& settings,
                          QPoint at, std::optional<int> index = std::nullopt) {
    auto* b = new ButtonWidget(where, name, index);
    b->move(at);
    host::JsonPropertyBag bag(settings);
    b->ReadProperties(bag);
    QObject::connect(b, &ButtonWidget::controlEvent, b, [this, b](const QString& event) {
      if (event != QLatin1String("MouseMove")) {
        events_.push_back(b->displayName() + "." + event.toStdString());
      }
    });
    return b;
  }

  // A point of `b` in window coordinates, for input that the window routes.
  QPoint InWindow(ButtonWidget* b, QPoint local) const { return b->mapTo(form_.get(), local); }
  void Click(ButtonWidget* b, QPoint local, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(form_->windowHandle(), button, {}, InWindow(b, local));
  }
  QPoint Middle(ButtonWidget* b) const { return {b->width() / 2, b->height() / 2}; }

  Names TakeEvents() { return std::exchange(events_, {}); }

  std::unique_ptr<FormWidget> form_;
  ContainerWidget* frame_ = nullptr;
  Names events_;
};

TEST_F(QtHost, StoredSizeAndServicesOfTheHost) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {10, 10});
  EXPECT_EQ(b->size(), QSize(89, 19));  // 2355 by 503 HIMETRIC
  const host::ControlSite& site = b->button().site();
  EXPECT_TRUE(site.ambient->UserMode());
  EXPECT_EQ(site.ambient->DisplayName(), "CmdCheck");
  EXPECT_DOUBLE_EQ(site.screen->TwipsPerPixelY(), 15.0);
  EXPECT_EQ(site.surface->ScaleWidth(), 89);
  EXPECT_EQ(b->button().Container(), "Frame1");
  EXPECT_EQ(b->button().Caption(), "Check Source");
  EXPECT_EQ(b->button().Font()->name(), "Times New Roman");

  site.surface->SetMousePointer(11);
  EXPECT_EQ(b->cursor().shape(), Qt::WaitCursor);
  site.surface->SetMousePointer(0);
  EXPECT_FALSE(b->testAttribute(Qt::WA_SetCursor));
  EXPECT_THROW(site.surface->SetMousePointer(16), host::HostError);
  EXPECT_THROW(site.keys->SendKeys("{F1}"), host::HostError);

  // The control list: the frame and the button; a deleted button leaves it.
  ASSERT_EQ(form_->ControlCount(), 2);
  EXPECT_EQ(form_->Control(0).name, "Frame1");
  EXPECT_EQ(form_->Control(0).container_name, "Form1");
  EXPECT_EQ(form_->Control(1).object, &b->button());
  delete b;
  EXPECT_EQ(form_->ControlCount(), 1);

  // Writing back gives the size again.
  ButtonWidget* again = AddButton(*form_, "CmdCheck", CheckButtonSettings(), {10, 10});
  host::JsonPropertyBag out;
  again->WriteProperties(out);
  EXPECT_EQ(out.json().at("_extentx"), 2355);
  EXPECT_EQ(out.json().at("_extenty"), 503);
}

TEST_F(QtHost, WindowShowsTheSurfacePixelForPixel) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  Show();
  QCoreApplication::processEvents();
  const Surface& s = b->button().site().surface->DrawingSurface();
  ASSERT_EQ(s.width(), 89);
  ASSERT_EQ(s.height(), 19);
  const QImage screen = form_->screen()
                            ->grabWindow(form_->winId(), 30, 20, 89, 19)
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(screen.size(), QSize(89, 19));
  const QRegion mask = b->mask();
  int compared = 0;
  int mismatched = 0;
  for (int y = 0; y < 19; ++y) {
    for (int x = 0; x < 89; ++x) {
      if (!mask.isEmpty() && !mask.contains(QPoint(x, y))) continue;
      ++compared;
      if (ToColorRef(screen.pixelColor(x, y)) != s.at(x, y)) ++mismatched;
    }
  }
  EXPECT_GT(compared, 89 * 19 - 10);
  // The button drew itself: a face and its frame at least.
  std::set<ColorRef> colours(s.pixels().begin(), s.pixels().end());
  EXPECT_GE(colours.size(), 2u);
  EXPECT_EQ(mismatched, 0);
  EXPECT_EQ(b->shownImage().size(), QSize(89, 19));
}

TEST_F(QtHost, SegmentedButtonMasksPaintingAndHits) {
  ButtonWidget* b =
      AddButton(*frame_, "Seg", With(CheckButtonSettings(), {{"bstyle", 1}}), {30, 20});
  QPalette green = form_->palette();
  green.setColor(QPalette::Window, Qt::green);
  form_->setPalette(green);
  form_->setAutoFillBackground(true);
  Show();
  const gdi::Region* region = render::ButtonRegionOf(b->button());
  ASSERT_NE(region, nullptr);
  QRegion expected;
  for (const gdi::Rect& r : region->Rects()) {
    expected += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  EXPECT_EQ(b->mask(), expected);
  // The left segment slants away at the top right.
  const QPoint cut(b->width() - 3, 1);
  const QPoint kept(3, b->height() / 2);
  EXPECT_FALSE(b->mask().contains(cut));
  EXPECT_TRUE(b->mask().contains(kept));
  EXPECT_NE(QApplication::widgetAt(b->mapToGlobal(cut)), b);
  EXPECT_EQ(QApplication::widgetAt(b->mapToGlobal(kept)), b);

  // Outside the shape the window shows what lies behind the button.
  QCoreApplication::processEvents();
  const QImage screen = form_->screen()->grabWindow(form_->winId()).toImage();
  const Surface& s = b->button().site().surface->DrawingSurface();
  EXPECT_EQ(screen.pixelColor(InWindow(b, cut)), QColor(Qt::green));
  EXPECT_NE(s.at(cut.x(), cut.y()), 0x00FF00u);
  EXPECT_EQ(ToColorRef(screen.pixelColor(InWindow(b, kept))), s.at(kept.x(), kept.y()));

  Click(b, cut);
  EXPECT_EQ(TakeEvents(), Names{});
  Click(b, kept);
  EXPECT_EQ(TakeEvents(), (Names{"Seg.MouseDown", "Seg.MouseUp", "Seg.Click"}));
}

TEST_F(QtHost, MouseClicksRaiseClickOnceAndNotForTheRightButton) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  int clicks = 0;
  b->SetEventHandler("click", [&](host::EventArgs&) { ++clicks; });
  std::vector<host::EventArgs> downs;
  b->SetEventHandler("MouseDown", [&](host::EventArgs& a) { downs.push_back(a); });
  Show();

  QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, Qt::ShiftModifier, InWindow(b, {7, 5}));
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp", "CmdCheck.Click"}));
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].button, 1);
  EXPECT_EQ(downs[0].shift, 1);
  EXPECT_FLOAT_EQ(downs[0].x, 7);
  EXPECT_FLOAT_EQ(downs[0].y, 5);

  // Right button: no Click, and the button is enabled again afterwards.
  Click(b, Middle(b), Qt::RightButton);
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp"}));
  EXPECT_EQ(b->button().Enabled(), button::kTrue);
  EXPECT_TRUE(b->isEnabled());

  // A double click: one Click, the second press shows pressed but raises
  // nothing of its own.
  QTest::mouseDClick(form_->windowHandle(), Qt::LeftButton, {}, InWindow(b, Middle(b)));
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp", "CmdCheck.Click",
                                 "CmdCheck.MouseUp"}));

  // Pressed inside, released outside: no Click.
  QTest::mousePress(form_->windowHandle(), Qt::LeftButton, {}, InWindow(b, Middle(b)));
  QTest::mouseRelease(form_->windowHandle(), Qt::LeftButton, {}, InWindow(b, {200, 60}));
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp"}));
  EXPECT_EQ(clicks, 2);
}

// Thumb and other extra buttons mean Back and Forward to the desktop: the
// control sees nothing of them, so they never click, and a left click they
// interrupt stays one click.
TEST_F(QtHost, ExtraMouseButtonsReachNothing) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  int clicks = 0;
  b->SetEventHandler("click", [&](host::EventArgs&) { ++clicks; });
  Show();
  // Sent straight to the widget, as the window would pass them on.
  auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF at = Middle(b);
    QMouseEvent e(type, at, b->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(b, &e);
    return e.isAccepted();
  };
  for (Qt::MouseButton extra :
       {Qt::BackButton, Qt::ForwardButton, Qt::ExtraButton3, Qt::ExtraButton24}) {
    EXPECT_FALSE(send(QEvent::MouseButtonPress, extra, extra)) << "passed on to the parent";
    EXPECT_FALSE(send(QEvent::MouseButtonRelease, extra, Qt::NoButton));
    EXPECT_FALSE(send(QEvent::MouseButtonPress, extra, extra));
    EXPECT_FALSE(send(QEvent::MouseButtonDblClick, extra, extra));
    EXPECT_FALSE(send(QEvent::MouseButtonRelease, extra, Qt::NoButton));
  }
  EXPECT_EQ(TakeEvents(), Names{});
  EXPECT_EQ(clicks, 0);
  EXPECT_NE(b->button().state().VisualState, button::Pressed);

  send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseButtonPress, Qt::BackButton, Qt::LeftButton | Qt::BackButton);
  send(QEvent::MouseButtonRelease, Qt::BackButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp", "CmdCheck.Click"}));
  EXPECT_EQ(clicks, 1);
}

// A held key as X delivers it: after the first press, each repeat comes as a
// release and a press, both marked auto-repeat. The control sees what it
// would on Windows, repeated key-downs and key-presses and one key-up, so a
// held Space clicks once, when it is let go.
TEST_F(QtHost, HeldSpaceClicksOnceOnRelease) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  int clicks = 0;
  b->SetEventHandler("click", [&](host::EventArgs&) { ++clicks; });
  Show();
  b->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(b->hasFocus());
  TakeEvents();
  auto send = [&](QEvent::Type type, bool repeat) {
    QKeyEvent e(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), repeat);
    QApplication::sendEvent(b, &e);
  };
  send(QEvent::KeyPress, false);
  constexpr int kRepeats = 21;
  for (int i = 0; i < kRepeats; ++i) {
    send(QEvent::KeyRelease, true);
    send(QEvent::KeyPress, true);
    EXPECT_EQ(b->button().state().VisualState, button::Pressed) << i;
    EXPECT_EQ(clicks, 0) << i;
  }
  send(QEvent::KeyRelease, false);
  Names expected;
  for (int i = 0; i <= kRepeats; ++i) {
    expected.push_back("CmdCheck.KeyDown");
    expected.push_back("CmdCheck.KeyPress");
  }
  expected.push_back("CmdCheck.KeyUp");
  expected.push_back("CmdCheck.Click");
  EXPECT_EQ(TakeEvents(), expected);
  EXPECT_EQ(clicks, 1);
  EXPECT_NE(b->button().state().VisualState, button::Pressed);
}

TEST_F(QtHost, HoverEndsWithMouseOutAtTheFirstTickOutside) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  Show();
  QCursor::setPos(b->mapToGlobal(Middle(b)));
  QTest::mouseMove(form_->windowHandle(), InWindow(b, Middle(b)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return b->button().state().MouseInside == button::kTrue; }));
  EXPECT_EQ(b->button().state().VisualState, button::Hover);
  QTimer* hover = nullptr;
  for (QTimer* t : b->findChildren<QTimer*>()) {
    if (t->isActive()) hover = t;
  }
  ASSERT_NE(hover, nullptr);
  EXPECT_EQ(hover->interval(), 100);

  // Still over the button: the ticks change nothing.
  QTest::qWait(250);
  EXPECT_EQ(TakeEvents(), Names{});

  int ticks_outside = 0;
  QObject::connect(hover, &QTimer::timeout, hover, [&] { ++ticks_outside; });
  int ticks_at_mouse_out = -1;
  QObject::connect(b, &ButtonWidget::controlEvent, b, [&](const QString& e) {
    if (e == QLatin1String("MouseOut")) ticks_at_mouse_out = ticks_outside;
  });
  QCursor::setPos(form_->mapToGlobal(QPoint(300, 180)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks_at_mouse_out >= 0; }, 2000));
  // Raised by the first tick after the pointer left, before the counter saw it.
  EXPECT_EQ(ticks_at_mouse_out, 0);
  EXPECT_EQ(TakeEvents(), Names{"CmdCheck.MouseOut"});
  EXPECT_FALSE(hover->isActive());
  EXPECT_EQ(b->button().state().MouseInside, button::kFalse);
  EXPECT_EQ(b->button().state().VisualState, b->hasFocus() ? button::Focused : button::Normal);
}

TEST_F(QtHost, SpaceClicksAndArrowsMoveTheFocusInTabOrder) {
  auto* before = new QLineEdit(frame_);
  before->setGeometry(0, 20, 25, 20);
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  auto* after = new QLineEdit(frame_);
  after->setGeometry(130, 20, 40, 20);
  QWidget::setTabOrder(before, b);
  QWidget::setTabOrder(b, after);
  Show();

  b->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(b->hasFocus());
  EXPECT_EQ(b->button().state().HasFocus, button::kTrue);
  EXPECT_EQ(b->button().state().VisualState, button::Focused);

  QTest::keyClick(b, Qt::Key_Space);
  EXPECT_EQ(TakeEvents(),
            (Names{"CmdCheck.KeyDown", "CmdCheck.KeyPress", "CmdCheck.KeyUp", "CmdCheck.Click"}));

  QTest::keyClick(b, Qt::Key_Right);
  ASSERT_TRUE(QTest::qWaitFor([&] { return after->hasFocus(); }));
  EXPECT_EQ(b->button().state().HasFocus, button::kFalse);

  b->setFocus(Qt::TabFocusReason);
  QTest::keyClick(b, Qt::Key_Up);
  ASSERT_TRUE(QTest::qWaitFor([&] { return before->hasFocus(); }));
  // The arrows raise no KeyDown.
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.KeyUp", "CmdCheck.KeyUp"}));

  // The keystrokes reach whoever has the focus.
  b->button().site().keys->SendKeys("{Tab}");
  ASSERT_TRUE(QTest::qWaitFor([&] { return b->hasFocus(); }));
  b->button().site().keys->SendKeys("+{TAB}");
  ASSERT_TRUE(QTest::qWaitFor([&] { return before->hasFocus(); }));
}

TEST_F(QtHost, MenuOpenedOverTheButtonLeavesItsFocusAlone) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {30, 20});
  auto* other = new QLineEdit(form_.get());
  other->setGeometry(0, 150, 60, 20);
  QMenu menu;
  menu.addAction(QStringLiteral("Copy"));
  // The usual use of a right press: a context menu from MouseDown.
  b->SetEventHandler("MouseDown", [&](host::EventArgs& a) {
    if (a.button == 2) menu.popup(b->mapToGlobal(QPoint(5, 5)));
  });
  Show();
  b->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(b->hasFocus());

  QTest::mousePress(form_->windowHandle(), Qt::RightButton, {}, InWindow(b, Middle(b)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }));
  QCoreApplication::processEvents();
  // Still focused: the focus exit would draw the right press's Enabled = False.
  EXPECT_EQ(b->button().state().HasFocus, button::kTrue);
  EXPECT_EQ(b->button().state().LastMouseButton, 2);
  menu.close();
  QCoreApplication::processEvents();
  EXPECT_EQ(b->button().state().HasFocus, button::kTrue);
  EXPECT_EQ(b->button().state().LastMouseButton, 2) << "no focus entry on the menu's close";
  // So the right click still ends in no Click, and the button is enabled again.
  QTest::mouseRelease(form_->windowHandle(), Qt::RightButton, {}, InWindow(b, Middle(b)));
  EXPECT_EQ(TakeEvents(), (Names{"CmdCheck.MouseDown", "CmdCheck.MouseUp"}));
  EXPECT_EQ(b->button().Enabled(), button::kTrue);

  // The focus moved on while the menu was open: the button hears of it.
  menu.popup(b->mapToGlobal(QPoint(5, 5)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }));
  other->setFocus(Qt::OtherFocusReason);
  menu.close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }));
  EXPECT_EQ(b->button().state().HasFocus, button::kFalse);
}

TEST_F(QtHost, AccessKeyFlashesPressedThenClicks) {
  auto* edit = new QLineEdit(form_.get());
  edit->setGeometry(0, 150, 60, 20);
  ButtonWidget* b =
      AddButton(*frame_, "CmdExit", With(CheckButtonSettings(), {{"tx", "E&xit"}}), {30, 20});
  EXPECT_EQ(b->accessKey(), QStringLiteral("x"));
  Show();
  edit->setFocus();
  QCoreApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  qint64 pressed_at = -1;
  qint64 clicked_at = -1;
  QImage pressed_image;
  QObject::connect(b, &ButtonWidget::refreshed, b, [&] {
    if (pressed_at < 0 && b->button().state().VisualState == button::Pressed) {
      pressed_at = clock.elapsed();
      pressed_image = b->shownImage().copy();
    }
  });
  b->SetEventHandler("Click", [&](host::EventArgs&) { clicked_at = clock.elapsed(); });

  QTest::keyClick(form_.get(), Qt::Key_X, Qt::AltModifier);
  EXPECT_EQ(TakeEvents(), Names{"CmdExit.Click"});
  EXPECT_TRUE(b->hasFocus());
  ASSERT_GE(pressed_at, 0);
  ASSERT_GE(clicked_at, 0);
  // The 0.15 s flash, measured on the time of day in single precision: from
  // 65536 s after midnight on (18:12) that clock moves in steps of 7.8 ms,
  // and this test's own clock reads whole milliseconds.
  EXPECT_GE(clicked_at - pressed_at, 141);
  ASSERT_FALSE(pressed_image.isNull());
  QCoreApplication::processEvents();
  EXPECT_NE(pressed_image, b->shownImage());  // the window showed the pressed look

  // With the focus on the button the key alone will do; other keys are keys.
  QTest::keyClick(b, Qt::Key_X, {});
  EXPECT_EQ(TakeEvents(), Names{"CmdExit.Click"});
  QTest::keyClick(b, Qt::Key_Y, {});
  EXPECT_EQ(TakeEvents(), (Names{"CmdExit.KeyDown", "CmdExit.KeyPress", "CmdExit.KeyUp"}));

  // A disabled button's key does nothing.
  b->button().SetEnabled(button::kFalse);
  EXPECT_FALSE(b->isEnabled());
  QTest::keyClick(form_.get(), Qt::Key_X, Qt::AltModifier);
  EXPECT_EQ(TakeEvents(), Names{});
}

TEST_F(QtHost, OptionGroupsFollowTheContainer) {
  const Json option = With(CheckButtonSettings(), {{"optmod", true}, {"_extentx", 1270}});
  ButtonWidget* first = AddButton(*frame_, "Opt", With(option, {{"optval", true}}), {0, 20}, 0);
  ButtonWidget* second = AddButton(*frame_, "Opt", option, {60, 20}, 1);
  ButtonWidget* on_form = AddButton(*form_, "OptForm", With(option, {{"optval", true}}), {0, 120});
  EXPECT_EQ(second->displayName(), "Opt(1)");
  EXPECT_EQ(second->button().Container(), "Frame1");
  EXPECT_EQ(on_form->button().Container(), "Form1");
  Show();
  EXPECT_EQ(first->button().Value(), button::kTrue);
  EXPECT_EQ(on_form->button().Value(), button::kTrue);

  Click(second, Middle(second));
  EXPECT_EQ(second->button().Value(), button::kTrue);
  EXPECT_EQ(first->button().Value(), button::kFalse);
  EXPECT_EQ(on_form->button().Value(), button::kTrue);
  // Click before MouseDown, and no second Click from the click notification.
  EXPECT_EQ(TakeEvents(), (Names{"Opt(1).Click", "Opt(1).MouseDown", "Opt(1).MouseUp"}));

  // Pressing the selected one again raises no MouseDown and no Click.
  Click(second, Middle(second));
  EXPECT_EQ(TakeEvents(), Names{"Opt(1).MouseUp"});
}

TEST_F(QtHost, AccessibleAsAPushButtonWithAPressAction) {
  ButtonWidget* b = AddButton(*frame_, "CmdExit",
                              With(CheckButtonSettings(), {{"tx", "Salt && P&epper"}}), {30, 20});
  Show();
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::Button);
  b->setAccessibleName(QStringLiteral("CmdExit"));
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Salt & Pepper"));
  EXPECT_TRUE(a->state().focusable);
  QAccessibleActionInterface* actions = a->actionInterface();
  ASSERT_NE(actions, nullptr);
  EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  EXPECT_FALSE(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()).isEmpty());
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(TakeEvents(), (Names{"CmdExit.MouseDown", "CmdExit.MouseUp", "CmdExit.Click"}));
}

TEST_F(QtHost, DesktopPaletteBecomesTheSystemColours) {
  ButtonWidget* system = AddButton(*frame_, "Sys", CheckButtonSettings(), {0, 20});
  ButtonWidget* parent =
      AddButton(*frame_, "Par", With(CheckButtonSettings(), {{"coltype", 4}}), {100, 20});
  Show();
  EXPECT_EQ(form_->systemPalette().Get(host::COLOR_BTNFACE),
            ToColorRef(form_->palette().color(QPalette::Button)));

  QPalette p = form_->palette();
  p.setColor(QPalette::Button, QColor(200, 100, 50));
  p.setColor(QPalette::Window, QColor(10, 120, 30));
  p.setColor(QPalette::WindowText, QColor(250, 250, 0));
  form_->setPalette(p);
  QCoreApplication::processEvents();

  EXPECT_EQ(form_->systemPalette().Get(host::COLOR_BTNFACE), 0x3264C8u);
  EXPECT_EQ(form_->BackColor(), 0x1E780Au);
  EXPECT_EQ(form_->TextColor(), 0x00FAFAu);
  EXPECT_EQ(system->button().state().FaceColor, 0x3264C8);
  EXPECT_EQ(parent->button().state().FaceColor, 0x1E780A);
  EXPECT_EQ(parent->button().state().TextColor, 0x00FAFA);

  // A change of the desktop's palette reaches a form that has none of its own.
  FormWidget plain("Form2");
  ButtonWidget* on_plain = new ButtonWidget(plain, "Sys2");
  host::JsonPropertyBag bag(CheckButtonSettings());
  on_plain->ReadProperties(bag);
  plain.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
  const QPalette desktop = QApplication::palette();
  QPalette changed = desktop;
  changed.setColor(QPalette::Button, QColor(1, 2, 250));
  QApplication::setPalette(changed);
  QCoreApplication::processEvents();
  const ColorRef face = plain.systemPalette().Get(host::COLOR_BTNFACE);
  const button::Color drawn_face = on_plain->button().state().FaceColor;
  QApplication::setPalette(desktop);
  EXPECT_EQ(face, 0xFA0201u);
  EXPECT_EQ(drawn_face, 0xFA0201);
}

TEST_F(QtHost, ContainerFontReachesTheButtonAsAmbientFont) {
  ButtonWidget* in_frame = AddButton(*frame_, "InFrame", CheckButtonSettings(), {0, 20});
  ButtonWidget* on_form = AddButton(*form_, "OnForm", CheckButtonSettings(), {0, 120});
  Show();
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPointSizeF(12);
  f.setBold(true);
  frame_->setFont(f);
  QCoreApplication::processEvents();
  EXPECT_EQ(in_frame->button().Font()->name(), "Liberation Sans");
  EXPECT_DOUBLE_EQ(in_frame->button().Font()->size(), 12);
  EXPECT_TRUE(in_frame->button().Font()->bold());
  EXPECT_EQ(on_form->button().Font()->name(), "Times New Roman");

  // Setting up a container before its buttons show leaves their fonts alone.
  ButtonWidget* hidden = AddButton(*frame_, "Hidden", CheckButtonSettings(), {100, 20});
  hidden->hide();
  QCoreApplication::processEvents();
  frame_->setFont(QFont(QStringLiteral("Liberation Mono")));
  QCoreApplication::processEvents();
  EXPECT_EQ(hidden->button().Font()->name(), "Times New Roman");
  EXPECT_EQ(in_frame->button().Font()->name(), "Liberation Mono");
}

TEST_F(QtHost, MessageBoxShowsTextAndIcon) {
  ButtonWidget* b = AddButton(*frame_, "CmdCheck", CheckButtonSettings(), {0, 20});
  Show();
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    icon = box->icon();
    text = box->text();
    box->accept();
  });
  b->button().site().messages->ShowMessage("first line\r\nsecond", host::MessageIcon::Warning);
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(text, QStringLiteral("first line\nsecond"));
}

}  // namespace
}  // namespace vx::qt
