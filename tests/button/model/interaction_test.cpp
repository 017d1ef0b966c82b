// Buttons on one headless form, drawn by the real render library, driven
// through the host notifications: the events they raise and in which order,
// the looks they show, the hover timer, option groups and the access-key
// pause.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "button/model/torvel_button.h"
#include "button/render/painter.h"
#include "platform/host/headless.h"

namespace vx::button {
namespace {

using Log = std::vector<std::string>;

// The time of day the test drives: it moves on by `step` at every read and
// wraps at midnight; `on_read` sees each read.
struct TestClock : host::Clock {
  float time = 43200;
  float step = 0.01f;
  int reads = 0;
  std::function<void()> on_read;
  float SecondsSinceMidnight() override {
    ++reads;
    if (on_read) on_read();
    const float t = time;
    time += step;
    if (time >= 86400) time -= 86400;
    return t;
  }
};

// Keeps the timers it hands out, to look at them.
struct TimerLog : host::TimerService {
  explicit TimerLog(host::TimerService& inner) : inner(inner) {}
  std::unique_ptr<host::Timer> CreateTimer(std::function<void()> tick) override {
    auto t = inner.CreateTimer(std::move(tick));
    made.push_back(t.get());
    return t;
  }
  host::TimerService& inner;
  std::vector<host::Timer*> made;
};

struct Form {
  host::HeadlessContainer container{"Form1"};
  Log log;  // "Name.Event" of every button, in order
};

// A newly placed button of `type` on the form (in `frame`, or on the form
// itself), shown, with its records cleared.
struct Btn {
  Btn(Form& form, const std::string& name, const std::string& frame = "", bool option = false,
      Long type = Classic3D)
      : host(form.container), timers(host) {
    host.SetDisplayName(name);
    host::ControlSite site = host.site();
    site.clock = &clock;
    site.timers = &timers;
    button = std::make_unique<TorvelButton>(site);
    host.Join(button.get(), frame);
    button->SetRenderer(std::make_shared<render::ButtonPainter>());
    host.SetUserMode(false);
    button->InitProperties();
    button->SetButtonType(type);
    host.SetUserMode(true);
    if (option) button->SetOptionButton(kTrue);
    host.on_event = [&form, name](std::string_view e, host::EventArgs&) {
      form.log.push_back(name + "." + std::string(e));
    };
    button->UserControl_Show();
    host.ClearRecords();
  }
  TorvelButton& b() { return *button; }
  ButtonState& st() { return button->state(); }
  std::vector<ColorRef> Pixels() { return host.DrawingSurface().pixels(); }
  // The button drawn in `state`; the surface and the state are put back.
  std::vector<ColorRef> Look(Long state) {
    const int refreshes = host.refresh_count();
    const std::vector<ColorRef> keep = Pixels();
    const Long was = st().VisualState;
    st().VisualState = state;
    button->DrawButton(kFalse);
    std::vector<ColorRef> look = Pixels();
    st().VisualState = was;
    host.DrawingSurface().pixels() = keep;
    seen += host.refresh_count() - refreshes;
    return look;
  }
  // Whether the button repainted since the last question (Look aside).
  bool Redrawn() {
    const bool r = host.refresh_count() != seen;
    seen = host.refresh_count();
    return r;
  }
  // Runs `f` when the button raises `event`.
  void OnEvent(const std::string& event, std::function<void()> f) {
    host.on_event = [log = host.on_event, event, f](std::string_view e, host::EventArgs& a) {
      log(e, a);
      if (e == event) f();
    };
  }

  host::HeadlessHost host;
  TestClock clock;
  TimerLog timers;
  std::unique_ptr<TorvelButton> button;
  int seen = 0;
};

TEST(ButtonMouse, LeftClickPressesReleasesAndClicks) {
  Form f;
  Btn a(f, "Cmd");
  std::vector<ColorRef> at_press;
  a.OnEvent("MouseDown", [&] { at_press = a.Pixels(); });
  a.b().UserControl_MouseDown(1, 1, 10, 5);
  a.b().UserControl_MouseUp(1, 0, 10, 5);
  a.b().UserControl_Click();
  EXPECT_EQ(f.log, (Log{"Cmd.MouseDown", "Cmd.MouseUp", "Cmd.Click"}));
  const host::EventArgs& down = a.host.events()[0].args;
  EXPECT_EQ(down.button, 1);
  EXPECT_EQ(down.shift, 1);
  EXPECT_EQ(down.x, 10);
  EXPECT_EQ(down.y, 5);
  ASSERT_NE(a.Look(Pressed), a.Look(Normal));
  EXPECT_EQ(at_press, a.Look(Pressed));
  EXPECT_EQ(a.st().VisualState, Normal);
  EXPECT_EQ(a.Pixels(), a.Look(Normal));

  // The second press of a double click looks pressed but clicks no more.
  f.log.clear();
  a.b().UserControl_MouseDown(1, 0, 10, 5);
  a.b().UserControl_MouseUp(1, 0, 10, 5);
  a.b().UserControl_Click();
  a.b().UserControl_DblClick();
  EXPECT_EQ(a.st().VisualState, Pressed);
  EXPECT_EQ(a.Pixels(), a.Look(Pressed));
  a.b().UserControl_MouseUp(1, 0, 10, 5);
  EXPECT_EQ(f.log, (Log{"Cmd.MouseDown", "Cmd.MouseUp", "Cmd.Click", "Cmd.MouseUp"}));
}

TEST(ButtonMouse, RightClickRaisesNoClickAndLendsEnabledOnlyUntilThen) {
  Form f;
  Btn a(f, "Cmd");
  a.b().UserControl_MouseDown(2, 0, 3, 3);
  EXPECT_EQ(a.b().Enabled(), kFalse);
  EXPECT_FALSE(a.Redrawn());  // no disabled flash
  EXPECT_EQ(a.st().VisualState, Normal);
  a.b().UserControl_MouseUp(2, 0, 3, 3);
  EXPECT_EQ(a.b().Enabled(), kFalse);
  a.b().UserControl_DblClick();  // not after a left press: nothing
  EXPECT_FALSE(a.Redrawn());
  a.b().UserControl_Click();
  EXPECT_EQ(a.b().Enabled(), kTrue);
  EXPECT_EQ(f.log, (Log{"Cmd.MouseDown", "Cmd.MouseUp"}));

  // Without a click notification the pointer leaving gives Enabled back.
  a.host.SetPointerOverWindow(true);
  a.b().UserControl_MouseMove(0, 0, 3, 3);
  a.b().UserControl_MouseDown(2, 0, 3, 3);
  a.host.TickTimers();
  EXPECT_EQ(a.b().Enabled(), kFalse);
  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(a.b().Enabled(), kTrue);

  // A button its container disabled stays disabled when the pointer leaves.
  a.host.SetPointerOverWindow(true);
  a.b().UserControl_MouseMove(0, 0, 3, 3);
  a.b().SetEnabled(kFalse);
  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(a.b().Enabled(), kFalse);
  EXPECT_EQ(a.Pixels(), a.Look(Normal));
}

TEST(ButtonMouse, OptionButtonsAreExclusiveWithinTheirContainerOnly) {
  Form f;
  Btn a(f, "Opt(0)", "", true);
  Btn b(f, "Opt(1)", "", true);
  Btn framed(f, "Framed", "Frame1", true);
  a.b().SetValue(kTrue);
  framed.b().SetValue(kTrue);
  f.log.clear();

  b.b().UserControl_MouseDown(1, 0, 5, 5);
  EXPECT_EQ(f.log, (Log{"Opt(1).Click", "Opt(1).MouseDown"}));
  EXPECT_EQ(a.b().Value(), kFalse);
  EXPECT_EQ(b.b().Value(), kTrue);
  EXPECT_EQ(framed.b().Value(), kTrue);
  b.b().UserControl_MouseUp(1, 0, 5, 5);
  b.b().UserControl_Click();
  EXPECT_EQ(f.log, (Log{"Opt(1).Click", "Opt(1).MouseDown", "Opt(1).MouseUp"}));

  // Pressing the selected one raises no MouseDown; its release still reports.
  f.log.clear();
  b.b().UserControl_MouseDown(1, 0, 5, 5);
  b.b().UserControl_MouseUp(1, 0, 5, 5);
  b.b().UserControl_Click();
  EXPECT_EQ(f.log, (Log{"Opt(1).MouseUp"}));

  // A button restored as selected takes the group over when it is shown.
  a.st().Value = kTrue;
  a.b().UserControl_Show();
  EXPECT_EQ(b.b().Value(), kFalse);
  EXPECT_EQ(framed.b().Value(), kTrue);
}

TEST(ButtonKeyboard, SpaceClicksWithoutMouseEvents) {
  Form f;
  Btn a(f, "Cmd");
  std::vector<ColorRef> at_key_down;
  a.OnEvent("KeyDown", [&] { at_key_down = a.Pixels(); });
  a.b().UserControl_KeyDown(32, 0);
  a.b().UserControl_KeyUp(32, 0);
  EXPECT_EQ(f.log, (Log{"Cmd.KeyDown", "Cmd.KeyUp", "Cmd.Click"}));
  EXPECT_EQ(at_key_down, a.Look(Pressed));
  EXPECT_EQ(a.Pixels(), a.Look(Normal));

  // Another key between: no click, but the button comes up again.
  f.log.clear();
  a.b().UserControl_KeyDown(32, 0);
  a.b().UserControl_KeyDown(65, 0);
  a.b().UserControl_KeyUp(32, 0);
  EXPECT_EQ(f.log, (Log{"Cmd.KeyDown", "Cmd.KeyDown", "Cmd.KeyUp"}));
  EXPECT_EQ(a.st().VisualState, Normal);
  EXPECT_EQ(a.Pixels(), a.Look(Normal));
}

TEST(ButtonKeyboard, ArrowsMoveFocusEnterIsSwallowedOnOptionButtons) {
  Form f;
  Btn a(f, "Cmd");
  Btn opt(f, "Opt", "", true);
  for (std::int16_t key : {39, 40, 37, 38}) a.b().UserControl_KeyDown(key, 0);
  EXPECT_EQ(a.host.sent_keys(), (Log{"{Tab}", "{Tab}", "+{Tab}", "+{Tab}"}));
  EXPECT_TRUE(f.log.empty());

  opt.b().UserControl_KeyDown(13, 0);
  EXPECT_TRUE(f.log.empty());
  a.b().UserControl_KeyDown(13, 2);
  a.b().UserControl_KeyPress(13);
  a.b().UserControl_KeyUp(13, 2);
  EXPECT_EQ(f.log, (Log{"Cmd.KeyDown", "Cmd.KeyPress", "Cmd.KeyUp"}));
  EXPECT_EQ(a.host.events()[0].args.key_code, 13);
  EXPECT_EQ(a.host.events()[0].args.shift, 2);
  EXPECT_EQ(a.host.events()[1].args.key_ascii, 13);

  // Space selects an option button once; it does not stay pressed.
  f.log.clear();
  opt.b().UserControl_KeyDown(32, 0);
  opt.b().UserControl_KeyUp(32, 0);
  EXPECT_EQ(f.log, (Log{"Opt.Click", "Opt.KeyDown", "Opt.KeyUp"}));
  EXPECT_EQ(opt.b().Value(), kTrue);
  EXPECT_EQ(opt.st().VisualState, Normal);
  f.log.clear();
  opt.b().UserControl_KeyDown(32, 0);
  opt.b().UserControl_KeyUp(32, 0);
  EXPECT_EQ(f.log, (Log{"Opt.KeyDown", "Opt.KeyUp"}));
}

TEST(ButtonHover, PointerLeavingIsCaughtByTheNextTick) {
  Form f;
  Btn a(f, "Cmd", "", false, HoverBevel);
  ASSERT_NE(a.Look(Hover), a.Look(Normal));
  a.host.SetPointerOverWindow(true);
  EXPECT_EQ(a.host.EnabledTimerCount(), 0);
  a.b().UserControl_MouseMove(0, 0, 10, 10);
  EXPECT_TRUE(a.Redrawn());
  a.b().UserControl_MouseMove(0, 0, 11, 10);
  EXPECT_FALSE(a.Redrawn());  // only the way in redraws
  EXPECT_EQ(a.Pixels(), a.Look(Hover));
  EXPECT_EQ(a.host.EnabledTimerCount(), 1);
  a.host.TickTimers();
  EXPECT_FALSE(a.Redrawn());

  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(f.log, (Log{"Cmd.MouseMove", "Cmd.MouseMove", "Cmd.MouseOut"}));
  EXPECT_EQ(a.st().MouseInside, kFalse);
  EXPECT_EQ(a.Pixels(), a.Look(Normal));
  EXPECT_EQ(a.host.EnabledTimerCount(), 0);

  // Dragging out with the left button: the move itself draws nothing.
  a.host.SetPointerOverWindow(true);
  a.b().UserControl_MouseMove(0, 0, 10, 10);
  a.b().UserControl_MouseDown(1, 0, 10, 10);
  a.b().UserControl_MouseMove(1, 0, 12, 10);
  EXPECT_EQ(a.st().VisualState, Pressed);
  const std::vector<ColorRef> pressed = a.Pixels();
  a.Redrawn();
  a.b().UserControl_MouseMove(1, 0, -4, 10);
  EXPECT_EQ(a.st().VisualState, Normal);
  EXPECT_FALSE(a.Redrawn());
  EXPECT_EQ(a.Pixels(), pressed);
  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(a.Pixels(), a.Look(Normal));
}

TEST(ButtonFocus, FocusLooksAndHoverAcrossFocusChanges) {
  Form f;
  Btn a(f, "Cmd");
  a.b().UserControl_MouseDown(2, 0, 1, 1);
  a.b().UserControl_KeyDown(65, 0);
  a.b().UserControl_EnterFocus();
  EXPECT_EQ(a.st().VisualState, Focused);
  EXPECT_EQ(a.st().LastMouseButton, 1);
  EXPECT_EQ(a.st().LastKeyCode, 0);
  EXPECT_EQ(a.Pixels(), a.Look(Focused));
  a.b().UserControl_ExitFocus();
  EXPECT_EQ(a.st().VisualState, Normal);

  // Focus coming and going under the pointer keeps the hover look, and the
  // pointer leaving afterwards is still noticed.
  a.host.SetPointerOverWindow(true);
  a.b().UserControl_MouseMove(0, 0, 5, 5);
  a.b().UserControl_EnterFocus();
  EXPECT_EQ(a.st().VisualState, Hover);
  a.b().UserControl_ExitFocus();
  EXPECT_EQ(a.st().VisualState, Hover);
  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(a.st().VisualState, Normal);
  EXPECT_EQ(f.log.back(), "Cmd.MouseOut");

  // Leaving with the focus still there rests on the focused look.
  a.b().UserControl_EnterFocus();
  a.host.SetPointerOverWindow(true);
  a.b().UserControl_MouseMove(0, 0, 5, 5);
  a.host.SetPointerOverWindow(false);
  a.host.TickTimers();
  EXPECT_EQ(a.st().VisualState, Focused);
}

TEST(ButtonAccessKey, PlainButtonFlashesPressedForThePauseThenClicks) {
  Form f;
  Btn a(f, "Cmd");
  std::vector<ColorRef> during;
  a.clock.on_read = [&] {
    if (a.clock.reads == 1) during = a.Pixels();
  };
  const float start = a.clock.time;
  a.b().UserControl_AccessKeyPress('c');
  EXPECT_EQ(during, a.Look(Pressed));
  const float waited = a.clock.time - a.clock.step - start;
  EXPECT_GE(waited, 0.15f);
  EXPECT_LT(waited, 0.15f + 2 * a.clock.step);
  EXPECT_EQ(f.log, (Log{"Cmd.Click"}));
  EXPECT_EQ(a.Pixels(), a.Look(Normal));

  // Midnight ends the pause early; so does a clock that stands still.
  a.clock.time = 86399.9f;
  a.clock.step = 0.05f;
  a.clock.reads = 0;
  a.b().UserControl_AccessKeyPress('c');
  EXPECT_LE(a.clock.reads, 4);
  a.clock.step = 0;
  a.b().UserControl_AccessKeyPress('c');
  EXPECT_EQ(f.log, (Log{"Cmd.Click", "Cmd.Click", "Cmd.Click"}));
}

TEST(ButtonAccessKey, OptionButtonsSelectOrReportTheKey) {
  Form f;
  Btn a(f, "Opt(0)", "", true);
  Btn b(f, "Opt(1)", "", true);
  b.b().SetValue(kTrue);
  f.log.clear();
  a.b().UserControl_AccessKeyPress('a');
  EXPECT_EQ(f.log, (Log{"Opt(0).Click"}));
  EXPECT_EQ(b.b().Value(), kFalse);
  EXPECT_EQ(a.clock.reads, 0);  // no flash for option buttons

  f.log.clear();
  a.b().UserControl_AccessKeyPress('a');
  EXPECT_EQ(f.log, (Log{"Opt(0).KeyDown", "Opt(0).KeyPress", "Opt(0).KeyUp"}));
  const auto& ev = a.host.events();
  EXPECT_EQ(ev[ev.size() - 3].args.key_code, 'a');
  EXPECT_EQ(ev[ev.size() - 2].args.key_ascii, 'a');
  EXPECT_EQ(ev[ev.size() - 1].args.key_code, 'a');
}

TEST(ButtonLifecycle, CreationShowResizeAndTermination) {
  host::HeadlessHost h;
  TimerLog timers(h);
  host::ControlSite site = h.site();
  site.timers = &timers;
  TorvelButton b(site);
  h.Join(&b);
  b.SetRenderer(std::make_shared<render::ButtonPainter>());
  ASSERT_EQ(timers.made.size(), 1u);
  EXPECT_EQ(timers.made[0]->Interval(), 100);
  EXPECT_FALSE(timers.made[0]->Enabled());
  EXPECT_EQ(b.state().LastMouseButton, 1);
  b.UserControl_Initialize();  // the host may run the creation step again
  EXPECT_EQ(timers.made.size(), 1u);

  b.InitProperties();
  b.UserControl_Resize();
  EXPECT_EQ(h.refresh_count(), 0);
  EXPECT_FALSE(h.window_shape().has_value());
  b.UserControl_Show();
  EXPECT_EQ(b.state().IsShown, kTrue);
  EXPECT_TRUE(h.window_shape().has_value());
  EXPECT_GT(h.refresh_count(), 0);

  h.SetPointerOverWindow(true);
  b.UserControl_MouseMove(0, 0, 1, 1);
  b.UserControl_Terminate();
  EXPECT_EQ(b.Font(), nullptr);
  EXPECT_EQ(b.Icon(), nullptr);
  EXPECT_EQ(h.EnabledTimerCount(), 0);
}

// A timer the host can no longer stop.
struct BrokenTimer : host::Timer {
  void SetInterval(int) override {}
  int Interval() const override { return 100; }
  void SetEnabled(bool) override { throw host::HostError("the timer is gone"); }
  bool Enabled() const override { return false; }
};
struct BrokenTimers : host::TimerService {
  bool broken = false;
  std::unique_ptr<host::Timer> CreateTimer(std::function<void()>) override {
    return std::make_unique<Stoppable>(*this);
  }
  // Stops like any timer until the test breaks it.
  struct Stoppable : BrokenTimer {
    explicit Stoppable(BrokenTimers& owner) : owner(owner) {}
    void SetEnabled(bool on) override {
      if (owner.broken) BrokenTimer::SetEnabled(on);
    }
    BrokenTimers& owner;
  };
};

TEST(ButtonLifecycle, TerminationGoesOnPastAFailingStep) {
  host::HeadlessHost h;
  BrokenTimers timers;
  host::ControlSite site = h.site();
  site.timers = &timers;
  TorvelButton b(site);
  h.Join(&b);
  b.InitProperties();
  b.SetIcon(host::Picture::FromSurface(Surface(16, 16, 0), host::Picture::kBitmap));
  timers.broken = true;
  EXPECT_NO_THROW(b.UserControl_Terminate());
  // The steps after the failing one still ran.
  EXPECT_EQ(b.Font(), nullptr);
  EXPECT_EQ(b.Icon(), nullptr);
  EXPECT_EQ(b.state().HasIcon, kFalse);
}

TEST(ButtonAmbient, FontAndColourChangesOfTheContainer) {
  Form f;
  Btn a(f, "Cmd");
  a.host.SetAmbientFont({.name = "Liberation Sans", .size = 12});
  a.b().UserControl_AmbientChanged("Font");
  EXPECT_EQ(a.b().Font()->name(), "Liberation Sans");
  EXPECT_EQ(a.host.SurfaceFont()->name(), "Liberation Sans");
  EXPECT_NE(a.b().Font(), a.host.AmbientFont());
  EXPECT_FALSE(a.Redrawn());
  EXPECT_EQ(a.st().LayoutPending, kTrue);
  // The copy still announces its changes; the container's font is untouched.
  a.b().Font()->set_size(20);
  EXPECT_TRUE(a.Redrawn());
  EXPECT_EQ(a.host.SurfaceFont()->size(), 20);
  EXPECT_EQ(a.host.AmbientFont()->size(), 12);

  // Under the system colours only the text colour follows the container.
  a.host.container().palette().Set(host::COLOR_BTNTEXT, 0x0000FF);
  for (const char* name : {"BackColor", "Palette", "Caption", "Color"}) {
    a.b().UserControl_AmbientChanged(name);
  }
  EXPECT_FALSE(a.Redrawn());
  a.b().UserControl_AmbientChanged("ForeColor");
  EXPECT_EQ(a.st().TextColor, 0x0000FF);
  EXPECT_TRUE(a.Redrawn());

  // Under the container's colours every matching name counts.
  a.host.SetUserMode(false);
  a.b().SetColorScheme(ParentColors);
  a.host.SetUserMode(true);
  a.Redrawn();
  a.host.container().SetBackColor(0x336699);
  a.b().UserControl_AmbientChanged("Caption");
  EXPECT_FALSE(a.Redrawn());
  a.b().UserControl_AmbientChanged("BackColor");
  EXPECT_EQ(a.st().FaceColor, 0x336699);
  EXPECT_TRUE(a.Redrawn());
  a.b().UserControl_AmbientChanged("Palette");
  EXPECT_TRUE(a.Redrawn());
}

}  // namespace
}  // namespace vx::button
