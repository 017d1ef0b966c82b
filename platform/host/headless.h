#pragma once

// A host without a window, for tests and command-line tools. Everything the
// control asks of it is recorded or settable: user mode, names, the version
// triple, the clock and the timers, the parent's colours and control list.

#include <optional>
#include <string>
#include <vector>

#include "platform/host/services.h"

namespace vx::host {

// The parent window: a name, a control list and the background and text
// colours of its device context, which follow the palette's button face and
// button text until they are set.
class HeadlessContainer : public ParentWindow {
 public:
  explicit HeadlessContainer(std::string name = "Form1") : name_(std::move(name)) {}

  std::string Name() const override { return name_; }
  ColorRef BackColor() const override;
  ColorRef TextColor() const override;
  int ControlCount() const override { return static_cast<int>(controls_.size()); }
  ControlEntry Control(int i) const override;

  void SetName(std::string n) { name_ = std::move(n); }
  void SetBackColor(std::optional<ColorRef> c) { back_ = c; }
  void SetTextColor(std::optional<ColorRef> c) { text_ = c; }
  // Without a device context the colour reads fail.
  void SetHasDeviceContext(bool has) { has_dc_ = has; }
  void AddControl(ControlEntry e) { controls_.push_back(std::move(e)); }
  void RemoveControl(const ControlObject* object);

  SystemPalette& palette() { return palette_; }
  const SystemPalette& palette() const { return palette_; }

 private:
  std::string name_;
  std::optional<ColorRef> back_;
  std::optional<ColorRef> text_;
  bool has_dc_ = true;
  std::vector<ControlEntry> controls_;
  SystemPalette palette_;
};

class HeadlessTimer;

class HeadlessHost : public AmbientProperties,
                     public PropertyChangeSink,
                     public ControlSurface,
                     public AccessKeyRegistry,
                     public EventSink,
                     public TimerService,
                     public KeySender,
                     public MessageBoxService,
                     public Clock,
                     public ScreenMetrics,
                     public VersionSource,
                     public PictureLoader {
 public:
  struct Message {
    MessageIcon icon;
    std::string text;
  };
  struct RaisedEvent {
    std::string name;
    EventArgs args;
  };

  // With a container of its own, or inside a shared one (several controls on
  // one form).
  HeadlessHost();
  explicit HeadlessHost(HeadlessContainer& container);
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  ControlSite site();
  HeadlessContainer& container() { return *container_; }

  // Adds `control` to the container's control list under the display name
  // ("Name" or "Name(3)"), inside the given container control, or on the
  // form itself when `container_name` is empty.
  void Join(ControlObject* control, const std::string& container_name = "",
            std::optional<int> container_index = std::nullopt);

  // Settings.
  void SetUserMode(bool run_time) { user_mode_ = run_time; }
  void SetDisplayName(std::string n) { display_name_ = std::move(n); }
  void SetSurfaceName(std::string n) { surface_name_ = std::move(n); }
  void SetAmbientFont(const Font::Attributes& a) { ambient_font_ = Font::Create(a); }
  void SetVersion(std::optional<VersionTriple> v) { version_ = v; }
  void SetSize(int width, int height);
  void SetPointerOverWindow(bool over) { pointer_over_ = over; }
  void SetTwipsPerPixel(double x, double y) {
    twips_x_ = x;
    twips_y_ = y;
  }

  // The clock reads `seconds`, then moves on by the step at every read.
  void SetTime(float seconds) { time_ = seconds; }
  void SetClockStep(float seconds) { clock_step_ = seconds; }
  // Runs every enabled timer's tick once.
  void TickTimers();
  int EnabledTimerCount() const;

  // What the control did.
  const std::vector<std::string>& changed_keys() const { return changed_; }
  const std::vector<Message>& messages() const { return messages_; }
  const std::vector<RaisedEvent>& events() const { return events_; }
  const std::vector<std::string>& access_key_history() const { return access_keys_; }
  const std::string& access_keys() const { return current_keys_; }
  const std::vector<std::string>& sent_keys() const { return sent_keys_; }
  int refresh_count() const { return refreshes_; }
  const std::optional<std::vector<ShapeRect>>& window_shape() const { return shape_; }
  void ClearRecords();

  // AmbientProperties
  bool UserMode() const override { return user_mode_; }
  std::string DisplayName() const override { return display_name_; }
  FontPtr AmbientFont() const override { return ambient_font_; }
  // PropertyChangeSink
  void PropertyChanged(std::string_view key) override { changed_.emplace_back(key); }
  // ControlSurface
  std::string Name() const override { return surface_name_; }
  std::intptr_t WindowHandle() const override { return handle_; }
  double ScaleWidth() const override { return surface_.width(); }
  double ScaleHeight() const override { return surface_.height(); }
  Surface& DrawingSurface() override { return surface_; }
  void Refresh() override { ++refreshes_; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  FontPtr SurfaceFont() const override { return font_; }
  void SetFont(const FontPtr& f) override;
  std::int16_t MousePointer() const override { return mouse_pointer_; }
  void SetMousePointer(std::int16_t pointer) override;
  PicturePtr MouseIcon() const override { return mouse_icon_; }
  void SetMouseIcon(const PicturePtr& p) override { mouse_icon_ = p; }
  void SetWindowShape(std::optional<std::vector<ShapeRect>> rects) override {
    shape_ = std::move(rects);
  }
  bool PointerOverWindow() const override { return pointer_over_; }
  // AccessKeyRegistry
  void SetAccessKeys(const std::string& keys) override;
  // EventSink
  void RaiseEvent(std::string_view name, EventArgs& args) override;
  // TimerService
  std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) override;
  // KeySender
  void SendKeys(std::string_view keys) override { sent_keys_.emplace_back(keys); }
  // MessageBoxService
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    messages_.push_back({icon, text});
  }
  // Clock
  float SecondsSinceMidnight() override;
  // ScreenMetrics
  double TwipsPerPixelX() const override { return twips_x_; }
  double TwipsPerPixelY() const override { return twips_y_; }
  double HimetricToPixelsX(double himetric) const override { return HimetricToPixels(himetric); }
  double HimetricToPixelsY(double himetric) const override { return HimetricToPixels(himetric); }
  // VersionSource
  std::optional<VersionTriple> Version() const override { return version_; }
  // PictureLoader
  PicturePtr LoadPicture(const std::string& file) override { return LoadPicturePng(file); }

  // Called by a test's container code when an event arrives.
  std::function<void(std::string_view, EventArgs&)> on_event;

 private:
  friend class HeadlessTimer;

  std::unique_ptr<HeadlessContainer> own_container_;
  HeadlessContainer* container_;
  bool user_mode_ = true;
  std::string display_name_ = "TorvelButton1";
  std::string surface_name_ = "TorvelButton";
  FontPtr ambient_font_ = Font::Create();
  FontPtr font_ = Font::Create();
  std::optional<VersionTriple> version_ = HostVersionTriple();
  Surface surface_{89, 19};
  std::intptr_t handle_;
  bool enabled_ = true;
  std::int16_t mouse_pointer_ = 0;
  PicturePtr mouse_icon_;
  std::optional<std::vector<ShapeRect>> shape_;
  bool pointer_over_ = false;
  double twips_x_ = 15;
  double twips_y_ = 15;
  float time_ = 43200;
  float clock_step_ = 0.01f;
  std::vector<HeadlessTimer*> timers_;

  std::vector<std::string> changed_;
  std::vector<Message> messages_;
  std::vector<RaisedEvent> events_;
  std::vector<std::string> access_keys_;
  std::string current_keys_;
  std::vector<std::string> sent_keys_;
  int refreshes_ = 0;
};

}  // namespace vx::host
