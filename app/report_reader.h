// Reading our own `--json` reports back: one record per line, as every
// version of the program has written them (the first ones had no "id" and
// "severity" in their findings, none has "count" and "occurrences" without
// --occurrences, only --shard runs write "index"). `vettrix merge` and
// `--baseline` read reports through here; the file is someone else's, so
// lines and nesting are bounded and each error names the file and line.
//
// Stable API: other parts (the resume journal among them) read reports with
// JsonReportReader or ReadJsonReport, and make report records again with
// ToOutcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_set.h"
#include "app/cli_report.h"

namespace vx::app::cli {

// What is not a report of ours, or breaks a limit. what() is
// "NAME:LINE: reason" (or "NAME: reason" for the whole file).
struct ReportReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ReportReadLimits {
  // One address's line: 100 occurrences of each of many rules, with their
  // snippets, stay far below.
  std::size_t max_line_bytes = std::size_t{64} << 20;
  std::size_t max_findings = 100000;      // in one record
  std::size_t max_occurrences = 1000000;  // in one finding
  // A finding with an id may leave out its label and description, as the
  // journal's own records do; reports always carry them.
  bool rules_by_id = false;
};

// A finding as the report wrote it. Rules are named, not indexed: a report
// may come from another rule set than the reader's.
struct ReportedFinding {
  std::size_t number = 0;  // "rule"
  std::string id;          // "" in reports written before rules had ids
  std::string label;
  std::string description;
  std::string severity;  // "" in reports written before rules had severities
  LineColumn at;
  bool has_occurrences = false;  // written with --occurrences
  std::size_t count = 0;
  std::vector<FindingOccurrence> occurrences;
  // The snippet of the first occurrence that counts, when the occurrences
  // listed hold it (the one at the finding's line and column); else "".
  std::string snippet;
  BaselineState baseline = BaselineState::None;  // "baseline", when written
  std::string suppressed;                        // "suppressed": the reason
};

// One address's line.
struct ReportRecord {
  std::size_t line = 0;  // in its file, 1-based
  std::string address;
  std::optional<std::uint64_t> index;  // position in the whole input (--shard runs)
  bool ok = false;
  // Fetched over http(s). Reports do not write it: it is told by the status,
  // final address and server, else (a fetch that got no answer) by the
  // address's scheme.
  bool web = false;
  std::string error;
  long status = 0;  // 0 for null
  std::string final_address;
  std::string server;
  std::size_t bytes = 0;
  std::vector<ReportedFinding> findings;
  // "absent", written by runs with a baseline.
  std::optional<std::vector<AbsentFinding>> absent;
};

// Reads a report line by line; memory is that of one line.
class JsonReportReader {
 public:
  // `name` names the report in messages (its path, or "-").
  JsonReportReader(std::istream& in, std::string name, ReportReadLimits limits = {});

  // The next record; nullopt at the end. Blank lines are skipped. Throws
  // ReportReadError for a line that is not one of our records, and when the
  // stream cannot be read.
  std::optional<ReportRecord> Next();

  const std::string& name() const { return name_; }

 private:
  std::istream& in_;
  std::string name_;
  ReportReadLimits limits_;
  std::size_t line_ = 0;
};

// Every record of a report, in its order.
[[nodiscard]] std::vector<ReportRecord> ReadJsonReport(std::istream& in, std::string_view name,
                                                       ReportReadLimits limits = {});

// The index in `rules` of a reported finding's rule: by id, or for reports
// without ids by the classic number and label; nullopt when the set has no
// such rule.
[[nodiscard]] std::optional<std::size_t> FindReportedRule(const ReportedFinding& finding,
                                                          const check::RuleSet& rules);

// The record as the report writers take it, its findings' rules looked up in
// `rules`. Throws ReportReadError ("NAME:LINE: ...") for a rule the set has
// not.
[[nodiscard]] Outcome ToOutcome(const ReportRecord& record, const check::RuleSet& rules,
                                std::string_view name);

}  // namespace vx::app::cli
