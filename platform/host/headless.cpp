#include "platform/host/headless.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace vx::host {

ColorRef HeadlessContainer::BackColor() const {
  if (!has_dc_) throw HostError("the container has no device context");
  return back_ ? *back_ : palette_.Get(COLOR_BTNFACE);
}

ColorRef HeadlessContainer::TextColor() const {
  if (!has_dc_) throw HostError("the container has no device context");
  return text_ ? *text_ : palette_.Get(COLOR_BTNTEXT);
}

ControlEntry HeadlessContainer::Control(int i) const {
  if (i < 0 || i >= ControlCount()) throw HostError("control index out of range");
  return controls_[static_cast<std::size_t>(i)];
}

void HeadlessContainer::RemoveControl(const ControlObject* object) {
  std::erase_if(controls_, [object](const ControlEntry& e) { return e.object == object; });
}

class HeadlessTimer : public Timer {
 public:
  HeadlessTimer(HeadlessHost* host, std::function<void()> tick)
      : host_(host), tick_(std::move(tick)) {
    host_->timers_.push_back(this);
  }
  ~HeadlessTimer() override {
    if (host_) std::erase(host_->timers_, this);
  }
  void SetInterval(int ms) override { interval_ = ms; }
  int Interval() const override { return interval_; }
  void SetEnabled(bool e) override { enabled_ = e; }
  bool Enabled() const override { return enabled_; }

  HeadlessHost* host_;
  std::function<void()> tick_;
  int interval_ = 0;
  bool enabled_ = false;
};

namespace {
std::intptr_t NextHandle() {
  static std::atomic<std::intptr_t> next{0x10000};
  return next.fetch_add(0x10);
}
}  // namespace

HeadlessHost::HeadlessHost()
    : own_container_(std::make_unique<HeadlessContainer>()),
      container_(own_container_.get()),
      handle_(NextHandle()) {}

HeadlessHost::HeadlessHost(HeadlessContainer& container)
    : container_(&container), handle_(NextHandle()) {}

HeadlessHost::~HeadlessHost() {
  for (HeadlessTimer* t : timers_) t->host_ = nullptr;
}

ControlSite HeadlessHost::site() {
  return SiteOf(*this, container_, &container_->palette());
}

void HeadlessHost::Join(ControlObject* control, const std::string& container_name,
                        std::optional<int> container_index) {
  ControlEntry e;
  e.object = control;
  const auto open = display_name_.find('(');
  if (open == std::string::npos) {
    e.name = display_name_;
  } else {
    e.name = display_name_.substr(0, open);
    e.index = std::atoi(display_name_.c_str() + open + 1);
  }
  if (container_name.empty()) {
    e.container_name = container_->Name();
  } else {
    e.container_name = container_name;
    e.container_index = container_index;
  }
  container_->AddControl(std::move(e));
}

void HeadlessHost::SetSize(int width, int height) {
  surface_ = Surface(width, height);
}

void HeadlessHost::TickTimers() {
  const auto timers = timers_;
  for (HeadlessTimer* t : timers) {
    if (std::find(timers_.begin(), timers_.end(), t) != timers_.end() && t->enabled_) t->tick_();
  }
}

int HeadlessHost::EnabledTimerCount() const {
  return static_cast<int>(
      std::count_if(timers_.begin(), timers_.end(), [](HeadlessTimer* t) { return t->enabled_; }));
}

void HeadlessHost::ClearRecords() {
  changed_.clear();
  messages_.clear();
  events_.clear();
  access_keys_.clear();
  sent_keys_.clear();
  refreshes_ = 0;
}

void HeadlessHost::SetFont(const FontPtr& f) {
  if (!f) throw HostError("no font object");
  if (f != font_) font_->Assign(f->attributes());
}

void HeadlessHost::SetMousePointer(std::int16_t pointer) {
  // The standard pointers 0..15 and 99, the custom one.
  if ((pointer < 0 || pointer > 15) && pointer != 99) throw HostError("invalid property value");
  mouse_pointer_ = pointer;
}

void HeadlessHost::SetAccessKeys(const std::string& keys) {
  access_keys_.push_back(keys);
  current_keys_ = keys;
}

void HeadlessHost::RaiseEvent(std::string_view name, EventArgs& args) {
  events_.push_back({std::string(name), args});
  if (on_event) on_event(name, args);
}

std::unique_ptr<Timer> HeadlessHost::CreateTimer(std::function<void()> on_tick) {
  return std::make_unique<HeadlessTimer>(this, std::move(on_tick));
}

float HeadlessHost::SecondsSinceMidnight() {
  const float t = time_;
  time_ += clock_step_;
  return t;
}

}  // namespace vx::host
