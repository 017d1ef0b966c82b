// Rule files: the user's own rules, in YAML. Read with limits on size,
// nesting and node count; aliases are refused (they would let a small file
// stand for a huge one). Every error names the file, the line (from 1) and
// the field.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_set.h"

namespace vx::app::check {

struct RuleFileLimits {
  std::size_t max_bytes = std::size_t{1} << 20;
  std::size_t max_depth = 16;
  std::size_t max_nodes = 100000;
};

// "FILE:LINE: FIELD: what is wrong".
struct RuleFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether a file's regexes are built once to see that the database takes
// them (every file a user gives), or are known to (the built-in packs, whose
// tests build them).
enum class RulePatterns { Check, Trusted };

// A file's rules and its allow-origins (hosts, lower case).
struct RuleFileContent {
  std::vector<Rule> rules;
  std::vector<std::string> allow_origins;
};
RuleFileContent ParseRuleFileContent(std::string_view text, const std::string& name,
                                     const RuleFileLimits& limits = {},
                                     RulePatterns patterns = RulePatterns::Check);
RuleFileContent ReadRuleFileContent(const std::string& path, const RuleFileLimits& limits = {});

// The rules of a file's text; `name` is what messages call the file.
std::vector<Rule> ParseRuleFile(std::string_view text, const std::string& name,
                                const RuleFileLimits& limits = {},
                                RulePatterns patterns = RulePatterns::Check);

// The rules of the file at `path`, read up to the size limit.
std::vector<Rule> ReadRuleFile(const std::string& path, const RuleFileLimits& limits = {});

}  // namespace vx::app::check
