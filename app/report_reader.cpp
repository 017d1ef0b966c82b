#include "app/report_reader.h"

#include <limits>
#include <utility>

#include "platform/json/json_reader.h"

namespace vx::app::cli {
namespace {

using json::Json;

// A line's fields, read with the line's place in every message.
class Fields {
 public:
  Fields(const std::string& name, std::size_t line) : where_(name + ":" + std::to_string(line)) {}

  [[noreturn]] void Fail(const std::string& why) const {
    throw ReportReadError(where_ + ": " + why);
  }

  const Json& Member(const Json& object, const char* key, const std::string& in) const {
    const auto it = object.find(key);
    if (it == object.end()) Fail(in + "has no \"" + key + "\"");
    return *it;
  }

  std::string String(const Json& object, const char* key, const std::string& in) const {
    const Json& v = Member(object, key, in);
    if (!v.is_string()) Fail(in + "\"" + key + "\" is not a string");
    return v.get<std::string>();
  }

  // A string, or "" for null or when absent.
  std::string OptionalString(const Json& object, const char* key, const std::string& in) const {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return {};
    if (!it->is_string()) Fail(in + "\"" + key + "\" is neither a string nor null");
    return it->get<std::string>();
  }

  std::uint64_t Unsigned(const Json& v, const char* key, const std::string& in,
                         std::uint64_t min = 0) const {
    if (!v.is_number_unsigned() || v.get<std::uint64_t>() < min)
      Fail(in + "\"" + key + "\" is not a whole number" + (min > 0 ? " from 1" : ""));
    return v.get<std::uint64_t>();
  }

  std::size_t Size(const Json& object, const char* key, const std::string& in,
                   std::uint64_t min = 0) const {
    const std::uint64_t v = Unsigned(Member(object, key, in), key, in, min);
    if (v > std::numeric_limits<std::size_t>::max()) Fail(in + "\"" + key + "\" is too large");
    return static_cast<std::size_t>(v);
  }

  bool Bool(const Json& object, const char* key, const std::string& in) const {
    const Json& v = Member(object, key, in);
    if (!v.is_boolean()) Fail(in + "\"" + key + "\" is not true or false");
    return v.get<bool>();
  }

 private:
  std::string where_;
};

FindingOccurrence ReadOccurrence(const Fields& f, const Json& o, const std::string& in) {
  if (!o.is_object()) f.Fail(in + "is not an object");
  FindingOccurrence out;
  out.at.line = f.Size(o, "line", in, 1);
  out.at.column = f.Size(o, "column", in, 1);
  out.at.offset = f.Size(o, "offset", in);
  // Written by --shard runs only, for SARIF's byteLength after a merge.
  if (o.contains("length")) out.at.length = f.Size(o, "length", in);
  const std::string context = f.String(o, "context", in);
  const auto c = check::ContextFromName(context);
  if (!c) f.Fail(in + "has an unknown context \"" + context + "\"");
  out.at.context = *c;
  out.at.element = f.OptionalString(o, "element", in);
  out.snippet = f.String(o, "snippet", in);
  return out;
}

ReportedFinding ReadFinding(const Fields& f, const Json& j, const std::string& in,
                            const ReportReadLimits& limits) {
  if (!j.is_object()) f.Fail(in + "is not an object");
  ReportedFinding out;
  out.number = f.Size(j, "rule", in, 1);
  // Reports before rule sets had neither.
  if (j.contains("id")) out.id = f.String(j, "id", in);
  if (j.contains("severity")) out.severity = f.String(j, "severity", in);
  if (!out.severity.empty() && !check::SeverityFromName(out.severity))
    f.Fail(in + "has an unknown severity \"" + out.severity + "\"");
  if (!limits.rules_by_id || out.id.empty() || j.contains("label") || j.contains("description")) {
    out.label = f.String(j, "label", in);
    out.description = f.String(j, "description", in);
  }
  // A header rule's finding has no place in the text: line and column 0.
  out.at.line = f.Size(j, "line", in, 0);
  out.at.column = f.Size(j, "column", in, 0);
  const bool has_count = j.contains("count"), has_list = j.contains("occurrences");
  if (has_count != has_list) f.Fail(in + "has \"count\" or \"occurrences\" without the other");
  if (has_count) {
    out.has_occurrences = true;
    out.count = f.Size(j, "count", in);
    const Json& list = j.at("occurrences");
    if (!list.is_array()) f.Fail(in + "\"occurrences\" is not a list");
    if (list.size() > limits.max_occurrences || list.size() > out.count)
      f.Fail(in + "has more occurrences than " +
             (list.size() > out.count ? "its count" : std::to_string(limits.max_occurrences)));
    for (std::size_t k = 0; k < list.size(); ++k)
      out.occurrences.push_back(
          ReadOccurrence(f, list[k], in + "occurrence " + std::to_string(k + 1) + " "));
    for (const FindingOccurrence& o : out.occurrences) {
      if (o.at.line == out.at.line && o.at.column == out.at.column) {
        out.snippet = o.snippet;
        break;
      }
    }
  }
  out.suppressed = f.OptionalString(j, "suppressed", in);
  if (j.contains("baseline")) {
    const std::string state = f.String(j, "baseline", in);
    if (state != "new" && state != "unchanged")
      f.Fail(in + "\"baseline\" is neither \"new\" nor \"unchanged\"");
    out.baseline = state == "new" ? BaselineState::New : BaselineState::Unchanged;
  }
  return out;
}

AbsentFinding ReadAbsent(const Fields& f, const Json& j, const std::string& in) {
  if (!j.is_object()) f.Fail(in + "is not an object");
  AbsentFinding out;
  out.number = f.Size(j, "rule", in, 1);
  out.id = f.OptionalString(j, "id", in);
  out.label = f.String(j, "label", in);
  out.description = f.String(j, "description", in);
  out.severity = f.OptionalString(j, "severity", in);
  out.at.line = f.Size(j, "line", in, 1);
  out.at.column = f.Size(j, "column", in, 1);
  out.snippet = f.OptionalString(j, "snippet", in);
  return out;
}

ReportRecord ReadRecord(const Fields& f, const Json& j, const ReportReadLimits& limits) {
  if (!j.is_object()) f.Fail("not a report line (a JSON object of vettrix check --json)");
  // The one field every version wrote first: without it, this is no report.
  if (!j.contains("address") || !j.contains("findings"))
    f.Fail("not a report line of vettrix check --json (no \"address\" and \"findings\")");
  ReportRecord r;
  r.address = f.String(j, "address", "");
  if (j.contains("index")) r.index = f.Unsigned(j.at("index"), "index", "");
  r.ok = f.Bool(j, "ok", "");
  r.error = f.OptionalString(j, "error", "");
  if (!r.ok && !(j.contains("error") && j.at("error").is_string()))
    f.Fail("a failure without an \"error\"");
  const Json& status = f.Member(j, "status", "");
  if (!status.is_null()) {
    const std::uint64_t s = f.Unsigned(status, "status", "", 1);
    if (s > 999) f.Fail("\"status\" is not an HTTP status");
    r.status = static_cast<long>(s);
  }
  r.final_address = f.OptionalString(j, "final_address", "");
  const Json& server = f.Member(j, "server", "");
  r.server = f.OptionalString(j, "server", "");
  r.bytes = f.Size(j, "bytes", "");
  const bool by_scheme = r.address.starts_with("http://") || r.address.starts_with("https://") ||
                         r.address.starts_with("HTTP://") || r.address.starts_with("HTTPS://");
  r.web = r.status > 0 || (j.contains("final_address") && !j.at("final_address").is_null()) ||
          !server.is_null() || by_scheme;
  const Json& findings = j.at("findings");
  if (!findings.is_array()) f.Fail("\"findings\" is not a list");
  if (findings.size() > limits.max_findings)
    f.Fail("more than " + std::to_string(limits.max_findings) + " findings");
  if (!r.ok && !findings.empty()) f.Fail("a failure with findings");
  for (std::size_t k = 0; k < findings.size(); ++k)
    r.findings.push_back(
        ReadFinding(f, findings[k], "finding " + std::to_string(k + 1) + " ", limits));
  if (j.contains("absent")) {
    const Json& absent = j.at("absent");
    if (!absent.is_array()) f.Fail("\"absent\" is not a list");
    if (absent.size() > limits.max_findings)
      f.Fail("more than " + std::to_string(limits.max_findings) + " absent findings");
    r.absent.emplace();
    for (std::size_t k = 0; k < absent.size(); ++k)
      r.absent->push_back(ReadAbsent(f, absent[k], "absent " + std::to_string(k + 1) + " "));
  }
  return r;
}

}  // namespace

JsonReportReader::JsonReportReader(std::istream& in, std::string name, ReportReadLimits limits)
    : in_(in), name_(std::move(name)), limits_(limits) {}

std::optional<ReportRecord> JsonReportReader::Next() {
  std::streambuf* buf = in_.rdbuf();
  std::string line;
  for (;;) {
    line.clear();
    bool any = false;
    for (;;) {
      const int c = buf ? buf->sbumpc() : std::char_traits<char>::eof();
      if (c == std::char_traits<char>::eof()) break;
      any = true;
      if (c == '\n') break;
      if (line.size() >= limits_.max_line_bytes) {
        throw ReportReadError(name_ + ":" + std::to_string(line_ + 1) + ": a line longer than " +
                              std::to_string(limits_.max_line_bytes) + " bytes");
      }
      line += static_cast<char>(c);
    }
    if (!any) {
      if (in_.bad()) throw ReportReadError(name_ + ": cannot be read");
      return std::nullopt;
    }
    ++line_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const Fields fields(name_, line_);
    Json j;
    try {
      j = json::Parse(line, name_ + ":" + std::to_string(line_));
    } catch (const json::JsonReadError& e) {
      fields.Fail("not a report line of vettrix check --json (" + e.reason() + ")");
    }
    ReportRecord r = ReadRecord(fields, j, limits_);
    r.line = line_;
    return r;
  }
}

std::vector<ReportRecord> ReadJsonReport(std::istream& in, std::string_view name,
                                         ReportReadLimits limits) {
  JsonReportReader reader(in, std::string(name), limits);
  std::vector<ReportRecord> out;
  while (std::optional<ReportRecord> r = reader.Next()) out.push_back(std::move(*r));
  return out;
}

std::optional<std::size_t> FindReportedRule(const ReportedFinding& finding,
                                            const check::RuleSet& rules) {
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const check::Rule& r = rules[i];
    if (!finding.id.empty()) {
      if (r.id == finding.id) return i;
    } else if (r.classic != check::kNotClassic && r.classic + 1 == finding.number &&
               r.label == finding.label) {
      // Reports without ids knew the classic rules alone, by number.
      return i;
    }
  }
  return std::nullopt;
}

Outcome ToOutcome(const ReportRecord& record, const check::RuleSet& rules, std::string_view name) {
  Outcome o;
  o.ok = record.ok;
  o.web = record.web;
  o.error = record.error;
  o.status = record.status;
  o.final_address = record.final_address;
  o.server = record.server;
  if (o.ok) o.server_line = "Web Server: " + record.server;
  o.bytes = record.bytes;
  if (record.absent) o.absent = *record.absent;
  for (const ReportedFinding& f : record.findings) {
    const std::optional<std::size_t> rule = FindReportedRule(f, rules);
    if (!rule) {
      throw ReportReadError(
          std::string(name) + ":" + std::to_string(record.line) + ": rule " +
          (f.id.empty() ? std::to_string(f.number) + " (" + f.label + ")" : "\"" + f.id + "\"") +
          " is not in the active rule set");
    }
    o.findings.push_back(
        Finding{*rule, f.at, f.count, f.occurrences, f.snippet, f.baseline, f.suppressed});
  }
  return o;
}

}  // namespace vx::app::cli
