// The check's fast result: where each of the twenty rules first matches a
// text, found in one pass.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "app/rules.h"

namespace vx::app {

// Where each rule first matches a text: the earliest occurrence of whatever
// form the rule looks for.
struct RuleHits {
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::array<std::size_t, kRuleCount> first{};   // byte offset, or npos
  std::array<std::size_t, kRuleCount> chars{};   // characters before it
  std::array<std::size_t, kRuleCount> line{};    // its 1-based line
  std::array<std::size_t, kRuleCount> column{};  // its 1-based column, in characters

  bool Matches(std::size_t rule) const { return first[rule] != npos; }
};

// All rules tested against a text in one pass; a large text is split
// between two threads unless `may_split` is false (the caller keeps the
// other core busy).
RuleHits FindRuleHits(std::string_view text, bool may_split = true);

}  // namespace vx::app
