// What `vettrix check` reports about each address, and the report formats:
// plain text, JSON lines, CSV and SARIF. Writers append to a string that the
// caller flushes after each address, so a report streams while a run goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/check.h"
#include "app/text_position.h"

namespace vx::app::cli {

// One occurrence as a report shows it.
struct FindingOccurrence {
  check::Occurrence at;
  std::string snippet;  // the page around it (check::SnippetAt)
};

// How a finding stands against a baseline (--baseline).
enum class BaselineState : std::uint8_t { None, New, Unchanged };

struct Finding {
  std::size_t rule = 0;  // 0-based index into the rule set
  LineColumn at;         // the first occurrence that matched
  // With occurrences asked for: how many there are, and the first ones.
  std::size_t count = 0;
  std::vector<FindingOccurrence> occurrences;
  // The page around the first occurrence that matched: with the rule and
  // the address, what
  // names a finding from one run to the next (its line moves with edits).
  std::string snippet;
  BaselineState baseline = BaselineState::None;
  // Accepted by a suppression (--ignore): its reason, "" when not. Human and
  // CSV output leave it out; JSON and SARIF tell it with the reason.
  std::string suppressed;
};

// A finding of the baseline that the page no longer has, as the baseline
// wrote it.
struct AbsentFinding {
  std::size_t number = 0;  // "rule"
  std::string id;          // "" when the baseline had no ids
  std::string label;
  std::string description;
  std::string severity;  // "" when the baseline had no severities
  LineColumn at;
  std::string snippet;  // "" when the baseline had no occurrences
};

// The check of one address.
struct Outcome {
  bool ok = false;
  bool web = false;  // fetched over http(s), not a file or standard input
  std::string error;
  long status = 0;
  std::string final_address;
  std::string server_line;  // "Web Server: ..." as the run set it
  std::string server;
  std::size_t bytes = 0;
  std::vector<Finding> findings;
  // The address's position in the whole input, from 0: JSON tells it for a
  // shard's output, so the shards can be merged back in order.
  std::optional<std::uint64_t> index;
  // With a baseline: its findings of this address that are gone.
  std::vector<AbsentFinding> absent;
};

// What a report tells of where a page came from.
struct PageFacts {
  bool web = false;  // fetched over http(s), not a file or standard input
  long status = 0;   // the final response's, 0 when none arrived
  std::string final_address;
  std::string server;  // the final response's server header
};

// The report record of a page that was read: its facts and what the check
// found in `text` (the page as checked), with snippets for the occurrences.
// The command line and the window both make theirs here.
[[nodiscard]] Outcome MakeOutcome(const PageFacts& facts, std::string_view text,
                                  const check::CheckResult& result);

// The record of a page that could not be read.
[[nodiscard]] Outcome MakeFailure(const PageFacts& facts, std::string error);

enum class Format { Human, Json, Csv, Sarif };

// What a report's end may tell about the whole run.
struct RunSummary {
  int exit_status = 0;
  bool complete = true;  // false when the run was interrupted
};

class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  // Whether more than one address is checked; known before the first Item.
  virtual void SetSeveral(bool) {}
  virtual void Begin(std::string&) {}
  virtual void Item(std::string& out, const std::string& address, const Outcome& outcome) = 0;
  virtual void End(std::string&, const RunSummary&) {}
};

// How a writer writes what its format leaves open.
struct ReportStyle {
  // CSV cells that start with '=', '+', '-', '@', a tab or a carriage return
  // get a leading apostrophe, so that a spreadsheet shows them as text instead
  // of running them as formulas.
  bool csv_safe = false;
  // Every finding's count and occurrences: JSON fields, a CSV line each,
  // SARIF locations, and under human findings when `verbose`.
  bool occurrences = false;
  bool verbose = false;
  // JSON tells what a merge of shards needs besides: each occurrence's
  // length in bytes (SARIF's byteLength). Set by --shard.
  bool for_merge = false;
  // Findings are told as new or unchanged against a baseline, and each
  // address's absent ones are listed (--baseline).
  bool baseline = false;
  // Findings name their rule by number and id alone, without its label,
  // description and severity: the journal's records, which only a run of the
  // same rules reads back (they were more than half of each record).
  bool rules_by_id = false;
  // The rules the findings' indices refer to; none: the twenty classic ones.
  std::shared_ptr<const check::RuleSet> rules;
};

[[nodiscard]] std::unique_ptr<ReportWriter> MakeReportWriter(Format format, ReportStyle style = {});

// Whether a final HTTP status is one of success (2xx); 0 (no answer, or no
// web page) counts as none.
[[nodiscard]] inline bool IsHttpError(long status) {
  return status > 0 && (status < 200 || status > 299);
}

// "404 Not Found": the code and its standard reason phrase (the code alone
// when it has none).
[[nodiscard]] std::string HttpStatusText(long status);

// What a run of several addresses came to, told on standard error at its end.
struct RunCounts {
  std::size_t addresses = 0;
  std::size_t failed = 0;
  std::size_t http_errors = 0;  // checked, with a final status other than 2xx
  // Findings left out by suppressions, told when suppressions were given.
  std::optional<std::size_t> suppressed;
};
[[nodiscard]] std::string SummaryText(const RunCounts& counts);

// `text` as a JSON string, quotes included. Besides what JSON requires, DEL,
// the C1 controls and U+2028/U+2029 are escaped (a terminal or a script reading
// the report must not meet them raw), and bytes that are not UTF-8 become
// U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

// `text` as one CSV field (RFC 4180): quoted when it holds a comma, a quote, a
// line break or leading or trailing space, quotes doubled. Control characters
// other than tab and line breaks, DEL, C1 controls and bytes that are not
// UTF-8 become U+FFFD.
void AppendCsvField(std::string& out, std::string_view text);

// The same with ReportStyle::csv_safe's guard against formulas.
void AppendSafeCsvField(std::string& out, std::string_view text);

// A text as a terminal may safely show it: control characters (C0 but tab,
// DEL and C1, which terminals may take as the start of an escape sequence),
// direction controls and bytes that are no UTF-8 are written as escapes
// (text::EscapeForDisplay).
[[nodiscard]] std::string Printable(std::string_view text);

// The URI a SARIF report names a page by: web addresses as requested (http
// when they have no scheme), relative paths as relative references, absolute
// paths as file: URIs; characters a URI cannot hold are %-escaped.
[[nodiscard]] std::string PageUri(const std::string& address, bool web);

// The SARIF level of a severity: note for info and low, warning for medium,
// error for high and critical.
[[nodiscard]] std::string_view SarifLevel(check::Severity severity);

// The score code-scanning services rank a severity by ("security-severity").
[[nodiscard]] std::string_view SecuritySeverity(check::Severity severity);

}  // namespace vx::app::cli
