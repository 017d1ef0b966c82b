#include "platform/qt/button_widget.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QShowEvent>
#include <cmath>
#include <utility>

#include "button/render/painter.h"
#include "platform/qt/accessible.h"
#include "platform/qt/button_host.h"
#include "platform/qt/container.h"
#include "platform/qt/guard.h"
#include "platform/qt/input.h"

namespace vx::qt {

ButtonWidget::ButtonWidget(ContainerWidget& container, std::string name, std::optional<int> index)
    : QWidget(&container),
      container_(&container),
      name_(std::move(name)),
      index_(index),
      host_(std::make_unique<ButtonHost>(*this)) {
  InstallAccessibleFactory();
  setObjectName(QString::fromStdString(displayName()));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  // Every pixel comes from the surface.
  setAttribute(Qt::WA_OpaquePaintEvent);
  host_->ResizeSurface(width(), height());
  ambient_font_ = FontAttributesOf(container.font());

  button_ = std::make_unique<button::TorvelButton>(host_->site());
  button_->SetRenderer(std::make_shared<render::ButtonPainter>());
  container.form().RegisterControl(name_, index_, container, button_.get());
  button_->UserControl_Initialize();

  // While a menu holds the keyboard the focus may still move on (a menu
  // command can set it): that is the button's focus exit.
  focus_watch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (!focus_parked_ || now == nullptr || now == this) return;
    if (now->window()->windowType() == Qt::Popup) return;
    focus_parked_ = false;
    Guarded("focus exit", [this] { button_->UserControl_ExitFocus(); });
  });
}

ButtonWidget::~ButtonWidget() {
  // QWidget's destructor moves the focus on, after this one has run.
  disconnect(focus_watch_);
  container_->form().UnregisterControl(button_.get());
  Guarded("termination", [this] { button_->UserControl_Terminate(); });
  button_.reset();
}

std::string ButtonWidget::displayName() const {
  return index_ ? name_ + "(" + std::to_string(*index_) + ")" : name_;
}

void ButtonWidget::InitProperties() {
  button_->InitProperties();
}

namespace {

std::optional<double> NumberOf(const host::PropertyValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return std::nullopt;
}

}  // namespace

void ButtonWidget::ReadProperties(host::PropertyBag& bag) {
  const auto cx = NumberOf(bag.ReadProperty("_extentx", std::monostate{}));
  const auto cy = NumberOf(bag.ReadProperty("_extenty", std::monostate{}));
  if (cx && cy) {
    resize(static_cast<int>(std::lround(host_->HimetricToPixelsX(*cx))),
           static_cast<int>(std::lround(host_->HimetricToPixelsY(*cy))));
  }
  button_->ReadProperties(bag);
}

void ButtonWidget::WriteProperties(host::PropertyBag& bag) {
  auto himetric = [](int pixels, double dpi) {
    return static_cast<std::int64_t>(std::lround(pixels * 2540.0 / dpi));
  };
  bag.WriteProperty("_extentx", himetric(width(), 1440.0 / host_->TwipsPerPixelX()));
  bag.WriteProperty("_extenty", himetric(height(), 1440.0 / host_->TwipsPerPixelY()));
  button_->WriteProperties(bag);
}

void ButtonWidget::SetEventHandler(const std::string& event, EventHandler handler) {
  if (handler) {
    handlers_[host::LowerKey(event)] = std::move(handler);
  } else {
    handlers_.erase(host::LowerKey(event));
  }
}

QString ButtonWidget::accessKey() const {
  return access_key_;
}

QSize ButtonWidget::sizeHint() const {
  // 1335 by 285 twips.
  return {89, 19};
}

void ButtonWidget::Press() {
  if (!isEnabled()) return;
  const float x = static_cast<float>(width()) / 2;
  const float y = static_cast<float>(height()) / 2;
  QPointer<ButtonWidget> self(this);
  Guarded("mouse down", [&] { button_->UserControl_MouseDown(1, 0, x, y); });
  if (!self) return;
  Guarded("mouse up", [&] { button_->UserControl_MouseUp(1, 0, x, y); });
  if (!self) return;
  Guarded("click", [&] { button_->UserControl_Click(); });
}

// --- services the host gives the button

void ButtonWidget::Repaint() {
  // Synchronous: a pause right after (the access-key flash) shows this image.
  if (isVisible()) repaint();
  // The accessible name is the caption; tell listeners when it changed.
  if (button_ && button_->Caption() != shown_caption_) {
    shown_caption_ = button_->Caption();
    if (QAccessible::isActive()) {
      QAccessibleEvent ev(this, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&ev);
    }
  }
  emit refreshed();
}

void ButtonWidget::ApplyEnabled() {
  // A press that clears Enabled (the right button) still gets its release
  // and click: the window follows once the buttons are up.
  if (held_ != Qt::NoButton && !host_->enabled()) return;
  setEnabled(host_->enabled());
}

void ButtonWidget::ApplyAccessKey(const std::string& keys) {
  delete shortcut_;
  shortcut_ = nullptr;
  access_key_ = QString::fromStdString(keys).toLower();
  if (access_key_.isEmpty()) return;
  const char32_t c = QChar::toUpper(access_key_.toUcs4().value(0));
  shortcut_ = new QShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(c))), this);
  shortcut_->setContext(Qt::WindowShortcut);
  connect(shortcut_, &QShortcut::activated, this, &ButtonWidget::AccessKeyActivated);
  // Two controls with one key: each press moves the focus to the next one.
  connect(shortcut_, &QShortcut::activatedAmbiguously, this,
          [this] { setFocus(Qt::ShortcutFocusReason); });
  if (QAccessible::isActive()) {
    QAccessibleEvent ev(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&ev);
  }
}

void ButtonWidget::AccessKeyActivated() {
  if (!isEnabled() || !isVisible()) return;
  QPointer<ButtonWidget> self(this);
  if (focusPolicy() & Qt::TabFocus) setFocus(Qt::ShortcutFocusReason);
  if (!self) return;
  const int code = CharacterCode(access_key_);
  Guarded("access key",
          [&] { button_->UserControl_AccessKeyPress(static_cast<std::int16_t>(code)); });
}

void ButtonWidget::RaiseEvent(std::string_view name, host::EventArgs& args) {
  QPointer<ButtonWidget> self(this);
  const auto it = handlers_.find(host::LowerKey(name));
  if (it != handlers_.end()) {
    const EventHandler handler = it->second;  // the handler may replace itself
    handler(args);
  }
  if (self) emit controlEvent(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

bool ButtonWidget::InsideShape(const QPointF& p) const {
  const QPoint pixel(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
  if (!rect().contains(pixel)) return false;
  const QRegion m = mask();
  return m.isEmpty() || m.contains(pixel);
}

// --- Qt events

void ButtonWidget::paintEvent(QPaintEvent*) {
  const Surface& s = host_->surface();
  if (shown_.width() != s.width() || shown_.height() != s.height()) {
    shown_ = QImage(s.width(), s.height(), QImage::Format_RGB32);
    shown_.setDevicePixelRatio(1);
  }
  for (int y = 0; y < s.height(); ++y) {
    const ColorRef* src = s.row(y);
    auto* dst = reinterpret_cast<QRgb*>(shown_.scanLine(y));
    for (int x = 0; x < s.width(); ++x) {
      const ColorRef c = src[x];
      dst[x] = 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
    }
  }
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), shown_);
}

void ButtonWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  host_->ResizeSurface(width(), height());
  Guarded("resize", [this] { button_->UserControl_Resize(); });
}

void ButtonWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window coming back from the taskbar is no new showing.
  if (event->spontaneous()) return;
  Guarded("show", [this] { button_->UserControl_Show(); });
}

void ButtonWidget::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    // The button's own font lives in the button; a change reaching the
    // widget is the container's.
    // Before the first showing the container is still being set up: its font
    // must not replace the button's restored one.
    const host::FontAttributes now = FontAttributesOf(container_->font());
    if (now != ambient_font_) {
      ambient_font_ = now;
      if (button_->state().IsShown != button::kFalse) {
        Guarded("ambient change", [this] { button_->UserControl_AmbientChanged("Font"); });
      }
    }
  }
}

void ButtonWidget::mousePressEvent(QMouseEvent* event) {
  if (held_ == Qt::NoButton) {
    first_button_ = event->button();
    double_click_ = false;
  }
  held_ |= event->button();
  const QPointF p = event->position();
  Guarded("mouse down", [&] {
    button_->UserControl_MouseDown(ButtonCode(event->button()), ShiftState(event->modifiers()),
                                   static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
}

void ButtonWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click: no mouse-down and, at its release,
  // no click.
  if (held_ == Qt::NoButton) first_button_ = event->button();
  held_ |= event->button();
  double_click_ = true;
  Guarded("double click", [this] { button_->UserControl_DblClick(); });
}

void ButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
  held_ &= ~event->button();
  const QPointF p = event->position();
  QPointer<ButtonWidget> self(this);
  Guarded("mouse up", [&] {
    button_->UserControl_MouseUp(ButtonCode(event->button()), ShiftState(event->modifiers()),
                                 static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
  if (!self) return;
  const bool click = event->button() == first_button_ && !double_click_ && InsideShape(p);
  if (held_ == Qt::NoButton) {
    first_button_ = Qt::NoButton;
    double_click_ = false;
  }
  if (click) Guarded("click", [this] { button_->UserControl_Click(); });
  if (!self) return;
  ApplyEnabled();
}

void ButtonWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  Guarded("mouse move", [&] {
    button_->UserControl_MouseMove(ButtonMask(event->buttons()), ShiftState(event->modifiers()),
                                   static_cast<float>(p.x()), static_cast<float>(p.y()));
  });
}

void ButtonWidget::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers();
  // The access key alone works while the button has the focus.
  if (!access_key_.isEmpty() &&
      !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
      event->text().toLower() == access_key_) {
    swallowed_key_ = event->key();
    AccessKeyActivated();
    return;
  }
  QPointer<ButtonWidget> self(this);
  Guarded("key down", [&] {
    button_->UserControl_KeyDown(VirtualKeyCode(event->key(), mods), ShiftState(mods));
  });
  if (!self) return;
  const int ch = CharacterCode(event->text());
  if (ch >= 0) {
    Guarded("key press", [&] { button_->UserControl_KeyPress(static_cast<std::int16_t>(ch)); });
  }
}

void ButtonWidget::keyReleaseEvent(QKeyEvent* event) {
  // A held key repeats its key-down only.
  if (event->isAutoRepeat()) return;
  if (swallowed_key_ != 0 && event->key() == swallowed_key_) {
    swallowed_key_ = 0;
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers();
  Guarded("key up", [&] {
    button_->UserControl_KeyUp(VirtualKeyCode(event->key(), mods), ShiftState(mods));
  });
}

void ButtonWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // Back from a menu: the button never lost its focus.
  if (std::exchange(focus_parked_, false) && button_->state().HasFocus != button::kFalse) return;
  Guarded("focus entry", [this] { button_->UserControl_EnterFocus(); });
}

void ButtonWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  // A menu (a context menu opened from MouseDown, say) takes the keyboard for
  // a while but does not take the focus from the control under it. Handled
  // as a focus exit it would draw the button with the right press's cleared
  // Enabled, and the focus entry afterwards would let that right click
  // become a Click.
  if (event->reason() == Qt::PopupFocusReason) {
    focus_parked_ = true;
    return;
  }
  focus_parked_ = false;
  Guarded("focus exit", [this] { button_->UserControl_ExitFocus(); });
}

}  // namespace vx::qt
