// The form reader: any text gives a form or a FormError, never another
// exception, a crash or unbounded memory; a form it gives keeps its bounds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/window/form_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const vx::window::FormDefinition form = vx::window::ParseForm(text, "fuzz.json", "");
    constexpr int kMaxSize = 8192 * vx::window::kTwipsPerPixel;
    if (form.client_width > kMaxSize || form.client_height > kMaxSize) std::abort();
    for (const vx::window::ControlDef& c : form.controls) {
      if (c.geometry && ((*c.geometry)[2] > kMaxSize || (*c.geometry)[3] > kMaxSize)) std::abort();
    }
    vx::window::RequireWindowControls(form, "fuzz.json");
  } catch (const vx::window::FormError&) {
  }
  return 0;
}
