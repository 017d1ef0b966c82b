#include "app/rules.h"

#include "platform/base/ascii.h"

namespace vx::app {

std::size_t RuleIndexOf(std::string_view label, std::string_view description) {
  for (std::size_t i = 0; i < kRuleCount; ++i) {
    if (kRuleTable[i].label == label && kRuleTable[i].description == description) return i;
  }
  return kRuleCount;
}

std::vector<std::string> RuleForms(const DetectionRule& rule) {
  if (rule.test == RuleTest::Find) return {std::string(rule.marker)};
  std::vector<std::string> forms{ascii::Upper(rule.marker)};
  std::string lower = ascii::Lower(rule.marker);
  if (lower != forms.front()) forms.push_back(std::move(lower));
  return forms;
}

}  // namespace vx::app
