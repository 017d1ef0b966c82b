// Header rules: conditions over the final response's headers. Values are
// short, so they are matched with std::regex (which has the look-ahead the
// multi-pattern database lacks).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/check/rule_set.h"

namespace vx::app::check {

// Throws std::invalid_argument when `pattern` is no usable regex.
void CheckHeaderRegex(const std::string& pattern);

// How many values the rule's conditions find (a missing header counts one);
// 0 when some condition does not hold. Set-Cookie values are each cookie.
std::size_t MatchHeaders(const Rule& rule,
                         const std::vector<std::pair<std::string, std::string>>& headers);

}  // namespace vx::app::check
