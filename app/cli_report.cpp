#include "app/cli_report.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "app/rules.h"
#include "platform/text/utf8.h"
#include "vettrix_version.h"

namespace vx::app::cli {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes
// there are not one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k <= need; ++k) {
    if (i + k >= text.size()) return 0;
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) return 0;
  }
  return need + 1;
}

// The code point of the well-formed sequence of `len` bytes at text[i].
std::uint32_t CodePoint(std::string_view text, std::size_t i, std::size_t len) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (len == 1) return b;
  std::uint32_t cp = b & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
  for (std::size_t k = 1; k < len; ++k)
    cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return cp;
}

bool IsControl(std::uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

void AppendHexEscape(std::string& out, std::uint32_t cp) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
  out += buf;
}

const check::RuleSet& SetOf(const std::shared_ptr<const check::RuleSet>& rules) {
  static const std::shared_ptr<const check::RuleSet> classic = check::RuleSet::Classic();
  return rules ? *rules : *classic;
}

// A number, without the temporary std::to_string makes: a record has a few
// dozen of them.
template <typename Int>
void AppendNumber(std::string& out, Int value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

void AppendJsonOccurrences(std::string& out, const Finding& f, bool for_merge) {
  out += ",\"count\":";
  AppendNumber(out, f.count);
  out += ",\"occurrences\":[";
  for (std::size_t k = 0; k < f.occurrences.size(); ++k) {
    const FindingOccurrence& o = f.occurrences[k];
    if (k > 0) out += ',';
    out += "{\"line\":";
    AppendNumber(out, o.at.line);
    out += ",\"column\":";
    AppendNumber(out, o.at.column);
    out += ",\"offset\":";
    AppendNumber(out, o.at.offset);
    if (for_merge) {
      out += ",\"length\":";
      AppendNumber(out, o.at.length);
    }
    out += ",\"context\":\"";
    out += check::ContextName(o.at.context);
    out += "\",\"element\":";
    if (o.at.element.empty()) {
      out += "null";
    } else {
      AppendJsonString(out, o.at.element);
    }
    out += ",\"snippet\":";
    AppendJsonString(out, o.snippet);
    out += '}';
  }
  out += ']';
}

std::string_view BaselineName(BaselineState state) {
  return state == BaselineState::New ? "new" : "unchanged";
}

void AppendJsonAbsent(std::string& out, const std::vector<AbsentFinding>& absent) {
  out += ",\"absent\":[";
  for (std::size_t i = 0; i < absent.size(); ++i) {
    const AbsentFinding& a = absent[i];
    if (i > 0) out += ',';
    out += "{\"rule\":" + std::to_string(a.number);
    if (!a.id.empty()) {
      out += ",\"id\":";
      AppendJsonString(out, a.id);
    }
    out += ",\"label\":";
    AppendJsonString(out, a.label);
    out += ",\"description\":";
    AppendJsonString(out, a.description);
    if (!a.severity.empty()) {
      out += ",\"severity\":";
      AppendJsonString(out, a.severity);
    }
    out += ",\"line\":" + std::to_string(a.at.line);
    out += ",\"column\":" + std::to_string(a.at.column);
    if (!a.snippet.empty()) {
      out += ",\"snippet\":";
      AppendJsonString(out, a.snippet);
    }
    out += '}';
  }
  out += ']';
}

class HumanWriter : public ReportWriter {
 public:
  explicit HumanWriter(const ReportStyle& style) : verbose_(style.verbose), rules_(style.rules) {}
  void SetSeveral(bool several) override { several_ = several; }
  void Item(std::string& out, const std::string& address, const Outcome& o) override {
    if (several_) {
      out += "== ";
      out += Printable(address);
      out += '\n';
    }
    if (!o.ok) return;
    if (o.web) {
      out += Printable(o.server_line);
      out += '\n';
      // The server's error page is checked like any page, but it is not the
      // page the address names: that must not pass for a clean check.
      if (IsHttpError(o.status)) {
        out += "Status: ";
        out += HttpStatusText(o.status);
        out += '\n';
      }
    }
    const check::RuleSet& set = SetOf(rules_);
    for (const Finding& f : o.findings) {
      if (!f.suppressed.empty()) continue;
      const check::Rule& r = set[f.rule];
      out += r.label;
      out += '\t';
      out += r.description;
      // What a baseline did not have stands out.
      if (f.baseline == BaselineState::New) out += "\t(new)";
      out += '\n';
      if (!verbose_) continue;
      for (const FindingOccurrence& at : f.occurrences) {
        out += "  " + std::to_string(at.at.line) + ':' + std::to_string(at.at.column) + ' ';
        out += check::ContextName(at.at.context);
        if (!at.at.element.empty()) out += " <" + at.at.element + '>';
        out += ' ';
        out += Printable(at.snippet);
        out += '\n';
      }
      if (f.count > f.occurrences.size())
        out += "  (" + std::to_string(f.count - f.occurrences.size()) + " more)\n";
    }
  }

 private:
  bool verbose_ = false;
  std::shared_ptr<const check::RuleSet> rules_;
  bool several_ = false;
};

class JsonWriter : public ReportWriter {
 public:
  explicit JsonWriter(const ReportStyle& style)
      : occurrences_(style.occurrences),
        for_merge_(style.for_merge),
        baseline_(style.baseline),
        rules_(style.rules) {
    // A finding's rule fields are the same every time: escaped once here
    // rather than for each finding (with --resume, twice a finding).
    const check::RuleSet& set = SetOf(rules_);
    rule_fields_.reserve(set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
      const check::Rule& r = set[i];
      std::string fields = "{\"rule\":";
      AppendNumber(fields, set.Number(i));
      fields += ",\"id\":";
      AppendJsonString(fields, r.id);
      if (style.rules_by_id) {
        fields += ",\"line\":";
        rule_fields_.push_back(std::move(fields));
        continue;
      }
      fields += ",\"label\":";
      AppendJsonString(fields, r.label);
      fields += ",\"description\":";
      AppendJsonString(fields, r.description);
      fields += ",\"severity\":\"";
      fields += check::SeverityName(r.severity);
      fields += "\",\"line\":";
      rule_fields_.push_back(std::move(fields));
    }
  }
  void Item(std::string& out, const std::string& address, const Outcome& o) override {
    out += "{\"address\":";
    AppendJsonString(out, address);
    if (o.index) {
      out += ",\"index\":";
      AppendNumber(out, *o.index);
    }
    out += ",\"ok\":";
    out += o.ok ? "true" : "false";
    out += ",\"error\":";
    if (o.ok) {
      out += "null";
    } else {
      AppendJsonString(out, o.error);
    }
    out += ",\"status\":";
    if (o.web && o.status > 0) {
      AppendNumber(out, o.status);
    } else {
      out += "null";
    }
    out += ",\"final_address\":";
    if (o.web && !o.final_address.empty()) {
      AppendJsonString(out, o.final_address);
    } else {
      out += "null";
    }
    out += ",\"server\":";
    if (o.web && o.ok) {
      AppendJsonString(out, o.server);
    } else {
      out += "null";
    }
    out += ",\"bytes\":";
    AppendNumber(out, o.bytes);
    out += ",\"findings\":[";
    for (std::size_t i = 0; i < o.findings.size(); ++i) {
      const Finding& f = o.findings[i];
      if (i > 0) out += ',';
      out += rule_fields_.at(f.rule);
      AppendNumber(out, f.at.line);
      out += ",\"column\":";
      AppendNumber(out, f.at.column);
      if (occurrences_) AppendJsonOccurrences(out, f, for_merge_);
      if (f.baseline != BaselineState::None) {
        out += ",\"baseline\":\"";
        out += BaselineName(f.baseline);
        out += '"';
      }
      if (!f.suppressed.empty()) {
        out += ",\"suppressed\":";
        AppendJsonString(out, f.suppressed);
      }
      out += '}';
    }
    out += ']';
    if (baseline_) AppendJsonAbsent(out, o.absent);
    out += "}\n";
  }

 private:
  bool occurrences_ = false;
  bool for_merge_ = false;
  bool baseline_ = false;
  std::shared_ptr<const check::RuleSet> rules_;
  // Per rule: `{"rule":N,"id":...,"severity":"...","line":`.
  std::vector<std::string> rule_fields_;
};

class CsvWriter : public ReportWriter {
 public:
  explicit CsvWriter(const ReportStyle& style)
      : field_(style.csv_safe ? AppendSafeCsvField : AppendCsvField),
        occurrences_(style.occurrences),
        rules_(style.rules) {}
  void Begin(std::string& out) override {
    out += occurrences_ ? "address,rule,label,description,line,column,context,element\r\n"
                        : "address,rule,label,description,line,column\r\n";
  }
  void Item(std::string& out, const std::string& address, const Outcome& o) override {
    for (const Finding& f : o.findings) {
      if (!f.suppressed.empty()) continue;
      if (!occurrences_) {
        Line(out, address, f.rule, f.at.line, f.at.column);
        out += "\r\n";
        continue;
      }
      // A line per occurrence.
      for (const FindingOccurrence& at : f.occurrences) {
        Line(out, address, f.rule, at.at.line, at.at.column);
        out += ',';
        out += check::ContextName(at.at.context);
        out += ',';
        field_(out, at.at.element);
        out += "\r\n";
      }
    }
  }

 private:
  void Line(std::string& out, const std::string& address, std::size_t rule, std::size_t line,
            std::size_t column) {
    const check::RuleSet& set = SetOf(rules_);
    const check::Rule& r = set[rule];
    field_(out, address);
    out += ',';
    out += std::to_string(set.Number(rule));
    out += ',';
    field_(out, r.label);
    out += ',';
    field_(out, r.description);
    out += ',';
    out += std::to_string(line);
    out += ',';
    out += std::to_string(column);
  }

  void (*field_)(std::string&, std::string_view);
  bool occurrences_ = false;
  std::shared_ptr<const check::RuleSet> rules_;
};

// One run, the rule table as the driver's rules, one result per finding. The
// results stream; failures are told at the end as notifications.
class SarifWriter : public ReportWriter {
 public:
  explicit SarifWriter(const ReportStyle& style)
      : occurrences_(style.occurrences), rules_(style.rules) {}
  void Begin(std::string& out) override {
    out +=
        "{\"$schema\":\"https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/"
        "sarif-schema-2.1.0.json\",\"version\":\"2.1.0\",\"runs\":[{\"tool\":{\"driver\":{"
        "\"name\":\"Vettrix\",\"version\":\"" VETTRIX_VERSION "\",\"rules\":[";
    const check::RuleSet& set = SetOf(rules_);
    for (std::size_t i = 0; i < set.size(); ++i) {
      const check::Rule& r = set[i];
      if (i > 0) out += ',';
      out += "\n{\"id\":";
      AppendJsonString(out, r.id);
      out += ",\"name\":";
      AppendJsonString(out, r.label);
      out += ",\"shortDescription\":{\"text\":";
      AppendJsonString(out, r.description);
      out += "},\"defaultConfiguration\":{\"level\":\"";
      out += SarifLevel(r.severity);
      // Code-scanning services rank results by this score, and filter by tags.
      out += "\"},\"properties\":{\"security-severity\":\"";
      out += SecuritySeverity(r.severity);
      out += "\",\"tags\":[";
      for (std::size_t t = 0; t < r.tags.size(); ++t) {
        if (t > 0) out += ',';
        AppendJsonString(out, r.tags[t]);
      }
      out += "]}}";
    }
    out += "]}},\"columnKind\":\"unicodeCodePoints\",\"results\":[";
  }

  void Item(std::string& out, const std::string& address, const Outcome& o) override {
    if (!o.ok) {
      if (failures_.size() < kMaxNotifications) {
        failures_.push_back({address, o.web, o.error});
      } else {
        ++more_failures_;
      }
      return;
    }
    const std::string uri = PageUri(address, o.web);
    const check::RuleSet& set = SetOf(rules_);
    for (const Finding& f : o.findings) {
      const check::Rule& r = set[f.rule];
      out += results_ ? ",\n" : "\n";
      ++results_;
      out += "{\"ruleId\":";
      AppendJsonString(out, r.id);
      out += ",\"ruleIndex\":" + std::to_string(f.rule) + ",\"level\":\"";
      out += SarifLevel(r.severity);
      out += '"';
      if (f.baseline != BaselineState::None) {
        out += ",\"baselineState\":\"";
        out += BaselineName(f.baseline);
        out += '"';
      }
      out += ",\"message\":{\"text\":";
      AppendJsonString(out, r.description);
      out += "},\"locations\":[";
      if (!occurrences_) {
        Location(out, uri, f.at.line, f.at.column);
      } else {
        // Each occurrence a location, with its snippet and its place in the
        // markup.
        for (std::size_t k = 0; k < f.occurrences.size(); ++k) {
          const FindingOccurrence& at = f.occurrences[k];
          if (k > 0) out += ',';
          Location(out, uri, at.at.line, at.at.column, &at);
        }
      }
      out += "]";
      if (occurrences_) out += ",\"properties\":{\"count\":" + std::to_string(f.count) + "}";
      if (!f.suppressed.empty()) {
        out += ",\"suppressions\":[{\"kind\":\"external\",\"justification\":";
        AppendJsonString(out, f.suppressed);
        out += "}]";
      }
      out += "}";
    }
    // The baseline's findings that are gone, as results of their own.
    for (const AbsentFinding& a : o.absent) {
      out += results_ ? ",\n" : "\n";
      ++results_;
      out += "{\"ruleId\":";
      AppendJsonString(out, a.id.empty() ? a.label : a.id);
      std::optional<check::Severity> severity = check::SeverityFromName(a.severity);
      for (std::size_t i = 0; i < set.size(); ++i) {
        if (!a.id.empty() && set[i].id == a.id) {
          out += ",\"ruleIndex\":" + std::to_string(i);
          severity = set[i].severity;
          break;
        }
      }
      out += ",\"level\":\"";
      out += SarifLevel(severity.value_or(check::Severity::Info));
      out += "\",\"baselineState\":\"absent\",\"message\":{\"text\":";
      AppendJsonString(out, a.description);
      out += "},\"locations\":[";
      Location(out, uri, a.at.line, a.at.column);
      out += "]}";
    }
  }

  static void Location(std::string& out, const std::string& uri, std::size_t line,
                       std::size_t column, const FindingOccurrence* at = nullptr) {
    out += "{\"physicalLocation\":{\"artifactLocation\":{\"uri\":";
    AppendJsonString(out, uri);
    // A header rule's finding has no place in the text (line 0): no region.
    if (line == 0) {
      out += "}}}";
      return;
    }
    out += "},\"region\":{\"startLine\":" + std::to_string(line) +
           ",\"startColumn\":" + std::to_string(column);
    if (at) {
      out += ",\"byteOffset\":" + std::to_string(at->at.offset) +
             ",\"byteLength\":" + std::to_string(at->at.length) + ",\"snippet\":{\"text\":";
      AppendJsonString(out, at->snippet);
      out += "}";
    }
    out += "}}";
    if (at) {
      out += ",\"properties\":{\"context\":\"";
      out += check::ContextName(at->at.context);
      out += "\",\"element\":";
      if (at->at.element.empty()) {
        out += "null";
      } else {
        AppendJsonString(out, at->at.element);
      }
      out += "}";
    }
    out += "}";
  }

  void End(std::string& out, const RunSummary& summary) override {
    out += "\n],\"invocations\":[{\"executionSuccessful\":";
    out += summary.complete && failures_.empty() ? "true" : "false";
    out += ",\"exitCode\":" + std::to_string(summary.exit_status);
    out += ",\"toolExecutionNotifications\":[";
    bool first = true;
    for (const Failure& f : failures_) {
      out += first ? "\n" : ",\n";
      first = false;
      out += "{\"level\":\"error\",\"message\":{\"text\":";
      AppendJsonString(out, f.address + ": " + f.error);
      out += "},\"locations\":[{\"physicalLocation\":{\"artifactLocation\":{\"uri\":";
      AppendJsonString(out, PageUri(f.address, f.web));
      out += "}}}]}";
    }
    if (more_failures_ > 0) {
      out += first ? "\n" : ",\n";
      out += "{\"level\":\"error\",\"message\":{\"text\":";
      AppendJsonString(out, std::to_string(more_failures_) +
                                " more addresses could not be checked (see the error output)");
      out += "}}";
    }
    out += "]}]}]}\n";
  }

 private:
  static constexpr std::size_t kMaxNotifications = 1000;
  bool occurrences_ = false;
  std::shared_ptr<const check::RuleSet> rules_;
  struct Failure {
    std::string address;
    bool web = false;
    std::string error;
  };
  std::size_t results_ = 0;
  std::vector<Failure> failures_;
  std::size_t more_failures_ = 0;
};

}  // namespace

std::unique_ptr<ReportWriter> MakeReportWriter(Format format, ReportStyle style) {
  switch (format) {
    case Format::Json:
      return std::make_unique<JsonWriter>(style);
    case Format::Csv:
      return std::make_unique<CsvWriter>(style);
    case Format::Sarif:
      return std::make_unique<SarifWriter>(style);
    case Format::Human:
      break;
  }
  return std::make_unique<HumanWriter>(style);
}

std::string_view SarifLevel(check::Severity severity) {
  switch (severity) {
    case check::Severity::Info:
    case check::Severity::Low:
      return "note";
    case check::Severity::Medium:
      return "warning";
    case check::Severity::High:
    case check::Severity::Critical:
      break;
  }
  return "error";
}

std::string_view SecuritySeverity(check::Severity severity) {
  // The bands those services read: low below 4, medium to 6.9, high to 8.9,
  // critical from 9.
  static constexpr std::string_view kScores[] = {"0.0", "2.0", "5.0", "7.5", "9.5"};
  return kScores[static_cast<std::size_t>(severity)];
}

std::string HttpStatusText(long status) {
  struct Phrase {
    long code;
    const char* text;
  };
  static constexpr Phrase kPhrases[] = {
      {100, "Continue"},
      {101, "Switching Protocols"},
      {103, "Early Hints"},
      {200, "OK"},
      {201, "Created"},
      {202, "Accepted"},
      {203, "Non-Authoritative Information"},
      {204, "No Content"},
      {205, "Reset Content"},
      {206, "Partial Content"},
      {300, "Multiple Choices"},
      {301, "Moved Permanently"},
      {302, "Found"},
      {303, "See Other"},
      {304, "Not Modified"},
      {305, "Use Proxy"},
      {307, "Temporary Redirect"},
      {308, "Permanent Redirect"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {402, "Payment Required"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {406, "Not Acceptable"},
      {407, "Proxy Authentication Required"},
      {408, "Request Timeout"},
      {409, "Conflict"},
      {410, "Gone"},
      {411, "Length Required"},
      {412, "Precondition Failed"},
      {413, "Content Too Large"},
      {414, "URI Too Long"},
      {415, "Unsupported Media Type"},
      {416, "Range Not Satisfiable"},
      {417, "Expectation Failed"},
      {421, "Misdirected Request"},
      {422, "Unprocessable Content"},
      {425, "Too Early"},
      {426, "Upgrade Required"},
      {428, "Precondition Required"},
      {429, "Too Many Requests"},
      {431, "Request Header Fields Too Large"},
      {451, "Unavailable For Legal Reasons"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {502, "Bad Gateway"},
      {503, "Service Unavailable"},
      {504, "Gateway Timeout"},
      {505, "HTTP Version Not Supported"},
      {506, "Variant Also Negotiates"},
      {507, "Insufficient Storage"},
      {508, "Loop Detected"},
      {511, "Network Authentication Required"},
  };
  std::string text = std::to_string(status);
  for (const Phrase& p : kPhrases) {
    if (p.code == status) return text + " " + p.text;
  }
  return text;
}

std::string SummaryText(const RunCounts& c) {
  auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = "vettrix: " + count(c.addresses, "address", "addresses") + ": " +
                     std::to_string(c.addresses - c.failed) + " checked, " +
                     std::to_string(c.failed) + " failed, " + std::to_string(c.http_errors) +
                     " with an HTTP status other than 2xx";
  if (c.suppressed) text += ", " + std::to_string(*c.suppressed) + " suppressed";
  return text + "\n";
}

Outcome MakeOutcome(const PageFacts& facts, std::string_view text,
                    const check::CheckResult& result) {
  Outcome out = MakeFailure(facts, {});
  out.ok = true;
  out.server = facts.server;
  out.server_line = "Web Server: " + facts.server;
  out.bytes = text.size();
  for (const check::RuleMatch& m : result.matches) {
    Finding f;
    f.rule = m.rule;
    f.at = {m.first.line, m.first.column};
    f.count = m.count;
    f.snippet = check::SnippetAt(text, m.first);
    for (const check::Occurrence& at : m.occurrences)
      f.occurrences.push_back({at, check::SnippetAt(text, at)});
    out.findings.push_back(std::move(f));
  }
  return out;
}

Outcome MakeFailure(const PageFacts& facts, std::string error) {
  Outcome out;
  out.web = facts.web;
  out.error = std::move(error);
  if (facts.web) {
    out.status = facts.status;
    out.final_address = facts.final_address;
  }
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    // Plain printable ASCII goes in runs.
    std::size_t run = i;
    while (run < text.size()) {
      const auto c = static_cast<unsigned char>(text[run]);
      if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
      ++run;
    }
    out.append(text, i, run - i);
    i = run;
    if (i >= text.size()) break;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t len = Utf8Length(text, i);
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    const std::uint32_t cp = CodePoint(text, i, len);
    switch (cp) {
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        // Line and direction controls are escaped too: a viewer that shows the
        // raw text cannot be made to read one name as another.
        if (IsControl(cp) || cp == 0x2028 || cp == 0x2029 || text::IsBidiControl(cp)) {
          AppendHexEscape(out, cp);
        } else {
          out.append(text, i, len);
        }
    }
    i += len;
  }
  out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  bool quote = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = Utf8Length(text, i);
    if (len == 0) {
      clean += kReplacement;
      ++i;
      continue;
    }
    const std::uint32_t cp = CodePoint(text, i, len);
    if (cp == '\n' || cp == '\r' || cp == ',' || cp == '"') quote = true;
    if (IsControl(cp) && cp != '\t' && cp != '\n' && cp != '\r') {
      clean += kReplacement;
    } else {
      clean.append(text, i, len);
    }
    i += len;
  }
  if (!clean.empty() && (clean.front() == ' ' || clean.back() == ' ' || clean.front() == '\t' ||
                         clean.back() == '\t'))
    quote = true;
  if (!quote) {
    out += clean;
    return;
  }
  out += '"';
  for (char c : clean) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendSafeCsvField(std::string& out, std::string_view text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    AppendCsvField(out, "'" + std::string(text));
  } else {
    AppendCsvField(out, text);
  }
}

std::string Printable(std::string_view text) {
  return text::EscapeForDisplay(text);
}

std::string PageUri(const std::string& address, bool web) {
  // What a URI may hold as it is: unreserved and reserved characters. A file
  // name's '?', '#' and '%' are data, not syntax.
  auto escape = [](std::string_view s, std::string_view also_escape) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : s) {
      const auto c = static_cast<unsigned char>(ch);
      const bool plain =
          (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          std::string_view("-._~:/?#[]@!$&'()*+,;=%").find(ch) != std::string_view::npos;
      if (plain && also_escape.find(ch) == std::string_view::npos) {
        out += ch;
      } else {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
    return out;
  };
  if (web) {
    const std::string url =
        address.find("://") == std::string::npos ? "http://" + address : address;
    // A '%' not starting an escape cannot stand in a URI.
    std::string out;
    for (std::size_t i = 0; i < url.size(); ++i) {
      auto hex = [&](std::size_t k) {
        return k < url.size() && std::isxdigit(static_cast<unsigned char>(url[k]));
      };
      if (url[i] == '%' && !(hex(i + 1) && hex(i + 2))) {
        out += "%25";
      } else {
        out += escape(std::string_view(url).substr(i, 1), "");
      }
    }
    return out;
  }
  if (address.size() >= 5 &&
      (address.compare(0, 5, "file:") == 0 || address.compare(0, 5, "FILE:") == 0))
    return escape(address, "");
  if (address == "-") return "-";
  if (!address.empty() && address.front() == '/') return "file://" + escape(address, "?#%[]");
  std::string_view path = address;
  while (path.starts_with("./")) path.remove_prefix(2);
  std::string rel = escape(path, "?#%[]");
  // A first segment with a colon would read as a scheme.
  const std::size_t slash = rel.find('/');
  if (rel.substr(0, slash).find(':') != std::string::npos) rel = "./" + rel;
  return rel;
}

}  // namespace vx::app::cli
