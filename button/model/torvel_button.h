#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "button/model/button_state.h"
#include "button/model/renderer.h"
#include "button/model/stored_properties.h"
#include "button/model/types.h"
#include "platform/host/services.h"

namespace vx::button {

// A stored value that could not be read or written: names the key (lower
// case, as stored) and ends the persistence routine there.
class PropertyError : public std::runtime_error {
 public:
  PropertyError(std::string key, const std::string& reason);
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

// The texts of the three assignment messages.
inline constexpr const char* kCautionMessage =
    "Caution: Using non-default may cause buttons to not display properly on other operating "
    "systems.";
inline constexpr const char* kButtonTypeMessage =
    "This option is not available for Windowx XP or Machintosh style buttons";
inline constexpr const char* kPlatformMessage =
    "This option is not available on the following operating systems.\r\n\r\n - Win NT 4 and "
    "lower\r\n - Windows 95 and earlier";

// By-name access for designers and tools.
enum class MemberType { Long, Color, Boolean, String, Font, Picture, Method };

struct MemberInfo {
  const char* name;
  MemberType type;
  const char* help;
  bool readable;
  bool writable;
};

// A member's value: Long and Color as Long, Boolean as Bool16.
using MemberValue =
    std::variant<std::monostate, Long, Bool16, std::string, host::FontPtr, host::PicturePtr>;

// Per-channel colour shift with clamping. `scale_blue` moves blue by
// blue * offset / 192 instead of offset.
Color ShiftColor(Color color, Long offset, Bool16 scale_blue = kFalse);

// The capability table: with `gradient_query`, -1 where the platform cannot
// draw gradients; without, the automatic graphics mode. A failed version
// request (nullopt) gives 0.
std::int16_t DetectOSFor(const std::optional<host::VersionTriple>& version, Bool16 gradient_query);

// The owner-drawn push button. Created by its host with a ControlSite; the
// host then calls InitProperties (a new button) or ReadProperties (a stored
// one).
class TorvelButton : public host::ControlObject {
 public:
  explicit TorvelButton(const host::ControlSite& site);
  ~TorvelButton() override;
  TorvelButton(const TorvelButton&) = delete;
  TorvelButton& operator=(const TorvelButton&) = delete;

  // Public properties, in the order of the control's interface. Assignments
  // follow the design-time and run-time rules of each property; a host
  // failure inside one propagates to the caller.
  Long Alignment() const { return s_.Alignment; }
  void SetAlignment(Long v);
  Bool16 ShowFocus() const { return s_.ShowFocus; }
  void SetShowFocus(Bool16 v);
  // Reads back the mode in force.
  Long GraphicsMode() const { return s_.GraphicsModeInForce; }
  void SetGraphicsMode(Long v);
  Bool16 Value() const { return s_.Value; }
  void SetValue(Bool16 v);
  Bool16 OptionButton() const { return s_.OptionButton; }
  void SetOptionButton(Bool16 v);
  Long IconAlignmentValue() const { return s_.IconAlignmentValue; }
  void SetIconAlignmentValue(Long v);
  Color EmbossEngraveShadow() const { return s_.EmbossEngraveShadow; }
  void SetEmbossEngraveShadow(Color c);
  Color EmbossEngraveMid() const { return s_.EmbossEngraveMid; }
  void SetEmbossEngraveMid(Color c);
  Color GradientStartColor() const { return s_.GradientStartColor; }
  void SetGradientStartColor(Color c);
  Long GradientOrientation() const { return s_.GradientOrientation; }
  void SetGradientOrientation(Long v);
  Color GradientStopColor() const { return s_.GradientStopColor; }
  void SetGradientStopColor(Color c);
  Color BackColor() const { return s_.BackColor; }
  void SetBackColor(Color c);
  Color ForeColor() const { return s_.ForeColor; }
  void SetForeColor(Color c);
  Color MouseOver() const { return s_.MouseOver; }
  void SetMouseOver(Color c);
  host::PicturePtr Icon() const { return s_.Icon; }
  void SetIcon(host::PicturePtr p);
  Long ButtonType() const { return s_.ButtonType; }
  void SetButtonType(Long v);
  const std::string& Caption() const { return s_.Caption; }
  void SetCaption(std::string s);
  Long IconSize() const { return s_.IconSize; }
  void SetIconSize(Long v);
  Long CaptionStyle() const { return s_.CaptionStyle; }
  void SetCaptionStyle(Long v);
  Long CaptionSmoothing() const { return s_.CaptionSmoothing; }
  // A value outside CaptionSmoothingValue is ignored.
  void SetCaptionSmoothing(Long v);
  Bool16 Enabled() const { return s_.Enabled; }
  void SetEnabled(Bool16 b);
  host::FontPtr Font() const { return s_.TextFont; }
  void SetFont(host::FontPtr f);
  Long ColorScheme() const { return s_.ColorScheme; }
  void SetColorScheme(Long v);
  Long ButtonStyle() const { return s_.ButtonStyle; }
  void SetButtonStyle(Long v);
  Long CaptionOrientation() const { return s_.CaptionOrientation; }
  void SetCaptionOrientation(Long v);
  Long MousePointer() const;
  void SetMousePointer(Long v);
  // The name of the control's container, with "(index)" for an element of a
  // control array.
  std::string Container() const;
  host::PicturePtr MouseIcon() const;
  void SetMouseIcon(host::PicturePtr p);
  std::intptr_t hwnd() const;
  void RefreshButton();

  // Stored property set.
  void InitProperties();
  // Throws PropertyError naming the key where a value cannot be converted or
  // a host call fails; the keys after it are not read.
  void ReadProperties(host::PropertyBag& bag);
  void WriteProperties(host::PropertyBag& bag);

  // By-name access. Names are matched without regard to case; GetMember and
  // SetMember throw std::invalid_argument for an unknown name, a member that
  // cannot be read or written, or a value of the wrong type.
  static const std::vector<MemberInfo>& Members();
  static const MemberInfo* FindMember(std::string_view name);
  MemberValue GetMember(std::string_view name) const;
  void SetMember(std::string_view name, const MemberValue& value);
  void InvokeMember(std::string_view name);

  // Colours and capabilities.
  void ApplyColorScheme(Bool16 reset_props);
  Color ConvertSysColor(Color c) const;
  std::int16_t DetectOS(Bool16 gradient_query) const;

  // Finds the "&" marker in Caption, registers the access key with the host
  // and sets AccessKeyPos (a character position in the displayed caption).
  void SetAccessKey();

  // Steps whose work lies with the installed renderer.
  void CalculateLayout();
  void PrepareIcon();
  void DrawButton(Bool16 backdrop_only);
  // Resize handling: once shown, reshape the window, lay out, prepare the
  // icon and redraw.
  void UserControl_Resize();
  // Makes this option button the only selected one of its container.
  void UpdateOptionGroup();
  // The caption font object announced an attribute change.
  void TextFont_FontChanged(const std::string& property_name);

  // Host notifications. Button: 1 left, 2 right, 4 middle (for MouseMove the
  // mask of held buttons); a negative Button marks an internal call, which
  // raises no MouseDown or MouseUp. Shift: 1 Shift, 2 Ctrl, 4 Alt. X and Y in
  // pixels. Key codes are virtual-key codes.
  // Creation step; the constructor runs it, and running it again creates no
  // second timer.
  void UserControl_Initialize();
  void UserControl_Show();
  void UserControl_Terminate();
  void UserControl_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
  void UserControl_MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
  void UserControl_MouseUp(std::int16_t button, std::int16_t shift, float x, float y);
  void UserControl_Click();
  void UserControl_DblClick();
  void UserControl_KeyDown(std::int16_t key_code, std::int16_t shift);
  void UserControl_KeyPress(std::int16_t key_ascii);
  void UserControl_KeyUp(std::int16_t key_code, std::int16_t shift);
  void UserControl_AccessKeyPress(std::int16_t key_ascii);
  void UserControl_EnterFocus();
  void UserControl_ExitFocus();
  void UserControl_AmbientChanged(const std::string& property_name);
  // A tick of TimerHover (every 100 ms while the pointer is over the button).
  void TimerHover_Timer();

  void SetRenderer(std::shared_ptr<ButtonRenderer> r) { renderer_ = std::move(r); }
  ButtonRenderer* renderer() const { return renderer_.get(); }

  ButtonState& state() { return s_; }
  const ButtonState& state() const { return s_; }
  const host::ControlSite& site() const { return site_; }

 private:
  bool DesignTime() const { return !site_.ambient->UserMode(); }
  // Reports `key` to the host's property set at design time only.
  void Changed(bool design, std::string_view key);
  void ReportChange(std::string_view key);
  // A property the designer alone changes, within lo..hi: whether `v` is
  // such a change of `current` now.
  bool DesignTimeChange(Long v, Long lo, Long hi, Long current) const;
  [[nodiscard]] bool CustomColourSwitch(bool design, std::initializer_list<std::string_view> keys);
  [[nodiscard]] bool GradientSwitch(bool design, std::string_view other_key);
  // The colour properties. An equal value changes nothing; otherwise the
  // scheme must allow the colour (CustomColourSwitch for the custom colours;
  // a look with gradient and GradientSwitch for the gradient's). Then the
  // colour is stored resolved, its key reported, the working colours rebuilt
  // and the button redrawn.
  struct ColourSteps {
    bool prepare_icon = false;         // before the redraw
    bool report_after_scheme = false;  // the key after the working colours
  };
  void SetCustomColour(Color ButtonState::*field, Color c, std::string_view key,
                       std::initializer_list<std::string_view> also_changed, ColourSteps steps);
  void SetGradientColour(Color ButtonState::*field, Color c, std::string_view key,
                         std::string_view other_key);
  void StoreColour(Color ButtonState::*field, Color c, std::string_view key, bool design,
                   ColourSteps steps);
  // The stored property set (persistence.cpp), one descriptor at a time.
  host::PropertyValue MadeUpValue(const StoredProperty& p, const StoredDefault& d);
  void StoreValue(const StoredProperty& p, const host::PropertyValue& v);
  host::PropertyValue StoredValue(const StoredProperty& p) const;
  void SetTextFont(host::FontPtr f);
  ColorRef SysColor(int index) const { return site_.palette->Get(index); }
  // Repaints, then holds the thread for `seconds` of the host's clock.
  void PauseFor(float& seconds);
  bool SelectedOption() const { return s_.OptionButton == kTrue && s_.Value == kTrue; }
  // The look of a button that is neither pressed nor hovered.
  Long RestingState() const { return s_.HasFocus ? Focused : Normal; }
  void RaiseEvent(const char* name, host::EventArgs& args);
  // Gives Enabled back after the right-button rule cleared it.
  void RestoreEnabled();

  host::ControlSite site_;
  ButtonState s_;
  std::shared_ptr<ButtonRenderer> renderer_;
  int font_token_ = 0;
  std::unique_ptr<host::Timer> timer_hover_;
  // The current press came from the Space key.
  bool space_press_ = false;
};

}  // namespace vx::button
