#include "app/cli_rules.h"

#include <algorithm>
#include <charconv>

#include "app/check/check.h"
#include "app/check/rule_file.h"
#include "app/cli_report.h"
#include "platform/base/ascii.h"

namespace vx::app::cli {
namespace {

// The modern pack, in the rule files' own format: what a compromised page
// carries today, by risk to the visitor.
constexpr std::string_view kModernPack = R"(rules:
  - id: script-decodes-and-runs
    label: Decoded script
    description: Script decodes hidden text and runs it, as injected code does to stay unread.
    severity: high
    tags: [modern, obfuscation, script]
    match:
      regex: '(eval|Function|setTimeout|setInterval)\s*\(\s*(atob|unescape|decodeURIComponent|String\.fromCharCode)\s*\('
  - id: packed-script
    label: Packed script
    description: Script packed by a common packer, a usual disguise of injected code.
    severity: medium
    tags: [modern, obfuscation, script]
    match:
      regex: 'eval\(function\(p,a,c,k,e,[rd]\)'
  - id: long-escapes
    label: Escaped script
    description: A long run of hex or %u escapes, text kept from being read.
    severity: medium
    tags: [modern, obfuscation, script]
    match:
      regex: '(\\x[0-9a-fA-F]{2}){40}|(%u[0-9a-fA-F]{4}){20}'
  - id: document-write-script
    label: Written script
    description: Script writes more script or a frame into the page.
    severity: medium
    tags: [modern, injection, script]
    match:
      regex: 'document\.write(ln)?\s*\([^)]*<\s*(script|iframe)'
      flags: {case: ignore}
  - id: miner
    label: Miner
    description: A crypto-currency miner runs in the visitor's browser.
    severity: high
    tags: [modern, miner, script]
    match:
      regex: '(coinhive|cryptonight|coin-hive|CoinImp|webminepool|deepMiner)'
      flags: {case: ignore}
  - id: javascript-url-runs
    label: Script address
    description: A javascript address that writes, opens windows, loads script or navigates.
    severity: medium
    tags: [modern, script]
    match:
      regex: 'javascript:[^"''>]*(document\.write|window\.open|location|eval|createElement)'
      flags: {case: ignore}
)";

bool Matches(const check::Rule& rule, std::string_view word) {
  return rule.id == word || std::find(rule.tags.begin(), rule.tags.end(), word) != rule.tags.end();
}

std::vector<std::string> Words(const std::vector<std::string>& values) {
  std::vector<std::string> out;
  for (const std::string& v : values) {
    std::size_t start = 0;
    while (start <= v.size()) {
      const std::size_t comma = std::min(v.find(',', start), v.size());
      std::string w = v.substr(start, comma - start);
      while (!w.empty() && w.front() == ' ') w.erase(0, 1);
      while (!w.empty() && w.back() == ' ') w.pop_back();
      if (!w.empty()) out.push_back(std::move(w));
      start = comma + 1;
    }
  }
  return out;
}

}  // namespace

const std::vector<check::Rule>& ModernRules() {
  static const std::vector<check::Rule> rules = check::ParseRuleFile(kModernPack, "modern pack");
  return rules;
}

std::shared_ptr<const check::RuleSet> BuildRuleSet(const RuleChoice& choice) {
  std::vector<std::string> sets = Words(choice.sets);
  if (sets.empty()) sets.push_back("classic");
  bool classic = false, modern = false;
  for (const std::string& name : sets) {
    if (name == "classic") {
      classic = true;
    } else if (name == "modern") {
      modern = true;
    } else if (name == "all") {
      classic = modern = true;
    } else {
      throw RuleChoiceError("--rule-set: \"" + name +
                            "\" is no rule set: give classic, modern or all");
    }
  }
  const std::vector<std::string> enable = Words(choice.enable), disable = Words(choice.disable);
  if (classic && !modern && choice.files.empty() && enable.empty() && disable.empty())
    return check::RuleSet::Classic();
  std::vector<check::Rule> rules;
  if (classic) rules = check::ClassicRules();
  if (modern) rules.insert(rules.end(), ModernRules().begin(), ModernRules().end());
  for (const std::string& file : choice.files) {
    try {
      std::vector<check::Rule> more = check::ReadRuleFile(file);
      rules.insert(rules.end(), more.begin(), more.end());
    } catch (const check::RuleFileError& e) {
      throw RuleChoiceError(std::string("--rules: ") + e.what());
    }
  }
  // A word that names no rule is a slip, not a wish for nothing.
  for (const auto* words : {&enable, &disable}) {
    for (const std::string& w : *words) {
      if (std::none_of(rules.begin(), rules.end(),
                       [&](const check::Rule& r) { return Matches(r, w); }))
        throw RuleChoiceError(std::string(words == &enable ? "--enable" : "--disable") + ": \"" +
                              w + "\" is no rule id or tag of the chosen rules");
    }
  }
  std::vector<check::Rule> kept;
  for (check::Rule& r : rules) {
    const bool on =
        enable.empty() || std::any_of(enable.begin(), enable.end(),
                                      [&](const std::string& w) { return Matches(r, w); });
    const bool off = std::any_of(disable.begin(), disable.end(),
                                 [&](const std::string& w) { return Matches(r, w); });
    if (on && !off) kept.push_back(std::move(r));
  }
  try {
    return std::make_shared<check::RuleSet>(std::move(kept));
  } catch (const check::RuleError& e) {
    throw RuleChoiceError(std::string("--rules: ") + e.what());
  }
}

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
        if (!item.empty() && (ascii::EqualsNoCase(set[i].label, item) || Matches(set[i], item)))
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
      AppendJsonString(out, r.pattern);
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
