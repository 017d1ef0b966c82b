#pragma once

// The rows a check run should list for a page, by plain search: a scanned
// rule where its marker occurs in capitals or in small letters, the found
// rule where it occurs exactly as written. The model the check engine's
// tests and its fuzz target compare against.

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "app/rules.h"

namespace vx::support {

inline std::vector<std::pair<std::string, std::string>> PlainSearchRows(const std::string& page) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const app::DetectionRule& rule : app::kRuleTable) {
    std::string upper(rule.marker), lower(rule.marker);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool hit = rule.test == app::RuleTest::Find ? page.find(rule.marker) != std::string::npos
                                                      : page.find(upper) != std::string::npos ||
                                                            page.find(lower) != std::string::npos;
    if (hit) rows.emplace_back(rule.label, rule.description);
  }
  return rows;
}

}  // namespace vx::support
