#pragma once

// The services one button widget gives its button (the ControlSite): ambient
// properties, the drawing surface and window, access keys, events, timers,
// keystrokes, message boxes, clock, screen metrics, version and pictures.

#include <optional>
#include <string>
#include <vector>

#include "platform/host/services.h"

class QFont;
class QImage;
class TorvelButtonWidgetPrivate;

namespace vx::qt {

// A Qt font's attributes as a host font's.
host::FontAttributes FontAttributesOf(const QFont& font);

// A host font's attributes as a Qt font.
QFont QFontOf(const host::FontAttributes& attributes);

// A picture as an image with an alpha channel: masked pixels transparent.
QImage ImageOf(const host::Picture& picture);

// An image as a picture: an icon whose mask marks the fully transparent
// pixels when the image has an alpha channel, else a bitmap. Its file is a
// PNG data address ("data:image/png;base64,..."), so that a stored property
// set can hold it. A null image gives no picture.
host::PicturePtr PictureOf(const QImage& image);

class ButtonHost : public host::AmbientProperties,
                   public host::PropertyChangeSink,
                   public host::ControlSurface,
                   public host::AccessKeyRegistry,
                   public host::EventSink,
                   public host::TimerService,
                   public host::KeySender,
                   public host::MessageBoxService,
                   public host::Clock,
                   public host::ScreenMetrics,
                   public host::VersionSource,
                   public host::PictureLoader {
 public:
  explicit ButtonHost(TorvelButtonWidgetPrivate& widget);

  host::ControlSite site();

  // The window's size changed: a new surface of that size.
  void ResizeSurface(int width, int height);
  const Surface& surface() const { return surface_; }
  bool enabled() const { return enabled_; }
  // The cursor shape for MousePointer (and MouseIcon for the custom one).
  void ApplyCursor() const;

  // AmbientProperties: run time unless the widget is in a designer; the
  // font is the container's.
  bool UserMode() const override;
  std::string DisplayName() const override;
  host::FontPtr AmbientFont() const override;
  // PropertyChangeSink: the widget announces the key.
  void PropertyChanged(std::string_view key) override;
  // ControlSurface
  std::string Name() const override { return "TorvelButton"; }
  std::intptr_t WindowHandle() const override;
  double ScaleWidth() const override;
  double ScaleHeight() const override;
  Surface& DrawingSurface() override;
  void Refresh() override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override;
  host::FontPtr SurfaceFont() const override { return font_; }
  void SetFont(const host::FontPtr& f) override;
  std::int16_t MousePointer() const override { return mouse_pointer_; }
  void SetMousePointer(std::int16_t pointer) override;
  host::PicturePtr MouseIcon() const override { return mouse_icon_; }
  void SetMouseIcon(const host::PicturePtr& p) override;
  void SetWindowShape(std::optional<std::vector<host::ShapeRect>> rects) override;
  bool PointerOverWindow() const override;
  // AccessKeyRegistry
  void SetAccessKeys(const std::string& keys) override;
  // EventSink
  void RaiseEvent(std::string_view name, host::EventArgs& args) override;
  // TimerService
  std::unique_ptr<host::Timer> CreateTimer(std::function<void()> on_tick) override;
  // KeySender: "{Tab}" and "+{Tab}" (also "{TAB}"), delivered to the focus
  // once the current notification is over, as a typed key would be.
  void SendKeys(std::string_view keys) override;
  // MessageBoxService
  void ShowMessage(const std::string& text, host::MessageIcon icon) override;
  // Clock
  float SecondsSinceMidnight() override;
  // ScreenMetrics: from the screen's logical resolution (15 twips a pixel at
  // 96 dots per inch).
  double TwipsPerPixelX() const override;
  double TwipsPerPixelY() const override;
  double HimetricToPixelsX(double himetric) const override;
  double HimetricToPixelsY(double himetric) const override;
  // VersionSource
  std::optional<host::VersionTriple> Version() const override { return version_; }
  // PictureLoader: a PNG file, or a data address of base64 image data.
  host::PicturePtr LoadPicture(const std::string& file) override;

 private:
  double DpiX() const;
  double DpiY() const;

  TorvelButtonWidgetPrivate& d_;
  Surface surface_;
  bool enabled_ = true;
  host::FontPtr font_ = host::Font::Create();
  std::int16_t mouse_pointer_ = 0;
  host::PicturePtr mouse_icon_;
  std::optional<host::VersionTriple> version_;
};

}  // namespace vx::qt
