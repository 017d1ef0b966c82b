#pragma once

// Inside of TorvelButtonWidget: the button model with its drawing installed,
// the host services the widget gives it, and the widget's input state.

#include <QFont>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "button/model/torvel_button.h"
#include "button/qt/button_host.h"
#include "button/qt/input.h"
#include "button/qt/stored_properties.h"
#include "button/qt/widget_tree.h"
#include "button/render/device_picture.h"
#include "button/render/painter.h"
#include "platform/host/palette.h"
#include "platform/host/services.h"
#include "torvelbutton/torvelbuttonwidget.h"

class QShortcut;

// Where a widget lives. A button of the window program sits on a form that
// keeps its control list and system colours and names it; any other button
// (no parent window given) finds its option group, colours and ambient font
// among the widgets around it and starts as a new button.
struct TorvelButtonWidget::Placement {
  vx::host::ParentWindow* parent_window = nullptr;
  const vx::host::SystemPalette* palette = nullptr;
  // The widget whose font is the ambient font; the parent widget when null.
  QWidget* container = nullptr;
  std::string display_name;
};

class TorvelButtonWidgetPrivate {
 public:
  // Runs when the button raises an event, before the widget's signals.
  using EventHook = std::function<void(std::string_view, vx::host::EventArgs&)>;

  TorvelButtonWidgetPrivate(TorvelButtonWidget& widget, const TorvelButtonWidget::Placement& p);
  ~TorvelButtonWidgetPrivate();

  // The inside of `w`, or null while `w` is still being made.
  static TorvelButtonWidgetPrivate* Find(const TorvelButtonWidget& w) { return w.d_.get(); }

  // Creates the model on the host; the widget calls it once it is whole.
  void CreateButton();

  std::string DisplayName() const;
  // The widget whose font is the container's font.
  const QWidget& AmbientWidget() const;

  // Host side of the button's services.
  void Repaint();
  void ApplyEnabled();
  void ApplyAccessKey(const std::string& keys);
  void RaiseEvent(std::string_view name, vx::host::EventArgs& args);
  void AnnounceChange(std::string_view key);
  void AccessKeyActivated();
  bool InsideShape(const QPointF& p) const;
  void Press();

  // An assignment of a public member: restored as stored while the widget
  // is not shown yet, else through the member's rules.
  void Assign(std::string_view key, const vx::button::MemberValue& value);
  // Takes `value` for the stored key as ReadProperties would, with every
  // other value as it is. False (and the button unchanged) when the value
  // cannot be taken.
  bool Restore(std::string_view key, const vx::host::PropertyValue& value);
  // ReadProperties from `bag`, going back to the previous values when it
  // fails; then, on a shown button, the resize handling.
  void ReadAll(vx::host::PropertyBag& bag);
  // The system colour table follows the widget's palette (a button with a
  // table of its own); the button is told what changed.
  void RefreshOwnPalette();

  // Fonts as Qt hands them down. A button of the public widget (no form)
  // keeps the font it inherits until one is set for it: by setFont through
  // any pointer, a style sheet, Designer or its stored properties.
  bool FollowsQtFonts() const { return tree != nullptr; }
  // The font Qt gives the widget when none is set on it.
  QFont InheritedFont() const;
  // While no font was set: the caption font becomes the inherited one.
  void FollowInheritedFont();
  // The widget's own font (QWidget's) shows the caption font that was set.
  void ShowFontOnWidget();
  // Back to inheritance: the widget's own font is unset.
  void ForgetWidgetFont();
  // A font reached the widget through QWidget (setFont, a style sheet,
  // inheritance).
  void WidgetFontChanged();

  // Size policy and size hints follow the caption: a policy as a push
  // button's, turned with a vertical caption, and a new geometry when what
  // the hint is made of changed.
  void UpdateLayoutHints();

  // One warning per property and button when the rules ignore a run-time
  // assignment.
  void WarnIfIgnored(const vx::qt::StoredProperty& p, const vx::button::MemberValue& value);

  TorvelButtonWidget& q;
  vx::host::ParentWindow* parent_window = nullptr;
  const vx::host::SystemPalette* palette = nullptr;
  QPointer<QWidget> container;
  std::string display_name;
  std::string auto_name;
  std::unique_ptr<vx::qt::WidgetTree> tree;
  std::unique_ptr<vx::host::SystemPalette> own_palette;
  vx::ColorRef own_back = 0;
  vx::ColorRef own_text = 0;

  // The host outlives the button, whose timers and fonts refer to it.
  std::unique_ptr<vx::qt::ButtonHost> host;
  std::unique_ptr<vx::button::TorvelButton> button;
  EventHook event_hook;
  std::function<void()> refresh_hook;

  bool design_mode = false;
  // Until the first showing, assignments are the stored settings, kept as
  // they came.
  bool restoring = true;
  std::optional<vx::qt::MemoryPropertyBag> pending;
  // A new button that no stored value reached yet follows its object name.
  bool pristine = false;
  // The host is changing the widget's enabled state itself.
  bool host_enabling = false;

  // A font was set for the button (not only inherited).
  bool font_explicit = false;
  // The widget's own font is being set to the caption font.
  bool showing_font = false;
  // What the size hint was last made of, and whether the caption was
  // vertical then.
  std::string hint_inputs;
  std::optional<bool> hint_vertical;
  std::set<std::string> warned;

  // Drawing for the screen: the caption text kept aside while the screen
  // has more device pixels than the surface, the scale the shown image was
  // made for and the drawing it was made from.
  vx::render::ButtonPainter* painter = nullptr;
  std::vector<vx::render::CaptionText> captions;
  TorvelButtonWidget::PixelScalingValue pixel_scaling = TorvelButtonWidget::Device;
  bool painting = false;
  unsigned drawing = 0;
  unsigned shown_drawing = ~0u;
  int shown_scale = 0;
  vx::Surface logical;  // the surface in the shown image's pixel order
  std::vector<vx::render::CaptionText> shown_captions;
  vx::Surface device;
  vx::render::DeviceFont device_font;
  // The scale to draw for on the widget's screen now: 1 for the pixels as
  // they are.
  int DeviceScale() const;

  QImage shown;
  std::string shown_caption;
  QShortcut* shortcut = nullptr;
  QString access_key;
  vx::host::FontAttributes ambient_font;

  // Mouse buttons held down on the window, the one that began the press,
  // and whether the press is the second one of a double click.
  Qt::MouseButtons held;
  Qt::MouseButton first_button = Qt::NoButton;
  bool double_click = false;
  // Keys taken as the access key: their release belongs to no key-down.
  int swallowed_key = 0;
  // A release that may be the first half of an X key repeat, until the
  // timer says it was not.
  vx::qt::ReleaseHold release_hold;
  QTimer release_timer;
  void KeyUp(const vx::qt::KeyRelease& release);
  // A menu has the keyboard, but the button keeps its focus meanwhile.
  bool focus_parked = false;
  QMetaObject::Connection focus_watch;
  QMetaObject::Connection name_watch;
};

namespace vx::qt {

// Tells `button` that the system colours changed, and whether its parent's
// background and text colours did.
void TellColorsChanged(button::TorvelButton& button, bool back_changed, bool text_changed);

}  // namespace vx::qt
