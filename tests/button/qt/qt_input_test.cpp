#include <gtest/gtest.h>

#include <QPalette>
#include <optional>
#include <utility>

#include "button/qt/accessible.h"
#include "button/qt/input.h"
#include "button/qt/system_colors.h"

namespace vx::qt {
namespace {

TEST(QtInputMapping, KeysBecomeVirtualKeyCodes) {
  EXPECT_EQ(VirtualKeyCode(Qt::Key_A, {}), 65);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Z, Qt::ShiftModifier), 90);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_7, {}), 55);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Space, {}), 32);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Return, {}), 13);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Enter, Qt::KeypadModifier), 13);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Left, {}), 37);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Up, {}), 38);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Right, {}), 39);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Down, {}), 40);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_F5, {}), 116);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Escape, {}), 27);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Delete, {}), 46);
  // Keypad digits and shifted digits have the codes of their keys.
  EXPECT_EQ(VirtualKeyCode(Qt::Key_4, Qt::KeypadModifier), 100);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Exclam, Qt::ShiftModifier), 49);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_ParenRight, Qt::ShiftModifier), 48);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Comma, {}), 188);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Question, Qt::ShiftModifier), 191);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_VolumeUp, {}), 0);
}

TEST(QtInputMapping, ModifiersButtonsAndCharacters) {
  EXPECT_EQ(ShiftState(Qt::ShiftModifier | Qt::AltModifier), 5);
  EXPECT_EQ(ShiftState(Qt::ControlModifier | Qt::KeypadModifier), 2);
  EXPECT_EQ(ButtonCode(Qt::LeftButton), 1);
  EXPECT_EQ(ButtonCode(Qt::RightButton), 2);
  EXPECT_EQ(ButtonCode(Qt::MiddleButton), 4);
  EXPECT_EQ(ButtonCode(Qt::BackButton), 0);
  EXPECT_EQ(ButtonMask(Qt::LeftButton | Qt::MiddleButton), 5);
  EXPECT_EQ(ButtonMask(Qt::NoButton), 0);
  EXPECT_EQ(CharacterCode(QStringLiteral("a")), 97);
  EXPECT_EQ(CharacterCode(QStringLiteral("\r")), 13);
  EXPECT_EQ(CharacterCode(QString(QChar(0xE9))), 0xE9);
  EXPECT_EQ(CharacterCode(QString(QChar(0x20AC))), '?');
  EXPECT_EQ(CharacterCode(QString()), -1);
}

// X's repeat of a held key: a release and a press with the same time stamp.
TEST(QtReleaseHold, APressWithTheReleasesTimeStampTakesItBack) {
  ReleaseHold hold;
  std::optional<KeyRelease> due;
  EXPECT_FALSE(hold.Hold({Qt::Key_Space, {}, 1000}));
  EXPECT_TRUE(hold.TakesBack(Qt::Key_Space, 1000, due));
  EXPECT_FALSE(due);
  EXPECT_FALSE(hold.Take()) << "a taken-back release never comes due";

  // Another key, or the same key pressed again later: the key did go up,
  // and that comes first.
  for (const auto& [key, time] : {std::pair{Qt::Key_Return, 1000ul}, {Qt::Key_Space, 1001ul}}) {
    EXPECT_FALSE(hold.Hold({Qt::Key_Space, Qt::ShiftModifier, 1000}));
    EXPECT_FALSE(hold.TakesBack(key, time, due));
    ASSERT_TRUE(due);
    EXPECT_EQ(due->key, Qt::Key_Space);
    EXPECT_EQ(due->modifiers, Qt::ShiftModifier);
    EXPECT_FALSE(hold.Take());
  }

  // Two releases in a row: the first is due when the second is held.
  EXPECT_FALSE(hold.Hold({Qt::Key_A, {}, 5}));
  const auto first = hold.Hold({Qt::Key_B, {}, 6});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->key, Qt::Key_A);
  const auto second = hold.Take();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->key, Qt::Key_B);
  EXPECT_FALSE(hold.TakesBack(Qt::Key_B, 6, due)) << "nothing is held any more";
  EXPECT_FALSE(due);
}

TEST(QtInputMapping, CaptionLosesItsAccessKeyMarker) {
  EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("E&xit")), QStringLiteral("Exit"));
  EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("Salt && &Pepper")),
            QStringLiteral("Salt & Pepper"));
  EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("End&")), QStringLiteral("End"));
  EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("Check Source")), QStringLiteral("Check Source"));
}

TEST(QtSystemColors, PaletteRolesFillTheTable) {
  QPalette p;
  p.setColor(QPalette::Button, QColor(10, 20, 30));
  p.setColor(QPalette::Dark, QColor(1, 2, 3));
  p.setColor(QPalette::Shadow, QColor(4, 5, 6));
  p.setColor(QPalette::Light, QColor(250, 251, 252));
  p.setColor(QPalette::Midlight, QColor(200, 201, 202));
  p.setColor(QPalette::ButtonText, QColor(7, 8, 9));
  p.setColor(QPalette::Highlight, QColor(0, 0, 200));
  p.setColor(QPalette::Base, QColor(255, 255, 240));
  p.setColor(QPalette::Text, QColor(11, 12, 13));
  host::SystemPalette table;
  table.Set(40, 0x123456);
  MapDesktopPalette(p, table);
  EXPECT_EQ(table.Get(host::COLOR_BTNFACE), 0x1E140Au);
  EXPECT_EQ(table.Get(host::COLOR_BTNSHADOW), 0x030201u);
  EXPECT_EQ(table.Get(host::COLOR_3DDKSHADOW), 0x060504u);
  EXPECT_EQ(table.Get(host::COLOR_BTNHIGHLIGHT), 0xFCFBFAu);
  EXPECT_EQ(table.Get(host::COLOR_3DLIGHT), 0xCAC9C8u);
  EXPECT_EQ(table.Get(host::COLOR_BTNTEXT), 0x090807u);
  EXPECT_EQ(table.Get(13), 0xC80000u);
  EXPECT_EQ(table.Get(host::COLOR_WINDOW), 0xF0FFFFu);
  EXPECT_EQ(table.Get(host::COLOR_WINDOWTEXT), 0x0D0C0Bu);
  // Entries no role stands for are the classic ones again.
  EXPECT_EQ(table.Get(27), 0xF0CAA6u);
  EXPECT_EQ(table.Get(40), 0u);
  EXPECT_EQ(ToColorRef(ToQColor(0x00336699)), 0x00336699u);
}

}  // namespace
}  // namespace vx::qt
