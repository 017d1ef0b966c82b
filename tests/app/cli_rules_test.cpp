// Rule sets, rule files and severities, through the built vettrix: what a
// user writes in a rule file and on the command line, and what comes out.

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/vettrix_run.h"

namespace {

using vx::clitest::RunResult;
using Json = nlohmann::json;
namespace fs = std::filesystem;

class Rules : public vx::clitest::VettrixRun {
 protected:
  // The rule ids of the findings of a JSON report's first address.
  static std::vector<std::string> Ids(const RunResult& r) {
    std::vector<std::string> ids;
    const std::vector<Json> lines = r.JsonLines();
    if (lines.empty()) return {"(no report)"};
    for (const Json& f : lines[0]["findings"]) ids.push_back(f["id"]);
    return ids;
  }

  // A usage error that names the file, the line and the field, before any page.
  void ExpectFileError(const std::string& yaml, const std::string& message) {
    Page("bad.yaml", yaml);
    Page("page.html", "<script>");
    const RunResult r = Run({"check", "--rules", "bad.yaml", "page.html"});
    EXPECT_EQ(r.status, 64) << yaml;
    EXPECT_EQ(r.out, "") << yaml;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
};

constexpr const char* kOwnRules = R"(rules:
  - id: exact-word
    label: Exact
    description: the word as written
    severity: low
    tags: [words]
    match: {literal: "cdromCollection", case: exact}
  - id: any-case
    label: Any case
    severity: medium
    tags: [words]
    match: {literal: "evil.example", case: ignore}
  - id: two-forms
    label: Two forms
    severity: high
    match: {literal: "Payload", case: classic}
  - id: decoder
    label: Decoder
    severity: critical
    tags: [script]
    match:
      regex: 'eval\s*\(\s*atob'
  - id: decoder-any-case
    label: Decoder any case
    severity: info
    match:
      regex: 'ATOB\('
      flags: {case: ignore}
)";

TEST_F(Rules, EachMatchKindAndCaseModeFindsWhatItSays) {
  Page("own.yaml", kOwnRules);
  // Line 1 has each literal in a form its case mode refuses; line 2 the forms
  // it takes, after a start that puts them at known columns.
  Page("page.html",
       "CDROMCOLLECTION payLoad eval (atob\n"
       "cdromCollection EVIL.Example PAYLOAD payload eval( atob( Atob(\n");
  const RunResult r = Run({"check", "--json", "--rule-set", "all", "--disable", "modern", "--rules",
                           "own.yaml", "page.html"});
  ASSERT_EQ(r.status, 1) << r.err;
  const Json findings = r.JsonLines().at(0)["findings"];
  ASSERT_EQ(Ids(r), (std::vector<std::string>{"VX020", "exact-word", "any-case", "two-forms",
                                              "decoder", "decoder-any-case"}));
  // Rule files' rules are numbered by their place in the set, after the twenty.
  EXPECT_EQ(findings[0]["rule"], 20);
  EXPECT_EQ(findings[1]["rule"], 21);
  EXPECT_EQ(findings[1]["severity"], "low");
  EXPECT_EQ(findings[1]["line"], 2);
  EXPECT_EQ(findings[1]["column"], 1);
  EXPECT_EQ(findings[2]["column"], 17);  // EVIL.Example
  EXPECT_EQ(findings[3]["column"], 30);  // PAYLOAD, not payLoad of line 1
  EXPECT_EQ(findings[3]["line"], 2);
  // The regex starts where its match starts, on line 1 ("eval (atob").
  EXPECT_EQ(findings[4]["line"], 1);
  EXPECT_EQ(findings[4]["column"], 25);
  EXPECT_EQ(findings[4]["severity"], "critical");
  EXPECT_EQ(findings[5]["line"], 2);

  // A regex's occurrences are counted once per place, not once per length.
  Page("regex.yaml", R"(rules:
  - {id: as, label: As, severity: low, match: {regex: 'a+'}}
)");
  Page("as.html", "aaa b aa");
  const RunResult occ = Run({"check", "--json", "--occurrences", "--rule-set", "all", "--disable",
                             "classic,modern", "--rules", "regex.yaml", "as.html"});
  ASSERT_EQ(occ.status, 1) << occ.err;
  const Json as = occ.JsonLines().at(0)["findings"][0];
  EXPECT_EQ(as["count"], 2);
  EXPECT_EQ(as["occurrences"][1]["offset"], 6);
}

TEST_F(Rules, TheClassicRulesKeepTheirNumbersAndOutputsInAnySet) {
  const fs::path sample = fs::path(VETTRIX_SOURCE_DIR) / "samples/sample.html";
  ASSERT_TRUE(fs::exists(sample)) << sample;
  Page("own.yaml", kOwnRules);
  for (const char* format : {"human", "csv"}) {
    const RunResult plain = Run({"check", "--format", format, sample.string()});
    const RunResult chosen = Run({"check", "--format", format, "--rule-set", "classic,all",
                                  "--disable", "modern", sample.string()});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(chosen.out, plain.out) << format;
    EXPECT_EQ(chosen.status, plain.status);
  }
  // With a classic rule left out, the others keep their numbers.
  const RunResult without =
      Run({"check", "--format", "csv", "--disable", "VX001", sample.string()});
  EXPECT_EQ(without.OutLines().at(1).find(sample.string() + ",5,Forms,"), 0u) << without.out;
}

TEST_F(Rules, EnableDisableAndFailOnTakeIdsTagsAndSeverities) {
  Page("own.yaml", kOwnRules);
  Page("page.html", "<script> cdromCollection evil.example eval(atob");
  auto ids = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"check", "--json", "--rules", "own.yaml"});
    args.push_back("page.html");
    return Ids(Run(args));
  };
  EXPECT_EQ(ids({"--enable", "words"}), (std::vector<std::string>{"exact-word", "any-case"}));
  EXPECT_EQ(ids({"--enable", "words,VX001", "--disable", "exact-word"}),
            (std::vector<std::string>{"VX001", "any-case"}));
  EXPECT_EQ(ids({"--disable", "classic", "--disable", "words"}),
            (std::vector<std::string>{"decoder"}));

  auto status = [&](const std::string& fail_on) {
    return Run({"check", "--rules", "own.yaml", "--fail-on", fail_on, "page.html"}).status;
  };
  EXPECT_EQ(status("severity>=critical"), 1);  // decoder
  EXPECT_EQ(status("severity>=high"), 1);
  EXPECT_EQ(status("two-forms"), 0);  // no "Payload" on the page
  EXPECT_EQ(status("words"), 1);
  EXPECT_EQ(status("Scripting"), 1);
  EXPECT_EQ(status("2"), 0);   // Object
  EXPECT_EQ(status("21"), 1);  // exact-word, after the twenty
  const RunResult below = Run({"check", "--rules", "own.yaml", "--disable", "decoder", "--fail-on",
                               "severity>=critical", "page.html"});
  EXPECT_EQ(below.status, 0) << below.err;

  // Slips are usage errors, said before anything is checked.
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--enable", "wrods"},
                                              {"--disable", "VX099"},
                                              {"--fail-on", "severity>=urgent"},
                                              {"--fail-on", "nothing"},
                                              {"--rule-set", "modrn"}}) {
    std::vector<std::string> args = {"check", "--rules", "own.yaml"};
    args.insert(args.end(), bad.begin(), bad.end());
    args.push_back("page.html");
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 64) << bad[1];
    EXPECT_NE(r.err.find(bad[1]), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(Rules, RuleFileErrorsNameFileLineAndField) {
  ExpectFileError(
      "rules:\n  - id: a\n    label: A\n    severity: low\n    colour: red\n"
      "    match: {literal: x}\n",
      "bad.yaml:5: rules[0].colour: unknown field");
  ExpectFileError(
      "rules:\n  - {id: a, label: A, severity: low, match: {literal: x}}\n"
      "  - {id: a, label: B, severity: low, match: {literal: y}}\n",
      "bad.yaml:3: rules[1].id: \"a\" is given twice");
  ExpectFileError("rules:\n  - {id: VX001, label: A, severity: low, match: {literal: x}}\n",
                  "rule id VX001 is given twice");
  ExpectFileError("rules:\n  - {id: 'a b', label: A, severity: low, match: {literal: x}}\n",
                  "bad.yaml:2: rules[0].id: \"a b\" is no rule id");
  ExpectFileError(
      "rules:\n  - id: a\n    label: A\n    severity: low\n    match:\n"
      "      regex: 'a(b'\n",
      "bad.yaml:6: rules[0].match.regex: \"a(b\" cannot be used");
  ExpectFileError("rules:\n  - {id: a, label: A, severity: urgent, match: {literal: x}}\n",
                  "rules[0].severity: \"urgent\" is no severity");
  ExpectFileError("rules:\n  - {id: a, label: A, match: {literal: x}}\n",
                  "bad.yaml:2: rules[0].severity: is required");
  ExpectFileError("rules:\n  - {id: a, label: A, severity: low, match: {literal: x, regex: y}}\n",
                  "rules[0].match: needs exactly one of");
  ExpectFileError("rules:\n  - {id: a, label: A, severity: low, match: {literal: x}, in: [head]}\n",
                  "rules[0].in: \"head\" is no context");
  ExpectFileError("rules: [\n", "bad.yaml:");
  ExpectFileError("<html><body>not a rule file</body></html>\n",
                  "the file needs a top-level rules: list");
  ExpectFileError("", "the file is empty");
  // Aliases could make a small file stand for a huge one: refused outright.
  ExpectFileError(
      "a: &a [x, x, x, x, x, x, x, x]\nb: &b [*a, *a, *a, *a, *a, *a, *a, *a]\n"
      "c: &c [*b, *b, *b, *b, *b, *b, *b, *b]\nrules: [*c]\n",
      "bad.yaml:2: aliases (*name) are not allowed");
  ExpectFileError(std::string(40, '[') + std::string(40, ']') + "\n", "nested deeper than");
  ExpectFileError(std::string((1 << 20) + 1, '#'), "larger than 1048576 bytes");
  Page("page.html", "x");
  const RunResult missing = Run({"check", "--rules", "nowhere.yaml", "page.html"});
  EXPECT_EQ(missing.status, 64);
  EXPECT_NE(missing.err.find("nowhere.yaml"), std::string::npos);
}

TEST_F(Rules, SarifLevelsAndSecuritySeverityFollowTheSeverity) {
  Page("own.yaml", kOwnRules);
  Page("page.html", "<script> cdromCollection evil.example PAYLOAD eval(atob");
  const RunResult r =
      Run({"check", "--format", "sarif", "-o", "out.sarif", "--rules", "own.yaml", "page.html"});
  ASSERT_EQ(r.status, 1) << r.err;
  const fs::path schema = fs::path(VETTRIX_SOURCE_DIR) / "tests/app/data/sarif-schema-2.1.0.json";
  const fs::path validator = fs::path(VETTRIX_SOURCE_DIR) / "tests/app/validate_sarif.py";
  ASSERT_TRUE(fs::exists(schema)) << schema;
  const std::string cmd =
      std::string(VETTRIX_PYTHON) + " " + vx::support::Quote(validator.string()) + " " +
      vx::support::Quote(schema.string()) + " " + vx::support::Quote((dir_ / "out.sarif").string());
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  ASSERT_EQ(WEXITSTATUS(raw), 0) << "the SARIF log does not validate (3: validator missing)";

  const Json log = Json::parse(vx::support::ReadFile(dir_ / "out.sarif"));
  const Json& rules = log["runs"][0]["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), 25u);
  EXPECT_EQ(rules[0]["defaultConfiguration"]["level"], "note");  // the twenty are info
  EXPECT_EQ(rules[0]["properties"]["tags"], Json::parse(R"(["classic"])"));
  const std::pair<const char*, const char*> want[] = {
      {"note", "2.0"}, {"warning", "5.0"}, {"error", "7.5"}, {"error", "9.5"}, {"note", "0.0"}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(rules[20 + i]["defaultConfiguration"]["level"], want[i].first) << i;
    EXPECT_EQ(rules[20 + i]["properties"]["security-severity"], want[i].second) << i;
  }
  for (const Json& res : log["runs"][0]["results"]) {
    const Json& rule = rules[res["ruleIndex"].get<std::size_t>()];
    EXPECT_EQ(res["ruleId"], rule["id"]);
    EXPECT_EQ(res["level"], rule["defaultConfiguration"]["level"]);
  }
}

TEST_F(Rules, RulesListsTheActiveSet) {
  const RunResult table = Run({"rules"});
  ASSERT_EQ(table.status, 0) << table.err;
  const auto lines = table.OutLines();
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[1].substr(0, 3), "1  ");
  EXPECT_NE(lines[1].find("VX001"), std::string::npos);
  EXPECT_NE(lines[20].find("Cd-Rom"), std::string::npos);

  Page("own.yaml", kOwnRules);
  const RunResult json =
      Run({"rules", "--json", "--rules", "own.yaml", "--enable", "VX001,words,decoder-any-case"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto objects = json.JsonLines();
  ASSERT_EQ(objects.size(), 4u);
  EXPECT_EQ(objects[0], Json::parse(R"({"rule":1,"id":"VX001","label":"Scripting",
      "description":"This poses a possible threat of malicious scripting.","severity":"info",
      "tags":["classic"],"kind":"literal","match":{"literal":"<script","case":"classic"}})"));
  EXPECT_EQ(objects[2]["match"], Json::parse(R"({"literal":"evil.example","case":"ignore"})"));
  EXPECT_EQ(objects[3]["kind"], "regex");
  EXPECT_EQ(objects[3]["match"], Json::parse(R"({"regex":"ATOB\\(","flags":{"case":"ignore"}})"));

  const RunResult modern = Run({"rules", "--json", "--rule-set", "modern"});
  EXPECT_EQ(modern.status, 0) << modern.err;
  EXPECT_GE(modern.JsonLines().size(), 6u);
  EXPECT_EQ(Run({"rules", "--rule-set", "bogus"}).status, 64);
}

TEST_F(Rules, TheModernPackFlagsInjectedScriptAndLeavesOrdinaryPagesBelowMedium) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"script-decodes-and-runs", "<script>eval(atob('YWxlcnQoMSk='))</script>"},
      {"packed-script", "<script>eval(function(p,a,c,k,e,d){return p})</script>"},
      {"long-escapes", "<script>var s='" +
                           [] {
                             std::string s;
                             for (int i = 0; i < 50; ++i) s += "\\x41";
                             return s;
                           }() +
                           "'</script>"},
      {"document-write-script",
       "<script>document.write('<script src=//x.test/a.js></scr'+'ipt>')</script>"},
      {"miner", "<script src=https://coinhive.com/lib/coinhive.min.js></script>"},
      {"javascript-url-runs", "<a href=\"javascript:window.open('//x.test')\">x</a>"}};
  for (const auto& [id, page] : bad) {
    Page("page.html", page);
    const RunResult r = Run({"check", "--json", "--rule-set", "modern", "page.html"});
    EXPECT_EQ(r.status, 1) << id;
    // Other rules of the pack may see the same page (a miner's script comes
    // from another site without integrity): the family's own rule must be there.
    const std::vector<std::string> ids = Ids(r);
    EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << page;
  }
  Page("clean.html",
       "<!doctype html><html><head><script src=\"https://cdn.example/lib.js\" "
       "integrity=\"sha384-abc\" crossorigin></script></head><body>"
       "<a href=\"javascript:void(0)\">menu</a><form action=/subscribe><input name=email></form>"
       "<script>document.getElementById('x').textContent = atob('aGk=');</script></body></html>");
  const RunResult clean =
      Run({"check", "--rule-set", "modern", "--fail-on", "severity>=medium", "clean.html"});
  EXPECT_EQ(clean.status, 0) << clean.out;
}

// Where an occurrence sits decides whether it counts for a rule with in:.
// Needs the markup scanner (the placeholder calls every byte text).
TEST_F(Rules, InContextsCountOnlyOccurrencesThere) {
  Page("in.yaml", R"(rules:
  - {id: in-script, label: In script, severity: low, match: {literal: evil}, in: [script]}
  - {id: in-markup, label: In markup, severity: low, match: {literal: evil}, in: [markup]}
)");
  Page("page.html",
       "<p>evil words</p>\n<!-- evil -->\n<a title=evil>x</a>\n<script>evil()</script>");
  const RunResult r = Run({"check", "--json", "--occurrences", "--disable", "classic", "--rules",
                           "in.yaml", "page.html"});
  ASSERT_EQ(r.status, 1) << r.err;
  const Json findings = r.JsonLines().at(0)["findings"];
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0]["count"], 1);
  EXPECT_EQ(findings[0]["line"], 4);
  EXPECT_EQ(findings[0]["occurrences"][0]["context"], "script");
  EXPECT_EQ(findings[1]["count"], 1);
  EXPECT_EQ(findings[1]["line"], 3);
  EXPECT_EQ(findings[1]["occurrences"][0]["context"], "attribute-value");
}

}  // namespace
