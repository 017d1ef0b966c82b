#include "app/check/rule_set.h"

#include <algorithm>
#include <cstdio>

#include "app/rules.h"

namespace vx::app::check {

std::string_view SeverityName(Severity severity) {
  static constexpr std::string_view kNames[] = {"info", "low", "medium", "high", "critical"};
  return kNames[static_cast<std::size_t>(severity)];
}

std::optional<Severity> SeverityFromName(std::string_view name) {
  for (int s = 0; s <= static_cast<int>(Severity::Critical); ++s) {
    if (SeverityName(static_cast<Severity>(s)) == name) return static_cast<Severity>(s);
  }
  return std::nullopt;
}

std::string_view MatchKindName(MatchKind kind) {
  static constexpr std::string_view kNames[] = {"literal", "regex", "element", "header"};
  return kNames[static_cast<std::size_t>(kind)];
}

std::string_view CaseModeName(CaseMode mode) {
  static constexpr std::string_view kNames[] = {"exact", "ignore", "classic"};
  return kNames[static_cast<std::size_t>(mode)];
}

bool IsRuleId(std::string_view id) {
  return !id.empty() && id.size() <= 128 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
}

const std::vector<Rule>& ClassicRules() {
  static const std::vector<Rule> rules = [] {
    std::vector<Rule> out;
    for (std::size_t i = 0; i < kRuleCount; ++i) {
      const DetectionRule& d = kRuleTable[i];
      Rule r;
      char id[8];
      std::snprintf(id, sizeof id, "VX%03zu", i + 1);
      r.id = id;
      r.label = d.label;
      r.description = d.description;
      r.severity = Severity::Info;
      r.tags = {"classic"};
      r.kind = MatchKind::Literal;
      r.pattern = d.marker;
      r.case_mode = d.test == RuleTest::Scan ? CaseMode::Classic : CaseMode::Exact;
      r.classic = i;
      out.push_back(std::move(r));
    }
    return out;
  }();
  return rules;
}

std::shared_ptr<const RuleSet> RuleSet::Classic() {
  static const std::shared_ptr<const RuleSet> set = std::make_shared<RuleSet>(ClassicRules());
  return set;
}

std::size_t RuleSet::Number(std::size_t i) const {
  return rules_[i].classic != kNotClassic ? rules_[i].classic + 1 : i + 1;
}

}  // namespace vx::app::check
