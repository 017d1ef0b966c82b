#include <gtest/gtest.h>

#include "tests/button/model/fixture.h"

namespace vx::button {
namespace {

using testing::Keys;
using testing::Placed;

TEST(ButtonProperties, NewInstanceDefaults) {
  Placed p(true);
  TorvelButton& b = p.b();
  EXPECT_EQ(b.Alignment(), AlignCenter);
  EXPECT_EQ(b.ShowFocus(), kTrue);
  EXPECT_EQ(b.GraphicsMode(), 0);  // the automatic mode in force
  EXPECT_EQ(b.state().GraphicsMode, -1);
  EXPECT_EQ(b.Value(), kFalse);
  EXPECT_EQ(b.OptionButton(), kFalse);
  EXPECT_EQ(b.EmbossEngraveShadow(), 0xFFFFFF);
  EXPECT_EQ(b.EmbossEngraveMid(), 0xC0C0C0);
  EXPECT_EQ(b.GradientStartColor(), 0);
  EXPECT_EQ(b.GradientStopColor(), 0xFF0000);
  EXPECT_EQ(b.BackColor(), 0xC8D0D4);
  EXPECT_EQ(b.ForeColor(), 0);
  EXPECT_EQ(b.MouseOver(), 0);
  EXPECT_EQ(b.Icon(), nullptr);
  EXPECT_EQ(b.ButtonType(), Classic3D);
  EXPECT_EQ(b.Caption(), "TorvelButton1");
  EXPECT_EQ(b.IconSize(), Icon16);
  EXPECT_EQ(b.CaptionStyle(), Plain);
  EXPECT_EQ(b.Enabled(), kTrue);
  EXPECT_EQ(b.Font()->name(), "Times New Roman");
  EXPECT_EQ(b.Font()->size(), 8.25);  // the container's size, kept
  EXPECT_EQ(b.ColorScheme(), SystemColors);
  EXPECT_EQ(b.ButtonStyle(), Rectangular);
  EXPECT_EQ(b.CaptionOrientation(), Horizontal);
  EXPECT_EQ(b.state().LastMouseButton, 1);
  EXPECT_EQ(b.state().IsShown, kFalse);
  // The container's own font is not renamed.
  EXPECT_EQ(p.host.AmbientFont()->name(), "Tahoma");
}

TEST(ButtonProperties, CaptionFallsBackToSurfaceNameWithoutDisplayName) {
  host::HeadlessHost h;
  h.SetDisplayName("");
  TorvelButton b(h.site());
  b.InitProperties();
  EXPECT_EQ(b.Caption(), "TorvelButton");
}

TEST(ButtonProperties, DesignOnlyAssignmentsAreIgnoredAtRunTime) {
  Placed p(false);
  TorvelButton& b = p.b();
  b.SetAlignment(AlignLeft);
  b.SetShowFocus(kFalse);
  b.SetIconAlignmentValue(IconRight);
  b.SetButtonType(Etched);
  b.SetIconSize(Icon32);
  b.SetColorScheme(FixedGrey);
  b.SetButtonStyle(LeftSegment);
  b.SetCaptionOrientation(VerticalUp);
  EXPECT_EQ(b.Alignment(), AlignCenter);
  EXPECT_EQ(b.ShowFocus(), kTrue);
  EXPECT_EQ(b.IconAlignmentValue(), IconLeft);
  EXPECT_EQ(b.ButtonType(), Classic3D);
  EXPECT_EQ(b.IconSize(), Icon16);
  EXPECT_EQ(b.ColorScheme(), SystemColors);
  EXPECT_EQ(b.ButtonStyle(), Rectangular);
  EXPECT_EQ(b.CaptionOrientation(), Horizontal);
  EXPECT_TRUE(p.host.messages().empty());
  EXPECT_EQ(p.host.refresh_count(), 0);

  // These act at run time, never with PropertyChanged.
  b.SetCaption("Go");
  b.SetEnabled(kFalse);
  b.SetFont(host::Font::Create({.name = "Arial", .size = 10}));
  b.SetIcon(host::Picture::FromSurface(Surface(16, 16)));
  b.SetOptionButton(kTrue);
  b.SetValue(kTrue);
  b.SetGraphicsMode(-1);
  b.SetMousePointer(11);
  b.SetMouseIcon(host::Picture::FromSurface(Surface(32, 32)));
  EXPECT_EQ(b.Caption(), "Go");
  EXPECT_EQ(b.Enabled(), kFalse);
  EXPECT_FALSE(p.host.Enabled());
  EXPECT_EQ(b.Font()->name(), "Arial");
  EXPECT_EQ(b.state().HasIcon, kTrue);
  EXPECT_EQ(b.Value(), kTrue);
  EXPECT_EQ(b.MousePointer(), 11);
  EXPECT_EQ(b.MouseIcon()->width(), 32);
  EXPECT_TRUE(p.keys().empty());
}

TEST(ButtonProperties, CustomColourSwitchAtRunTimeAndDesignTime) {
  Placed run(false);
  run.b().SetBackColor(0x123456);
  EXPECT_EQ(run.b().BackColor(), 0xC8D0D4);
  EXPECT_EQ(run.b().ColorScheme(), SystemColors);

  Placed design(true);
  design.b().SetBackColor(0x123456);
  EXPECT_EQ(design.b().BackColor(), 0x123456);
  EXPECT_EQ(design.b().ColorScheme(), CustomColors);
  EXPECT_EQ(design.keys(), (Keys{"COLTYPE", "FCOL", "FCOLO", "BCOL"}));
  EXPECT_EQ(design.b().state().FaceColor, 0x123456);
}

TEST(ButtonProperties, SwitchKeyOrdersOfEachColourProperty) {
  struct Case {
    void (TorvelButton::*set)(Color);
    Keys keys;
  };
  const Case cases[] = {
      {&TorvelButton::SetForeColor, {"COLTYPE", "BCOL", "FCOLO", "FCOL"}},
      {&TorvelButton::SetMouseOver, {"COLTYPE", "BCOL", "FCOL", "FCOLO"}},
      {&TorvelButton::SetEmbossEngraveShadow,
       {"COLTYPE", "FCOL", "FCOLO", "BCOL", "EMBOSSM", "EMBOSSS"}},
      {&TorvelButton::SetEmbossEngraveMid,
       {"COLTYPE", "FCOL", "FCOLO", "BCOL", "EMBOSSS", "EMBOSSM"}},
      {&TorvelButton::SetGradientStartColor,
       {"COLTYPE", "FCOL", "FCOLO", "BCOL", "GStop", "GStart"}},
      {&TorvelButton::SetGradientStopColor,
       {"COLTYPE", "FCOL", "FCOLO", "BCOL", "GStart", "GStop"}},
  };
  for (const Case& c : cases) {
    Placed p(true);
    (p.b().*c.set)(0x00AA00);
    EXPECT_EQ(p.keys(), c.keys);
  }
  Placed style(true);
  style.b().SetCaptionStyle(Embossed);
  EXPECT_EQ(style.keys(),
            (Keys{"COLTYPE", "BCOL", "FCOL", "FCOLO", "EMBOSSM", "EMBOSSS", "STYLE"}));
  EXPECT_EQ(style.b().ColorScheme(), CustomColors);

  // Already custom: only the own key.
  Placed custom(true);
  custom.b().SetBackColor(0x101010);
  custom.host.ClearRecords();
  custom.b().SetForeColor(0x202020);
  EXPECT_EQ(custom.keys(), (Keys{"FCOL"}));
  // Equal value: nothing at all.
  custom.b().SetForeColor(0x202020);
  EXPECT_EQ(custom.keys(), (Keys{"FCOL"}));
}

TEST(ButtonProperties, GradientColoursSwitchToGradientSchemeOrRefuseForTwoLooks) {
  Placed p(true);
  p.b().SetGradientStartColor(0x0000FF);
  EXPECT_EQ(p.b().ColorScheme(), CustomGradient);
  EXPECT_EQ(p.b().GradientStartColor(), 0x0000FF);

  Placed mac(true);
  mac.b().SetButtonType(Macintosh);
  mac.host.ClearRecords();
  mac.b().SetGradientStartColor(0x0000FF);
  mac.b().SetGradientStopColor(0x00FF00);
  EXPECT_EQ(mac.b().GradientStartColor(), 0);
  EXPECT_EQ(mac.b().GradientStopColor(), 0xFF0000);
  EXPECT_EQ(mac.b().ColorScheme(), SystemColors);
  ASSERT_EQ(mac.host.messages().size(), 2u);
  EXPECT_EQ(mac.host.messages()[0].icon, host::MessageIcon::Information);
  EXPECT_EQ(mac.host.messages()[0].text,
            "This option is not available for Windowx XP or Machintosh style buttons");
  EXPECT_TRUE(mac.keys().empty());

  Placed run(false);
  run.b().SetGradientStartColor(0x0000FF);
  EXPECT_EQ(run.b().GradientStartColor(), 0);
  EXPECT_EQ(run.b().ColorScheme(), SystemColors);
}

TEST(ButtonProperties, GradientSwitchRespectsAPlatformWithoutGradients) {
  Placed p(true, host::VersionTriple{1, 4, 0});
  p.b().SetGradientStopColor(0x00FF00);
  EXPECT_EQ(p.b().ColorScheme(), SystemColors);
  EXPECT_EQ(p.b().GradientStopColor(), 0xFF0000);
  ASSERT_EQ(p.host.messages().size(), 1u);
  EXPECT_EQ(p.host.messages()[0].text, kPlatformMessage);
  EXPECT_TRUE(p.keys().empty());
}

TEST(ButtonProperties, SystemColourReferenceIsStoredAsItsRgb) {
  Placed p(true);
  p.b().SetBackColor(static_cast<Color>(0x80000005));  // window colour
  EXPECT_EQ(p.b().BackColor(), 0xFFFFFF);
  p.host.container().palette().Set(host::COLOR_WINDOW, 0x336699);
  p.b().SetForeColor(static_cast<Color>(0x80000005));
  EXPECT_EQ(p.b().ForeColor(), 0x336699);
  p.b().SetMouseOver(-1);  // neither a colour reference nor converted
  EXPECT_EQ(p.b().MouseOver(), -1);
}

TEST(ButtonProperties, ColorSchemeAssignment) {
  Placed p(true);
  p.b().SetBackColor(0x111111);
  p.b().SetForeColor(0x222222);
  p.b().SetMouseOver(0x333333);
  p.b().SetCaptionStyle(Engraved);
  p.host.ClearRecords();

  p.b().SetColorScheme(CustomGradient);  // keeps colours and style
  EXPECT_EQ(p.keys(), (Keys{"COLTYPE", "BCOL", "FCOL", "FCOLO", "EMBOSSM", "EMBOSSS"}));
  EXPECT_EQ(p.b().BackColor(), 0x111111);
  EXPECT_EQ(p.b().CaptionStyle(), Engraved);

  p.b().SetColorScheme(FixedGrey);
  EXPECT_EQ(p.b().BackColor(), 0xC0C0C0);
  EXPECT_EQ(p.b().ForeColor(), 0);
  EXPECT_EQ(p.b().MouseOver(), 0);
  EXPECT_EQ(p.b().CaptionStyle(), Plain);

  p.host.ClearRecords();
  p.b().SetColorScheme(9);
  p.b().SetColorScheme(0);
  p.b().SetColorScheme(FixedGrey);
  EXPECT_EQ(p.b().ColorScheme(), FixedGrey);
  EXPECT_TRUE(p.keys().empty());
}

TEST(ButtonProperties, ColorSchemeRefusedEverywhereOnAPlatformWithoutGradients) {
  Placed p(true, host::VersionTriple{2, 4, 0});
  for (Long v : {2, 3, 4, 5}) p.b().SetColorScheme(v);
  EXPECT_EQ(p.b().ColorScheme(), SystemColors);
  ASSERT_EQ(p.host.messages().size(), 4u);
  for (const auto& m : p.host.messages()) {
    EXPECT_EQ(m.icon, host::MessageIcon::Information);
    EXPECT_EQ(m.text,
              "This option is not available on the following operating systems.\r\n\r\n"
              " - Win NT 4 and lower\r\n - Windows 95 and earlier");
  }
  EXPECT_TRUE(p.keys().empty());

  Placed run(false, host::VersionTriple{2, 4, 0});
  run.b().SetColorScheme(3);
  EXPECT_TRUE(run.host.messages().empty());
}

TEST(ButtonProperties, GraphicsModeCautionAndModeInForce) {
  Placed p(false, host::VersionTriple{2, 4, 0});
  p.b().SetGraphicsMode(-1);
  EXPECT_TRUE(p.host.messages().empty());
  EXPECT_EQ(p.b().GraphicsMode(), 1);
  p.b().SetGraphicsMode(0);
  EXPECT_EQ(p.b().GraphicsMode(), 0);
  ASSERT_EQ(p.host.messages().size(), 1u);  // at run time too
  EXPECT_EQ(p.host.messages()[0].icon, host::MessageIcon::Warning);
  EXPECT_EQ(p.host.messages()[0].text, kCautionMessage);
  p.b().SetGraphicsMode(-7);
  EXPECT_EQ(p.b().GraphicsMode(), 1);
  EXPECT_EQ(p.b().state().GraphicsMode, -7);

  Placed d(true);
  d.b().SetGraphicsMode(2);
  EXPECT_EQ(d.keys(), (Keys{"GMODE"}));
  EXPECT_EQ(d.b().GraphicsMode(), 2);
}

TEST(ButtonProperties, ButtonTypeDropsTheGradientSchemeEvenAtRunTime) {
  Placed p(true);
  p.b().SetGradientStartColor(0x0000FF);
  p.host.SetUserMode(true);
  p.b().SetButtonType(WindowsXP);
  EXPECT_EQ(p.b().ButtonType(), Classic3D);
  EXPECT_EQ(p.b().ColorScheme(), CustomColors);

  Placed d(true);
  d.b().SetButtonType(9);
  d.b().SetButtonType(0);
  EXPECT_EQ(d.b().ButtonType(), Classic3D);
  d.b().SetButtonType(Etched);
  EXPECT_EQ(d.b().ButtonType(), Etched);
  EXPECT_EQ(d.keys(), (Keys{"BTYPE"}));
}

TEST(ButtonProperties, GradientIsRefusedByExactlyTheTwoLooksWithoutIt) {
  for (Long type = 0; type <= 9; ++type) {
    const bool without = type == WindowsXP || type == Macintosh;
    // Any type a restored set may hold, not only those an assignment takes.
    Placed p(true);
    p.b().state().ButtonType = type;
    p.b().SetGradientStopColor(0x00FF00);
    EXPECT_EQ(p.b().ColorScheme(), without ? SystemColors : CustomGradient) << type;
    EXPECT_EQ(p.host.messages().size(), without ? 1u : 0u) << type;

    Placed g(true);
    g.b().SetGradientStartColor(0x0000FF);
    g.b().SetButtonType(type);
    const bool taken = type >= 1 && type <= 8 && type != Classic3D;
    EXPECT_EQ(g.b().ButtonType(), taken ? type : Classic3D) << type;
    EXPECT_EQ(g.b().ColorScheme(), taken && without ? CustomColors : CustomGradient) << type;
  }
}

TEST(ButtonProperties, GradientOrientationTakesAnyValue) {
  Placed p(false);
  p.b().SetGradientOrientation(7);
  EXPECT_EQ(p.b().GradientOrientation(), 7);
  p.b().SetGradientOrientation(-1);
  EXPECT_EQ(p.b().GradientOrientation(), -1);
  EXPECT_TRUE(p.host.messages().empty());

  Placed d(true);
  d.b().SetGradientOrientation(2);  // not under CustomGradient: stored silently
  EXPECT_TRUE(d.keys().empty());
  d.b().SetGradientStartColor(1);
  d.host.ClearRecords();
  d.b().SetGradientOrientation(3);
  EXPECT_EQ(d.keys(), (Keys{"GStyle"}));
}

TEST(ButtonProperties, SegmentedStyleForcesHorizontalCaptionButNotAfterwards) {
  Placed p(true);
  p.b().SetCaptionOrientation(VerticalDown);
  p.host.ClearRecords();
  p.b().SetButtonStyle(MiddleSegment);
  EXPECT_EQ(p.b().CaptionOrientation(), Horizontal);
  EXPECT_EQ(p.keys(), (Keys{"ORIENT", "BSTYLE"}));
  p.b().SetCaptionOrientation(VerticalUp);
  EXPECT_EQ(p.b().CaptionOrientation(), VerticalUp);
  EXPECT_EQ(p.b().state().LayoutPending, kTrue);
  p.host.ClearRecords();
  p.b().SetButtonStyle(Rectangular);
  EXPECT_EQ(p.b().CaptionOrientation(), VerticalUp);
  EXPECT_EQ(p.keys(), (Keys{"BSTYLE"}));
}

TEST(ButtonProperties, IconSettingsWithoutIconAreStoredWithoutRedraw) {
  Placed p(true);
  p.b().SetIconSize(Icon32);
  p.b().SetIconAlignmentValue(IconRight);
  EXPECT_EQ(p.b().IconSize(), Icon32);
  EXPECT_EQ(p.b().IconAlignmentValue(), IconRight);
  EXPECT_EQ(p.keys(), (Keys{"IconSize", "ICONAlign"}));
  EXPECT_EQ(p.host.refresh_count(), 0);

  p.b().SetIcon(host::Picture::FromSurface(Surface(8, 8)));
  const int after_icon = p.host.refresh_count();
  EXPECT_EQ(after_icon, 1);
  p.b().SetIconSize(Icon8);
  EXPECT_EQ(p.host.refresh_count(), after_icon + 1);
  p.b().SetIcon(nullptr);
  EXPECT_EQ(p.b().state().HasIcon, kFalse);
}

TEST(ButtonProperties, OtherDesignKeysAndRedraws) {
  Placed p(true);
  p.b().SetAlignment(AlignRight);
  p.b().SetShowFocus(kFalse);
  p.b().SetCaption("&Go");
  p.b().SetEnabled(kTrue);
  p.b().SetFont(host::Font::Create());
  p.b().SetMousePointer(2);
  p.b().SetMouseIcon(nullptr);
  p.b().SetIcon(nullptr);
  p.b().SetValue(kTrue);  // never marks anything
  p.b().SetOptionButton(kFalse);
  EXPECT_EQ(p.keys(), (Keys{"ALIGN", "SHOWF", "TX", "ENAB", "FONT", "MPTR", "MICON", "BTNICON"}));
  EXPECT_EQ(p.b().ShowFocus(), kFalse);
  EXPECT_EQ(p.b().state().IsShown, kTrue);
  p.b().SetAlignment(3);
  p.b().SetAlignment(-1);
  EXPECT_EQ(p.b().Alignment(), AlignRight);
}

TEST(ButtonProperties, HostFailuresReachTheCaller) {
  Placed p(true);
  EXPECT_THROW(p.b().SetMousePointer(200), host::HostError);
  EXPECT_THROW(p.b().SetMousePointer(70000), std::out_of_range);
  EXPECT_EQ(p.b().MousePointer(), 0);
  EXPECT_TRUE(p.keys().empty());
  EXPECT_THROW(p.b().SetFont(nullptr), std::invalid_argument);
}

TEST(ButtonProperties, BooleansAreMinusOneOrZero) {
  Placed p(false);
  p.b().SetEnabled(5);
  EXPECT_EQ(p.b().Enabled(), -1);
  p.b().SetValue(1);
  EXPECT_EQ(p.b().Value(), -1);
}

TEST(ButtonProperties, FontAttributeChangeMarksFontAndRebuildsLayout) {
  Placed p(true);
  host::FontPtr f = host::Font::Create({.name = "Arial", .size = 9});
  p.b().SetFont(f);
  p.b().state().LayoutPending = kFalse;
  p.host.ClearRecords();
  f->set_bold(true);
  EXPECT_EQ(p.keys(), (Keys{"FONT"}));
  EXPECT_EQ(p.b().state().LayoutPending, kTrue);
  EXPECT_TRUE(p.host.SurfaceFont()->bold());
  EXPECT_EQ(p.host.refresh_count(), 1);

  // A font the button no longer uses is not followed.
  p.b().SetFont(host::Font::Create());
  p.host.ClearRecords();
  f->set_italic(true);
  EXPECT_TRUE(p.keys().empty());
}

TEST(ButtonProperties, FontOutlivingTheButtonIsSafe) {
  host::FontPtr f = host::Font::Create();
  {
    Placed p(true);
    p.b().SetFont(f);
  }
  f->set_size(20);  // no listener left behind
  SUCCEED();
}

TEST(ButtonOptionGroup, SelectingClearsSiblingsOfTheSameContainerOnly) {
  host::HeadlessContainer form("Form1");
  struct Member {
    Member(host::HeadlessContainer& c, const std::string& name, const std::string& in) : host(c) {
      host.SetDisplayName(name);
      button = std::make_unique<TorvelButton>(host.site());
      host.Join(button.get(), in);
      button->InitProperties();
      button->SetOptionButton(kTrue);
    }
    host::HeadlessHost host;
    std::unique_ptr<TorvelButton> button;
  };
  Member a(form, "Opt(0)", "");
  Member b(form, "Opt(1)", "");
  Member framed(form, "Other", "Frame1");
  EXPECT_EQ(a.button->Container(), "Form1");
  EXPECT_EQ(framed.button->Container(), "Frame1");

  a.button->SetValue(kTrue);
  framed.button->SetValue(kTrue);
  b.button->SetValue(kTrue);
  EXPECT_EQ(a.button->Value(), kFalse);
  EXPECT_EQ(b.button->Value(), kTrue);
  EXPECT_EQ(framed.button->Value(), kTrue);  // another container

  // Turning a selected button into an option button selects it at once.
  Member c(form, "Opt(2)", "");
  c.button->SetOptionButton(kFalse);
  c.button->SetValue(kTrue);
  EXPECT_EQ(b.button->Value(), kTrue);
  c.button->SetOptionButton(kTrue);
  EXPECT_EQ(b.button->Value(), kFalse);
  EXPECT_EQ(c.button->Value(), kTrue);
}

TEST(ButtonOptionGroup, ContainerOfAControlArrayElement) {
  host::HeadlessContainer form("Form1");
  host::HeadlessHost h(form);
  h.SetDisplayName("Cmd(3)");
  TorvelButton b(h.site());
  h.Join(&b, "Frames", 2);
  EXPECT_EQ(b.Container(), "Frames(2)");
  host::HeadlessHost lost(form);
  lost.SetDisplayName("Nowhere");
  TorvelButton orphan(lost.site());
  EXPECT_THROW(orphan.Container(), host::HostError);
}

TEST(ButtonAccessKey, MarkerDoubledAmpersandsAndPositions) {
  Placed p(false);
  TorvelButton& b = p.b();
  b.SetCaption("E&xit");
  EXPECT_EQ(p.host.access_keys(), "x");
  EXPECT_EQ(b.state().AccessKeyPos, 2);

  b.SetCaption("Save && E&xit");  // shows "Save & Exit"
  EXPECT_EQ(p.host.access_keys(), "x");
  EXPECT_EQ(b.state().AccessKeyPos, 9);

  b.SetCaption("&Save");
  EXPECT_EQ(p.host.access_keys(), "s");  // lower case
  EXPECT_EQ(b.state().AccessKeyPos, 1);

  p.host.ClearRecords();
  b.state().UnderlineLength = 5;
  b.SetCaption("&&Save");  // no key: the last one stays registered
  EXPECT_TRUE(p.host.access_key_history().empty());
  EXPECT_EQ(p.host.access_keys(), "s");
  EXPECT_EQ(b.state().AccessKeyPos, 0);
  EXPECT_EQ(b.state().UnderlineLength, 0);

  b.SetCaption("Go&");  // marker last: an empty key
  EXPECT_EQ(p.host.access_keys(), "");
  EXPECT_EQ(b.state().AccessKeyPos, 3);

  b.SetCaption("\xC3\xA9t\xC3\xA9 &\xC3\x89t\xC3\xA9");  // positions count characters
  EXPECT_EQ(p.host.access_keys(), "\xC3\xA9");           // and any letter is lower-cased
  EXPECT_EQ(b.state().AccessKeyPos, 5);
  b.SetCaption("&\xD0\x96");  // Cyrillic capital Zhe
  EXPECT_EQ(p.host.access_keys(), "\xD0\xB6");
  b.SetCaption("&\xF0\x9F\x98\x80");  // no case: as it is
  EXPECT_EQ(p.host.access_keys(), "\xF0\x9F\x98\x80");
}

TEST(ButtonMembers, ListInInterfaceOrderWithHelpTexts) {
  const auto& m = TorvelButton::Members();
  ASSERT_EQ(m.size(), 30u);
  EXPECT_STREQ(m.front().name, "Alignment");
  EXPECT_STREQ(m[m.size() - 2].name, "CaptionSmoothing");  // ours, after the interface's
  EXPECT_STREQ(m.back().name, "RefreshButton");
  EXPECT_STREQ(TorvelButton::FindMember("mouseover")->help,
               "Font color when mouse hovers over a button. CustomColor Scheme must be applied. ");
  EXPECT_STREQ(TorvelButton::FindMember("ButtonStyle")->help, "Default rectangular or segmeneted");
  EXPECT_STREQ(TorvelButton::FindMember("GradientOrientation")->help, "");
  EXPECT_FALSE(TorvelButton::FindMember("hwnd")->writable);
  EXPECT_FALSE(TorvelButton::FindMember("Container")->writable);
  EXPECT_EQ(TorvelButton::FindMember("BackColor")->type, MemberType::Color);
  EXPECT_EQ(TorvelButton::FindMember("nothing"), nullptr);
}

TEST(ButtonMembers, GetAndSetByNameGoThroughTheAssignments) {
  Placed p(true);
  p.b().SetMember("backcolor", MemberValue{Long{0x0000FF}});
  EXPECT_EQ(p.b().ColorScheme(), CustomColors);
  EXPECT_EQ(std::get<Long>(p.b().GetMember("BackColor")), 0x0000FF);
  p.b().SetMember("Caption", MemberValue{std::string("Hi")});
  EXPECT_EQ(std::get<std::string>(p.b().GetMember("caption")), "Hi");
  p.b().SetMember("Enabled", MemberValue{kFalse});
  EXPECT_EQ(std::get<Bool16>(p.b().GetMember("Enabled")), kFalse);
  p.b().SetMember("Icon", MemberValue{});
  EXPECT_EQ(std::get<host::PicturePtr>(p.b().GetMember("Icon")), nullptr);
  EXPECT_EQ(std::get<std::string>(p.b().GetMember("Container")), "Form1");

  EXPECT_THROW(p.b().SetMember("Caption", MemberValue{Long{1}}), std::invalid_argument);
  EXPECT_THROW(p.b().SetMember("hwnd", MemberValue{Long{1}}), std::invalid_argument);
  EXPECT_THROW(p.b().GetMember("RefreshButton"), std::invalid_argument);
  EXPECT_THROW(p.b().SetMember("Nope", MemberValue{}), std::invalid_argument);
  p.host.ClearRecords();
  p.b().InvokeMember("refreshbutton");
  EXPECT_EQ(p.host.refresh_count(), 1);
}

}  // namespace
}  // namespace vx::button
