// Caption layout and drawing with random captions (any bytes) at random
// sizes, looks, alignments, orientations and smoothings: no crash, no read or write
// outside the surface, and every laid-out line is whole characters.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "button/model/torvel_button.h"
#include "button/render/painter.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"
#include "platform/text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  // Eight bytes of settings, then the caption.
  const int width = 1 + data[0] % 200;
  const int height = 1 + data[1] % 100;
  vx::host::JsonPropertyBag::Json stored = {
      {"btype", 1 + data[2] % 8},
      {"orient", data[3] % 3},
      {"align", data[4] % 9},
      {"style", data[5] % 4},
      {"iconsize", 1 + data[6] % 4},
      {"font",
       {{"name", (data[7] & 1) ? "Tahoma" : "Times New Roman"}, {"size", 1 + (data[7] >> 1) % 40}}},
      {"tx", std::string(reinterpret_cast<const char*>(data) + 8, size - 8)},
  };
  vx::host::HeadlessHost host;
  host.SetSize(width, height);
  vx::button::TorvelButton button(host.site());
  host.Join(&button);
  button.SetRenderer(std::make_shared<vx::render::ButtonPainter>());
  // The icon size takes the low two bits of this byte.
  button.SetCaptionSmoothing((data[6] >> 2) % 3);
  vx::host::JsonPropertyBag bag(std::move(stored));
  try {
    button.ReadProperties(bag);
  } catch (const vx::button::PropertyError&) {
    return 0;
  }
  vx::button::ButtonState& st = button.state();
  st.IsShown = vx::button::kTrue;
  button.UserControl_Resize();
  button.DrawButton(vx::button::kFalse);
  // The caption was made valid UTF-8 on the way in; no line may cut a
  // character in two.
  if (!vx::text::IsValidUtf8(st.Caption)) std::abort();
  for (const vx::button::CaptionLine& line : st.CaptionLines) {
    if (!vx::text::IsValidUtf8(line.Text)) std::abort();
  }
  return 0;
}
