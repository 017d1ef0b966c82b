// The active rule set of a command line: --rule-set, --rules, --enable and
// --disable; --fail-on resolved against it; and `vettrix rules`.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_set.h"

namespace vx::app::cli {

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
std::shared_ptr<const check::RuleSet> BuildRuleSet(const RuleChoice& choice);

// The built-in modern pack.
const std::vector<check::Rule>& ModernRules();

// --fail-on over the active set: rule numbers, labels, ids, tags and
// "severity>=LEVEL"; "http-error" sets *http_error.
std::vector<bool> ParseFailOn(std::string_view value, const check::RuleSet& set, bool* http_error);

// `vettrix rules`: the table, or with json one JSON object per line and rule.
std::string RulesListing(const check::RuleSet& set, bool json);

}  // namespace vx::app::cli
