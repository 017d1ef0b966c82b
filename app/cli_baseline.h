// --baseline: an earlier run's JSON report, against which this run's
// findings are new or unchanged, and the earlier ones gone are absent.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/check/rule_set.h"
#include "app/cli_report.h"

namespace vx::app::cli {

class Baseline {
 public:
  // Reads the report at `path` (of any version we wrote). Throws
  // ReportReadError naming the file and line.
  Baseline(const std::string& path, std::shared_ptr<const check::RuleSet> rules);

  // Marks each of `o`'s findings new or unchanged and lists the baseline's
  // findings of `address` that it no longer has. A finding is the same when
  // its address, rule and the snippet of its first counting occurrence are;
  // a baseline finding without a snippet (written without --occurrences)
  // matches on the address and rule alone.
  void Apply(const std::string& address, Outcome& o) const;

 private:
  struct Entry {
    std::string id;  // the rule's id in the active set ("" when it has none)
    AbsentFinding as_written;
  };
  std::shared_ptr<const check::RuleSet> rules_;
  std::unordered_map<std::string, std::vector<Entry>> by_address_;
};

}  // namespace vx::app::cli
