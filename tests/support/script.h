#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// Replays drawing-operation scripts (the reference data's NAME.gdi format:
// one operation a line, '#' comments, C-syntax numbers, 0x00BBGGRR colours)
// through the surface, so that their pixels can be compared with what the
// platform drew for them.
namespace vx::gdi {

// The system colours the greyed (DSS_DISABLED) pictures are drawn with.
struct ScriptPalette {
  ColorRef btn_highlight = 0xFFFFFF;
  ColorRef btn_shadow = 0x808080;
};

struct ScriptOutput {
  Surface canvas;                                         // the final canvas
  std::vector<std::pair<std::string, Surface>> pictures;  // `dump` and `dump_buffer`
  std::vector<std::pair<std::string, Mask>> masks;        // `rgn_dump`
};

// Runs the whole script. On a malformed line returns false and names the
// line and the fault in *error; `out` then holds the state up to that line.
[[nodiscard]] bool RunScript(std::string_view text, ScriptOutput& out, std::string* error = nullptr,
                             const ScriptPalette& palette = {});

// The scripts' built-in 16x16 test picture as an icon (its transparent
// pixels are black); drawn as a bitmap, its colour surface is used alone.
const Icon& ScriptTestPicture();

}  // namespace vx::gdi
