#include "torvelbutton/torvelbuttonwidget.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QShowEvent>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

#include "button/qt/accessible.h"
#include "button/qt/guard.h"
#include "button/qt/input.h"
#include "button/qt/property_notes.h"
#include "button/qt/stored_properties.h"
#include "button/qt/system_colors.h"
#include "button/qt/torvelbuttonwidget_p.h"
#include "button/render/device_picture.h"
#include "button/render/painter.h"
#include "platform/host/json_property_bag.h"
#include "platform/json/json_reader.h"

using vx::ColorRef;
using vx::Surface;
using vx::qt::Guarded;
namespace button = vx::button;
namespace host = vx::host;
namespace keys = vx::button::keys;

// Assignments the rules ignore at run time are told here, so that a program
// learns why nothing changed (QT_LOGGING_RULES="torvelbutton.properties=false"
// silences them).
Q_LOGGING_CATEGORY(lcProperties, "torvelbutton.properties")

// --- the inside

TorvelButtonWidgetPrivate::TorvelButtonWidgetPrivate(TorvelButtonWidget& widget,
                                                     const TorvelButtonWidget::Placement& p)
    : q(widget),
      parent_window(p.parent_window),
      palette(p.palette),
      container(p.container),
      display_name(p.display_name) {
  static std::atomic<int> count{0};
  auto_name = "TorvelButton" + std::to_string(++count);
  if (parent_window == nullptr) {
    tree = std::make_unique<vx::qt::WidgetTree>(q);
    parent_window = tree.get();
  }
  if (palette == nullptr) {
    own_palette = std::make_unique<host::SystemPalette>();
    vx::qt::MapDesktopPalette(q.palette(), *own_palette);
    palette = own_palette.get();
    own_back = parent_window->BackColor();
    own_text = parent_window->TextColor();
  }
  host = std::make_unique<vx::qt::ButtonHost>(*this);
}

TorvelButtonWidgetPrivate::~TorvelButtonWidgetPrivate() = default;

void TorvelButtonWidgetPrivate::CreateButton() {
  host->ResizeSurface(q.width(), q.height());
  ambient_font = vx::qt::FontAttributesOf(AmbientWidget().font());
  button = std::make_unique<button::TorvelButton>(host->site());
  auto drawing_side = std::make_shared<vx::render::ButtonPainter>();
  painter = drawing_side.get();
  button->SetRenderer(std::move(drawing_side));
}

std::string TorvelButtonWidgetPrivate::DisplayName() const {
  return tree ? tree->DisplayName() : display_name;
}

const QWidget& TorvelButtonWidgetPrivate::AmbientWidget() const {
  if (container) return *container;
  const QWidget* parent = q.parentWidget();
  return parent != nullptr ? *parent : q;
}

int TorvelButtonWidgetPrivate::DeviceScale() const {
  const qreal ratio = q.devicePixelRatioF();
  if (pixel_scaling != TorvelButtonWidget::Device || ratio <= 1.0) return 1;
  // A fractional ratio is drawn for the next whole one and scaled down:
  // lines stay of one weight and the focus dots whole.
  return std::clamp(static_cast<int>(std::ceil(ratio - 1e-6)), 1, vx::render::kMaxDeviceScale);
}

void TorvelButtonWidgetPrivate::Repaint() {
  ++drawing;
  // Synchronous: a pause right after (the access-key flash) shows this image.
  if (q.isVisible() && !painting) q.repaint();
  // The accessible name is the caption; tell listeners when it changed.
  if (button && button->Caption() != shown_caption) {
    shown_caption = button->Caption();
    if (QAccessible::isActive()) {
      QAccessibleEvent ev(&q, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&ev);
    }
  }
  if (refresh_hook) refresh_hook();
}

void TorvelButtonWidgetPrivate::ApplyEnabled() {
  // A press that clears Enabled (the right button) still gets its release
  // and click: the window follows once the buttons are up.
  if (held != Qt::NoButton && !host->enabled()) return;
  const bool was = std::exchange(host_enabling, true);
  q.QWidget::setEnabled(host->enabled());
  host_enabling = was;
}

void TorvelButtonWidgetPrivate::ApplyAccessKey(const std::string& keys) {
  delete shortcut;
  shortcut = nullptr;
  access_key = QString::fromStdString(keys).toLower();
  if (access_key.isEmpty()) return;
  const char32_t c = QChar::toUpper(access_key.toUcs4().value(0));
  shortcut = new QShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(c))), &q);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, &q, [this] { AccessKeyActivated(); });
  // Two controls with one key: each press moves the focus to the next one.
  QObject::connect(shortcut, &QShortcut::activatedAmbiguously, &q,
                   [this] { q.setFocus(Qt::ShortcutFocusReason); });
  if (QAccessible::isActive()) {
    QAccessibleEvent ev(&q, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&ev);
  }
}

void TorvelButtonWidgetPrivate::AccessKeyActivated() {
  if (!q.isEnabled() || !q.isVisible()) return;
  QPointer<TorvelButtonWidget> self(&q);
  if (q.focusPolicy() & Qt::TabFocus) q.setFocus(Qt::ShortcutFocusReason);
  if (!self) return;
  const int code = vx::qt::CharacterCode(access_key);
  Guarded("access key",
          [&] { button->UserControl_AccessKeyPress(static_cast<std::int16_t>(code)); });
}

namespace {

// The key events' arguments as the widget's signals pass them, and back.
TorvelButtonKeyArgs KeyArgsOf(const host::EventArgs& a) {
  TorvelButtonKeyArgs k;
  k.keyCode = a.key_code;
  k.keyAscii = a.key_ascii;
  k.shift = a.shift;
  return k;
}

void ReadBack(const TorvelButtonKeyArgs& k, host::EventArgs& a) {
  a.key_code = static_cast<std::int16_t>(k.keyCode);
  a.key_ascii = static_cast<std::int16_t>(k.keyAscii);
  a.shift = static_cast<std::int16_t>(k.shift);
}

}  // namespace

void TorvelButtonWidgetPrivate::RaiseEvent(std::string_view name, host::EventArgs& args) {
  QPointer<TorvelButtonWidget> self(&q);
  if (event_hook) {
    const EventHook hook = event_hook;  // the hook may replace itself
    hook(name, args);
    if (!self) return;
  }
  const std::string lower = host::LowerKey(name);
  if (lower == "click") {
    emit q.clicked();
  } else if (lower == "mousedown") {
    emit q.mouseDown(args.button, args.shift, args.x, args.y);
  } else if (lower == "mousemove") {
    emit q.mouseMove(args.button, args.shift, args.x, args.y);
  } else if (lower == "mouseup") {
    emit q.mouseUp(args.button, args.shift, args.x, args.y);
  } else if (lower == "mouseout") {
    emit q.mouseOut();
  } else if (lower == "keydown" || lower == "keypress" || lower == "keyup") {
    TorvelButtonKeyArgs k = KeyArgsOf(args);
    if (lower == "keydown") {
      emit q.keyDown(&k);
    } else if (lower == "keypress") {
      emit q.keyPress(&k);
    } else {
      emit q.keyUp(&k);
    }
    if (self) ReadBack(k, args);
  }
}

void TorvelButtonWidgetPrivate::AnnounceChange(std::string_view key) {
  emit q.storedPropertyChanged(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
}

bool TorvelButtonWidgetPrivate::InsideShape(const QPointF& p) const {
  const QPoint pixel(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
  if (!q.rect().contains(pixel)) return false;
  const QRegion m = q.mask();
  return m.isEmpty() || m.contains(pixel);
}

void TorvelButtonWidgetPrivate::Press() {
  if (!q.isEnabled()) return;
  const float x = static_cast<float>(q.width()) / 2;
  const float y = static_cast<float>(q.height()) / 2;
  QPointer<TorvelButtonWidget> self(&q);
  Guarded("mouse down", [&] { button->UserControl_MouseDown(1, 0, x, y); });
  if (!self) return;
  Guarded("mouse up", [&] { button->UserControl_MouseUp(1, 0, x, y); });
  if (!self) return;
  Guarded("click", [&] { button->UserControl_Click(); });
}

void TorvelButtonWidgetPrivate::Assign(std::string_view key, const button::MemberValue& value) {
  const vx::qt::StoredProperty* p = vx::qt::FindStoredProperty(key);
  if (p == nullptr) return;
  if (restoring) {
    Restore(key, vx::qt::ToPropertyValue(value));
  } else {
    if (!design_mode) WarnIfIgnored(*p, value);
    Guarded(p->property, [&] { button->SetMember(p->member, value); });
  }
  UpdateLayoutHints();
}

void TorvelButtonWidgetPrivate::WarnIfIgnored(const vx::qt::StoredProperty& p,
                                              const button::MemberValue& value) {
  std::optional<std::string> why;
  Guarded(p.property, [&] { why = vx::notes::IgnoredAtRunTime(*button, p.member, value); });
  if (!why || !warned.insert(p.property).second) return;
  qCWarning(lcProperties, "TorvelButtonWidget \"%s\": %s = %s was ignored: %s",
            qUtf8Printable(q.objectName()), p.property,
            vx::notes::ValueText(p.member, value).c_str(), why->c_str());
}

QFont TorvelButtonWidgetPrivate::InheritedFont() const {
  const QFont own = QApplication::font(&q);
  const QWidget* parent = q.parentWidget();
  if (parent == nullptr || q.isWindow()) return own;
  return parent->font().resolve(own);
}

void TorvelButtonWidgetPrivate::FollowInheritedFont() {
  if (!FollowsQtFonts() || font_explicit || !button) return;
  const host::FontAttributes inherited = vx::qt::FontAttributesOf(InheritedFont());
  const host::FontPtr now = button->Font();
  if (now && now->attributes() == inherited) return;
  // The container's font is the inherited one (see ButtonHost::AmbientFont):
  // taken as the button takes any ambient font, announcing nothing.
  if (!Guarded("ambient change", [this] { button->UserControl_AmbientChanged("Font"); })) return;
  // A later restored value must not bring the old font back.
  if (pending) pending->WriteProperty(keys::kFont, vx::qt::ToPropertyValue({button->Font()}));
  if (button->state().IsShown != button::kFalse) {
    Guarded("ambient change", [this] { button->RefreshButton(); });
  }
  UpdateLayoutHints();
}

void TorvelButtonWidgetPrivate::ShowFontOnWidget() {
  if (!FollowsQtFonts() || !font_explicit || !button || !button->Font()) return;
  const QFont f = vx::qt::QFontOf(button->Font()->attributes());
  if (q.QWidget::font() == f && q.testAttribute(Qt::WA_SetFont)) return;
  const bool was = std::exchange(showing_font, true);
  q.QWidget::setFont(f);
  showing_font = was;
}

void TorvelButtonWidgetPrivate::ForgetWidgetFont() {
  if (!q.testAttribute(Qt::WA_SetFont)) return;
  const bool was = std::exchange(showing_font, true);
  q.QWidget::setFont(QFont());  // nothing resolved: inherit again
  showing_font = was;
}

void TorvelButtonWidgetPrivate::WidgetFontChanged() {
  if (showing_font || !button) return;
  const QFont widget_font = q.QWidget::font();
  const host::FontAttributes now = vx::qt::FontAttributesOf(widget_font);
  // Set on the widget itself, or by a style sheet (which leaves no mark but
  // a font other than the inherited one).
  const bool set_here =
      q.testAttribute(Qt::WA_SetFont) || now != vx::qt::FontAttributesOf(InheritedFont());
  if (!set_here) {
    FollowInheritedFont();
    return;
  }
  font_explicit = true;
  const host::FontPtr current = button->Font();
  if (current && current->attributes() == now) return;
  Assign(keys::kFont, button::MemberValue{host::Font::Create(now)});
}

void TorvelButtonWidgetPrivate::UpdateLayoutHints() {
  if (!button) return;
  const button::ButtonState& st = button->state();
  const bool vertical =
      st.CaptionOrientation == button::VerticalUp || st.CaptionOrientation == button::VerticalDown;
  if (hint_vertical != vertical) {
    // As a push button's: as wide as it is made, no taller than its caption
    // needs; a vertical caption turns that round. A policy the program set
    // stays until the orientation changes.
    QSizePolicy policy = vertical ? QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Minimum)
                                  : QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    policy.setControlType(QSizePolicy::PushButton);
    hint_vertical = vertical;
    q.setSizePolicy(policy);
  }
  std::string inputs = st.Caption;
  if (st.TextFont) {
    const host::FontAttributes& f = st.TextFont->attributes();
    inputs += "\n" + f.name + "\n" + std::to_string(f.size) + "," + std::to_string(f.weight) + "," +
              std::to_string(f.italic) + std::to_string(f.underline) +
              std::to_string(f.strikethrough);
  }
  inputs += "\n" + std::to_string(st.HasIcon) + "," + std::to_string(st.IconSize) + "," +
            std::to_string(st.CaptionOrientation) + "," + std::to_string(st.ButtonStyle);
  if (inputs == hint_inputs) return;
  hint_inputs = std::move(inputs);
  q.updateGeometry();
}

bool TorvelButtonWidgetPrivate::Restore(std::string_view key, const host::PropertyValue& value) {
  // The values restored so far are read again with each new one: restoring
  // applies the scheme's colours, and a scheme that comes later in a form
  // file must not have replaced the caption colours stored before it.
  if (!pending) {
    pending.emplace();
    if (!Guarded("stored properties", [&] { button->WriteProperties(*pending); })) {
      pending.reset();
      return false;
    }
  }
  const vx::qt::MemoryPropertyBag before = *pending;
  pending->WriteProperty(key, value);
  pristine = false;
  if (Guarded("stored properties", [&] { ReadAll(*pending); })) return true;
  *pending = before;
  return false;
}

void TorvelButtonWidgetPrivate::ReadAll(host::PropertyBag& bag) {
  vx::qt::MemoryPropertyBag before;
  button->WriteProperties(before);
  try {
    button->ReadProperties(bag);
  } catch (...) {
    Guarded("stored properties", [&] { button->ReadProperties(before); });
    throw;
  }
  if (button->state().IsShown != button::kFalse) {
    button->state().LayoutPending = button::kTrue;
    button->UserControl_Resize();
  }
}

void TorvelButtonWidgetPrivate::RefreshOwnPalette() {
  if (!own_palette || !button) return;
  host::SystemPalette mapped;
  vx::qt::MapDesktopPalette(q.palette(), mapped);
  const ColorRef back = parent_window->BackColor();
  const ColorRef text = parent_window->TextColor();
  bool table_changed = false;
  for (int i = 0; i < host::SystemPalette::kSize && !table_changed; ++i) {
    table_changed = mapped.Get(i) != own_palette->Get(i);
  }
  const bool back_changed = back != own_back;
  const bool text_changed = text != own_text;
  if (!table_changed && !back_changed && !text_changed) return;
  *own_palette = mapped;
  own_back = back;
  own_text = text;
  Guarded("palette change",
          [&] { vx::qt::TellColorsChanged(*button, back_changed, text_changed); });
}

namespace vx::qt {

void TellColorsChanged(button::TorvelButton& b, bool back_changed, bool text_changed) {
  if (back_changed) b.UserControl_AmbientChanged("BackColor");
  if (text_changed) b.UserControl_AmbientChanged("ForeColor");
  b.UserControl_AmbientChanged("Palette");
  // The system colours changed under the button: a scheme that reads them
  // takes them up even when the form's own colours stayed.
  if (!text_changed && b.ColorScheme() != button::ParentColors) {
    b.ApplyColorScheme(button::kFalse);
    b.RefreshButton();
  }
}

}  // namespace vx::qt

// --- construction

TorvelButtonWidget::TorvelButtonWidget(QWidget* parent) : TorvelButtonWidget(Placement{}, parent) {}

TorvelButtonWidget::TorvelButtonWidget(const QString& caption, QWidget* parent)
    : TorvelButtonWidget(Placement{}, parent) {
  setCaption(caption);
}

TorvelButtonWidget::TorvelButtonWidget(const Placement& placement, QWidget* parent)
    : QWidget(parent), d_(std::make_unique<TorvelButtonWidgetPrivate>(*this, placement)) {
  vx::qt::InstallAccessibleFactory();
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  // Every pixel comes from the surface.
  setAttribute(Qt::WA_OpaquePaintEvent);
  d_->CreateButton();

  d_->release_timer.setSingleShot(true);
  d_->release_timer.setInterval(vx::qt::kReleaseHoldMs);
  connect(&d_->release_timer, &QTimer::timeout, this, [this] {
    if (auto due = d_->release_hold.Take()) d_->KeyUp(*due);
  });

  // While a menu holds the keyboard the focus may still move on (a menu
  // command can set it): that is the button's focus exit.
  d_->focus_watch =
      connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!d_->focus_parked || now == nullptr || now == this) return;
        if (now->window()->windowType() == Qt::Popup) return;
        d_->focus_parked = false;
        Guarded("focus exit", [this] { d_->button->UserControl_ExitFocus(); });
      });

  if (d_->tree) {
    // A new button: its defaults, with its name as the caption until a
    // stored value reaches it.
    Guarded("new button", [this] { d_->button->InitProperties(); });
    d_->FollowInheritedFont();
    d_->pristine = true;
    d_->name_watch = connect(this, &QObject::objectNameChanged, this, [this] {
      if (!d_->pristine || !d_->restoring) return;
      Guarded("new button", [this] { d_->button->InitProperties(); });
      d_->FollowInheritedFont();
      d_->UpdateLayoutHints();
    });
  }
  d_->UpdateLayoutHints();
}

TorvelButtonWidget::~TorvelButtonWidget() {
  // QWidget's destructor moves the focus on, after this one has run.
  disconnect(d_->focus_watch);
  disconnect(d_->name_watch);
  Guarded("termination", [this] { d_->button->UserControl_Terminate(); });
  d_->button.reset();
}

// --- properties

namespace {

using button::Bool16;
using button::Color;
using button::Long;
using button::MemberValue;

Long LongOf(const TorvelButtonWidgetPrivate& d, const char* member) {
  return std::get<Long>(d.button->GetMember(member));
}

bool BoolOf(const TorvelButtonWidgetPrivate& d, const char* member) {
  return std::get<Bool16>(d.button->GetMember(member)) != button::kFalse;
}

QColor ColorOf(const TorvelButtonWidgetPrivate& d, const char* member) {
  return vx::qt::ToQColor(static_cast<ColorRef>(LongOf(d, member)));
}

MemberValue FromBool(bool b) {
  return MemberValue{button::ToBool16(b)};
}

MemberValue FromLong(int v) {
  return MemberValue{static_cast<Long>(v)};
}

}  // namespace

#define TORVEL_ENUM_PROPERTY(Type, getter, setter, key, member) \
  TorvelButtonWidget::Type TorvelButtonWidget::getter() const { \
    return static_cast<Type>(LongOf(*d_, member));              \
  }                                                             \
  void TorvelButtonWidget::setter(Type v) {                     \
    d_->Assign(key, FromLong(static_cast<int>(v)));             \
  }
#define TORVEL_BOOL_PROPERTY(getter, setter, key, member) \
  bool TorvelButtonWidget::getter() const {               \
    return BoolOf(*d_, member);                           \
  }                                                       \
  void TorvelButtonWidget::setter(bool v) {               \
    d_->Assign(key, FromBool(v));                         \
  }
#define TORVEL_COLOR_PROPERTY(getter, setter, key, member)                  \
  QColor TorvelButtonWidget::getter() const {                               \
    return ColorOf(*d_, member);                                            \
  }                                                                         \
  void TorvelButtonWidget::setter(const QColor& c) {                        \
    if (c.isValid()) d_->Assign(key, MemberValue{vx::qt::ColorValueOf(c)}); \
  }

TORVEL_ENUM_PROPERTY(CaptionAlignmentValue, alignment, setAlignment, keys::kAlignment, "Alignment")
TORVEL_BOOL_PROPERTY(showFocus, setShowFocus, keys::kShowFocus, "ShowFocus")
TORVEL_BOOL_PROPERTY(value, setValue, keys::kValue, "Value")
TORVEL_BOOL_PROPERTY(optionButton, setOptionButton, keys::kOptionButton, "OptionButton")
TORVEL_ENUM_PROPERTY(IconSide, iconAlignmentValue, setIconAlignmentValue, keys::kIconAlignment,
                     "IconAlignmentValue")
TORVEL_COLOR_PROPERTY(embossEngraveShadow, setEmbossEngraveShadow, keys::kEmbossEngraveShadow,
                      "EmbossEngraveShadow")
TORVEL_COLOR_PROPERTY(embossEngraveMid, setEmbossEngraveMid, keys::kEmbossEngraveMid,
                      "EmbossEngraveMid")
TORVEL_COLOR_PROPERTY(gradientStartColor, setGradientStartColor, keys::kGradientStart,
                      "GradientStartColor")
TORVEL_ENUM_PROPERTY(GradientOrientationValue, gradientOrientation, setGradientOrientation,
                     keys::kGradientOrientation, "GradientOrientation")
TORVEL_COLOR_PROPERTY(gradientStopColor, setGradientStopColor, keys::kGradientStop,
                      "GradientStopColor")
TORVEL_COLOR_PROPERTY(backColor, setBackColor, keys::kBackColor, "BackColor")
TORVEL_COLOR_PROPERTY(foreColor, setForeColor, keys::kForeColor, "ForeColor")
TORVEL_COLOR_PROPERTY(mouseOverColor, setMouseOverColor, keys::kMouseOver, "MouseOver")
TORVEL_ENUM_PROPERTY(ButtonTypeValue, buttonType, setButtonType, keys::kButtonType, "ButtonType")
TORVEL_ENUM_PROPERTY(IconSizeValue, iconSize, setIconSize, keys::kIconSize, "IconSize")
TORVEL_ENUM_PROPERTY(CaptionStyleValue, captionStyle, setCaptionStyle, keys::kCaptionStyle,
                     "CaptionStyle")
TORVEL_ENUM_PROPERTY(ColorSchemeValue, colorScheme, setColorScheme, keys::kColorScheme,
                     "ColorScheme")
TORVEL_ENUM_PROPERTY(ButtonStyleValue, buttonStyle, setButtonStyle, keys::kButtonStyle,
                     "ButtonStyle")
TORVEL_ENUM_PROPERTY(CaptionOrientationValue, captionOrientation, setCaptionOrientation,
                     keys::kCaptionOrientation, "CaptionOrientation")
TORVEL_ENUM_PROPERTY(CaptionSmoothingValue, captionSmoothing, setCaptionSmoothing,
                     keys::kCaptionSmoothing, "CaptionSmoothing")
TORVEL_ENUM_PROPERTY(MousePointerValue, mousePointer, setMousePointer, keys::kMousePointer,
                     "MousePointer")

#undef TORVEL_ENUM_PROPERTY
#undef TORVEL_BOOL_PROPERTY
#undef TORVEL_COLOR_PROPERTY

// The model reads back the mode in force; a form file must keep the mode
// asked for, or a button on automatic would come back fixed to one mode.
int TorvelButtonWidget::graphicsMode() const {
  return d_->button->state().GraphicsMode;
}

int TorvelButtonWidget::graphicsModeInForce() const {
  return LongOf(*d_, "GraphicsMode");
}

void TorvelButtonWidget::setGraphicsMode(int mode) {
  d_->Assign(keys::kGraphicsMode, FromLong(mode));
}

QPixmap TorvelButtonWidget::icon() const {
  const host::PicturePtr p = d_->button->Icon();
  return p ? QPixmap::fromImage(vx::qt::ImageOf(*p)) : QPixmap();
}

void TorvelButtonWidget::setIcon(const QPixmap& icon) {
  d_->Assign(keys::kIcon, MemberValue{vx::qt::PictureOf(icon.toImage())});
}

QString TorvelButtonWidget::caption() const {
  return QString::fromStdString(d_->button->Caption());
}

void TorvelButtonWidget::setCaption(const QString& caption) {
  d_->Assign(keys::kCaption, MemberValue{caption.toStdString()});
}

QFont TorvelButtonWidget::font() const {
  const host::FontPtr f = d_->button->Font();
  return f ? vx::qt::QFontOf(f->attributes()) : QWidget::font();
}

void TorvelButtonWidget::setFont(const QFont& font) {
  d_->font_explicit = true;
  d_->Assign(keys::kFont, MemberValue{host::Font::Create(vx::qt::FontAttributesOf(font))});
  d_->ShowFontOnWidget();
}

QPixmap TorvelButtonWidget::mouseIcon() const {
  const host::PicturePtr p = d_->button->MouseIcon();
  return p ? QPixmap::fromImage(vx::qt::ImageOf(*p)) : QPixmap();
}

void TorvelButtonWidget::setMouseIcon(const QPixmap& icon) {
  d_->Assign(keys::kMouseIcon, MemberValue{vx::qt::PictureOf(icon.toImage())});
}

TorvelButtonWidget::PixelScalingValue TorvelButtonWidget::pixelScaling() const {
  return d_->pixel_scaling;
}

void TorvelButtonWidget::setPixelScaling(PixelScalingValue scaling) {
  if (scaling != Device && scaling != Doubled) return;
  d_->pixel_scaling = scaling;
  update();
}

QString TorvelButtonWidget::container() const {
  QString name;
  Guarded("container", [&] { name = QString::fromStdString(d_->button->Container()); });
  return name;
}

QByteArray TorvelButtonWidget::storedProperties() const {
  host::JsonPropertyBag bag;
  if (!Guarded("stored properties", [&] { d_->button->WriteProperties(bag); })) return {};
  return QByteArray::fromStdString(vx::json::Dump(bag.json()));
}

bool TorvelButtonWidget::setStoredProperties(const QByteArray& json, QString* error) {
  try {
    host::JsonPropertyBag bag(vx::json::Parse(json.toStdString(), "the stored properties"));
    d_->ReadAll(bag);
    d_->pristine = false;
    d_->pending.reset();
    // A stored font is the button's own; without one it follows Qt's.
    bool has_font = false;
    if (bag.json().is_object()) {
      for (const auto& item : bag.json().items()) has_font |= host::LowerKey(item.key()) == "font";
    }
    if (d_->FollowsQtFonts()) {
      d_->font_explicit = has_font;
      if (has_font) {
        d_->ShowFontOnWidget();
      } else {
        d_->ForgetWidgetFont();
        d_->FollowInheritedFont();
      }
    }
    d_->UpdateLayoutHints();
    return true;
  } catch (const button::PropertyError& e) {
    if (error != nullptr) {
      *error = QStringLiteral("\"%1\": %2")
                   .arg(QString::fromStdString(e.key()), QString::fromUtf8(e.what()));
    }
  } catch (const std::exception& e) {
    if (error != nullptr) *error = QString::fromUtf8(e.what());
  }
  return false;
}

bool TorvelButtonWidget::designMode() const {
  return d_->design_mode;
}

void TorvelButtonWidget::setDesignMode(bool design) {
  d_->design_mode = design;
}

QList<QByteArray> TorvelButtonWidget::storedPropertyNames() {
  QList<QByteArray> names;
  for (const vx::qt::StoredProperty& p : vx::qt::StoredProperties()) names.append(p.property);
  return names;
}

QByteArray TorvelButtonWidget::propertyOfStoredKey(const QString& key) {
  const vx::qt::StoredProperty* p = vx::qt::FindStoredProperty(key.toStdString());
  return p != nullptr ? QByteArray(p->property) : QByteArray();
}

QColor TorvelButtonWidget::systemColor(SystemColor index) {
  return vx::qt::SystemColorReference(static_cast<int>(index));
}

QSize TorvelButtonWidget::sizeHint() const {
  QSize size(89, 19);
  Guarded("size hint", [&] {
    const auto [w, h] = vx::render::CaptionSizeHint(*d_->button);
    size = QSize(w, h);
  });
  return size;
}

QSize TorvelButtonWidget::minimumSizeHint() const {
  // As a push button's: the caption is not meant to be cut.
  return sizeHint();
}

void TorvelButtonWidget::refreshButton() {
  Guarded("refresh", [this] { d_->button->RefreshButton(); });
}

void TorvelButtonWidget::click() {
  d_->Press();
}

// --- Qt events

namespace {

// A pixel of the surface (0x00BBGGRR) as the shown image holds it.
ColorRef ShownPixel(ColorRef c) {
  return 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// `from` into `to` (of the same size) as ShownPixel turns them, two pixels
// at a time, as this runs on every pixel of every paint.
void ShownPixels(const std::vector<ColorRef>& from, std::vector<ColorRef>& to) {
  const std::size_t n = std::min(from.size(), to.size());
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    std::uint64_t p;
    std::memcpy(&p, from.data() + i, sizeof p);
    p = (p & 0x000000FF000000FFu) << 16 | (p & 0x0000FF000000FF00u) |
        ((p >> 16) & 0x000000FF000000FFu) | 0xFF000000FF000000u;
    std::memcpy(to.data() + i, &p, sizeof p);
  }
  for (; i < n; ++i) to[i] = ShownPixel(from[i]);
}

// The surface's pixels into `image`, made its size.
void CopyPixels(const Surface& s, QImage& image, int scale) {
  if (image.width() != s.width() || image.height() != s.height()) {
    image = QImage(s.width(), s.height(), QImage::Format_RGB32);
  }
  image.setDevicePixelRatio(scale);
  for (int y = 0; y < s.height(); ++y) {
    const ColorRef* src = s.row(y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < s.width(); ++x) {
      dst[x] = ShownPixel(src[x]);
    }
  }
}

}  // namespace

void TorvelButtonWidget::paintEvent(QPaintEvent*) {
  TorvelButtonWidgetPrivate& d = *d_;
  const int scale = d.DeviceScale();
  const bool aside = scale > 1;
  if (aside != (d.painter->state().caption_out != nullptr)) {
    // Another screen: the caption goes onto the surface again, or aside to
    // be written at the device's resolution. Drawn anew, not shown twice.
    d.painter->state().caption_out = aside ? &d.captions : nullptr;
    d.captions.clear();
    const bool was = std::exchange(d.painting, true);
    Guarded("screen change", [&d] { d.button->RefreshButton(); });
    d.painting = was;
  }
  const Surface& s = d.host->surface();
  if (!aside) {
    CopyPixels(s, d.shown, 1);
  } else if (d.shown_drawing != d.drawing || d.shown_scale != scale) {
    // Made in the image's own pixel order, so that the window takes it as
    // it is: the button's pixels are turned round once, before they are
    // enlarged, and so are the caption's colours (text blends each channel
    // alone, so the order does not change what it writes).
    if (d.logical.width() != s.width() || d.logical.height() != s.height()) {
      d.logical = Surface(s.width(), s.height());
    }
    ShownPixels(s.pixels(), d.logical.pixels());
    d.shown_captions = d.captions;
    for (vx::render::CaptionText& c : d.shown_captions) c.color = ShownPixel(c.color);
    // Text keeps the fourth byte of the pixels it blends into, so the
    // picture stays opaque.
    vx::render::DrawDevicePicture(d.logical, d.shown_captions, scale, d.device, d.device_font);
    d.shown = QImage(reinterpret_cast<const uchar*>(d.device.pixels().data()), d.device.width(),
                     d.device.height(), d.device.width() * 4, QImage::Format_RGB32);
    d.shown.setDevicePixelRatio(scale);
  }
  d.shown_drawing = d.drawing;
  d.shown_scale = scale;
  QPainter painter(this);
  // Drawn for a whole ratio above a fractional one: scaled down smoothly.
  if (aside && scale != devicePixelRatioF()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
  }
  painter.drawImage(QPoint(0, 0), d.shown);
}

void TorvelButtonWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  d_->host->ResizeSurface(width(), height());
  Guarded("resize", [this] { d_->button->UserControl_Resize(); });
}

void TorvelButtonWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window coming back from the taskbar is no new showing.
  if (event->spontaneous()) return;
  d_->restoring = false;
  d_->pending.reset();
  Guarded("show", [this] { d_->button->UserControl_Show(); });
}

void TorvelButtonWidget::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  switch (event->type()) {
    case QEvent::FontChange: {
      if (d_->FollowsQtFonts()) {
        d_->WidgetFontChanged();
        break;
      }
      // The button's own font lives in the button; a change reaching the
      // widget is the container's.
      // Before the first showing the container is still being set up: its
      // font must not replace the button's restored one.
      const host::FontAttributes now = vx::qt::FontAttributesOf(d_->AmbientWidget().font());
      if (now != d_->ambient_font) {
        d_->ambient_font = now;
        if (d_->button->state().IsShown != button::kFalse) {
          Guarded("ambient change", [this] { d_->button->UserControl_AmbientChanged("Font"); });
        }
      }
      break;
    }
    case QEvent::EnabledChange: {
      // QWidget::setEnabled is the Enabled property too. A disabled parent
      // leaves the button's own setting alone.
      if (d_->host_enabling) break;
      const bool own = !testAttribute(Qt::WA_ForceDisabled);
      if (own != d_->host->enabled()) {
        d_->Assign(keys::kEnabled, FromBool(own));
      }
      break;
    }
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
      d_->RefreshOwnPalette();
      break;
    default:
      break;
  }
}

void TorvelButtonWidget::mousePressEvent(QMouseEvent* event) {
  if (!vx::qt::IsControlButton(event->button())) {
    event->ignore();
    return;
  }
  if (d_->held == Qt::NoButton) {
    d_->first_button = event->button();
    d_->double_click = false;
  }
  d_->held |= event->button();
  const QPointF p = event->position();
  Guarded("mouse down", [&] {
    d_->button->UserControl_MouseDown(vx::qt::ButtonCode(event->button()),
                                      vx::qt::ShiftState(event->modifiers()),
                                      static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
}

void TorvelButtonWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!vx::qt::IsControlButton(event->button())) {
    event->ignore();
    return;
  }
  // The second press of a double click: no mouse-down and, at its release,
  // no click.
  if (d_->held == Qt::NoButton) d_->first_button = event->button();
  d_->held |= event->button();
  d_->double_click = true;
  QPointer<TorvelButtonWidget> self(this);
  Guarded("double click", [this] { d_->button->UserControl_DblClick(); });
  if (self) emit doubleClicked();
}

void TorvelButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!vx::qt::IsControlButton(event->button())) {
    event->ignore();
    return;
  }
  d_->held &= ~event->button();
  const QPointF p = event->position();
  QPointer<TorvelButtonWidget> self(this);
  Guarded("mouse up", [&] {
    d_->button->UserControl_MouseUp(vx::qt::ButtonCode(event->button()),
                                    vx::qt::ShiftState(event->modifiers()),
                                    static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
  if (!self) return;
  const bool click = event->button() == d_->first_button && !d_->double_click && d_->InsideShape(p);
  if (d_->held == Qt::NoButton) {
    d_->first_button = Qt::NoButton;
    d_->double_click = false;
  }
  if (click) Guarded("click", [this] { d_->button->UserControl_Click(); });
  if (!self) return;
  d_->ApplyEnabled();
}

void TorvelButtonWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  QPointer<TorvelButtonWidget> self(this);
  if (d_->button->state().MouseInside == button::kFalse) {
    emit mouseOver();
    if (!self) return;
  }
  Guarded("mouse move", [&] {
    d_->button->UserControl_MouseMove(vx::qt::ButtonMask(event->buttons()),
                                      vx::qt::ShiftState(event->modifiers()),
                                      static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
}

void TorvelButtonWidget::keyPressEvent(QKeyEvent* event) {
  QPointer<TorvelButtonWidget> self(this);
  std::optional<vx::qt::KeyRelease> due;
  if (d_->release_hold.TakesBack(event->key(), event->timestamp(), due)) {
    d_->release_timer.stop();  // a repeat: the key never went up
  } else if (due) {
    d_->release_timer.stop();
    d_->KeyUp(*due);
    if (!self) return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers();
  // The access key alone works while the button has the focus.
  if (!d_->access_key.isEmpty() &&
      !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
      event->text().toLower() == d_->access_key) {
    d_->swallowed_key = event->key();
    d_->AccessKeyActivated();
    return;
  }
  Guarded("key down", [&] {
    d_->button->UserControl_KeyDown(vx::qt::VirtualKeyCode(event->key(), mods),
                                    vx::qt::ShiftState(mods));
  });
  if (!self) return;
  const int ch = vx::qt::CharacterCode(event->text());
  if (ch >= 0) {
    Guarded("key press", [&] { d_->button->UserControl_KeyPress(static_cast<std::int16_t>(ch)); });
  }
}

void TorvelButtonWidget::keyReleaseEvent(QKeyEvent* event) {
  // A held key repeats its key-down (and key-press) only: X sends each
  // repeat as a release and a press, marked auto-repeat when Qt can tell,
  // and the release is dropped here (or taken back by the press, see
  // ReleaseHold), so holding Space clicks once, when it is let go.
  if (event->isAutoRepeat()) return;
  if (d_->swallowed_key != 0 && event->key() == d_->swallowed_key) {
    d_->swallowed_key = 0;
    return;
  }
  const vx::qt::KeyRelease release{event->key(), event->modifiers(), event->timestamp()};
  if (!vx::qt::ReleasesMayBeRepeats()) {
    d_->KeyUp(release);
    return;
  }
  QPointer<TorvelButtonWidget> self(this);
  if (auto due = d_->release_hold.Hold(release)) {
    d_->KeyUp(*due);
    if (!self) return;
  }
  d_->release_timer.start();
}

void TorvelButtonWidgetPrivate::KeyUp(const vx::qt::KeyRelease& release) {
  Guarded("key up", [&] {
    button->UserControl_KeyUp(vx::qt::VirtualKeyCode(release.key, release.modifiers),
                              vx::qt::ShiftState(release.modifiers));
  });
}

void TorvelButtonWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // Back from a menu: the button never lost its focus.
  if (std::exchange(d_->focus_parked, false) && d_->button->state().HasFocus != button::kFalse) {
    return;
  }
  Guarded("focus entry", [this] { d_->button->UserControl_EnterFocus(); });
}

void TorvelButtonWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  // A key that went up before the focus left went up here.
  if (auto due = d_->release_hold.Take()) {
    d_->release_timer.stop();
    QPointer<TorvelButtonWidget> self(this);
    d_->KeyUp(*due);
    if (!self) return;
  }
  // A menu (a context menu opened from MouseDown, say) takes the keyboard for
  // a while but does not take the focus from the control under it. Handled
  // as a focus exit it would draw the button with the right press's cleared
  // Enabled, and the focus entry afterwards would let that right click
  // become a Click.
  if (event->reason() == Qt::PopupFocusReason) {
    d_->focus_parked = true;
    return;
  }
  d_->focus_parked = false;
  Guarded("focus exit", [this] { d_->button->UserControl_ExitFocus(); });
}
