#include "app/cli_rules.h"

#include <algorithm>
#include <charconv>

#include "app/check/check.h"
#include "app/check/rule_packs.h"
#include "app/cli_report.h"
#include "platform/base/ascii.h"

namespace vx::app::cli {
std::vector<bool> ParseFailOn(std::string_view value, const check::RuleSet& set, bool* http_error) {
  std::vector<bool> chosen(set.size(), false);
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = value.find(',', start);
    std::string_view item =
        value.substr(start, comma == std::string_view::npos ? value.npos : comma - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    bool known = false;
    std::size_t number = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), number);
    constexpr std::string_view kSeverity = "severity>=";
    if (ascii::EqualsNoCase(item, "http-error")) {
      *http_error = true;
      known = true;
    } else if (!item.empty() && ec == std::errc() && end == item.data() + item.size()) {
      for (std::size_t i = 0; i < set.size(); ++i) {
        if (set.Number(i) == number) chosen[i] = known = true;
      }
    } else if (item.starts_with(kSeverity)) {
      const auto level = check::SeverityFromName(item.substr(kSeverity.size()));
      if (!level)
        throw RuleChoiceError("--fail-on: \"" + std::string(item) +
                              "\": give severity>= info, low, medium, high or critical");
      known = true;  // a level no rule reaches is a fine gate
      for (std::size_t i = 0; i < set.size(); ++i)
        if (set[i].severity >= *level) chosen[i] = true;
    } else {
      // A label may name several rules ("MouseDown" is two), a tag many.
      for (std::size_t i = 0; i < set.size(); ++i) {
        if (!item.empty() &&
            (ascii::EqualsNoCase(set[i].label, item) || check::NamesRule(set[i], item)))
          chosen[i] = known = true;
      }
    }
    if (!known) {
      std::string labels;
      for (const check::Rule& r : set.rules()) {
        if (labels.find(r.label + ",") != std::string::npos) continue;
        labels += r.label + ",";
      }
      if (!labels.empty()) labels.pop_back();
      throw RuleChoiceError("--fail-on: \"" + std::string(item) +
                            "\" is no rule: give numbers 1 to " + std::to_string(set.size()) +
                            ", labels (" + labels + "), ids, tags, severity>=LEVEL or http-error");
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return chosen;
}

namespace {

// A header match as a rule file writes it: one condition as an object,
// several as a list.
void AppendHeaderMatch(std::string& out, const check::Rule& r) {
  if (r.header.size() != 1) out += '[';
  for (std::size_t i = 0; i < r.header.size(); ++i) {
    const check::HeaderTest& t = r.header[i];
    if (i > 0) out += ',';
    out += "{\"name\":";
    AppendJsonString(out, t.name);
    switch (t.kind) {
      case check::HeaderTest::Kind::Absent:
        out += ",\"absent\":true}";
        continue;
      case check::HeaderTest::Kind::Matches:
        out += ",\"matches\":";
        break;
      case check::HeaderTest::Kind::Lacks:
        out += ",\"lacks\":";
        break;
    }
    AppendJsonString(out, t.value);
    out += '}';
  }
  if (r.header.size() != 1) out += ']';
}

}  // namespace

std::string RulesListing(const check::RuleSet& set, bool json) {
  std::string out;
  if (json) {
    for (std::size_t i = 0; i < set.size(); ++i) {
      const check::Rule& r = set[i];
      out += "{\"rule\":" + std::to_string(set.Number(i)) + ",\"id\":";
      AppendJsonString(out, r.id);
      out += ",\"label\":";
      AppendJsonString(out, r.label);
      out += ",\"description\":";
      AppendJsonString(out, r.description);
      out += ",\"severity\":\"" + std::string(check::SeverityName(r.severity)) + "\",\"tags\":[";
      for (std::size_t t = 0; t < r.tags.size(); ++t) {
        if (t > 0) out += ',';
        AppendJsonString(out, r.tags[t]);
      }
      out += "],\"kind\":\"" + std::string(check::MatchKindName(r.kind)) + "\",\"match\":{";
      AppendJsonString(out, check::MatchKindName(r.kind));
      out += ':';
      if (r.kind == check::MatchKind::Header) {
        AppendHeaderMatch(out, r);
      } else {
        AppendJsonString(out, r.pattern);
      }
      if (r.kind == check::MatchKind::Literal) {
        out += ",\"case\":\"" + std::string(check::CaseModeName(r.case_mode)) + "\"";
      } else if (r.kind == check::MatchKind::Regex) {
        out += ",\"flags\":{\"case\":\"" + std::string(check::CaseModeName(r.case_mode)) + "\"}";
      }
      out += "}";
      if (r.in != 0) {
        out += ",\"in\":[";
        bool first = true;
        for (std::size_t c = 0; c < check::kContextCount; ++c) {
          if ((r.in & check::Bit(static_cast<check::Context>(c))) == 0) continue;
          out += first ? "\"" : ",\"";
          first = false;
          out += check::ContextName(static_cast<check::Context>(c));
          out += '"';
        }
        out += ']';
      }
      if (r.origin_test != check::OriginTest::Any)
        out += std::string(",\"same-origin\":") +
               (r.origin_test == check::OriginTest::Own ? "true" : "false");
      if (r.has_count != 1) out += ",\"has-count\":" + std::to_string(r.has_count);
      if (!r.page_scheme.empty()) {
        out += ",\"page-scheme\":";
        AppendJsonString(out, r.page_scheme);
      }
      out += "}\n";
    }
    return out;
  }
  // Columns as wide as their widest cell; the description last, unpadded.
  std::vector<std::vector<std::string>> rows = {{"#", "id", "severity", "label", "description"}};
  for (std::size_t i = 0; i < set.size(); ++i) {
    const check::Rule& r = set[i];
    rows.push_back({std::to_string(set.Number(i)), r.id,
                    std::string(check::SeverityName(r.severity)), r.label, r.description});
  }
  std::vector<std::size_t> width(4, 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < 4; ++c) width[c] = std::max(width[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < 4; ++c)
      line += row[c] + std::string(width[c] - row[c].size() + 2, ' ');
    line += row[4];
    out += Printable(line) + "\n";
  }
  return out;
}

}  // namespace vx::app::cli
