#include "app/check/rule_packs.h"

#include <algorithm>

#include "app/check/rule_file.h"

namespace vx::app::check {
namespace {

// The modern pack, in the rule files' own format: what a compromised page
// carries today, by risk to the visitor.
constexpr std::string_view kModernPack = R"(rules:
  - id: hidden-frame
    label: Hidden frame
    description: A frame the visitor cannot see (no size, or hidden by style) loads another site.
    severity: high
    tags: [modern, injection, frame]
    match:
      element: >-
        iframe[width="0"], iframe[height="0"], iframe[width="1"][height="1"],
        iframe[width="0px"], iframe[height="0px"], iframe[width="1px"][height="1px"],
        iframe[hidden], iframe[style*="display:none"], iframe[style*="display: none"],
        iframe[style*="visibility:hidden"], iframe[style*="visibility: hidden"],
        iframe[style*="width:0"], iframe[style*="height:0"], iframe[style*="width: 0"],
        iframe[style*="height: 0"], iframe[style*="width:1px"], iframe[style*="left:-"],
        iframe[style*="top:-"], frame[width="0"], frame[height="0"]
    same-origin: false
  - id: script-without-integrity
    label: Unchecked script
    description: A script from another site is loaded without an integrity hash, so whatever that site serves runs here.
    severity: medium
    tags: [modern, supply-chain, script]
    match: {element: 'script[src]:not([integrity])'}
    same-origin: false
  - id: known-script-without-integrity
    label: Unchecked known script
    description: A script of the page's own site or of a well-known library or analytics site, loaded by its full address without an integrity hash.
    severity: low
    tags: [modern, supply-chain, script]
    match: {element: 'script[src*="//"]:not([integrity])'}
    same-origin: true
  - id: script-outside-html
    label: Script outside the page
    description: Script placed before the page's start or after its end, where injected code is appended.
    severity: high
    tags: [modern, injection, script]
    match:
      regex: '</html\s*>\s*<script|</script>\s*(<!doctype|<html)'
      flags: {case: ignore}
  - id: script-decodes-and-runs
    label: Decoded script
    description: Script decodes hidden text and runs it, as injected code does to stay unread.
    severity: high
    tags: [modern, obfuscation, script]
    match:
      regex: '(eval|Function|setTimeout|setInterval)\s*\(\s*(atob|unescape|decodeURIComponent|String\.fromCharCode)\s*\('
  - id: char-code-chain
    label: Character-code script
    description: Script builds its text from character codes, a usual disguise of injected code.
    severity: medium
    tags: [modern, obfuscation, script]
    match:
      regex: 'String\.fromCharCode\s*\(\s*\d+\s*(,\s*\d+\s*){15}'
  - id: packed-script
    label: Packed script
    description: Script packed by a common packer, a usual disguise of injected code.
    severity: medium
    tags: [modern, obfuscation, script]
    match:
      regex: 'eval\(function\(p,a,c,k,e,[rd]\)|var _0x[0-9a-f]{4,6}\s*=\s*\[\s*[''"]|\$=~\[\];\$=\{___:'
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
      regex: 'document\.write(ln)?\s*\(\s*([^)]*<\s*(script|iframe)|[''"]<scr[''"]\s*\+|unescape\s*\(|atob\s*\()'
      flags: {case: ignore}
  - id: meta-refresh-elsewhere
    label: Refresh to another site
    description: The page sends its visitor to another site as soon as it loads.
    severity: medium
    tags: [modern, redirect]
    match: {element: 'meta[http-equiv="refresh"][content*="url"], meta[http-equiv="refresh"][content*="URL"]'}
    same-origin: false
  - id: script-redirect
    label: Script redirect
    description: Script sends the visitor to an address of another site as the page loads.
    severity: medium
    tags: [modern, redirect, script]
    match:
      regex: '(window|document|top|self)\.location(\.href)?\s*=\s*[''"](https?:)?//|location\.(replace|assign)\s*\(\s*[''"](https?:)?//'
      flags: {case: ignore}
  - id: password-form-elsewhere
    label: Password sent elsewhere
    description: A form asks for a password and sends it to another site.
    severity: high
    tags: [modern, phishing, form]
    match: {element: 'form:has(input[type="password"])'}
    same-origin: false
  - id: password-form-plain
    label: Password sent unencrypted
    description: A form on an encrypted page sends a password over plain http.
    severity: high
    tags: [modern, phishing, form]
    match: {element: 'form[action^="http:"]:has(input[type="password"])'}
    page-scheme: https
  - id: mixed-content
    label: Plain http on an https page
    description: An encrypted page loads script or a frame, or sends a form, over plain http.
    severity: medium
    tags: [modern, transport]
    match: {element: 'script[src^="http:"], iframe[src^="http:"], frame[src^="http:"], form[action^="http:"]'}
    page-scheme: https
  - id: miner
    label: Miner
    description: A crypto-currency miner runs in the visitor's browser.
    severity: high
    tags: [modern, miner, script]
    match:
      regex: '(coinhive|cryptonight|coin-hive|CoinImp|webminepool|deepMiner|cryptoloot|minero\.cc|webmine\.pro|jsecoin)'
      flags: {case: ignore}
  - id: javascript-url-runs
    label: Script address
    description: A javascript address that writes, opens windows, loads script or navigates.
    severity: medium
    tags: [modern, script]
    match:
      regex: 'javascript:[^"''>]*(document\.write|window\.open|location|eval|createElement)'
      flags: {case: ignore}
  - id: javascript-url-idiom
    label: Empty script address
    description: A javascript:void(0) or javascript:; link, an old idiom for links that only run script.
    severity: info
    tags: [modern, script]
    match:
      regex: 'javascript:\s*(void\s*\(\s*0\s*\)|;)'
      flags: {case: ignore}
  - id: hidden-links
    label: Hidden links
    description: Text hidden by style carries many links to other sites, as injected spam does.
    severity: medium
    tags: [modern, spam]
    match:
      element: >-
        *[style*="display:none"]:has(a[href]), *[style*="display: none"]:has(a[href]),
        *[style*="visibility:hidden"]:has(a[href]), *[style*="visibility: hidden"]:has(a[href]),
        *[style*="left:-"]:has(a[href]), *[style*="top:-"]:has(a[href]),
        *[style*="font-size:0"]:has(a[href]), *[style*="height:0"]:has(a[href])
    same-origin: false
    has-count: 5
  - id: no-content-security-policy
    label: No content policy
    description: The response sets no Content-Security-Policy, which would limit what injected script can do.
    severity: low
    tags: [modern, headers]
    match:
      header: {name: content-security-policy, absent: true}
  - id: no-strict-transport
    label: No HSTS
    description: The encrypted page does not ask browsers to keep to https (Strict-Transport-Security).
    severity: low
    tags: [modern, headers, transport]
    match:
      header: {name: strict-transport-security, absent: true}
    page-scheme: https
  - id: no-content-type-options
    label: No nosniff
    description: The response does not forbid browsers to guess content types (X-Content-Type-Options).
    severity: info
    tags: [modern, headers]
    match:
      header: {name: x-content-type-options, absent: true}
  - id: no-referrer-policy
    label: No referrer policy
    description: The response sets no Referrer-Policy, so full addresses may leak to other sites.
    severity: info
    tags: [modern, headers]
    match:
      header: {name: referrer-policy, absent: true}
  - id: no-frame-protection
    label: No clickjacking protection
    description: Any site may show this page in a frame (no X-Frame-Options, no frame-ancestors policy).
    severity: low
    tags: [modern, headers]
    match:
      header:
        - {name: x-frame-options, absent: true}
        - {name: content-security-policy, absent: true}
  - id: no-frame-ancestors
    label: No clickjacking protection
    description: Any site may show this page in a frame (no X-Frame-Options, and the policy has no frame-ancestors).
    severity: low
    tags: [modern, headers]
    match:
      header:
        - {name: x-frame-options, absent: true}
        - {name: content-security-policy, lacks: frame-ancestors}
  - id: cookie-not-secure
    label: Cookie without Secure
    description: A cookie may be sent over plain http.
    severity: low
    tags: [modern, headers, cookies]
    match:
      header: {name: set-cookie, lacks: secure}
  - id: cookie-not-httponly
    label: Cookie without HttpOnly
    description: A cookie is readable by the page's script, and so by injected script.
    severity: info
    tags: [modern, headers, cookies]
    match:
      header: {name: set-cookie, lacks: httponly}
  - id: cookie-no-samesite
    label: Cookie without SameSite
    description: A cookie leaves its SameSite attribute to the browser's default.
    severity: info
    tags: [modern, headers, cookies]
    match:
      header: {name: set-cookie, lacks: samesite}
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
  static const std::vector<Rule> rules =
      ParseRuleFile(kModernPack, "modern pack", {}, RulePatterns::Trusted);
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
    // The built-in packs are known to compile (their tests build them): only
    // a set with the user's files is built before anything is checked.
    return std::make_shared<RuleSet>(
        std::move(kept), std::move(allow_origins),
        choice.files.empty() ? RuleSet::Build::WhenNeeded : RuleSet::Build::Now);
  } catch (const RuleError& e) {
    throw RuleChoiceError(std::string("--rules: ") + e.what());
  }
}

}  // namespace vx::app::check
