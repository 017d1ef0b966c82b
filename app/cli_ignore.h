// --ignore: findings accepted with a reason, out of the human and CSV
// reports and of --fail-on, kept in JSON and SARIF with their reason.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/check/rule_set.h"
#include "app/check/suppression_file.h"
#include "app/cli_report.h"

namespace vx::app::cli {

class Suppressions {
 public:
  // The entries of the file at `path`; those whose `until` is before
  // `today` ("YYYY-MM-DD") apply no more, and `warnings` tells of each.
  // Throws check::RuleFileError.
  Suppressions(const std::string& path, const std::string& today,
               std::vector<std::string>* warnings);

  // Marks the findings of `o` an entry applies to; returns how many.
  std::size_t Apply(const std::string& address, Outcome& o, const check::RuleSet& rules) const;

 private:
  std::vector<check::Suppression> entries_;
};

// Today's date in UTC, "YYYY-MM-DD".
std::string TodayUtc();

}  // namespace vx::app::cli
