#pragma once

// What a hosted control needs of its container and of the platform, one small
// interface per service. A host (the headless one here, the windowed one
// later) implements them and hands the control a ControlSite.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/base/ascii.h"
#include "platform/gdi/surface.h"
#include "platform/host/font.h"
#include "platform/host/palette.h"
#include "platform/host/picture.h"
#include "platform/host/version.h"

namespace vx::host {

// A host service failed (a rejected value, a missing device context, an
// unreadable picture...). Reaches whoever triggered the operation.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Base of every control object a host keeps in a container's control list, so
// that a control can recognise its own kind among its siblings.
class ControlObject {
 public:
  virtual ~ControlObject() = default;
};

// Ambient properties of the container.
class AmbientProperties {
 public:
  virtual ~AmbientProperties() = default;
  // False while the container is being designed, true while it runs.
  virtual bool UserMode() const = 0;
  // The name under which the container knows the control: "Name", or
  // "Name(3)" for an element of a control array.
  virtual std::string DisplayName() const = 0;
  // The container's font (the control copies it, never changes it).
  virtual FontPtr AmbientFont() const = 0;
};

// Marks a stored value as changed, by its key.
class PropertyChangeSink {
 public:
  virtual ~PropertyChangeSink() = default;
  virtual void PropertyChanged(std::string_view key) = 0;
};

// A value of a stored property set. monostate is the empty value (an absent
// key, no picture).
using PropertyValue =
    std::variant<std::monostate, bool, std::int64_t, double, std::string, FontPtr, PicturePtr>;

// Stored keys are matched without regard to case and kept in lower case.
inline std::string LowerKey(std::string_view key) {
  return ascii::Lower(key);
}

// The container's stored property set for one control. Keys are matched
// without regard to case.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // The stored value of `key`, or `default_value` when the key is absent.
  virtual PropertyValue ReadProperty(std::string_view key, const PropertyValue& default_value) = 0;
  // Stores `value` under `key`; an empty value removes the key.
  virtual void WriteProperty(std::string_view key, const PropertyValue& value) = 0;
};

// One entry of the parent window's control list.
struct ControlEntry {
  std::string name;
  std::optional<int> index;  // set for an element of a control array
  std::string container_name;
  std::optional<int> container_index;
  ControlObject* object = nullptr;  // the control itself
};

// The parent window (form) of the control.
class ParentWindow {
 public:
  virtual ~ParentWindow() = default;
  virtual std::string Name() const = 0;
  // Background and text colour of the parent's device context (GetBkColor,
  // GetTextColor). Throw HostError when the parent offers no device context.
  virtual ColorRef BackColor() const = 0;
  virtual ColorRef TextColor() const = 0;
  virtual int ControlCount() const = 0;
  virtual ControlEntry Control(int i) const = 0;
};

// Registers the control's access-key characters (one lower-case character, or
// empty for none).
class AccessKeyRegistry {
 public:
  virtual ~AccessKeyRegistry() = default;
  virtual void SetAccessKeys(const std::string& keys) = 0;
};

// Arguments of a control event, passed by reference: the container may change
// them. Which ones an event carries depends on the event.
struct EventArgs {
  std::int16_t button = 0;
  std::int16_t shift = 0;
  float x = 0;
  float y = 0;
  std::int16_t key_ascii = 0;
  std::int16_t key_code = 0;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  // Runs the container's handler of event `name` ("Click", "MouseDown"...).
  virtual void RaiseEvent(std::string_view name, EventArgs& args) = 0;
};

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual int Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class TimerService {
 public:
  virtual ~TimerService() = default;
  // A stopped timer that calls `on_tick` on the user-interface thread.
  virtual std::unique_ptr<Timer> CreateTimer(std::function<void()> on_tick) = 0;
};

// Sends keystrokes in the host's notation: "{Tab}" and "+{Tab}" (Shift+Tab).
class KeySender {
 public:
  virtual ~KeySender() = default;
  virtual void SendKeys(std::string_view keys) = 0;
};

enum class MessageIcon { None, Critical, Question, Warning, Information };

// A modal message box with an OK button and the application's default title.
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Time of day in seconds since midnight.
  virtual float SecondsSinceMidnight() = 0;
};

class ScreenMetrics {
 public:
  virtual ~ScreenMetrics() = default;
  virtual double TwipsPerPixelX() const = 0;
  virtual double TwipsPerPixelY() const = 0;
  virtual double HimetricToPixelsX(double himetric) const = 0;
  virtual double HimetricToPixelsY(double himetric) const = 0;
};

// A rectangle of a window shape: Left <= x < Right, Top <= y < Bottom.
struct ShapeRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const ShapeRect&) const = default;
};

// The control's own window and drawing surface.
class ControlSurface {
 public:
  virtual ~ControlSurface() = default;
  // The name of the control surface itself (the control's kind).
  virtual std::string Name() const = 0;
  virtual std::intptr_t WindowHandle() const = 0;
  // Size in pixels.
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  // The pixels the control draws on.
  virtual Surface& DrawingSurface() = 0;
  // Shows what has been drawn on the surface in the window.
  virtual void Refresh() = 0;
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // The surface keeps its own font object: SetFont takes f's attributes.
  virtual FontPtr SurfaceFont() const = 0;
  virtual void SetFont(const FontPtr& f) = 0;
  virtual std::int16_t MousePointer() const = 0;
  // Throws HostError for a value the host does not know.
  virtual void SetMousePointer(std::int16_t pointer) = 0;
  virtual PicturePtr MouseIcon() const = 0;
  virtual void SetMouseIcon(const PicturePtr& p) = 0;
  // The window's shape: the union of `rects`, or the plain rectangle when
  // nullopt. The window owns what it is given.
  virtual void SetWindowShape(std::optional<std::vector<ShapeRect>> rects) = 0;
  // True while the pointer is over the control's own window.
  virtual bool PointerOverWindow() const = 0;
};

// The operating system's version record; nullopt when the request fails.
class VersionSource {
 public:
  virtual ~VersionSource() = default;
  virtual std::optional<VersionTriple> Version() const = 0;
};

class PictureLoader {
 public:
  virtual ~PictureLoader() = default;
  // Throws HostError naming the file when it cannot be loaded.
  virtual PicturePtr LoadPicture(const std::string& file) = 0;
};

// Everything one control instance gets from its host. No member is null.
struct ControlSite {
  AmbientProperties* ambient = nullptr;
  PropertyChangeSink* changes = nullptr;
  ControlSurface* surface = nullptr;
  ParentWindow* parent = nullptr;
  AccessKeyRegistry* access_keys = nullptr;
  EventSink* events = nullptr;
  TimerService* timers = nullptr;
  KeySender* keys = nullptr;
  MessageBoxService* messages = nullptr;
  Clock* clock = nullptr;
  ScreenMetrics* screen = nullptr;
  const SystemPalette* palette = nullptr;
  VersionSource* version = nullptr;
  PictureLoader* pictures = nullptr;
};

// The site of a host object that implements every service itself but the
// parent window and the palette, which belong to its container.
template <typename Host>
ControlSite SiteOf(Host& host, ParentWindow* parent, const SystemPalette* palette) {
  ControlSite s;
  s.ambient = &host;
  s.changes = &host;
  s.surface = &host;
  s.parent = parent;
  s.access_keys = &host;
  s.events = &host;
  s.timers = &host;
  s.keys = &host;
  s.messages = &host;
  s.clock = &host;
  s.screen = &host;
  s.palette = palette;
  s.version = &host;
  s.pictures = &host;
  return s;
}

}  // namespace vx::host
