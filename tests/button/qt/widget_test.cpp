// TorvelButtonWidget, the public widget, against the button model it wraps:
// every property assignment through Qt's property system must do exactly
// what the same assignment does on a model of its own, at run time and at
// design time, and every event must reach the widget's signals.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "button/model/torvel_button.h"
#include "button/qt/button_host.h"
#include "button/qt/stored_properties.h"
#include "button/qt/system_colors.h"
#include "button/qt/torvelbuttonwidget_p.h"
#include "button/render/painter.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"
#include "qt_app.h"
#include "tests/support/message_catcher.h"

namespace vx::qt {
namespace {

using Json = nlohmann::ordered_json;
using testing::App;

button::TorvelButton& ModelOf(TorvelButtonWidget& w) {
  return *TorvelButtonWidgetPrivate::Find(w)->button;
}

using vx::support::MessageCatcher;

// One row: a Qt property, the model member it stands for and a value to
// assign that differs from the default of a new button.
struct Row {
  const char* property;
  const char* member;
  QVariant value;
  button::MemberValue model_value;
};

QImage RedSquare() {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 0));
  return image;
}

std::vector<Row> Rows() {
  using button::Bool16;
  using button::Long;
  using W = TorvelButtonWidget;
  const auto L = [](Long v) { return button::MemberValue{v}; };
  const auto B = [](bool v) { return button::MemberValue{button::ToBool16(v)}; };
  return {
      {"alignment", "Alignment", QVariant::fromValue(W::AlignRight), L(2)},
      {"showFocus", "ShowFocus", false, B(false)},
      {"graphicsMode", "GraphicsMode", 2, L(2)},
      {"value", "Value", true, B(true)},
      {"optionButton", "OptionButton", true, B(true)},
      {"iconAlignmentValue", "IconAlignmentValue", QVariant::fromValue(W::IconRight), L(1)},
      {"embossEngraveShadow", "EmbossEngraveShadow", QColor(1, 2, 3), L(0x030201)},
      {"embossEngraveMid", "EmbossEngraveMid", QColor(4, 5, 6), L(0x060504)},
      {"gradientStartColor", "GradientStartColor", QColor(7, 8, 9), L(0x090807)},
      {"gradientOrientation", "GradientOrientation", QVariant::fromValue(W::GradientVertical),
       L(1)},
      {"gradientStopColor", "GradientStopColor", QColor(10, 11, 12), L(0x0C0B0A)},
      {"backColor", "BackColor", QColor(0x12, 0x34, 0x56), L(0x563412)},
      {"foreColor", "ForeColor", QColor(0xAB, 0xCD, 0xEF), L(0xEFCDAB)},
      {"mouseOverColor", "MouseOver", QColor(0xFF, 0, 0x80), L(0x8000FF)},
      {"buttonType", "ButtonType", QVariant::fromValue(W::Macintosh), L(8)},
      {"caption", "Caption", QStringLiteral("&Go on"), button::MemberValue{std::string("&Go on")}},
      {"iconSize", "IconSize", QVariant::fromValue(W::Icon32), L(4)},
      {"captionStyle", "CaptionStyle", QVariant::fromValue(W::Embossed), L(2)},
      {"enabled", "Enabled", false, B(false)},
      {"colorScheme", "ColorScheme", QVariant::fromValue(W::FixedGrey), L(3)},
      {"buttonStyle", "ButtonStyle", QVariant::fromValue(W::MiddleSegment), L(2)},
      {"captionOrientation", "CaptionOrientation", QVariant::fromValue(W::VerticalDown), L(2)},
      {"mousePointer", "MousePointer", QVariant::fromValue(W::HourglassPointer), L(11)},
      {"captionSmoothing", "CaptionSmoothing", QVariant::fromValue(W::Full), L(2)},
      {"font", "Font", QFont(QStringLiteral("Liberation Sans"), 12),
       button::MemberValue{host::Font::Create({"Liberation Sans", 12, 400})}},
      {"icon", "Icon", QPixmap::fromImage(RedSquare()),
       button::MemberValue{PictureOf(RedSquare())}},
      {"mouseIcon", "MouseIcon", QPixmap::fromImage(RedSquare()),
       button::MemberValue{PictureOf(RedSquare())}},
  };
}

// A model of its own on a headless host, started from the widget's stored
// values, to compare the widget with.
struct Reference {
  explicit Reference(TorvelButtonWidget& w, bool design) {
    host.SetUserMode(!design);
    host.SetDisplayName(ModelOf(w).site().ambient->DisplayName());
    host.SetVersion(ModelOf(w).site().version->Version());
    for (int i = 0; i < host::SystemPalette::kSize; ++i) {
      host.container().palette().Set(i, ModelOf(w).site().palette->Get(i));
    }
    host.SetSize(w.width(), w.height());
    model = std::make_unique<button::TorvelButton>(host.site());
    host.Join(model.get());
    model->SetRenderer(std::make_shared<render::ButtonPainter>());
    host::JsonPropertyBag bag(Json::parse(w.storedProperties().toStdString()));
    model->ReadProperties(bag);
    model->UserControl_Show();
    host.ClearRecords();
  }
  host::HeadlessHost host;
  std::unique_ptr<button::TorvelButton> model;
};

// Every readable member but the window handle and the container name, which
// belong to each host.
std::string MembersOf(const button::TorvelButton& b) {
  Json j = Json::object();
  for (const button::MemberInfo& m : button::TorvelButton::Members()) {
    const std::string name = m.name;
    if (!m.readable || name == "hwnd" || name == "Container") continue;
    const button::MemberValue v = b.GetMember(name);
    if (const auto* l = std::get_if<button::Long>(&v)) j[name] = *l;
    if (const auto* b16 = std::get_if<button::Bool16>(&v)) j[name] = *b16;
    if (const auto* s = std::get_if<std::string>(&v)) j[name] = *s;
    if (const auto* f = std::get_if<host::FontPtr>(&v)) {
      j[name] = *f ? host::JsonPropertyBag::FontToJson(**f) : Json();
    }
    if (const auto* p = std::get_if<host::PicturePtr>(&v)) j[name] = *p != nullptr;
  }
  return j.dump();
}

class Widget : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    window_ = std::make_unique<QWidget>();
    window_->setObjectName(QStringLiteral("Form1"));
    window_->resize(300, 200);
  }
  void TearDown() override {
    window_.reset();
    QCoreApplication::processEvents();
  }
  TorvelButtonWidget* NewButton(const QString& name, bool design) {
    auto* b = new TorvelButtonWidget(window_.get());
    b->setObjectName(name);
    b->setDesignMode(design);
    b->setGeometry(10, 10, 120, 30);
    return b;
  }
  void Show() {
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  std::unique_ptr<QWidget> window_;
};

TEST_F(Widget, EveryPropertyAssignmentDoesWhatTheModelDoesAtRunAndDesignTime) {
  for (const bool design : {false, true}) {
    for (const Row& row : Rows()) {
      SCOPED_TRACE(std::string(row.property) + (design ? " at design time" : " at run time"));
      window_ = std::make_unique<QWidget>();
      window_->setObjectName(QStringLiteral("Form1"));
      TorvelButtonWidget* w = NewButton(QStringLiteral("Button1"), design);
      Show();
      Reference ref(*w, design);
      ASSERT_EQ(MembersOf(ModelOf(*w)), MembersOf(*ref.model));

      MessageCatcher catcher;
      QSignalSpy changed(w, &TorvelButtonWidget::storedPropertyChanged);
      ASSERT_TRUE(w->setProperty(row.property, row.value));
      ref.model->SetMember(row.member, row.model_value);

      EXPECT_EQ(MembersOf(ModelOf(*w)), MembersOf(*ref.model));
      std::vector<std::string> keys;
      for (const QList<QVariant>& args : changed) keys.push_back(args[0].toString().toStdString());
      EXPECT_EQ(keys, ref.host.changed_keys());
      std::vector<std::string> ref_messages;
      for (const auto& m : ref.host.messages()) {
        QString text = QString::fromStdString(m.text);
        ref_messages.push_back(
            text.replace(QLatin1String("\r\n"), QLatin1String("\n")).toStdString());
      }
      EXPECT_EQ(catcher.texts, ref_messages);
      // What the property reads is what the model holds.
      button::MemberValue now = ModelOf(*w).GetMember(row.member);
      const QVariant read = w->property(row.property);
      if (std::string(row.property) == "graphicsMode") {
        // The property is the mode asked for, which form files keep.
        EXPECT_EQ(w->graphicsModeInForce(), std::get<button::Long>(now));
        now = button::MemberValue{ModelOf(*w).state().GraphicsMode};
      }
      if (const auto* l = std::get_if<button::Long>(&now)) {
        if (read.metaType() == QMetaType::fromType<QColor>()) {
          EXPECT_EQ(ToColorRef(read.value<QColor>()), static_cast<ColorRef>(*l));
        } else {
          EXPECT_EQ(read.toInt(), *l);
        }
      } else if (const auto* b = std::get_if<button::Bool16>(&now)) {
        EXPECT_EQ(read.toBool(), *b != button::kFalse);
      } else if (const auto* s = std::get_if<std::string>(&now)) {
        EXPECT_EQ(read.toString().toStdString(), *s);
      }
    }
  }
}

TEST_F(Widget, PropertiesSetBeforeShowingAreStoredValuesTakenAsTheyAre) {
  TorvelButtonWidget* w = NewButton(QStringLiteral("Stored"), false);
  for (const Row& row : Rows()) {
    if (std::string(row.property) == "enabled") continue;
    ASSERT_TRUE(w->setProperty(row.property, row.value)) << row.property;
  }
  // Restored, not assigned: no rule refused the look or the scheme, and the
  // scheme kept the custom caption colours a fixed grey would replace.
  const Json stored = Json::parse(w->storedProperties().toStdString());
  EXPECT_EQ(stored.at("btype"), 8);
  EXPECT_EQ(stored.at("coltype"), 3);
  EXPECT_EQ(stored.at("bcol"), 0x563412);
  EXPECT_EQ(stored.at("orient"), 2);
  EXPECT_EQ(stored.at("bstyle"), 2);
  EXPECT_EQ(stored.at("tx"), "&Go on");
  EXPECT_EQ(stored.at("gmode"), 2);
  EXPECT_EQ(stored.at("captionsmoothing"), 2);
  EXPECT_EQ(w->buttonType(), TorvelButtonWidget::Macintosh);

  // After showing, the same kind of assignment follows the run-time rules.
  Show();
  w->setButtonType(TorvelButtonWidget::Etched);
  EXPECT_EQ(w->buttonType(), TorvelButtonWidget::Macintosh);
  w->setCaption(QStringLiteral("Later"));
  EXPECT_EQ(w->caption(), QStringLiteral("Later"));
}

TEST_F(Widget, NewButtonTakesItsNameAsCaptionUntilAStoredValueArrives) {
  auto* w = new TorvelButtonWidget(window_.get());
  const QString automatic = w->caption();
  EXPECT_TRUE(automatic.startsWith(QStringLiteral("TorvelButton"))) << automatic.toStdString();
  w->setObjectName(QStringLiteral("okButton"));
  EXPECT_EQ(w->caption(), QStringLiteral("okButton"));
  EXPECT_EQ(w->font().family(), window_->font().family());  // inherited, as a QPushButton's
  w->setCaption(QStringLiteral("OK"));
  w->setObjectName(QStringLiteral("renamed"));
  EXPECT_EQ(w->caption(), QStringLiteral("OK"));
}

TEST_F(Widget, StoredPropertiesRoundTripAsJsonAndBadSetsChangeNothing) {
  TorvelButtonWidget* a = NewButton(QStringLiteral("A"), false);
  a->setButtonType(TorvelButtonWidget::SoftBevel);
  a->setColorScheme(TorvelButtonWidget::CustomGradient);
  a->setGradientStartColor(QColor(10, 20, 30));
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(QColor(200, 0, 0));
  icon.setPixel(0, 0, qRgba(0, 0, 0, 0));
  a->setIcon(QPixmap::fromImage(icon));
  a->setCaption(QStringLiteral("Gr&adient"));
  const QByteArray json = a->storedProperties();

  TorvelButtonWidget* b = NewButton(QStringLiteral("B"), false);
  Show();
  QString error;
  ASSERT_TRUE(b->setStoredProperties(json, &error)) << error.toStdString();
  EXPECT_EQ(b->storedProperties(), json);
  EXPECT_EQ(b->icon().toImage().convertToFormat(QImage::Format_ARGB32), icon);
  EXPECT_EQ(b->buttonType(), TorvelButtonWidget::SoftBevel);

  // A value that cannot be read ends with a reason, the button unchanged.
  Json bad = Json::parse(json.toStdString());
  bad["mptr"] = 77;
  EXPECT_FALSE(b->setStoredProperties(QByteArray::fromStdString(bad.dump()), &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(b->storedProperties(), json);
  EXPECT_FALSE(b->setStoredProperties("[1, 2", &error));
  EXPECT_FALSE(b->setStoredProperties("{\"btnicon\": \"data:image/png;base64,@@\"}", &error));
  EXPECT_TRUE(error.contains(QStringLiteral("data"))) << error.toStdString();
  EXPECT_EQ(b->storedProperties(), json);

  // Each stored key names a property the widget has, under the key's name in
  // any case; tools such as the Designer plugin mark and show them by it.
  const QList<QByteArray> names = TorvelButtonWidget::storedPropertyNames();
  EXPECT_EQ(names.size(), 27);
  for (const QByteArray& name : names) {
    EXPECT_GE(b->metaObject()->indexOfProperty(name.constData()), 0) << name.constData();
    EXPECT_EQ(names.count(name), 1) << name.constData();
  }
  const Json stored = Json::parse(json.toStdString());
  for (const auto& [key, value] : stored.items()) {
    const QByteArray property =
        TorvelButtonWidget::propertyOfStoredKey(QString::fromStdString(key).toUpper());
    EXPECT_TRUE(names.contains(property)) << key;
  }
  EXPECT_EQ(TorvelButtonWidget::propertyOfStoredKey(QStringLiteral("btype")), "buttonType");
  EXPECT_TRUE(TorvelButtonWidget::propertyOfStoredKey(QStringLiteral("caption")).isEmpty());
}

TEST_F(Widget, SystemColourReferencesAreKeptAsTheColourTheyStandFor) {
  TorvelButtonWidget* w = NewButton(QStringLiteral("Sys"), true);
  Show();
  const ColorRef face = ModelOf(*w).site().palette->Get(15);
  const ColorRef text = ModelOf(*w).site().palette->Get(18);
  w->setBackColor(QColor(1, 1, 1));
  w->setBackColor(TorvelButtonWidget::systemColor(TorvelButtonWidget::ButtonFace));
  EXPECT_EQ(ToColorRef(w->backColor()), face);
  EXPECT_EQ(w->backColor().alpha(), 255);
  w->setForeColor(TorvelButtonWidget::systemColor(TorvelButtonWidget::ButtonText));
  EXPECT_EQ(ToColorRef(w->foreColor()), text);
  EXPECT_EQ(w->colorScheme(), TorvelButtonWidget::CustomColors);
}

TEST_F(Widget, EventsReachTheSignalsWithTheirArguments) {
  TorvelButtonWidget* w = NewButton(QStringLiteral("Ev"), false);
  Show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  std::vector<std::string> order;
  const auto note = [&order](const char* what) {
    return [&order, what] { order.push_back(what); };
  };
  QObject::connect(w, &TorvelButtonWidget::clicked, note("clicked"));
  QObject::connect(w, &TorvelButtonWidget::mouseOver, note("mouseOver"));
  QSignalSpy down(w, &TorvelButtonWidget::mouseDown);
  QSignalSpy up(w, &TorvelButtonWidget::mouseUp);
  QObject::connect(w, &TorvelButtonWidget::mouseDown, note("mouseDown"));
  QObject::connect(w, &TorvelButtonWidget::mouseUp, note("mouseUp"));

  QTest::mouseMove(window_->windowHandle(), w->mapTo(window_.get(), QPoint(20, 10)));
  QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, Qt::ShiftModifier,
                    w->mapTo(window_.get(), QPoint(20, 10)));
  EXPECT_EQ(order, (std::vector<std::string>{"mouseOver", "mouseDown", "mouseUp", "clicked"}));
  ASSERT_EQ(down.size(), 1);
  EXPECT_EQ(down[0][0].toInt(), 1);
  EXPECT_EQ(down[0][1].toInt(), 1);
  EXPECT_FLOAT_EQ(down[0][2].toFloat(), 20);
  EXPECT_FLOAT_EQ(down[0][3].toFloat(), 10);
  ASSERT_EQ(up.size(), 1);

  // Key events pass one struct: a slot's change is what later slots see.
  w->setFocus();
  std::vector<int> codes;
  QObject::connect(w, &TorvelButtonWidget::keyDown,
                   [](TorvelButtonKeyArgs* k) { k->keyCode = 99; });
  QObject::connect(w, &TorvelButtonWidget::keyDown,
                   [&codes](TorvelButtonKeyArgs* k) { codes.push_back(k->keyCode); });
  QSignalSpy press(w, &TorvelButtonWidget::keyPress);
  QSignalSpy key_up(w, &TorvelButtonWidget::keyUp);
  order.clear();
  QTest::keyClick(w, Qt::Key_Space);
  EXPECT_EQ(codes, std::vector<int>{99});
  EXPECT_EQ(press.size(), 1);
  EXPECT_EQ(key_up.size(), 1);
  EXPECT_EQ(order, std::vector<std::string>{"clicked"});

  QSignalSpy doubled(w, &TorvelButtonWidget::doubleClicked);
  QTest::mouseDClick(window_->windowHandle(), Qt::LeftButton, {},
                     w->mapTo(window_.get(), QPoint(20, 10)));
  EXPECT_EQ(doubled.size(), 1);

  QSignalSpy out(w, &TorvelButtonWidget::mouseOut);
  QTest::mouseMove(window_->windowHandle(), QPoint(250, 150));
  QCursor::setPos(window_->mapToGlobal(QPoint(250, 150)));
  EXPECT_TRUE(out.wait(1000));
}

TEST_F(Widget, OptionButtonsOnOneParentFormAGroupAndUnnamedButtonsToo) {
  auto* group = new QWidget(window_.get());
  auto* layout = new QVBoxLayout(group);
  std::vector<TorvelButtonWidget*> options;
  for (int i = 0; i < 3; ++i) {
    auto* b = new TorvelButtonWidget(QStringLiteral("Option %1").arg(i), group);
    b->setOptionButton(true);
    layout->addWidget(b);
    options.push_back(b);
  }
  auto* elsewhere = new TorvelButtonWidget(QStringLiteral("Elsewhere"), window_.get());
  elsewhere->setOptionButton(true);
  elsewhere->setValue(true);
  elsewhere->move(200, 10);
  options[0]->setValue(true);
  group->resize(150, 120);
  Show();
  options[2]->click();
  EXPECT_FALSE(options[0]->value());
  EXPECT_TRUE(options[2]->value());
  EXPECT_TRUE(elsewhere->value());
  EXPECT_EQ(options[1]->container(), QStringLiteral("QWidget"));
  EXPECT_EQ(elsewhere->container(), QStringLiteral("Form1"));
}

TEST_F(Widget, SizeHintFollowsTheCaptionLayout) {
  TorvelButtonWidget* w = NewButton(QStringLiteral("Size"), false);
  w->setCaption(QStringLiteral("A"));
  const QSize one = w->sizeHint();
  w->setCaption(QStringLiteral("A much longer caption than that"));
  const QSize longer = w->sizeHint();
  EXPECT_GT(longer.width(), one.width() + 100);
  EXPECT_EQ(longer.height(), one.height());
  // At the hinted size the caption stays on one line.
  w->resize(longer);
  Show();
  EXPECT_EQ(ModelOf(*w).state().CaptionLines.size(), 1u);
  w->setCaptionOrientation(TorvelButtonWidget::VerticalUp);  // run time: ignored
  EXPECT_EQ(w->sizeHint(), longer);
}

TEST_F(Widget, ShapedOutlineMasksTheWidgetAndAssistiveTechnologySeesAButton) {
  TorvelButtonWidget* w = NewButton(QStringLiteral("Shape"), false);
  w->setButtonStyle(TorvelButtonWidget::LeftSegment);
  w->setCaption(QStringLiteral("&Next"));
  Show();
  // The left segment slants away at the top right.
  EXPECT_FALSE(w->mask().contains(QPoint(w->width() - 3, 1)));
  EXPECT_TRUE(w->mask().contains(QPoint(3, w->height() / 2)));
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::Button);
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Next"));
  EXPECT_FALSE(a->text(QAccessible::Accelerator).isEmpty());
  // The access key clicks it.
  QSignalSpy clicked(w, &TorvelButtonWidget::clicked);
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::keyClick(window_.get(), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return clicked.size() == 1; }, 2000));
  EXPECT_TRUE(w->hasFocus());
}

}  // namespace
}  // namespace vx::qt
