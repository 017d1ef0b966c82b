#include <any>
#include <exception>
#include <optional>

#include "button/render/painter.h"
#include "platform/base/failure.h"

namespace vx::render {
namespace {

bool IsUpState(Long state) {
  return state == button::Normal || state == button::Backdrop || state == button::Focused ||
         state == button::Hover;
}

}  // namespace

void Painter::DrawButton(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  const Long saved_state = st.VisualState;
  const Bool16 saved_enabled = st.Enabled;
  if (backdrop_only != kFalse) {
    st.VisualState = button::Backdrop;
    st.Enabled = kFalse;
  }

  RunPastFailure([&] {
    const int w = W();
    const int h = H();
    if (st.ColorScheme == button::CustomGradient) {
      DrawGradient();
    } else if (look().traits.hover_only && st.ColorScheme == button::CustomColors &&
               st.VisualState != button::Hover) {
      DrawRect(0, 0, w, h, static_cast<Color>(site().parent->BackColor()), kFalse);
    } else {
      DrawRect(0, 0, w, h, st.FaceColor, kFalse);
    }
  });

  RunPastFailure([&] {
    if (static_cast<std::int16_t>(st.LayoutPending) == -1) {
      // The layout-only use of the caption font: no caption font may outlive
      // this step, even when building the layout failed.
      try {
        CreateCaptionFont(st.LayoutPending);
      } catch (...) {
        ReleaseCaptionFont();
        throw;
      }
      ReleaseCaptionFont();
    }
  });

  RunPastFailure([&] { Render(backdrop_only); });
  RunPastFailure([&] { site().surface->Refresh(); });

  if (backdrop_only != kFalse) {
    st.VisualState = saved_state;
    st.Enabled = saved_enabled;
  }
  RunPastFailure([&] {
    if (!site().ambient->UserMode()) st.VisualState = button::Normal;
  });
}

void Painter::Render(Bool16 backdrop_only) {
  button::ButtonState& st = s();
  const button::Look& row = look();
  const button::LookTraits& traits = row.traits;
  try {
    std::optional<OptionLatch> latch;
    bool selected_option = false;
    if (traits.selected_option == button::SelectedOption::kLatched) {
      latch.emplace(st);
      selected_option = latch->latched();
    } else {
      selected_option = traits.flag_test(st.OptionButton) && traits.flag_test(st.Value);
      if (selected_option) st.VisualState = button::Pressed;
    }
    const LookInput in{st,
                       traits,
                       W(),
                       H(),
                       st.VisualState,
                       IsUpState(st.VisualState),
                       traits.flag_test(st.Enabled),
                       traits.flag_test(st.HasFocus),
                       selected_option,
                       backdrop_only != kFalse};
    row.render(*this, in);
    // A negative state was drawn by the look's latched branch: it ends there.
    if (latch && in.state < 0) latch->Unlatch();
  } catch (...) {
    // A renderer that stopped half-way must not leave a latched state behind:
    // outside a renderer VisualState is always 0..4.
    if (s().VisualState < 0) s().VisualState = -s().VisualState - 1;
    throw;
  }
}

void Painter::DrawGradient() {
  const button::ButtonState& st = s();
  const int reversed = st.GradientOrientation > 1 ? 1 : 0;
  const int w = W();
  const int h = H();
  // ShiftColor with offset 0 splits a colour into clamped channels.
  const Color start = button::ShiftColor(st.GradientStartColor, 0);
  const Color stop = button::ShiftColor(st.GradientStopColor, 0);
  const gdi::TriVertex v0 =
      gdi::MakeVertex(0, 0, static_cast<ColorRef>(reversed != 0 ? stop : start));
  const gdi::TriVertex v1 =
      gdi::MakeVertex(w, h, static_cast<ColorRef>(reversed != 0 ? start : stop));
  // An orientation outside 0..3 asks for a mode the platform does not have:
  // GradientFill then paints nothing and the surface keeps what it had.
  const Long mode = st.GradientOrientation - 2 * reversed;
  gdi::GradientFill(surface(), v0, v1, mode);
}

}  // namespace vx::render
