#include "button/qt/button_host.h"

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
#include <cstdlib>

#include <QBuffer>

#include "button/qt/guard.h"
#include "button/qt/torvelbuttonwidget_p.h"

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

QFont QFontOf(const host::FontAttributes& a) {
  QFont f(QString::fromStdString(a.name));
  if (a.size > 0) f.setPointSizeF(a.size);
  f.setWeight(static_cast<QFont::Weight>(std::clamp<int>(a.weight, 1, 1000)));
  f.setItalic(a.italic);
  f.setUnderline(a.underline);
  f.setStrikeOut(a.strikethrough);
  return f;
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

host::PicturePtr PictureOf(const QImage& source) {
  if (source.isNull()) return nullptr;
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const bool alpha = source.hasAlphaChannel();
  Surface pixels(image.width(), image.height(), 0);
  std::optional<Surface> mask;
  if (alpha) mask.emplace(image.width(), image.height(), 0);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = line[x];
      pixels.set(x, y,
                 static_cast<ColorRef>(qRed(c)) | static_cast<ColorRef>(qGreen(c)) << 8 |
                     static_cast<ColorRef>(qBlue(c)) << 16);
      if (alpha && qAlpha(c) == 0) mask->set(x, y, 1);
    }
  }
  auto picture = host::Picture::FromSurface(
      std::move(pixels), alpha ? host::Picture::kIcon : host::Picture::kBitmap, std::move(mask));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  source.save(&buffer, "PNG");
  picture->set_file("data:image/png;base64," + png.toBase64().toStdString());
  return picture;
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

ButtonHost::ButtonHost(TorvelButtonWidgetPrivate& widget)
    : d_(widget), version_(host::HostVersionTriple()) {
  // To see a button as it behaves on an old platform (no gradients, another
  // graphics mode), the version its capability table reads can be given as
  // "P.MAJOR.MINOR".
  if (const char* v = std::getenv("TORVELBUTTON_PLATFORM_VERSION"); v != nullptr && *v != 0) {
    if (const auto parsed = host::ParseVersionText(v)) {
      version_ = parsed;
    } else {
      qWarning("torvelbutton: TORVELBUTTON_PLATFORM_VERSION \"%s\" is not P.MAJOR.MINOR", v);
    }
  }
}

host::ControlSite ButtonHost::site() {
  return host::SiteOf(*this, d_.parent_window, d_.palette);
}

void ButtonHost::ResizeSurface(int width, int height) {
  if (surface_.width() == width && surface_.height() == height) return;
  // Until the button draws, the new pixels show the container's background.
  ColorRef back = 0xFFFFFF;
  Guarded("background colour", [&] { back = d_.parent_window->BackColor(); });
  surface_ = Surface(width, height, back);
}

bool ButtonHost::UserMode() const {
  return !d_.design_mode;
}

std::string ButtonHost::DisplayName() const {
  return d_.DisplayName();
}

host::FontPtr ButtonHost::AmbientFont() const {
  // The public widget's container font is what Qt hands down to it.
  const QFont f = d_.FollowsQtFonts() ? d_.InheritedFont() : d_.AmbientWidget().font();
  return host::Font::Create(FontAttributesOf(f));
}

void ButtonHost::PropertyChanged(std::string_view key) {
  d_.AnnounceChange(key);
}

std::intptr_t ButtonHost::WindowHandle() const {
  return reinterpret_cast<std::intptr_t>(&d_.q);
}

double ButtonHost::ScaleWidth() const {
  return d_.q.width();
}

double ButtonHost::ScaleHeight() const {
  return d_.q.height();
}

Surface& ButtonHost::DrawingSurface() {
  ResizeSurface(d_.q.width(), d_.q.height());
  return surface_;
}

void ButtonHost::Refresh() {
  d_.Repaint();
}

void ButtonHost::SetEnabled(bool enabled) {
  enabled_ = enabled;
  d_.ApplyEnabled();
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
    d_.q.unsetCursor();
  } else if (mouse_pointer_ == 99) {
    if (mouse_icon_ && mouse_icon_->width() > 0 && mouse_icon_->height() > 0) {
      d_.q.setCursor(QCursor(QPixmap::fromImage(ImageOf(*mouse_icon_)), mouse_icon_->width() / 2,
                             mouse_icon_->height() / 2));
    } else {
      d_.q.unsetCursor();
    }
  } else {
    d_.q.setCursor(CursorShapeOf(mouse_pointer_));
  }
}

void ButtonHost::SetWindowShape(std::optional<std::vector<host::ShapeRect>> rects) {
  if (!rects) {
    d_.q.clearMask();
  } else {
    QRegion region;
    for (const host::ShapeRect& r : *rects) {
      region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    // An empty mask would mean no mask at all; an empty shape shows nothing.
    if (region.isEmpty()) region = QRegion(-1, -1, 1, 1);
    d_.q.setMask(region);
  }
  d_.q.update();
}

bool ButtonHost::PointerOverWindow() const {
  const QPoint global = QCursor::pos();
  if (QApplication::widgetAt(global) != &d_.q) return false;
  const QRegion mask = d_.q.mask();
  return mask.isEmpty() || mask.contains(d_.q.mapFromGlobal(global));
}

void ButtonHost::SetAccessKeys(const std::string& keys) {
  d_.ApplyAccessKey(keys);
}

void ButtonHost::RaiseEvent(std::string_view name, host::EventArgs& args) {
  d_.RaiseEvent(name, args);
}

std::unique_ptr<host::Timer> ButtonHost::CreateTimer(std::function<void()> on_tick) {
  return std::make_unique<QtTimer>(&d_.q, std::move(on_tick));
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
                  d_.q.window());
  box.exec();
}

float ButtonHost::SecondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

double ButtonHost::DpiX() const {
  const int dpi = d_.q.logicalDpiX();
  return dpi > 0 ? dpi : 96.0;
}

double ButtonHost::DpiY() const {
  const int dpi = d_.q.logicalDpiY();
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
  static constexpr std::string_view kData = "data:";
  if (file.rfind(kData, 0) == 0) {
    const auto comma = file.find(',');
    const std::string_view head = std::string_view(file).substr(0, comma);
    if (comma == std::string::npos || head.size() < 7 ||
        head.substr(head.size() - 7) != ";base64") {
      throw host::HostError("a picture's data address must hold base64 data");
    }
    const QByteArray bytes = QByteArray::fromBase64(
        QByteArray::fromRawData(file.data() + comma + 1,
                                static_cast<qsizetype>(file.size() - comma - 1)),
        QByteArray::AbortOnBase64DecodingErrors);
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes)) {
      throw host::HostError("a picture's data address holds no readable image");
    }
    host::PicturePtr p = PictureOf(image);
    p->set_file(file);
    return p;
  }
  return host::LoadPicturePng(file);
}

}  // namespace vx::qt
