#include "app/check/rule_packs.h"

#include <algorithm>

#include "app/check/rule_file.h"

namespace vx::app::check {
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

bool NamesRule(const Rule& rule, std::string_view word) {
  return rule.id == word || std::find(rule.tags.begin(), rule.tags.end(), word) != rule.tags.end();
}

const std::vector<Rule>& ModernRules() {
  static const std::vector<Rule> rules = ParseRuleFile(kModernPack, "modern pack");
  return rules;
}

std::shared_ptr<const RuleSet> BuildRuleSet(const RuleChoice& choice) {
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
    return RuleSet::Classic();
  std::vector<Rule> rules;
  std::vector<std::string> allow_origins;
  if (classic) rules = ClassicRules();
  if (modern) rules.insert(rules.end(), ModernRules().begin(), ModernRules().end());
  for (const std::string& file : choice.files) {
    try {
      RuleFileContent more = ReadRuleFileContent(file);
      rules.insert(rules.end(), more.rules.begin(), more.rules.end());
      allow_origins.insert(allow_origins.end(), more.allow_origins.begin(),
                           more.allow_origins.end());
    } catch (const RuleFileError& e) {
      throw RuleChoiceError(std::string("--rules: ") + e.what());
    }
  }
  // A word that names no rule is a slip, not a wish for nothing.
  for (const auto* words : {&enable, &disable}) {
    for (const std::string& w : *words) {
      if (std::none_of(rules.begin(), rules.end(), [&](const Rule& r) { return NamesRule(r, w); }))
        throw RuleChoiceError(std::string(words == &enable ? "--enable" : "--disable") + ": \"" +
                              w + "\" is no rule id or tag of the chosen rules");
    }
  }
  std::vector<Rule> kept;
  for (Rule& r : rules) {
    const bool on =
        enable.empty() || std::any_of(enable.begin(), enable.end(),
                                      [&](const std::string& w) { return NamesRule(r, w); });
    const bool off = std::any_of(disable.begin(), disable.end(),
                                 [&](const std::string& w) { return NamesRule(r, w); });
    if (on && !off) kept.push_back(std::move(r));
  }
  try {
    return std::make_shared<RuleSet>(std::move(kept), std::move(allow_origins));
  } catch (const RuleError& e) {
    throw RuleChoiceError(std::string("--rules: ") + e.what());
  }
}

}  // namespace vx::app::check
