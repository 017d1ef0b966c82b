// Suppression files (--ignore): findings accepted on purpose, each with its
// reason, in YAML read with the rule files' limits.
//
//   suppressions:
//     - rule: VX001              # an id, a label or a tag
//       address: "https://example.com/**"
//       snippet: "analytics.js"  # optional: text the finding's snippet holds
//       reason: our own analytics script
//       until: 2027-06-30        # optional: applies up to and with that day
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_file.h"
#include "app/check/rule_set.h"

namespace vx::app::check {

struct Suppression {
  std::string rule;     // an id, a label or a tag
  std::string address;  // a glob over the address
  std::string snippet;  // "": any
  std::string reason;
  std::string until;   // "YYYY-MM-DD", "" for no end
  std::string origin;  // "FILE:LINE", for messages
};

// The entries of a file's text; `name` is what messages call the file.
// Throws RuleFileError ("FILE:LINE: FIELD: what is wrong").
std::vector<Suppression> ParseSuppressionFile(std::string_view text, const std::string& name,
                                              const RuleFileLimits& limits = {});
std::vector<Suppression> ReadSuppressionFile(const std::string& path,
                                             const RuleFileLimits& limits = {});

// Whether `address` matches `glob`: '*' any run of characters but '/', '?'
// one character but '/', "**" any run at all; the rest as written.
bool AddressGlobMatches(std::string_view glob, std::string_view address);

// Whether the entry names the rule: its id, its label or one of its tags.
bool SuppressionNamesRule(const Suppression& s, const Rule& rule);

}  // namespace vx::app::check
