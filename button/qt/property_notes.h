#pragma once

// What the button's rules make of an assignment at run time, in words: the
// names of the enumerated values (for tools that take them as text) and why
// an assignment that changes nothing was ignored (for the warnings a program
// gets instead of silence). Plain C++: the command-line tool uses it too.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "button/model/torvel_button.h"

namespace vx::notes {

struct ValueName {
  button::Long value;
  const char* name;
};

// The names of the values of an enumerated member ("ButtonType", any case)
// or stored key ("btype", any case); empty for other members.
std::span<const ValueName> ValueNamesOf(std::string_view member_or_key);

// The value called `name` (any case) among `names`.
std::optional<button::Long> ValueOfName(std::span<const ValueName> names, std::string_view name);

// `value` of `member` as text: its name where it has one, a colour as
// 0xBBGGRR, truth values as True and False.
std::string ValueText(std::string_view member, const button::MemberValue& value);

// Why the button's run-time rules ignore assigning `value` to `member` now
// (a property fixed at run time, a colour outside the custom schemes, a
// gradient colour on a look without a gradient, a value outside its range),
// or nothing when the assignment takes effect or repeats the current value.
std::optional<std::string> IgnoredAtRunTime(const button::TorvelButton& button,
                                            std::string_view member,
                                            const button::MemberValue& value);

}  // namespace vx::notes
