#include "platform/qt/button_host.h"

#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QFontInfo>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QRegion>
#include <QTime>
#include <QTimer>
#include <cmath>

#include "platform/qt/button_widget.h"
#include "platform/qt/container.h"
#include "platform/qt/guard.h"

namespace vx::qt {

host::FontAttributes FontAttributesOf(const QFont& font) {
  host::FontAttributes a;
  a.name = font.family().toStdString();
  double points = font.pointSizeF();
  if (points <= 0) points = QFontInfo(font).pointSizeF();
  a.size = points;
  a.weight = static_cast<std::int16_t>(font.weight());
  a.italic = font.italic();
  a.underline = font.underline();
  a.strikethrough = font.strikeOut();
  a.charset = 0;
  return a;
}

QImage ImageOf(const host::Picture& picture) {
  const Surface& image = picture.image();
  const Surface* mask = picture.mask();
  QImage out(image.width(), image.height(), QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const ColorRef c = image.at(x, y);
      const bool clear = mask != nullptr && mask->at(x, y) != 0;
      line[x] = qRgba(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                      static_cast<int>((c >> 16) & 0xFF), clear ? 0 : 255);
    }
  }
  return out;
}

namespace {

// A timer runs while it is enabled with a positive interval; enabling a
// running timer leaves its period where it is.
class QtTimer : public host::Timer {
 public:
  QtTimer(QObject* owner, std::function<void()> on_tick) : timer_(new QTimer(owner)) {
    QObject::connect(timer_, &QTimer::timeout, timer_,
                     [tick = std::move(on_tick)] { Guarded("timer tick", tick); });
  }
  ~QtTimer() override { delete timer_.data(); }
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void SetInterval(int milliseconds) override {
    interval_ = milliseconds;
    if (timer_) timer_->setInterval(std::max(milliseconds, 0));
    Update();
  }
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    Update();
  }
  bool Enabled() const override { return enabled_; }

 private:
  void Update() {
    if (!timer_) return;
    const bool run = enabled_ && interval_ > 0;
    if (run && !timer_->isActive()) timer_->start();
    if (!run && timer_->isActive()) timer_->stop();
  }

  QPointer<QTimer> timer_;
  int interval_ = 0;
  bool enabled_ = false;
};

Qt::CursorShape CursorShapeOf(std::int16_t pointer) {
  switch (pointer) {
    case 2:
      return Qt::CrossCursor;
    case 3:
      return Qt::IBeamCursor;
    case 5:
    case 15:
      return Qt::SizeAllCursor;
    case 6:
      return Qt::SizeBDiagCursor;
    case 7:
      return Qt::SizeVerCursor;
    case 8:
      return Qt::SizeFDiagCursor;
    case 9:
      return Qt::SizeHorCursor;
    case 10:
      return Qt::UpArrowCursor;
    case 11:
      return Qt::WaitCursor;
    case 12:
      return Qt::ForbiddenCursor;
    case 13:
      return Qt::BusyCursor;
    case 14:
      return Qt::WhatsThisCursor;
    default:  // 1 arrow, 4 icon
      return Qt::ArrowCursor;
  }
}

}  // namespace

ButtonHost::ButtonHost(ButtonWidget& widget) : w_(widget), version_(host::HostVersionTriple()) {}

host::ControlSite ButtonHost::site() {
  return host::SiteOf(*this, &w_.container().form(), &w_.container().form().systemPalette());
}

void ButtonHost::ResizeSurface(int width, int height) {
  if (surface_.width() == width && surface_.height() == height) return;
  // Until the button draws, the new pixels show the container's background.
  surface_ = Surface(width, height, w_.container().form().BackColor());
}

std::string ButtonHost::DisplayName() const {
  return w_.displayName();
}

host::FontPtr ButtonHost::AmbientFont() const {
  return host::Font::Create(FontAttributesOf(w_.container().font()));
}

std::intptr_t ButtonHost::WindowHandle() const {
  return reinterpret_cast<std::intptr_t>(&w_);
}

double ButtonHost::ScaleWidth() const {
  return w_.width();
}

double ButtonHost::ScaleHeight() const {
  return w_.height();
}

Surface& ButtonHost::DrawingSurface() {
  ResizeSurface(w_.width(), w_.height());
  return surface_;
}

void ButtonHost::Refresh() {
  w_.Repaint();
}

void ButtonHost::SetEnabled(bool enabled) {
  enabled_ = enabled;
  w_.ApplyEnabled();
}

void ButtonHost::SetFont(const host::FontPtr& f) {
  if (!f) throw host::HostError("no font object");
  if (f != font_) font_->Assign(f->attributes());
}

void ButtonHost::SetMousePointer(std::int16_t pointer) {
  // The standard pointers 0..15 and 99, the custom one.
  if ((pointer < 0 || pointer > 15) && pointer != 99)
    throw host::HostError("invalid property value");
  mouse_pointer_ = pointer;
  ApplyCursor();
}

void ButtonHost::SetMouseIcon(const host::PicturePtr& p) {
  mouse_icon_ = p;
  ApplyCursor();
}

void ButtonHost::ApplyCursor() const {
  if (mouse_pointer_ == 0) {
    w_.unsetCursor();
  } else if (mouse_pointer_ == 99) {
    if (mouse_icon_ && mouse_icon_->width() > 0 && mouse_icon_->height() > 0) {
      w_.setCursor(QCursor(QPixmap::fromImage(ImageOf(*mouse_icon_)), mouse_icon_->width() / 2,
                           mouse_icon_->height() / 2));
    } else {
      w_.unsetCursor();
    }
  } else {
    w_.setCursor(CursorShapeOf(mouse_pointer_));
  }
}

void ButtonHost::SetWindowShape(std::optional<std::vector<host::ShapeRect>> rects) {
  if (!rects) {
    w_.clearMask();
  } else {
    QRegion region;
    for (const host::ShapeRect& r : *rects) {
      region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    // An empty mask would mean no mask at all; an empty shape shows nothing.
    if (region.isEmpty()) region = QRegion(-1, -1, 1, 1);
    w_.setMask(region);
  }
  w_.update();
}

bool ButtonHost::PointerOverWindow() const {
  const QPoint global = QCursor::pos();
  if (QApplication::widgetAt(global) != &w_) return false;
  const QRegion mask = w_.mask();
  return mask.isEmpty() || mask.contains(w_.mapFromGlobal(global));
}

void ButtonHost::SetAccessKeys(const std::string& keys) {
  w_.ApplyAccessKey(keys);
}

void ButtonHost::RaiseEvent(std::string_view name, host::EventArgs& args) {
  w_.RaiseEvent(name, args);
}

std::unique_ptr<host::Timer> ButtonHost::CreateTimer(std::function<void()> on_tick) {
  return std::make_unique<QtTimer>(&w_, std::move(on_tick));
}

void ButtonHost::SendKeys(std::string_view keys) {
  bool shift = false;
  if (!keys.empty() && keys.front() == '+') {
    shift = true;
    keys.remove_prefix(1);
  }
  if (host::LowerKey(keys) != "{tab}") {
    throw host::HostError("cannot send the keystrokes \"" + std::string(keys) + "\"");
  }
  // A typed key reaches whoever has the focus when it is read, after the
  // notification that sent it.
  QTimer::singleShot(0, qApp, [shift] {
    const int key = shift ? Qt::Key_Backtab : Qt::Key_Tab;
    const Qt::KeyboardModifiers mods = shift ? Qt::ShiftModifier : Qt::NoModifier;
    // Press and release each go to whoever has the focus at that moment.
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QWidget* target = QApplication::focusWidget();
      if (target == nullptr) target = QApplication::activeWindow();
      if (target == nullptr) return;
      QKeyEvent event(type, key, mods);
      QCoreApplication::sendEvent(target, &event);
    }
  });
}

void ButtonHost::ShowMessage(const std::string& text, host::MessageIcon icon) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case host::MessageIcon::Critical:
      qicon = QMessageBox::Critical;
      break;
    case host::MessageIcon::Question:
      qicon = QMessageBox::Question;
      break;
    case host::MessageIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case host::MessageIcon::Information:
      qicon = QMessageBox::Information;
      break;
    case host::MessageIcon::None:
      break;
  }
  QString body = QString::fromStdString(text);
  body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(qicon, QGuiApplication::applicationDisplayName(), body, QMessageBox::Ok,
                  w_.window());
  box.exec();
}

float ButtonHost::SecondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

double ButtonHost::DpiX() const {
  const int dpi = w_.logicalDpiX();
  return dpi > 0 ? dpi : 96.0;
}

double ButtonHost::DpiY() const {
  const int dpi = w_.logicalDpiY();
  return dpi > 0 ? dpi : 96.0;
}

double ButtonHost::TwipsPerPixelX() const {
  return 1440.0 / DpiX();
}

double ButtonHost::TwipsPerPixelY() const {
  return 1440.0 / DpiY();
}

// Pictures keep their HIMETRIC size at the host's 96 pixels per inch (see
// platform/host/picture.h), so converting back at the same rate gives their
// natural pixel size on any screen.
double ButtonHost::HimetricToPixelsX(double himetric) const {
  return host::HimetricToPixels(himetric);
}

double ButtonHost::HimetricToPixelsY(double himetric) const {
  return host::HimetricToPixels(himetric);
}

host::PicturePtr ButtonHost::LoadPicture(const std::string& file) {
  return host::LoadPicturePng(file);
}

}  // namespace vx::qt
