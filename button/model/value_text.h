#pragma once

// Property values written as text, for designers and command-line tools.

#include <optional>
#include <string_view>

#include "button/model/torvel_button.h"

namespace vx::button {

// Decimal with an optional sign, or 0x followed by up to 8 hex digits taken as
// a 32-bit pattern (0x8000000F is a system-colour reference).
[[nodiscard]] std::optional<Long> ParseLongText(std::string_view text);

// true, false, -1 or 0 (the words in any case).
[[nodiscard]] std::optional<Bool16> ParseBoolText(std::string_view text);

// "Name,size[,bold][,italic][,underline][,strike]", size in points.
[[nodiscard]] std::optional<host::FontAttributes> ParseFontText(std::string_view text);

// A value for a member of `type`: a picture is a PNG file name, or empty or
// "none" for no picture. Throws std::invalid_argument saying what was wrong;
// a picture that cannot be loaded throws HostError.
MemberValue ParseMemberText(MemberType type, std::string_view text, host::PictureLoader& pictures);

}  // namespace vx::button
