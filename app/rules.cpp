#include "app/rules.h"

#include "platform/base/ascii.h"

namespace vx::app {

std::vector<std::string> RuleForms(const DetectionRule& rule) {
  if (rule.test == RuleTest::Find) return {std::string(rule.marker)};
  std::vector<std::string> forms{ascii::Upper(rule.marker)};
  std::string lower = ascii::Lower(rule.marker);
  if (lower != forms.front()) forms.push_back(std::move(lower));
  return forms;
}

}  // namespace vx::app
