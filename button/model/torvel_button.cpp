#include "button/model/torvel_button.h"

#include <limits>

#include "button/model/looks.h"
#include "platform/base/failure.h"
#include "platform/text/utf8.h"

namespace vx::button {

namespace {

Bool16 Normalise(Bool16 b) {
  return b ? kTrue : kFalse;
}
bool InRange(Long v, Long lo, Long hi) {
  return v >= lo && v <= hi;
}

}  // namespace

PropertyError::PropertyError(std::string key, const std::string& reason)
    : std::runtime_error("stored value \"" + key + "\": " + reason), key_(std::move(key)) {}

TorvelButton::TorvelButton(const host::ControlSite& site) : site_(site) {
  if (!site_.ambient || !site_.changes || !site_.surface || !site_.parent || !site_.access_keys ||
      !site_.events || !site_.timers || !site_.keys || !site_.messages || !site_.clock ||
      !site_.screen || !site_.palette || !site_.version || !site_.pictures) {
    throw std::invalid_argument("TorvelButton needs every host service");
  }
  UserControl_Initialize();
}

TorvelButton::~TorvelButton() {
  if (s_.TextFont && font_token_) s_.TextFont->Unsubscribe(font_token_);
}

void TorvelButton::Changed(bool design, std::string_view key) {
  if (design) ReportChange(key);
}

void TorvelButton::ReportChange(std::string_view key) {
  site_.changes->PropertyChanged(key);
}

bool TorvelButton::DesignTimeChange(Long v, Long lo, Long hi, Long current) const {
  return InRange(v, lo, hi) && v != current && DesignTime();
}

// Colour properties other than the gradient ones act only under the custom
// schemes; at design time assigning one switches the scheme to CustomColors.
bool TorvelButton::CustomColourSwitch(bool design, std::initializer_list<std::string_view> also) {
  if (s_.ColorScheme == CustomColors || s_.ColorScheme == CustomGradient) return true;
  if (!design) return false;
  s_.ColorScheme = CustomColors;
  Changed(design, keys::kColorScheme);
  for (std::string_view k : also) Changed(design, k);
  return true;
}

bool TorvelButton::GradientSwitch(bool design, std::string_view other_key) {
  if (s_.ColorScheme == CustomGradient) return true;
  if (!design) return false;
  // Where gradients cannot be drawn the scheme must not become CustomGradient
  // this way either: refuse as the ColorScheme property does.
  if (DetectOS(kTrue) == -1) {
    site_.messages->ShowMessage(kPlatformMessage, host::MessageIcon::Information);
    return false;
  }
  s_.ColorScheme = CustomGradient;
  for (std::string_view k :
       {keys::kColorScheme, keys::kForeColor, keys::kMouseOver, keys::kBackColor})
    Changed(design, k);
  Changed(design, other_key);
  return true;
}

void TorvelButton::SetCustomColour(Color ButtonState::*field, Color c, std::string_view key,
                                   std::initializer_list<std::string_view> also_changed,
                                   ColourSteps steps) {
  if (c == s_.*field) return;
  const bool design = DesignTime();
  if (!CustomColourSwitch(design, also_changed)) return;
  StoreColour(field, c, key, design, steps);
}

void TorvelButton::SetGradientColour(Color ButtonState::*field, Color c, std::string_view key,
                                     std::string_view other_key) {
  if (c == s_.*field) return;
  const bool design = DesignTime();
  if (!LookFor(s_.ButtonType).supports_gradient) {
    if (design) site_.messages->ShowMessage(kButtonTypeMessage, host::MessageIcon::Information);
    return;
  }
  if (!GradientSwitch(design, other_key)) return;
  // The gradient shows through the greyed icon, which is prepared again.
  StoreColour(field, c, key, design, {.prepare_icon = true});
}

void TorvelButton::StoreColour(Color ButtonState::*field, Color c, std::string_view key,
                               bool design, ColourSteps steps) {
  s_.*field = ConvertSysColor(c);
  if (!steps.report_after_scheme) Changed(design, key);
  ApplyColorScheme(kFalse);
  if (steps.report_after_scheme) Changed(design, key);
  if (steps.prepare_icon) PrepareIcon();
  RefreshButton();
}

void TorvelButton::SetTextFont(host::FontPtr f) {
  if (f == s_.TextFont) return;
  if (s_.TextFont && font_token_) s_.TextFont->Unsubscribe(font_token_);
  font_token_ = 0;
  s_.TextFont = std::move(f);
  if (s_.TextFont) {
    font_token_ = s_.TextFont->Subscribe(
        [this](const std::string& attribute) { TextFont_FontChanged(attribute); });
  }
}

void TorvelButton::SetAlignment(Long v) {
  if (!DesignTimeChange(v, 0, 2, s_.Alignment)) return;
  s_.Alignment = v;
  ReportChange(keys::kAlignment);
  CalculateLayout();
  RefreshButton();
}

void TorvelButton::SetShowFocus(Bool16 v) {
  const bool design = DesignTime();
  if (!design) return;
  Changed(design, keys::kShowFocus);
  s_.ShowFocus = Normalise(v);
}

void TorvelButton::SetGraphicsMode(Long v) {
  const bool design = DesignTime();
  if (v >= 0) site_.messages->ShowMessage(kCautionMessage, host::MessageIcon::Warning);
  Changed(design, keys::kGraphicsMode);
  s_.GraphicsMode = v;
  s_.GraphicsModeInForce = v < 0 ? DetectOS(kFalse) : v;
  RefreshButton();
}

void TorvelButton::SetValue(Bool16 v) {
  s_.Value = Normalise(v);
  if (s_.OptionButton != kTrue) return;
  if (s_.Value == kTrue) {
    UpdateOptionGroup();
  } else {
    s_.VisualState = Normal;
    RefreshButton();
  }
}

void TorvelButton::SetOptionButton(Bool16 v) {
  s_.OptionButton = Normalise(v);
  if (s_.OptionButton == kTrue) {
    SetValue(s_.Value);
  } else {
    s_.VisualState = Normal;
    RefreshButton();
  }
}

void TorvelButton::SetIconAlignmentValue(Long v) {
  if (!DesignTimeChange(v, 0, 1, s_.IconAlignmentValue)) return;
  s_.IconAlignmentValue = v;
  ReportChange(keys::kIconAlignment);
  if (s_.HasIcon) {
    CalculateLayout();
    RefreshButton();
  }
}

void TorvelButton::SetEmbossEngraveShadow(Color c) {
  SetCustomColour(&ButtonState::EmbossEngraveShadow, c, keys::kEmbossEngraveShadow,
                  {keys::kForeColor, keys::kMouseOver, keys::kBackColor, keys::kEmbossEngraveMid},
                  {});
}

void TorvelButton::SetEmbossEngraveMid(Color c) {
  SetCustomColour(
      &ButtonState::EmbossEngraveMid, c, keys::kEmbossEngraveMid,
      {keys::kForeColor, keys::kMouseOver, keys::kBackColor, keys::kEmbossEngraveShadow}, {});
}

void TorvelButton::SetGradientStartColor(Color c) {
  SetGradientColour(&ButtonState::GradientStartColor, c, keys::kGradientStart, keys::kGradientStop);
}

void TorvelButton::SetGradientOrientation(Long v) {
  s_.GradientOrientation = v;
  const bool design = DesignTime();
  if (s_.ColorScheme == CustomGradient && design) {
    Changed(design, keys::kGradientOrientation);
    RefreshButton();
  }
}

void TorvelButton::SetGradientStopColor(Color c) {
  SetGradientColour(&ButtonState::GradientStopColor, c, keys::kGradientStop, keys::kGradientStart);
}

void TorvelButton::SetBackColor(Color c) {
  // The face shows through the greyed icon, which is prepared again.
  SetCustomColour(&ButtonState::BackColor, c, keys::kBackColor,
                  {keys::kForeColor, keys::kMouseOver}, {.prepare_icon = true});
}

void TorvelButton::SetForeColor(Color c) {
  SetCustomColour(&ButtonState::ForeColor, c, keys::kForeColor,
                  {keys::kBackColor, keys::kMouseOver}, {});
}

void TorvelButton::SetMouseOver(Color c) {
  SetCustomColour(&ButtonState::MouseOver, c, keys::kMouseOver,
                  {keys::kBackColor, keys::kForeColor}, {.report_after_scheme = true});
}

void TorvelButton::SetIcon(host::PicturePtr p) {
  const bool design = DesignTime();
  s_.Icon = std::move(p);
  s_.HasIcon = ToBool16(s_.Icon != nullptr);
  Changed(design, keys::kIcon);
  CalculateLayout();
  PrepareIcon();
  RefreshButton();
}

void TorvelButton::SetButtonType(Long v) {
  if (!IsLook(v) || v == s_.ButtonType) return;
  // A look without gradient makes the scheme fall back, even at run time.
  if (!LookFor(v).supports_gradient && s_.ColorScheme == CustomGradient) {
    s_.ColorScheme = CustomColors;
  }
  const bool design = DesignTime();
  if (!design) return;
  s_.ButtonType = v;
  Changed(design, keys::kButtonType);
  UserControl_Resize();
}

void TorvelButton::SetCaption(std::string s) {
  const bool design = DesignTime();
  // Bytes that are not UTF-8 are read as Windows-1252, so that every output
  // of the caption (JSON, listings, the stored set) is valid text.
  s_.Caption = text::ToValidUtf8(s);
  SetAccessKey();
  Changed(design, keys::kCaption);
  s_.LayoutPending = kTrue;
  RefreshButton();
}

void TorvelButton::SetIconSize(Long v) {
  if (!DesignTimeChange(v, 1, 4, s_.IconSize)) return;
  ReportChange(keys::kIconSize);
  s_.IconSize = v;
  if (s_.HasIcon) {
    CalculateLayout();
    PrepareIcon();
    RefreshButton();
  }
}

void TorvelButton::SetCaptionStyle(Long v) {
  if (!InRange(v, 0, 3) || v == s_.CaptionStyle) return;
  const bool design = DesignTime();
  if (!CustomColourSwitch(design, {keys::kBackColor, keys::kForeColor, keys::kMouseOver,
                                   keys::kEmbossEngraveMid, keys::kEmbossEngraveShadow}))
    return;
  s_.CaptionStyle = v;
  ApplyColorScheme(kFalse);
  Changed(design, keys::kCaptionStyle);
  RefreshButton();
}

void TorvelButton::SetEnabled(Bool16 b) {
  const bool design = DesignTime();
  s_.Enabled = Normalise(b);
  site_.surface->SetEnabled(s_.Enabled == kTrue);
  Changed(design, keys::kEnabled);
  RefreshButton();
}

void TorvelButton::SetFont(host::FontPtr f) {
  // A button always has a caption font; clearing it would leave nothing to
  // draw the caption with.
  if (!f) throw std::invalid_argument("a font object is required");
  const bool design = DesignTime();
  SetTextFont(std::move(f));
  site_.surface->SetFont(s_.TextFont);
  Changed(design, keys::kFont);
  s_.LayoutPending = kTrue;
  RefreshButton();
}

void TorvelButton::SetColorScheme(Long v) {
  if (!InRange(v, 1, 5) || v == s_.ColorScheme) return;
  const bool design = DesignTime();
  if (DetectOS(kTrue) == -1) {
    if (design) site_.messages->ShowMessage(kPlatformMessage, host::MessageIcon::Information);
    return;
  }
  if (!design) return;
  s_.ColorScheme = v;
  for (std::string_view k :
       {keys::kColorScheme, keys::kBackColor, keys::kForeColor, keys::kMouseOver,
        keys::kEmbossEngraveMid, keys::kEmbossEngraveShadow}) {
    Changed(design, k);
  }
  if (v != CustomColors && v != CustomGradient) s_.CaptionStyle = Plain;
  ApplyColorScheme(kTrue);
  RefreshButton();
}

void TorvelButton::SetButtonStyle(Long v) {
  if (!DesignTimeChange(v, 0, 3, s_.ButtonStyle)) return;
  // Slanted outlines leave no room for vertical captions.
  if (v != Rectangular) {
    s_.CaptionOrientation = Horizontal;
    ReportChange(keys::kCaptionOrientation);
  }
  s_.ButtonStyle = v;
  ReportChange(keys::kButtonStyle);
  UserControl_Resize();
}

void TorvelButton::SetCaptionOrientation(Long v) {
  if (!DesignTimeChange(v, 0, 2, s_.CaptionOrientation)) return;
  s_.CaptionOrientation = v;
  ReportChange(keys::kCaptionOrientation);
  s_.LayoutPending = kTrue;
  RefreshButton();
}

void TorvelButton::SetCaptionSmoothing(Long v) {
  if (!InRange(v, SmoothingStandard, SmoothingFull) || v == s_.CaptionSmoothing) return;
  s_.CaptionSmoothing = v;
  Changed(DesignTime(), keys::kCaptionSmoothing);
  // Widths are measured differently under each mode: the lines change.
  s_.LayoutPending = kTrue;
  RefreshButton();
}

Long TorvelButton::MousePointer() const {
  return site_.surface->MousePointer();
}

void TorvelButton::SetMousePointer(Long v) {
  // The surface takes a 16-bit value; anything wider is an overflow, reported
  // rather than wrapped.
  if (v < std::numeric_limits<std::int16_t>::min() ||
      v > std::numeric_limits<std::int16_t>::max()) {
    throw std::out_of_range("MousePointer: " + std::to_string(v) + " is not a 16-bit value");
  }
  const bool design = DesignTime();
  site_.surface->SetMousePointer(static_cast<std::int16_t>(v));
  Changed(design, keys::kMousePointer);
}

host::PicturePtr TorvelButton::MouseIcon() const {
  return site_.surface->MouseIcon();
}

void TorvelButton::SetMouseIcon(host::PicturePtr p) {
  const bool design = DesignTime();
  // A pointer picture the host cannot use is ignored.
  RunPastFailure([&] { site_.surface->SetMouseIcon(p); });
  Changed(design, keys::kMouseIcon);
}

std::intptr_t TorvelButton::hwnd() const {
  return site_.surface->WindowHandle();
}

void TorvelButton::RefreshButton() {
  s_.IsShown = kTrue;
  DrawButton(kFalse);
  site_.surface->Refresh();
}

void TorvelButton::DrawButton(Bool16 backdrop_only) {
  if (renderer_) renderer_->DrawButton(*this, backdrop_only);
}

void TorvelButton::CalculateLayout() {
  if (renderer_) renderer_->CalculateLayout(*this);
}

void TorvelButton::PrepareIcon() {
  if (renderer_) renderer_->PrepareIcon(*this);
}

void TorvelButton::UserControl_Resize() {
  if (!s_.IsShown) return;
  if (renderer_) renderer_->ApplyWindowRegion(*this);
  CalculateLayout();
  PrepareIcon();
  RefreshButton();
}

}  // namespace vx::button
