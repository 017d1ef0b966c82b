// Rule sets, rule files and severities, through the built vettrix: what a
// user writes in a rule file and on the command line, and what comes out.

#include <httplib.h>
#include <algorithm>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/sarif_schema.h"
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
  // One the parser takes but the database does not, after a good one: the
  // file's regexes are built together, and the refusal still names its own.
  ExpectFileError(
      "rules:\n  - {id: a, label: A, severity: low, match: {regex: 'ab+c'}}\n"
      "  - {id: b, label: B, severity: low, match: {regex: '(.*a){1000}'}}\n",
      "bad.yaml:3: rules[1].match.regex: \"(.*a){1000}\" cannot be used: Pattern is too large");
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
  vx::clitest::ExpectValidSarif(dir_ / "out.sarif", dir_);

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

constexpr const char* kElementRules = R"(rules:
  - id: zero-frame
    label: Zero frame
    severity: high
    match: {element: 'iframe[width="0"][height="0"], frame[src$=".php"]'}
  - id: tests
    label: Tests
    severity: low
    match: {element: 'input[type=PASSWORD], a[href^="https:"][title*=ay], *[data-x]'}
  - id: unchecked
    label: Unchecked
    severity: medium
    match: {element: 'script[src]:not([integrity])'}
  - id: case-kept
    label: Case kept
    severity: low
    match: {element: 'p[title="Hi"]'}
  - id: many-links
    label: Many links
    severity: medium
    match: {element: 'div:has(a[href])'}
    has-count: 2
)";

TEST_F(Rules, ElementSelectorsMatchStartTags) {
  Page("el.yaml", kElementRules);
  Page("page.html",
       "<IFRAME HEIGHT=0 width='0' src=x></iframe><iframe width=0 src=y></iframe>\n"
       "<frame src=a.php><frame src=a.php.txt>"
       "<script>var s = '<iframe width=0 height=0>';</script><!-- <input type=password> -->\n"
       "<input type=Password><a href='https://x' title=Today><a href='http://x' title=day>"
       "<b data-x>\n"
       "<script src=a.js integrity=sha384-x></script><script src=b.js></script>"
       "<p title=hi><p title=Hi>\n"
       "<div><a href=1></a></div><div><a href=1></a><span><a href=2></a></span></div>");
  const RunResult r = Run({"check", "--json", "--occurrences", "--disable", "classic", "--rules",
                           "el.yaml", "page.html"});
  ASSERT_EQ(r.status, 1) << r.err;
  const Json findings = r.JsonLines().at(0)["findings"];
  ASSERT_EQ(Ids(r), (std::vector<std::string>{"zero-frame", "tests", "unchecked", "case-kept",
                                              "many-links"}));
  auto places = [&](std::size_t i) {
    std::vector<std::string> out;
    for (const Json& o : findings[i]["occurrences"]) {
      EXPECT_EQ(o["context"], "tag");
      out.push_back(std::to_string(o["line"].get<int>()) + ":" +
                    std::to_string(o["column"].get<int>()) + " " + o["element"].get<std::string>());
    }
    return out;
  };
  // Not inside the script or the comment; names and type values without case.
  EXPECT_EQ(places(0), (std::vector<std::string>{"1:1 iframe", "2:1 frame"}));
  EXPECT_EQ(findings[0]["count"], 2);
  EXPECT_EQ(places(1), (std::vector<std::string>{"3:1 input", "3:22 a", "3:83 b"}));
  EXPECT_EQ(places(2), (std::vector<std::string>{"4:46 script"}));
  EXPECT_EQ(places(3), (std::vector<std::string>{"4:84 p"}));    // a title's case counts
  EXPECT_EQ(places(4), (std::vector<std::string>{"5:26 div"}));  // two links inside
  EXPECT_EQ(findings[0]["occurrences"][0]["offset"], 0);
  EXPECT_NE(findings[0]["occurrences"][0]["snippet"].get<std::string>().find("<IFRAME"),
            std::string::npos);

  const RunResult listed = Run({"rules", "--json", "--disable", "classic", "--rules", "el.yaml"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const Json first = listed.JsonLines().at(0);
  EXPECT_EQ(first["kind"], "element");
  EXPECT_EQ(
      first["match"],
      Json::parse(R"({"element":"iframe[width=\"0\"][height=\"0\"], frame[src$=\".php\"]"})"));
  EXPECT_EQ(listed.JsonLines().at(4)["has-count"], 2);
}

TEST_F(Rules, SameOriginCountsOnlyUrlsOfAnotherSite) {
  Page("origin.yaml", R"(allow-origins: [https://cdn.example.org, fonts.example.net]
rules:
  - id: elsewhere
    label: Elsewhere
    severity: medium
    match: {element: 'script, form, meta[http-equiv=refresh]'}
    same-origin: false
  - id: at-home
    label: At home
    severity: low
    match: {element: script}
    same-origin: true
)");
  const std::string page =
      "<script src=/own.js></script>\n"                             // relative: the page's own
      "<script src=https://evil.test/a.js></script>\n"              // another site
      "<script src=//cdn.example.org/lib.js></script>\n"            // on the allow-list
      "<script src=https://a.fonts.example.net/f.js></script>\n"    // under a listed host
      "<script src='HTTPS://user@Evil.TEST:8443/b.js'></script>\n"  // another site, spelt oddly
      "<form action=https://127.0.0.1:9/login></form>\n"            // the page's host, other port
      "<form></form><script src=data:text/javascript,1></script>\n"
      "<meta http-equiv=Refresh content=\"0; url='https://evil.test/'\">\n";
  Page("page.html", page);
  auto lines = [&](const RunResult& r) {
    std::map<std::string, std::vector<int>> out;
    const std::vector<Json> reports = r.JsonLines();
    for (const Json& f : reports.at(0)["findings"])
      for (const Json& o : f["occurrences"]) out[f["id"].get<std::string>()].push_back(o["line"]);
    return out;
  };
  // A local file has no site of its own: every absolute web address is elsewhere.
  const RunResult local = Run({"check", "--json", "--occurrences", "--disable", "classic",
                               "--rules", "origin.yaml", "page.html"});
  ASSERT_EQ(local.status, 1) << local.err;
  EXPECT_EQ(lines(local)["elsewhere"], (std::vector<int>{2, 5, 6, 8})) << local.out;
  EXPECT_EQ(lines(local)["at-home"], (std::vector<int>{1, 3, 4, 7}));

  // Served from 127.0.0.1, the form posting to another port of it stays home.
  httplib::Server http;
  http.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html");
  });
  const int port = http.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { http.listen_after_bind(); });
  while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const RunResult web = Run({"check", "--json", "--occurrences", "--disable", "classic", "--rules",
                             "origin.yaml", "http://127.0.0.1:" + std::to_string(port) + "/page"});
  http.stop();
  thread.join();
  ASSERT_EQ(web.status, 1) << web.err;
  EXPECT_EQ(lines(web)["elsewhere"], (std::vector<int>{2, 5, 8}));
}

TEST_F(Rules, HeaderRulesTestTheFinalResponseEachCookieOnItsOwn) {
  Page("headers.yaml", R"(rules:
  - id: no-csp
    label: No CSP
    severity: low
    match: {header: {name: Content-Security-Policy, absent: true}}
  - id: old-server
    label: Old server
    severity: medium
    match: {header: {name: server, matches: 'apache/2\.[0-2]\b'}}
  - id: cookie-not-secure
    label: Insecure cookie
    severity: low
    match: {header: {name: set-cookie, lacks: secure}}
  - id: cookie-lookahead
    label: No HttpOnly
    severity: info
    match: {header: {name: set-cookie, matches: '^(?!.*;\s*httponly\s*(;|$))'}}
  - id: no-frame-guard
    label: Framable
    severity: low
    match:
      header:
        - {name: x-frame-options, absent: true}
        - {name: content-security-policy, lacks: frame-ancestors}
  - id: no-hsts
    label: No HSTS
    severity: low
    match: {header: {name: strict-transport-security, absent: true}}
    page-scheme: https
)");
  httplib::Server http;
  http.Get("/bare", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Apache/2.2.15 (Unix)");
    res.set_header("Set-Cookie", "a=1; Secure; HttpOnly");
    res.set_header("Set-Cookie", "b=2; Path=/; secure");
    res.set_header("Set-Cookie", "c=3; Path=/secure-area");  // a path is no Secure flag
    res.set_content("<p>x</p>", "text/html");
  });
  http.Get("/guarded", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Apache/2.4.57");
    res.set_header("Content-Security-Policy", "default-src 'self'");
    res.set_content("<p>x</p>", "text/html");
  });
  http.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "d=4");  // not the final response's
    res.set_redirect("/guarded");
  });
  const int port = http.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { http.listen_after_bind(); });
  while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  auto check = [&](const std::string& path, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"check",   "--json",  "--occurrences", "--disable",
                                     "classic", "--rules", "headers.yaml"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(path);
    return Run(args);
  };
  const RunResult bare = check(base + "/bare");
  const RunResult guarded = check(base + "/moved");
  Page("page.html", "<p>x</p>");
  const RunResult local = check("page.html");
  const RunResult sarif = check(base + "/bare", {"--format", "sarif", "-o", "out.sarif"});
  http.stop();
  thread.join();

  ASSERT_EQ(bare.status, 1) << bare.err;
  // lacks: holds for a header that is sent without the directive, not for a
  // missing one (no-csp says that).
  EXPECT_EQ(Ids(bare), (std::vector<std::string>{"no-csp", "old-server", "cookie-not-secure",
                                                 "cookie-lookahead"}));
  const Json bare_line = bare.JsonLines().at(0);
  for (const Json& f : bare_line["findings"]) {
    // No place in the text.
    EXPECT_EQ(f["line"], 0) << f;
    EXPECT_EQ(f["column"], 0) << f;
    EXPECT_TRUE(f["occurrences"].empty()) << f;
  }
  // Two cookies of three lack each flag (c's path is no flag).
  EXPECT_EQ(bare.JsonLines().at(0)["findings"][2]["count"], 1);
  EXPECT_EQ(bare.JsonLines().at(0)["findings"][3]["count"], 2);
  EXPECT_EQ(Ids(guarded), (std::vector<std::string>{"no-frame-guard"}));
  EXPECT_EQ(local.status, 0) << local.out;  // a file has no headers to test

  // A finding without a place still makes a valid SARIF log.
  ASSERT_EQ(sarif.status, 1) << sarif.err;
  vx::clitest::ExpectValidSarif(dir_ / "out.sarif", dir_);

  const RunResult listed =
      Run({"rules", "--json", "--disable", "classic", "--rules", "headers.yaml"});
  const std::vector<Json> objects = listed.JsonLines();
  ASSERT_EQ(objects.size(), 6u) << listed.err;
  EXPECT_EQ(objects[0]["kind"], "header");
  EXPECT_EQ(objects[0]["match"],
            Json::parse(R"({"header":{"name":"content-security-policy","absent":true}})"));
  EXPECT_EQ(objects[4]["match"], Json::parse(R"({"header":[{"name":"x-frame-options",
      "absent":true},{"name":"content-security-policy","lacks":"frame-ancestors"}]})"));
  EXPECT_EQ(objects[5]["page-scheme"], "https");
}

TEST_F(Rules, ElementAndHeaderRuleErrorsNameFileLineAndField) {
  auto rule = [](const std::string& match, const std::string& more = "") {
    return "rules:\n  - id: a\n    label: A\n    severity: low\n    match: " + match + "\n" + more;
  };
  ExpectFileError(rule("{element: 'iframe[width=0'}"),
                  "bad.yaml:5: rules[0].match.element: bad selector \"iframe[width=0\"");
  ExpectFileError(rule("{element: 'div > a'}"), "at character 5: expected \",\" between selectors");
  ExpectFileError(rule("{element: 'a[href~=x]'}"), "expected =, ^=, $=, *= or \"]\"");
  ExpectFileError(rule("{element: 'a[href^=\"\"]'}"), "the value is empty");
  ExpectFileError(rule("{element: 'a,'}"), "a selector is missing");
  ExpectFileError(rule("{element: ''}"), "rules[0].match.element: the selector is empty");
  ExpectFileError(rule("{element: 'a:has(b:has(c))'}"), ":has() is allowed once");
  ExpectFileError(rule("{element: 'a[title=\"x]'}"), "the quoted value is not closed");
  ExpectFileError(rule("{header: {name: x-frame-options}}"),
                  "rules[0].match.header: needs exactly one of absent: true, matches and lacks");
  ExpectFileError(rule("{header: {name: 'x frame', absent: true}}"),
                  "rules[0].match.header.name: \"x frame\" is no header name");
  ExpectFileError(rule("{header: {name: server, matches: 'a(b'}}"),
                  "rules[0].match.header.matches: \"a(b\": the regex cannot be used");
  ExpectFileError(rule("{header: {name: server, absent: false}}"), "rules[0].match.header.absent");
  ExpectFileError(rule("{header: {name: server, lacks: 'a b'}}"), "rules[0].match.header.lacks");
  ExpectFileError(rule("{header: [{name: server, absent: true}, {absent: true}]}"),
                  "rules[0].match.header[1].name: is required");
  ExpectFileError(rule("{header: {name: server, absent: true, value: x}}"),
                  "rules[0].match.header.value: unknown field");
  ExpectFileError(rule("{literal: x}", "    same-origin: false\n"),
                  "bad.yaml:6: rules[0].same-origin: is for element rules only");
  ExpectFileError(rule("{element: a}", "    has-count: 3\n"), "is for element rules with :has()");
  ExpectFileError(rule("{element: a}", "    in: [script]\n"),
                  "rules[0].in: is for literal and regex rules");
  ExpectFileError(rule("{element: 'a:has(b)'}", "    has-count: 0\n"),
                  "rules[0].has-count: is a whole number from 1 to 10000");
  ExpectFileError(rule("{element: a}", "    page-scheme: ftp\n"), "rules[0].page-scheme");
  ExpectFileError("allow-origins: ['https://']\n" + rule("{element: a}"),
                  "bad.yaml:1: allow-origins: \"https://\" is no origin");
  ExpectFileError("allow-origins: cdn.example.org\n" + rule("{element: a}"),
                  "allow-origins: needs a list of origins");
}

}  // namespace
