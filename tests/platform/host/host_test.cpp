#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"

namespace vx::host {
namespace {

using Json = JsonPropertyBag::Json;

TEST(HostSystemPalette, ClassicValuesEveryIndexResolvesAndSettable) {
  SystemPalette p;
  EXPECT_EQ(p.Get(COLOR_BTNFACE), 0xC8D0D4u);
  EXPECT_EQ(p.Get(COLOR_BTNSHADOW), 0x808080u);
  EXPECT_EQ(p.Get(COLOR_3DLIGHT), 0xC8D0D4u);
  EXPECT_EQ(p.Get(COLOR_3DDKSHADOW), 0x404040u);
  EXPECT_EQ(p.Get(COLOR_BTNHIGHLIGHT), 0xFFFFFFu);
  EXPECT_EQ(p.Get(COLOR_BTNTEXT), 0x000000u);
  EXPECT_EQ(p.Get(COLOR_WINDOW), 0xFFFFFFu);
  EXPECT_EQ(p.Get(COLOR_WINDOWTEXT), 0x000000u);
  for (int i = -300; i < 600; ++i) (void)p.Get(i);  // any index, no fault
  p.Set(COLOR_BTNFACE, 0xFF123456);
  EXPECT_EQ(p.Get(COLOR_BTNFACE), 0x123456u);  // the top byte stays 0
  p.ResetClassic();
  EXPECT_EQ(p.Get(COLOR_BTNFACE), 0xC8D0D4u);
}

TEST(HostJsonPropertyBag, ReadsWithoutRegardToCaseAndWritesLowerCase) {
  JsonPropertyBag bag(Json{{"BType", 4}, {"tx", "Go"}, {"_extentx", 2355}});
  EXPECT_EQ(std::get<std::int64_t>(bag.ReadProperty("BTYPE", std::int64_t{2})), 4);
  EXPECT_EQ(std::get<std::string>(bag.ReadProperty("TX", std::string("x"))), "Go");
  EXPECT_EQ(std::get<std::int64_t>(bag.ReadProperty("ALIGN", std::int64_t{1})), 1);  // default
  EXPECT_TRUE(std::holds_alternative<bool>(bag.ReadProperty("missing", true)));

  bag.WriteProperty("BTYPE", std::int64_t{8});
  bag.WriteProperty("GStart", std::int64_t{255});
  bag.WriteProperty("BTNICON", std::monostate{});
  EXPECT_EQ(bag.json().dump(), R"({"tx":"Go","_extentx":2355,"btype":8,"gstart":255})");
  bag.WriteProperty("TX", std::monostate{});  // an empty value removes the key
  EXPECT_FALSE(bag.json().contains("tx"));
  EXPECT_THROW(JsonPropertyBag{Json::array()}, HostError);
}

TEST(HostJsonPropertyBag, FontsAndPictures) {
  JsonPropertyBag bag;
  FontPtr f = Font::Create({.name = "Arial", .size = 9.75, .weight = 700, .italic = true});
  bag.WriteProperty("FONT", f);
  const FontPtr back = std::get<FontPtr>(bag.ReadProperty("font", std::monostate{}));
  EXPECT_EQ(back->attributes(), f->attributes());
  EXPECT_NE(back, f);

  JsonPropertyBag legacy(Json{{"font", {{"name", "X"}, {"size", 8}, {"bold", true}}}});
  EXPECT_TRUE(std::get<FontPtr>(legacy.ReadProperty("FONT", std::monostate{}))->bold());
  for (const Json& bad : {Json{{"size", 8}}, Json{{"name", "X"}, {"size", -1}},
                          Json{{"name", "X"}, {"size", 8}, {"italic", 1}}}) {
    JsonPropertyBag b(Json{{"font", bad}});
    EXPECT_THROW(b.ReadProperty("font", std::monostate{}), HostError) << bad.dump();
  }
  PicturePtr pic = Picture::FromSurface(Surface(2, 2));
  EXPECT_THROW(bag.WriteProperty("BTNICON", pic), HostError);
  pic->set_file("/tmp/x.png");
  bag.WriteProperty("BTNICON", pic);
  EXPECT_EQ(bag.json()["btnicon"], "/tmp/x.png");
}

TEST(HostPicture, SizesAndLoadingFailures) {
  PicturePtr p = Picture::FromSurface(Surface(16, 32), Picture::kBitmap);
  EXPECT_EQ(p->width_himetric(), 423);  // 16 px at 96 per inch
  EXPECT_EQ(p->height_himetric(), 847);
  EXPECT_NEAR(HimetricToPixels(2355), 89.0, 0.01);
  EXPECT_THROW(LoadPicturePng("/nonexistent/icon.png"), HostError);
  const auto junk = std::filesystem::temp_directory_path() / "vx_host_not_a.png";
  std::ofstream(junk) << "not a picture";
  EXPECT_THROW(LoadPicturePng(junk.string()), HostError);
  std::filesystem::remove(junk);
}

TEST(HostFont, AnnouncesEachChangedAttribute) {
  FontPtr f = Font::Create();
  std::vector<std::string> seen;
  const int token = f->Subscribe([&](const std::string& a) { seen.push_back(a); });
  f->set_name("Arial");
  f->set_name("Arial");  // unchanged: silent
  f->set_bold(true);
  f->set_weight(800);
  f->set_size(12);
  f->Assign({.name = "Arial", .size = 12, .weight = 800, .underline = true});
  EXPECT_EQ(seen, (std::vector<std::string>{"Name", "Bold", "Weight", "Size", "Underline"}));
  f->Unsubscribe(token);
  f->set_italic(true);
  EXPECT_EQ(seen.size(), 5u);
}

TEST(HostVersion, TextAndParsing) {
  EXPECT_EQ(VersionText({2, 3, 51}), "2.3.51");
  EXPECT_EQ(ParseVersionText("1.4.10"), (VersionTriple{1, 4, 10}));
  for (const char* bad : {"", "1.4", "1.4.0.1", "a.b.c", "1..4", "-1.4.0", "1.4.0 "}) {
    EXPECT_FALSE(ParseVersionText(bad).has_value()) << bad;
  }
}

TEST(HeadlessHost, ContainerColoursFollowThePaletteUntilSet) {
  HeadlessHost h;
  ParentWindow& parent = *h.site().parent;
  EXPECT_EQ(parent.BackColor(), 0xC8D0D4u);
  EXPECT_EQ(parent.TextColor(), 0u);
  h.container().palette().Set(COLOR_BTNFACE, 0x010101);
  EXPECT_EQ(parent.BackColor(), 0x010101u);
  h.container().SetBackColor(0xABCDEF);
  h.container().SetTextColor(0x00FF00);
  EXPECT_EQ(parent.BackColor(), 0xABCDEFu);
  EXPECT_EQ(parent.TextColor(), 0x00FF00u);
  h.container().SetHasDeviceContext(false);
  EXPECT_THROW(parent.BackColor(), HostError);
}

TEST(HeadlessHost, RecordsWhatTheControlAsks) {
  HeadlessHost h;
  ControlSite s = h.site();
  s.changes->PropertyChanged("TX");
  s.messages->ShowMessage("hello", MessageIcon::Warning);
  s.access_keys->SetAccessKeys("x");
  s.keys->SendKeys("+{Tab}");
  EventArgs args{.button = 1};
  h.on_event = [](std::string_view, EventArgs& a) { a.button = 7; };  // by reference
  s.events->RaiseEvent("MouseDown", args);
  EXPECT_EQ(args.button, 7);
  s.surface->Refresh();
  EXPECT_EQ(h.changed_keys(), std::vector<std::string>{"TX"});
  EXPECT_EQ(h.messages()[0].text, "hello");
  EXPECT_EQ(h.access_keys(), "x");
  EXPECT_EQ(h.sent_keys(), std::vector<std::string>{"+{Tab}"});
  EXPECT_EQ(h.events()[0].name, "MouseDown");
  EXPECT_EQ(h.refresh_count(), 1);
  EXPECT_THROW(s.surface->SetMousePointer(16), HostError);
  s.surface->SetMousePointer(99);
  EXPECT_EQ(s.surface->MousePointer(), 99);

  // The surface keeps its own font object.
  FontPtr mine = Font::Create({.name = "Courier"});
  s.surface->SetFont(mine);
  EXPECT_NE(s.surface->SurfaceFont(), mine);
  EXPECT_EQ(s.surface->SurfaceFont()->name(), "Courier");
  HeadlessHost other;
  EXPECT_NE(other.WindowHandle(), h.WindowHandle());
}

TEST(HeadlessHost, ClockAndTimersAreDrivenByTheTest) {
  HeadlessHost h;
  h.SetTime(100);
  h.SetClockStep(0.05f);
  EXPECT_FLOAT_EQ(h.SecondsSinceMidnight(), 100);
  EXPECT_FLOAT_EQ(h.SecondsSinceMidnight(), 100.05f);

  int ticks = 0;
  auto t = h.CreateTimer([&] { ++ticks; });
  t->SetInterval(100);
  h.TickTimers();
  EXPECT_EQ(ticks, 0);  // created stopped
  t->SetEnabled(true);
  EXPECT_EQ(h.EnabledTimerCount(), 1);
  h.TickTimers();
  EXPECT_EQ(ticks, 1);
  t.reset();
  h.TickTimers();
  EXPECT_EQ(h.EnabledTimerCount(), 0);

  // A timer may outlive its host without harm.
  std::unique_ptr<Timer> survivor;
  {
    HeadlessHost shortlived;
    survivor = shortlived.CreateTimer([] {});
  }
  survivor->SetEnabled(true);
  survivor.reset();
}

TEST(HeadlessHost, JoinParsesControlArrayNames) {
  HeadlessContainer form("Main");
  HeadlessHost h(form);
  h.SetDisplayName("Cmd(4)");
  ControlObject obj;
  h.Join(&obj, "Frame1");
  ASSERT_EQ(form.ControlCount(), 1);
  const ControlEntry e = form.Control(0);
  EXPECT_EQ(e.name, "Cmd");
  EXPECT_EQ(e.index, 4);
  EXPECT_EQ(e.container_name, "Frame1");
  EXPECT_EQ(e.object, &obj);
  form.RemoveControl(&obj);
  EXPECT_EQ(form.ControlCount(), 0);
  EXPECT_THROW(form.Control(0), HostError);
}

}  // namespace
}  // namespace vx::host
