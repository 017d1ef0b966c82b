#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vx::app {

// How a rule's marker is looked for in the source text.
enum class RuleTest {
  // The marker's all-capital or all-small form, each compared exactly.
  Scan,
  // The marker exactly as written, with the occurrence selected in the source box.
  Find,
};

struct DetectionRule {
  std::string_view marker;
  std::string_view label;        // the "Detected" column
  std::string_view description;  // the "Description" column
  RuleTest test;
};

inline constexpr std::size_t kRuleCount = 20;

// The rules in the order their rows appear in the findings list. The texts are
// shown to users as they stand, spelling included.
extern const std::array<DetectionRule, kRuleCount> kRuleTable;

// Index (0-based) of the rule with exactly this label and description, or
// kRuleCount. Every (label, description) pair in the table is unique.
std::size_t RuleIndexOf(std::string_view label, std::string_view description);

}  // namespace vx::app
