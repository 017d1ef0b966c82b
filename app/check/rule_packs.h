// The rule sets a check can choose: the twenty classic rules, the built-in
// modern pack, rule files of the user's own, narrowed by ids and tags. Both
// the command line and the window resolve a choice here.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_set.h"

namespace vx::app::check {

struct RuleChoice {
  std::vector<std::string> sets;             // names from --rule-set, in order
  std::vector<std::string> files;            // --rules
  std::vector<std::string> enable, disable;  // ids or tags
};

// What a rule choice cannot be: its message says what to write instead.
struct RuleChoiceError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The rules chosen, in order: the named sets (classic by default), then the
// files' rules; narrowed by --enable, then --disable.
std::shared_ptr<const RuleSet> BuildRuleSet(const RuleChoice& choice);

// The built-in modern pack.
const std::vector<Rule>& ModernRules();

// Whether `word` is the rule's id or one of its tags.
bool NamesRule(const Rule& rule, std::string_view word);

}  // namespace vx::app::check
