// The options of `vettrix check`, as the command line gives them.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_baseline.h"
#include "app/cli_ignore.h"
#include "app/cli_report.h"
#include "app/cli_rules.h"
#include "app/rules.h"
#include "platform/fetch/batch.h"

namespace vx::app::cli {

struct Options {
  Format format = Format::Human;
  // Fetch options, transfers in flight, per-host limit, rate and retries.
  net::BatchOptions batch;
  std::vector<std::string> addresses;  // from the command line, checked first
  std::vector<std::string> lists;      // files of addresses ("-" is standard input)
  std::vector<std::string> archives;   // web archives (--warc), read after the rest
  bool recursive = false;
  bool unordered = false;
  bool quiet = false;
  ReportStyle style;
  // What the check places: occurrences, their limit and the ignored contexts.
  check::CheckOptions check;
  std::optional<std::string> output;  // the report goes to this file instead
  // When set, status 1 means that one of these rules (indices into the
  // active set) matched.
  std::optional<std::vector<bool>> fail_on;
  // --fail-on http-error: a final status other than 2xx counts for status 1.
  bool fail_on_http_error = false;
  // As given, resolved against the rule set once the command line is read.
  std::vector<std::string> fail_on_terms;
  RuleChoice rule_choice;
  // --baseline: the earlier report, and the findings it is read against.
  std::optional<std::string> baseline_path;
  std::shared_ptr<const Baseline> baseline;
  // --fail-on new: only findings new against the baseline count for status 1.
  bool fail_on_new = false;
  // --ignore: the suppression file, and its entries that apply today.
  std::optional<std::string> ignore_path;
  std::shared_ptr<const Suppressions> suppressions;
  // Told on standard error before the run (suppressions that ended).
  std::vector<std::string> warnings;
  // Only the addresses at positions K, K+N, K+2N... (1-based) are checked.
  unsigned shard = 1;
  unsigned shards = 1;
  // --shard-by hash: by the address's hash instead of its position.
  bool shard_by_hash = false;
  // --resume FILE: the journal of finished addresses; --resume-force takes
  // one of other options.
  std::optional<std::string> resume;
  bool resume_force = false;
};

// Whether a finding counts for status 1: not suppressed, new when --fail-on
// new asks for that, and of the rules --fail-on chose. One rule for check and
// merge, so a merged run ends as the unsharded one would.
[[nodiscard]] inline bool CountsForStatus(const Options& options, const Finding& f) {
  if (!f.suppressed.empty()) return false;
  if (options.fail_on_new && f.baseline != BaselineState::New) return false;
  return !options.fail_on || (*options.fail_on)[f.rule];
}

// Whether an address's result makes the run's status 1 (its findings, or an
// HTTP error with --fail-on http-error).
[[nodiscard]] inline bool OutcomeCountsForStatus(const Options& options, const Outcome& o) {
  for (const Finding& f : o.findings) {
    if (CountsForStatus(options, f)) return true;
  }
  return options.fail_on_http_error && o.ok && o.web && IsHttpError(o.status);
}

}  // namespace vx::app::cli
