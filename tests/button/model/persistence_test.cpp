#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/host/json_property_bag.h"
#include "tests/button/model/fixture.h"

namespace vx::button {
namespace {

using Json = host::JsonPropertyBag::Json;

struct Restored {
  explicit Restored(Json stored, host::VersionTriple version = {2, 5, 1}, bool design = false) {
    host.SetUserMode(!design);
    host.SetVersion(version);
    button = std::make_unique<TorvelButton>(host.site());
    host.Join(button.get());
    host::JsonPropertyBag bag(std::move(stored));
    button->ReadProperties(bag);
  }
  host::HeadlessHost host;
  std::unique_ptr<TorvelButton> button;
  TorvelButton& b() { return *button; }
};

Json Written(TorvelButton& b) {
  host::JsonPropertyBag bag;
  b.WriteProperties(bag);
  return bag.json();
}

TEST(ButtonPersistence, EmptySetRestoresTheKeyTableDefaults) {
  Restored r(Json::object(), {2, 4, 0});
  TorvelButton& b = r.b();
  EXPECT_EQ(b.ButtonType(), 2);
  EXPECT_EQ(b.Caption(), "TorvelButton");  // the surface's name
  EXPECT_EQ(b.Enabled(), kTrue);
  EXPECT_EQ(b.Font(), r.host.SurfaceFont());
  EXPECT_EQ(b.ColorScheme(), 1);
  EXPECT_EQ(b.BackColor(), 0xC8D0D4);
  EXPECT_EQ(b.ForeColor(), 0);
  EXPECT_EQ(b.MouseOver(), 0);
  EXPECT_EQ(b.EmbossEngraveMid(), 0xC0C0C0);
  EXPECT_EQ(b.EmbossEngraveShadow(), 0xFFFFFF);
  EXPECT_EQ(b.MousePointer(), 0);
  EXPECT_EQ(b.Alignment(), 1);
  EXPECT_EQ(b.IconSize(), 2);
  EXPECT_EQ(b.ShowFocus(), kTrue);
  EXPECT_EQ(b.GradientStopColor(), 0xFF0000);
  EXPECT_EQ(b.state().GraphicsMode, 1);  // the automatic mode, as read
  EXPECT_EQ(b.GraphicsMode(), 1);
  EXPECT_EQ(b.state().HasIcon, kFalse);
  // None of the three routines marks, shows or draws anything.
  EXPECT_TRUE(r.host.changed_keys().empty());
  EXPECT_TRUE(r.host.messages().empty());
  EXPECT_EQ(r.host.refresh_count(), 0);
}

TEST(ButtonPersistence, WritesTheKeysInOrderInLowerCase) {
  testing::Placed p(true);
  const Json j = Written(p.b());
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  std::vector<std::string> expected;
  for (const StoredProperty& k : StoredProperties()) {
    if (std::string(k.key) != "BTNICON" && std::string(k.key) != "MICON") {
      expected.push_back(host::LowerKey(k.key));
    }
  }
  EXPECT_EQ(keys, expected);  // no icon and no pointer icon: absent
  EXPECT_EQ(j["gmode"], -1);  // the requested mode, not the one in force
  EXPECT_EQ(j["enab"], true);
  EXPECT_EQ(j["font"]["name"], "Times New Roman");
}

// A property set that records every call: each key as the control spells
// it, with the value (or the default) handed over.
class RecordingBag : public host::PropertyBag {
 public:
  explicit RecordingBag(Json stored = Json::object()) : stored_(std::move(stored)) {}

  host::PropertyValue ReadProperty(std::string_view key,
                                   const host::PropertyValue& default_value) override {
    calls.push_back(std::string(key) + "=" + Describe(default_value));
    return stored_.ReadProperty(key, default_value);
  }
  void WriteProperty(std::string_view key, const host::PropertyValue& value) override {
    calls.push_back(std::string(key) + "=" + Describe(value));
  }

  std::vector<std::string> calls;

 private:
  static std::string Describe(const host::PropertyValue& v) {
    if (std::holds_alternative<std::monostate>(v)) return "none";
    if (auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto* t = std::get_if<std::string>(&v)) return "'" + *t + "'";
    if (auto* f = std::get_if<host::FontPtr>(&v)) return *f ? "font " + (*f)->name() : "no font";
    return "picture";
  }
  host::JsonPropertyBag stored_;
};

TEST(ButtonPersistence, ReadsTheKeysInTheirOrderWithTheirDefaults) {
  host::HeadlessHost h;
  h.SetVersion(host::VersionTriple{2, 4, 0});  // automatic graphics mode 1
  TorvelButton b(h.site());
  // EMBOSSM's default is the BCOL value read just before.
  RecordingBag bag(Json{{"bcol", 0x123456}});
  b.ReadProperties(bag);
  const std::vector<std::string> expected = {"BTYPE=2",
                                             "BSTYLE=0",
                                             "OPTVAL=false",
                                             "OPTMOD=false",
                                             "TX='TorvelButton'",
                                             "ENAB=true",
                                             "FONT=font Tahoma",
                                             "COLTYPE=1",
                                             "BCOL=13160660",
                                             "FCOL=0",
                                             "FCOLO=0",
                                             "GStart=0",
                                             "GStop=16711680",
                                             "GStyle=0",
                                             "EMBOSSM=1193046",
                                             "EMBOSSS=16777215",
                                             "MPTR=0",
                                             "MICON=none",
                                             "ALIGN=1",
                                             "ICONAlign=0",
                                             "STYLE=0",
                                             "ORIENT=0",
                                             "IconSize=2",
                                             "BTNICON=none",
                                             "GMODE=1",
                                             "SHOWF=true",
                                             "CaptionSmoothing=0"};
  EXPECT_EQ(bag.calls, expected);
}

TEST(ButtonPersistence, WritesEveryKeyInOrderWithItsValue) {
  testing::Placed p(true);
  TorvelButton& b = p.b();
  b.SetIcon(host::Picture::FromSurface(Surface(16, 16, 0), host::Picture::kBitmap));
  b.SetMousePointer(99);
  b.SetMouseIcon(host::Picture::FromSurface(Surface(32, 32, 0), host::Picture::kIcon));
  b.SetMouseOver(0x0000FF);
  RecordingBag bag;
  b.WriteProperties(bag);
  const std::vector<std::string> expected = {"BTNICON=picture",
                                             "BTYPE=2",
                                             "TX='TorvelButton1'",
                                             "ENAB=true",
                                             "FONT=font Times New Roman",
                                             "COLTYPE=2",
                                             "BCOL=13160660",
                                             "FCOL=0",
                                             "FCOLO=255",
                                             "EMBOSSM=12632256",
                                             "EMBOSSS=16777215",
                                             "MPTR=99",
                                             "MICON=picture",
                                             "ALIGN=1",
                                             "ICONAlign=0",
                                             "ORIENT=0",
                                             "STYLE=0",
                                             "IconSize=2",
                                             "SHOWF=true",
                                             "BSTYLE=0",
                                             "OPTVAL=false",
                                             "OPTMOD=false",
                                             "GStart=0",
                                             "GStop=16711680",
                                             "GStyle=0",
                                             "GMODE=-1",
                                             "CaptionSmoothing=0"};
  EXPECT_EQ(bag.calls, expected);
}

TEST(ButtonPersistence, ANewButtonHasTheDefaultsOfANewlyPlacedOne) {
  // InitProperties: the caption from the container's name for it, the
  // container's font renamed, automatic graphics mode; MouseOver and the
  // emboss colours are left to the scheme.
  host::HeadlessHost h;
  h.SetDisplayName("CmdNew");
  TorvelButton b(h.site());
  h.Join(&b);
  b.InitProperties();
  host::JsonPropertyBag bag;
  b.WriteProperties(bag);
  Json want = {
      {"btype", 2},          {"tx", "CmdNew"},  {"enab", true},    {"coltype", 1},
      {"bcol", 0xC8D0D4},    {"fcol", 0},       {"fcolo", 0},      {"embossm", 0xC0C0C0},
      {"embosss", 0xFFFFFF}, {"mptr", 0},       {"align", 1},      {"iconalign", 0},
      {"orient", 0},         {"style", 0},      {"iconsize", 2},   {"showf", true},
      {"bstyle", 0},         {"optval", false}, {"optmod", false}, {"gstart", 0},
      {"gstop", 0xFF0000},   {"gstyle", 0},     {"gmode", -1},     {"captionsmoothing", 0}};
  Json got = bag.json();
  ASSERT_TRUE(got.contains("font"));
  EXPECT_EQ(got["font"]["name"], "Times New Roman");
  got.erase("font");
  EXPECT_EQ(got, want);
  EXPECT_EQ(b.GraphicsMode(), 0);  // the mode in force on 2.5.1
  EXPECT_EQ(b.state().HasIcon, kFalse);
}

TEST(ButtonPersistence, RoundTripReproducesEveryField) {
  testing::Placed p(true);
  TorvelButton& b = p.b();
  b.SetButtonType(Etched);
  b.SetCaption("Save && E&xit");
  b.SetGradientStartColor(0x0000FF);
  b.SetGradientStopColor(0x00FF00);
  b.SetGradientOrientation(3);
  b.SetBackColor(0x102030);
  b.SetForeColor(0x405060);
  b.SetMouseOver(0x708090);
  b.SetEmbossEngraveMid(0x111111);
  b.SetEmbossEngraveShadow(0x222222);
  b.SetCaptionStyle(Shadowed);
  b.SetAlignment(AlignRight);
  b.SetIconAlignmentValue(IconRight);
  b.SetCaptionOrientation(VerticalDown);
  b.SetIconSize(Icon24);
  b.SetShowFocus(kFalse);
  b.SetButtonStyle(RightSegment);
  b.SetOptionButton(kTrue);
  b.SetValue(kTrue);
  b.SetGraphicsMode(2);
  b.SetMousePointer(99);
  b.SetEnabled(kFalse);
  b.SetFont(host::Font::Create({.name = "Arial",
                                .size = 12.5,
                                .weight = 700,
                                .italic = true,
                                .underline = true,
                                .strikethrough = true,
                                .charset = 2}));
  const Json stored = Written(b);

  Restored r(stored);
  const ButtonState& a = b.state();
  const ButtonState& c = r.b().state();
  EXPECT_EQ(c.ButtonType, a.ButtonType);
  EXPECT_EQ(c.Caption, a.Caption);
  EXPECT_EQ(c.Enabled, a.Enabled);
  EXPECT_EQ(c.TextFont->attributes(), a.TextFont->attributes());
  EXPECT_EQ(c.ColorScheme, CustomGradient);
  EXPECT_EQ(c.BackColor, a.BackColor);
  EXPECT_EQ(c.ForeColor, a.ForeColor);
  EXPECT_EQ(c.MouseOver, a.MouseOver);
  EXPECT_EQ(c.EmbossEngraveMid, 0x111111);
  EXPECT_EQ(c.EmbossEngraveShadow, 0x222222);
  EXPECT_EQ(r.b().MousePointer(), 99);
  EXPECT_EQ(c.Alignment, a.Alignment);
  EXPECT_EQ(c.IconAlignmentValue, a.IconAlignmentValue);
  EXPECT_EQ(c.CaptionOrientation, Horizontal);  // the segmented style forced it
  EXPECT_EQ(c.CaptionStyle, Shadowed);
  EXPECT_EQ(c.IconSize, Icon24);
  EXPECT_EQ(c.ShowFocus, kFalse);
  EXPECT_EQ(c.ButtonStyle, RightSegment);
  EXPECT_EQ(c.Value, kTrue);
  EXPECT_EQ(c.OptionButton, kTrue);
  EXPECT_EQ(c.GradientStartColor, 0x0000FF);
  EXPECT_EQ(c.GradientStopColor, 0x00FF00);
  EXPECT_EQ(c.GradientOrientation, 3);
  EXPECT_EQ(c.GraphicsMode, 2);
  EXPECT_EQ(c.GraphicsModeInForce, 2);
  EXPECT_EQ(c.AccessKeyPos, 9);
  EXPECT_EQ(r.host.access_keys(), "x");
  EXPECT_FALSE(r.host.Enabled());
  EXPECT_EQ(r.host.SurfaceFont()->name(), "Arial");
  EXPECT_EQ(c.FaceColor, a.FaceColor);
  EXPECT_EQ(Written(r.b()), stored);
}

TEST(ButtonPersistence, KeysMatchWithoutRegardToCase) {
  Restored r(Json{{"BTYPE", 5}, {"Tx", "Mixed"}, {"iconALIGN", 1}, {"gstart", 0x00FF00}});
  EXPECT_EQ(r.b().ButtonType(), SoftBevel);
  EXPECT_EQ(r.b().Caption(), "Mixed");
  EXPECT_EQ(r.b().IconAlignmentValue(), IconRight);
  EXPECT_EQ(r.b().GradientStartColor(), 0x00FF00);

  host::JsonPropertyBag bag(Json{{"BTYPE", 5}});
  r.b().WriteProperties(bag);
  EXPECT_FALSE(bag.json().contains("BTYPE"));
  EXPECT_EQ(bag.json()["btype"], 5);
}

TEST(ButtonPersistence, ValuesAreTakenAsStoredWithoutChecks) {
  Restored r(Json{{"btype", 9}, {"coltype", 0}, {"align", 7}, {"gstyle", -4}});
  EXPECT_EQ(r.b().ButtonType(), 9);
  EXPECT_EQ(r.b().ColorScheme(), 0);
  EXPECT_EQ(r.b().Alignment(), 7);
  EXPECT_EQ(r.b().GradientOrientation(), -4);
  EXPECT_EQ(r.b().state().FaceColor, 0xC8D0D4);  // scheme 0 draws as SystemColors
}

TEST(ButtonPersistence, ConvertibleValuesOfOtherTypes) {
  Restored r(Json{{"btype", "4"},
                  {"enab", 0},
                  {"showf", "False"},
                  {"tx", 12},
                  {"optmod", 1},
                  {"align", 1.5},
                  {"bcol", true}});
  EXPECT_EQ(r.b().ButtonType(), 4);
  EXPECT_EQ(r.b().Enabled(), kFalse);
  EXPECT_EQ(r.b().ShowFocus(), kFalse);
  EXPECT_EQ(r.b().Caption(), "12");
  EXPECT_EQ(r.b().OptionButton(), kTrue);
  EXPECT_EQ(r.b().Alignment(), 2);  // halves to even
  EXPECT_EQ(r.b().BackColor(), -1);

  // Texts convert as what they hold.
  Restored t(Json{{"btype", " 2.5 "},
                  {"iconsize", "3.5"},
                  {"style", "1e0"},
                  {"orient", "TRUE"},
                  {"enab", "True "},
                  {"optval", " 0.0 "},
                  {"showf", "-1"}});
  EXPECT_EQ(t.b().ButtonType(), 2);
  EXPECT_EQ(t.b().IconSize(), 4);
  EXPECT_EQ(t.b().CaptionStyle(), 1);
  EXPECT_EQ(t.b().CaptionOrientation(), -1);
  EXPECT_EQ(t.b().Enabled(), kTrue);
  EXPECT_EQ(t.b().Value(), kFalse);
  EXPECT_EQ(t.b().ShowFocus(), kTrue);
}

TEST(ButtonPersistence, GradientSchemeFallsBackWhereGradientsCannotBeDrawn) {
  const Json stored{{"coltype", 5}, {"gstart", 0x0000FF}, {"gstop", 0x00FF00}};
  Restored old(stored, {1, 4, 0});
  EXPECT_EQ(old.b().ColorScheme(), CustomColors);
  EXPECT_EQ(old.b().GradientStartColor(), 0x0000FF);
  EXPECT_EQ(old.b().GradientStopColor(), 0x00FF00);
  Restored modern(stored, {2, 5, 1});
  EXPECT_EQ(modern.b().ColorScheme(), CustomGradient);
}

TEST(ButtonPersistence, MissingEmbossMidFollowsBackColourThenTheScheme) {
  Restored custom(Json{{"coltype", 2}, {"bcol", 0x445566}});
  EXPECT_EQ(custom.b().EmbossEngraveMid(), 0x445566);
  Restored system(Json{{"coltype", 1}, {"bcol", 0x445566}});
  EXPECT_EQ(system.b().EmbossEngraveMid(), 0xC0C0C0);
}

TEST(ButtonPersistence, AnUnconvertibleValueStopsAtItsKey) {
  try {
    Restored r(Json{{"btype", 4}, {"TX", "kept"}, {"BCol", "blue"}, {"align", 0}});
    FAIL() << "no error";
  } catch (const PropertyError& e) {
    EXPECT_EQ(e.key(), "bcol");
    EXPECT_NE(std::string(e.what()).find("\"blue\""), std::string::npos) << e.what();
  }
  // The keys before it were read, the ones after it were not.
  host::HeadlessHost h;
  TorvelButton b(h.site());
  host::JsonPropertyBag bag(Json{{"tx", "kept"}, {"enab", "maybe"}, {"align", 0}});
  EXPECT_THROW(b.ReadProperties(bag), PropertyError);
  EXPECT_EQ(b.Caption(), "kept");
  EXPECT_EQ(b.Alignment(), 0);  // never reached: still the empty field
  EXPECT_EQ(b.state().TextFont, nullptr);

  for (const Json& bad :
       {Json{{"btype", 4294967296}}, Json{{"mptr", 40000}}, Json{{"font", "Arial"}},
        Json{{"btype", "2.5x"}}, Json{{"enab", "nan"}}, Json{{"align", "inf"}},
        Json{{"font", Json{{"size", 8}}}}, Json{{"showf", Json::array()}}, Json{{"mptr", 300}}}) {
    host::HeadlessHost hh;
    TorvelButton bb(hh.site());
    host::JsonPropertyBag bb_bag(bad);
    try {
      bb.ReadProperties(bb_bag);
      ADD_FAILURE() << "accepted " << bad.dump();
    } catch (const PropertyError& e) {
      EXPECT_EQ(e.key(), bad.begin().key());
    }
  }
}

TEST(ButtonPersistence, CaptionSmoothingWithAndWithoutItsKey) {
  // A set written before the key existed reads as the default.
  const Json older = {{"btype", 4}, {"tx", "Old"}, {"orient", 0}};
  EXPECT_EQ(Restored(older).b().CaptionSmoothing(), SmoothingStandard);

  for (const Long mode : {SmoothingStandard, SmoothingOff, SmoothingFull}) {
    Json with = older;
    with["captionsmoothing"] = mode;
    Restored r(with);
    EXPECT_EQ(r.b().CaptionSmoothing(), mode);
    EXPECT_EQ(Written(r.b())["captionsmoothing"], mode);
    EXPECT_EQ(r.b().Caption(), "Old");  // the other keys read as before
  }
  // Numbers as text and any case of the key, as for the other keys.
  EXPECT_EQ(Restored(Json{{"CAPTIONSMOOTHING", " 2 "}}).b().CaptionSmoothing(), SmoothingFull);

  // A mode this build does not know is the default; the rest of the set is kept.
  for (const Json& unknown : {Json(3), Json(-1), Json(1000000)}) {
    Restored r(Json{{"tx", "Kept"}, {"captionsmoothing", unknown}});
    EXPECT_EQ(r.b().CaptionSmoothing(), SmoothingStandard) << unknown.dump();
    EXPECT_EQ(r.b().Caption(), "Kept");
  }
  // A value that is no number at all is refused at its key.
  host::HeadlessHost h;
  TorvelButton b(h.site());
  host::JsonPropertyBag bag(Json{{"captionsmoothing", "smooth"}});
  try {
    b.ReadProperties(bag);
    ADD_FAILURE() << "accepted";
  } catch (const PropertyError& e) {
    EXPECT_EQ(e.key(), "captionsmoothing");
  }
}

TEST(ButtonPersistence, CaptionSmoothingIsReportedAndKeptAtRunTimeToo) {
  testing::Placed d(true);
  d.b().SetCaptionSmoothing(SmoothingOff);
  EXPECT_EQ(d.keys(), (testing::Keys{"CaptionSmoothing"}));
  d.b().SetCaptionSmoothing(SmoothingOff);  // no change, no report
  d.b().SetCaptionSmoothing(7);             // out of range, ignored
  EXPECT_EQ(d.keys(), (testing::Keys{"CaptionSmoothing"}));
  EXPECT_EQ(d.b().CaptionSmoothing(), SmoothingOff);

  testing::Placed run(false);
  run.b().SetCaptionSmoothing(SmoothingFull);
  EXPECT_EQ(run.b().CaptionSmoothing(), SmoothingFull);
  EXPECT_EQ(Written(run.b())["captionsmoothing"], SmoothingFull);
}

std::string WritePng(const std::filesystem::path& file, int w, int h) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = w;
  img.height = h;
  img.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> px(static_cast<std::size_t>(w) * h * 4, 0x80);
  px[3] = 0;  // one transparent pixel
  EXPECT_TRUE(png_image_write_to_file(&img, file.c_str(), 0, px.data(), 0, nullptr));
  return file.string();
}

TEST(ButtonPersistence, IconsAreStoredByFileNameAndAbsentWithoutOne) {
  const auto dir = std::filesystem::temp_directory_path() / "vx_model_persistence";
  std::filesystem::create_directories(dir);
  const std::string file = WritePng(dir / "icon.png", 16, 12);

  testing::Placed p(true);
  p.b().SetIcon(p.host.LoadPicture(file));
  EXPECT_EQ(p.b().Icon()->type(), host::Picture::kIcon);
  const Json stored = Written(p.b());
  EXPECT_EQ(stored["btnicon"], file);

  Restored r(stored);
  ASSERT_NE(r.b().Icon(), nullptr);
  EXPECT_EQ(r.b().Icon()->width(), 16);
  EXPECT_EQ(r.b().Icon()->height(), 12);
  EXPECT_EQ(r.b().state().HasIcon, kTrue);

  Restored none(Json{{"btnicon", nullptr}});
  EXPECT_EQ(none.b().state().HasIcon, kFalse);
  EXPECT_FALSE(Written(none.b()).contains("btnicon"));

  try {
    Restored missing(Json{{"btnicon", (dir / "missing.png").string()}});
    FAIL();
  } catch (const PropertyError& e) {
    EXPECT_EQ(e.key(), "btnicon");
  }
  // A picture made in memory has no file to refer to.
  p.b().SetIcon(host::Picture::FromSurface(Surface(4, 4)));
  try {
    Written(p.b());
    FAIL();
  } catch (const PropertyError& e) {
    EXPECT_EQ(e.key(), "btnicon");
  }
  std::filesystem::remove_all(dir);
}

TEST(ButtonPersistence, TheCheckButtonsStoredSetRestoresAsTheWindowDefinesIt) {
  const std::string path = VETTRIX_SOURCE_DIR "/button/model/data/cmdcheck.json";
  std::ifstream in(path);
  ASSERT_TRUE(in) << "cannot open " << path;
  Restored r(Json::parse(in));
  TorvelButton& b = r.b();
  EXPECT_EQ(b.ButtonType(), Etched);
  EXPECT_EQ(b.Caption(), "Check Source");
  EXPECT_EQ(b.Enabled(), kTrue);
  EXPECT_EQ(b.Font()->name(), "Times New Roman");
  EXPECT_DOUBLE_EQ(b.Font()->size(), 8.25);
  EXPECT_EQ(b.Font()->weight(), 400);
  EXPECT_EQ(b.Font()->charset(), 0);
  EXPECT_FALSE(b.Font()->italic() || b.Font()->underline() || b.Font()->strikethrough());
  EXPECT_EQ(b.ColorScheme(), SystemColors);
  EXPECT_EQ(b.BackColor(), 0xC8D0D4);
  EXPECT_EQ(b.ForeColor(), 0);
  EXPECT_EQ(b.MouseOver(), 0);
  EXPECT_EQ(b.EmbossEngraveMid(), 0xC0C0C0);
  EXPECT_EQ(b.EmbossEngraveShadow(), 0xFFFFFF);
  EXPECT_EQ(b.MousePointer(), 0);
  EXPECT_EQ(b.MouseIcon(), nullptr);
  EXPECT_EQ(b.Alignment(), AlignCenter);
  EXPECT_EQ(b.IconAlignmentValue(), 0);
  EXPECT_EQ(b.CaptionOrientation(), 0);
  EXPECT_EQ(b.CaptionStyle(), 0);
  EXPECT_EQ(b.IconSize(), 2);
  EXPECT_EQ(b.ShowFocus(), kTrue);
  EXPECT_EQ(b.ButtonStyle(), 0);
  EXPECT_EQ(b.Value(), kFalse);
  EXPECT_EQ(b.OptionButton(), kFalse);
  EXPECT_EQ(b.GradientStartColor(), 0);
  EXPECT_EQ(b.GradientStopColor(), 0xFF0000);
  EXPECT_EQ(b.GradientOrientation(), 0);
  EXPECT_EQ(b.Icon(), nullptr);
  EXPECT_EQ(b.state().GraphicsMode, 0);  // absent: the automatic mode of this platform
  EXPECT_EQ(b.state().FaceColor, 0xC8D0D4);
}

}  // namespace
}  // namespace vx::button
