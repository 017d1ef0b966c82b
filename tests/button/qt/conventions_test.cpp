// TorvelButtonWidget among other Qt widgets: it sizes itself in layouts as a
// push button does, takes fonts the ways Qt hands them out, and says when
// the button's rules ignore an assignment.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "button/qt/button_host.h"
#include "button/qt/property_notes.h"
#include "button/qt/torvelbuttonwidget_p.h"
#include "qt_app.h"

namespace vx::qt {
namespace {

using Json = nlohmann::json;
using testing::App;
using W = TorvelButtonWidget;

button::TorvelButton& ModelOf(W& w) {
  return *TorvelButtonWidgetPrivate::Find(w)->button;
}

std::string ModelFontName(W& w) {
  return ModelOf(w).Font()->name();
}

// Pixels the button's surface holds now.
std::vector<ColorRef> Pixels(W& w) {
  return TorvelButtonWidgetPrivate::Find(w)->host->surface().pixels();
}

class Conventions : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    saved_font_ = QApplication::font();
    window_ = std::make_unique<QWidget>();
    window_->setObjectName(QStringLiteral("Form1"));
  }
  void TearDown() override {
    window_.reset();
    QApplication::setFont(saved_font_);
    QCoreApplication::processEvents();
  }
  void Show() {
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  std::unique_ptr<QWidget> window_;
  QFont saved_font_;
};

// Two families the test machine has (the project's font packages), so that
// a change of family is a real one.
QString Sans() {
  return QStringLiteral("DejaVu Sans");
}
QString Serif() {
  return QStringLiteral("DejaVu Serif");
}

TEST_F(Conventions, InALayoutButtonsKeepTheirHeightAsPushButtonsDo) {
  auto* row = new QHBoxLayout(window_.get());
  std::vector<W*> ours;
  std::vector<QPushButton*> theirs;
  for (int i = 0; i < 3; ++i) {
    ours.push_back(new W(QStringLiteral("Torvel %1").arg(i), window_.get()));
    row->addWidget(ours.back());
  }
  for (int i = 0; i < 3; ++i) {
    theirs.push_back(new QPushButton(QStringLiteral("Push %1").arg(i), window_.get()));
    row->addWidget(theirs.back());
  }
  window_->resize(600, 60);
  Show();
  std::vector<int> before;
  for (W* b : ours) before.push_back(b->height());
  const int push_before = theirs[0]->height();

  window_->resize(900, 300);
  row->activate();
  QCoreApplication::processEvents();
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i]->height(), before[i]) << i;
    EXPECT_EQ(ours[i]->height(), ours[i]->sizeHint().height()) << i;
    EXPECT_GE(ours[i]->width(), ours[i]->sizeHint().width()) << i;
  }
  EXPECT_EQ(theirs[0]->height(), push_before);
  EXPECT_EQ(ours[0]->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
  EXPECT_EQ(ours[0]->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
  EXPECT_EQ(ours[0]->minimumSizeHint(), ours[0]->sizeHint());

  // A longer caption at run time gives a new hint, and the layout follows.
  const int narrow = ours[1]->width();
  ours[1]->setCaption(QStringLiteral("A caption far longer than any of the others"));
  row->activate();
  QCoreApplication::processEvents();
  EXPECT_GT(ours[1]->width(), narrow + 100);
  EXPECT_GE(ours[1]->width(), ours[1]->sizeHint().width());

  // So does a larger inherited font, and an icon.
  const int low = ours[2]->height();
  QFont big(Sans());
  big.setPointSizeF(20);
  window_->setFont(big);
  row->activate();
  QCoreApplication::processEvents();
  EXPECT_GT(ours[2]->height(), low);
  EXPECT_EQ(ours[2]->height(), ours[2]->sizeHint().height());
  const int plain = ours[0]->sizeHint().width();
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(Qt::red);
  ours[0]->setIcon(QPixmap::fromImage(icon));
  row->activate();
  QCoreApplication::processEvents();
  EXPECT_GT(ours[0]->sizeHint().width(), plain);
  EXPECT_GE(ours[0]->width(), ours[0]->sizeHint().width());
}

TEST_F(Conventions, AVerticalCaptionTurnsThePolicyAndTheHint) {
  auto* column = new QVBoxLayout(window_.get());
  auto* b = new W(QStringLiteral("Upwards"), window_.get());
  const QSize across = b->sizeHint();
  b->setCaptionOrientation(W::VerticalUp);  // before showing: a stored value
  column->addWidget(b);
  EXPECT_EQ(b->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
  EXPECT_EQ(b->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
  EXPECT_GT(b->sizeHint().height(), b->sizeHint().width());
  EXPECT_NE(b->sizeHint(), across);
  window_->resize(300, 400);
  Show();
  EXPECT_EQ(b->width(), b->sizeHint().width());
  EXPECT_GE(b->height(), b->sizeHint().height());
}

TEST_F(Conventions, ANewButtonInheritsItsFontAndFollowsItUntilOneIsSet) {
  QFont app_font(Sans());
  app_font.setPointSizeF(12);
  QApplication::setFont(app_font);

  auto* b = new W(QStringLiteral("Inherits"), window_.get());
  b->setGeometry(10, 10, 120, 30);
  EXPECT_EQ(b->font().family(), Sans());
  EXPECT_DOUBLE_EQ(b->font().pointSizeF(), 12);
  EXPECT_EQ(ModelFontName(*b), Sans().toStdString());
  Show();

  // The parent's font reaches it, and redraws it.
  const std::vector<ColorRef> sans_pixels = Pixels(*b);
  QSignalSpy changed(b, &W::storedPropertyChanged);
  QFont parent_font(Serif());
  parent_font.setPointSizeF(12);
  window_->setFont(parent_font);
  EXPECT_EQ(ModelFontName(*b), Serif().toStdString());
  EXPECT_EQ(b->QWidget::font().family(), Serif());
  EXPECT_NE(Pixels(*b), sans_pixels);
  EXPECT_EQ(changed.size(), 0);  // inherited, not assigned

  // The application font reaches a button whose parent has none of its own.
  auto* top = new W(QStringLiteral("Top level"));
  std::unique_ptr<W> own_top(top);
  QFont bigger(Sans());
  bigger.setPointSizeF(14);
  QApplication::setFont(bigger);
  QCoreApplication::processEvents();
  EXPECT_DOUBLE_EQ(top->QWidget::font().pointSizeF(), 14);
  EXPECT_DOUBLE_EQ(top->font().pointSizeF(), 14);
}

TEST_F(Conventions, AFontSetThroughAnyPointerOrAStyleSheetIsTheButtonsAndIsKept) {
  auto* through_qwidget = new W(QStringLiteral("Pointer"), window_.get());
  auto* styled = new W(QStringLiteral("Styled"), window_.get());
  auto* direct = new W(QStringLiteral("Direct"), window_.get());
  through_qwidget->setGeometry(10, 10, 120, 30);
  styled->setGeometry(10, 50, 120, 30);
  direct->setGeometry(10, 90, 120, 30);
  Show();

  const std::vector<ColorRef> before = Pixels(*through_qwidget);
  QFont serif(Serif());
  serif.setPointSizeF(13);
  static_cast<QWidget*>(through_qwidget)->setFont(serif);
  EXPECT_EQ(ModelFontName(*through_qwidget), Serif().toStdString());
  EXPECT_DOUBLE_EQ(ModelOf(*through_qwidget).Font()->size(), 13);
  EXPECT_NE(Pixels(*through_qwidget), before);  // a visible change
  EXPECT_EQ(Json::parse(through_qwidget->storedProperties().toStdString())["font"]["name"],
            Serif().toStdString());

  styled->setStyleSheet(QStringLiteral("font: 15pt \"%1\";").arg(Serif()));
  styled->ensurePolished();
  QCoreApplication::processEvents();
  EXPECT_EQ(ModelFontName(*styled), Serif().toStdString());
  EXPECT_DOUBLE_EQ(ModelOf(*styled).Font()->size(), 15);

  QFont mono(QStringLiteral("DejaVu Sans Mono"));
  mono.setPointSizeF(9);
  direct->setFont(mono);
  EXPECT_EQ(direct->QWidget::font().family(), mono.family());  // QWidget's font is the caption's

  // A font of its own is kept when the container's changes.
  QFont parent_font(Sans());
  parent_font.setPointSizeF(20);
  window_->setFont(parent_font);
  EXPECT_EQ(ModelFontName(*through_qwidget), Serif().toStdString());
  EXPECT_EQ(ModelFontName(*styled), Serif().toStdString());
  EXPECT_EQ(ModelFontName(*direct), "DejaVu Sans Mono");
  EXPECT_DOUBLE_EQ(direct->font().pointSizeF(), 9);
}

TEST_F(Conventions, StoredFontsAreKeptAndDesignerAssignmentsAnnounceTheFont) {
  // Designer: the font property assigns the Font, announced as a stored value.
  auto* designed = new W(window_.get());
  designed->setObjectName(QStringLiteral("designed"));
  designed->setDesignMode(true);
  designed->setGeometry(10, 10, 120, 30);
  Show();
  QSignalSpy changed(designed, &W::storedPropertyChanged);
  QFont serif(Serif());
  serif.setPointSizeF(11);
  ASSERT_TRUE(designed->setProperty("font", serif));
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toString(), QStringLiteral("FONT"));
  EXPECT_EQ(designed->property("font").value<QFont>().family(), Serif());

  // The form file keeps it; the program loading it gets it, whatever its
  // container's font.
  const QByteArray stored = designed->storedProperties();
  auto* loaded = new W(window_.get());
  QFont other(Sans());
  other.setPointSizeF(16);
  window_->setFont(other);
  ASSERT_TRUE(loaded->setStoredProperties(stored));
  EXPECT_EQ(ModelFontName(*loaded), Serif().toStdString());
  window_->setFont(QFont(Sans(), 18));
  EXPECT_EQ(ModelFontName(*loaded), Serif().toStdString());
  EXPECT_EQ(loaded->QWidget::font().family(), Serif());

  // A stored set without a font leaves the button to inheritance again.
  Json without = Json::parse(stored.toStdString());
  without.erase("font");
  ASSERT_TRUE(loaded->setStoredProperties(QByteArray::fromStdString(without.dump())));
  EXPECT_EQ(ModelFontName(*loaded), Sans().toStdString());
  EXPECT_DOUBLE_EQ(ModelOf(*loaded).Font()->size(), 18);
}

// Collects what reaches Qt's message handler.
struct Warnings {
  Warnings() {
    Self() = this;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
          if (type == QtWarningMsg && Self() != nullptr) {
            Self()->seen.push_back({QString::fromLatin1(context.category), text});
          }
        });
  }
  ~Warnings() {
    qInstallMessageHandler(previous);
    Self() = nullptr;
  }
  static Warnings*& Self() {
    static Warnings* self = nullptr;
    return self;
  }
  struct Seen {
    QString category;
    QString text;
  };
  std::vector<Seen> seen;
  QtMessageHandler previous = nullptr;
};

TEST_F(Conventions, RunTimeAssignmentsTheRulesIgnoreLeaveOneWarningEach) {
  auto* b = new W(QStringLiteral("Warned"), window_.get());
  b->setObjectName(QStringLiteral("okButton"));
  b->setGeometry(10, 10, 120, 30);
  b->setButtonType(W::WindowsXP);  // before showing: stored, no warning
  Show();

  Warnings warnings;
  b->setButtonType(W::Macintosh);
  b->setProperty("buttonType", QVariant::fromValue(W::Etched));  // the same property again
  b->setBackColor(QColor(1, 2, 3));                              // under SystemColors
  b->setGradientStartColor(QColor(4, 5, 6));                     // on the WindowsXP look
  b->setAlignment(static_cast<W::CaptionAlignmentValue>(7));     // out of range
  b->setCaption(QStringLiteral("Fine"));                         // takes effect
  b->setShowFocus(true);                                         // the value it has
  ASSERT_EQ(warnings.seen.size(), 4u);
  for (const auto& w : warnings.seen) {
    EXPECT_EQ(w.category, QStringLiteral("torvelbutton.properties"));
    EXPECT_TRUE(w.text.contains(QStringLiteral("okButton"))) << w.text.toStdString();
  }
  EXPECT_TRUE(warnings.seen[0].text.contains(QStringLiteral("buttonType = Macintosh")));
  EXPECT_TRUE(warnings.seen[0].text.contains(QStringLiteral("first shown")));
  EXPECT_TRUE(warnings.seen[1].text.contains(QStringLiteral("backColor = 0x030201")));
  EXPECT_TRUE(warnings.seen[1].text.contains(QStringLiteral("CustomColors")));
  EXPECT_TRUE(warnings.seen[2].text.contains(QStringLiteral("WindowsXP look has no gradient")));
  EXPECT_TRUE(warnings.seen[3].text.contains(QStringLiteral("outside 0..2")));
  // The rules themselves did not change.
  EXPECT_EQ(b->buttonType(), W::WindowsXP);
  EXPECT_EQ(b->colorScheme(), W::SystemColors);
  EXPECT_EQ(b->caption(), QStringLiteral("Fine"));

  // In a designer the rules speak for themselves; and the category can be
  // silenced.
  auto* designed = new W(QStringLiteral("Designed"), window_.get());
  designed->setDesignMode(true);
  designed->show();
  auto* quiet = new W(QStringLiteral("Quiet"), window_.get());
  quiet->show();
  warnings.seen.clear();
  designed->setButtonType(W::Etched);
  EXPECT_EQ(designed->buttonType(), W::Etched);
  QLoggingCategory::setFilterRules(QStringLiteral("torvelbutton.properties=false"));
  quiet->setButtonType(W::Etched);
  QLoggingCategory::setFilterRules(QString());
  EXPECT_TRUE(warnings.seen.empty());
}

// The names the tool and the warnings use are the widget's enumerations.
TEST(ValueNames, AreTheNamesOfTheWidgetsEnumerations) {
  const std::pair<const char*, const char*> kEnums[] = {
      {"ButtonType", "ButtonTypeValue"},
      {"ColorScheme", "ColorSchemeValue"},
      {"Alignment", "CaptionAlignmentValue"},
      {"IconAlignmentValue", "IconSide"},
      {"CaptionOrientation", "CaptionOrientationValue"},
      {"CaptionStyle", "CaptionStyleValue"},
      {"ButtonStyle", "ButtonStyleValue"},
      {"GradientOrientation", "GradientOrientationValue"},
      {"IconSize", "IconSizeValue"},
      {"MousePointer", "MousePointerValue"},
  };
  for (const auto& [member, enum_name] : kEnums) {
    SCOPED_TRACE(member);
    const QMetaObject& mo = W::staticMetaObject;
    const QMetaEnum e = mo.enumerator(mo.indexOfEnumerator(enum_name));
    ASSERT_TRUE(e.isValid());
    const auto names = notes::ValueNamesOf(member);
    ASSERT_EQ(static_cast<int>(names.size()), e.keyCount());
    for (int i = 0; i < e.keyCount(); ++i) {
      EXPECT_EQ(std::string(names[static_cast<std::size_t>(i)].name), e.key(i));
      EXPECT_EQ(names[static_cast<std::size_t>(i)].value, e.value(i));
    }
  }
  EXPECT_EQ(notes::ValueOfName(notes::ValueNamesOf("btype"), "windowsxp"), 3);
  EXPECT_FALSE(notes::ValueOfName(notes::ValueNamesOf("ButtonType"), "Windows"));
}

}  // namespace
}  // namespace vx::qt
