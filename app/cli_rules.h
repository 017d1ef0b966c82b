// The active rule set of a command line: --rule-set, --rules, --enable and
// --disable; --fail-on resolved against it; and `vettrix rules`.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_packs.h"

namespace vx::app::cli {

using check::BuildRuleSet;
using check::RuleChoice;
using check::RuleChoiceError;

// --fail-on over the active set: rule numbers, labels, ids, tags and
// "severity>=LEVEL"; "http-error" sets *http_error.
std::vector<bool> ParseFailOn(std::string_view value, const check::RuleSet& set, bool* http_error);

// `vettrix rules`: the table, or with json one JSON object per line and rule.
std::string RulesListing(const check::RuleSet& set, bool json);

}  // namespace vx::app::cli
