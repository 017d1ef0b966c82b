// --baseline and --fail-on new, through the built program: a finding moved
// by edits above it is unchanged, a new one is new, a gone one is absent, in
// JSON, SARIF (validated against the schema) and human output.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/sarif_schema.h"
#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"
#include "tests/support/loopback_server.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using vx::clitest::JsonLines;
using vx::clitest::RunResult;
using vx::clitest::WriteFile;
using vx::support::Quote;
using vx::support::ReadFile;

// The page changes between runs: what a site's next version looks like.
class ChangingServer {
 public:
  ChangingServer() {
    http_.Get("/site", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(later_ ? "<p>a new banner</p>\n<p>and more</p>\n<script>x()</script>\n"
                             : "<script>x()</script>\n<form>",
                      "text/html");
    });
    listening_.start();
  }
  std::string Url() const { return listening_.url("/site"); }
  void Change() { later_ = true; }

 private:
  httplib::Server http_;
  std::atomic<bool> later_{false};
  vx::testsupport::Listening listening_{http_};
};

// Each finding's rule id and state, "VX001=unchanged".
std::vector<std::string> States(const Json& line) {
  std::vector<std::string> out;
  for (const Json& f : line.at("findings"))
    out.push_back(f.at("id").get<std::string>() + "=" + f.value("baseline", "(none)"));
  return out;
}

std::vector<std::string> AbsentIds(const Json& line) {
  std::vector<std::string> out;
  for (const Json& f : line.at("absent")) out.push_back(f.at("id"));
  return out;
}

using Words = std::vector<std::string>;

class BaselineRun : public vx::clitest::VettrixRun {
 protected:
  // The first version of the pages, its baseline, then the second version.
  void TwoVersions(const std::vector<std::string>& baseline_options) {
    Page("moved.html", "<p>intro</p>\n<script>a()</script>\n<form>");
    Page("edited.html", "<object data=1>\n");
    Page("only-then.html", "<embed>");
    std::vector<std::string> args = {"check",      "-q",         "--json",      "-o",
                                     "base.jsonl", "moved.html", "edited.html", "only-then.html",
                                     server_.Url()};
    args.insert(args.end(), baseline_options.begin(), baseline_options.end());
    ASSERT_EQ(Run(args).status, 1);
    // Lines above the script and the form; the object's line itself edited;
    // the script gone from the page on the server, and its form.
    Page("moved.html", "<h1>new</h1>\n<p>more</p>\n<p>intro</p>\n<script>a()</script>\n<form>");
    Page("edited.html", "<object data=2>\n<applet>");
    Page("new.html", "<form>");
    server_.Change();
  }

  RunResult Again(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"check",      "-q",          "--baseline", "base.jsonl",
                                     "moved.html", "edited.html", "new.html",   server_.Url()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }

  ChangingServer server_;
};

TEST_F(BaselineRun, WithSnippetsEditsAboveLeaveAFindingUnchangedAndAnEditedLineMakesItNew) {
  TwoVersions({"--occurrences"});
  const RunResult r = Again({"--json"});
  ASSERT_EQ(r.status, 1) << r.err;
  const auto lines = r.JsonLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(States(lines[0]), (Words{"VX001=unchanged", "VX005=unchanged"}));
  EXPECT_EQ(lines[0].at("findings")[0].at("line"), 4);
  EXPECT_EQ(AbsentIds(lines[0]), Words{});
  // Its snippet changed: the old finding is gone, the one now is new.
  EXPECT_EQ(States(lines[1]), (Words{"VX002=new", "VX003=new"}));
  ASSERT_EQ(AbsentIds(lines[1]), Words{"VX002"});
  EXPECT_EQ(lines[1].at("absent")[0].at("snippet"), "<object data=1>");
  EXPECT_EQ(lines[1].at("absent")[0].at("line"), 1);
  // Not in the baseline: all new.
  EXPECT_EQ(States(lines[2]), Words{"VX005=new"});
  // The web page: its script moved down, its form went.
  EXPECT_EQ(States(lines[3]), Words{"VX001=unchanged"});
  EXPECT_EQ(AbsentIds(lines[3]), Words{"VX005"});
  // only-then.html, in the baseline but not checked now, is in no line.
  EXPECT_EQ(r.out.find("only-then"), std::string::npos);
  // Without --baseline nothing of this is written.
  const RunResult plain = Run({"check", "-q", "--json", "moved.html"});
  EXPECT_EQ(plain.out.find("baseline"), std::string::npos);
  EXPECT_EQ(plain.out.find("absent"), std::string::npos);
}

TEST_F(BaselineRun, WithoutSnippetsAndFromOlderVersionsAddressAndRuleAloneMatch) {
  TwoVersions({});
  const auto lines = Again({"--json"}).JsonLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(States(lines[0]), (Words{"VX001=unchanged", "VX005=unchanged"}));
  EXPECT_EQ(States(lines[1]), (Words{"VX002=unchanged", "VX003=new"}));
  EXPECT_EQ(lines[1].at("absent"), Json::array());
  EXPECT_EQ(AbsentIds(lines[3]), Words{"VX005"});
  EXPECT_FALSE(lines[3].at("absent")[0].contains("snippet"));

  // A baseline as the first versions wrote it: no ids, no severities.
  WriteFile(dir_ / "base.jsonl",
            "{\"address\":\"edited.html\",\"ok\":true,\"error\":null,\"status\":null,"
            "\"final_address\":null,\"server\":null,\"bytes\":5,\"findings\":[{\"rule\":2,"
            "\"label\":\"Object\",\"description\":\"d\",\"line\":9,\"column\":9},{\"rule\":15,"
            "\"label\":\"Close\",\"description\":\"gone\",\"line\":1,\"column\":1}]}\n");
  const auto old = Run({"check", "--json", "--baseline", "base.jsonl", "edited.html"}).JsonLines();
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(States(old[0]), (Words{"VX002=unchanged", "VX003=new"}));
  ASSERT_EQ(old[0].at("absent").size(), 1u);
  EXPECT_EQ(old[0].at("absent")[0].at("label"), "Close");
  EXPECT_EQ(old[0].at("absent")[0].at("id"), "VX015");
}

TEST_F(BaselineRun, FailOnNewCountsOnlyNewFindingsForEveryTerm) {
  TwoVersions({"--occurrences"});
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, 1},
      {{"--fail-on", "new"}, 1},
      {{"--fail-on", "new,Applet"}, 1},                 // new in edited.html
      {{"--fail-on", "NEW, Scripting"}, 0},             // unchanged everywhere
      {{"--fail-on", "new", "--fail-on", "Forms"}, 1},  // new.html
      {{"--fail-on", "Scripting"}, 1},                  // without new: unchanged ones count
      {{"--fail-on", "new,http-error"}, 1},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& a : c.args) name += a + " ";
    EXPECT_EQ(Again(c.args).status, c.status) << name;
  }
  // Nothing new: status 0 for --fail-on new, 1 without it.
  ASSERT_EQ(Run({"check", "-q", "--json", "--occurrences", "-o", "now.jsonl", "moved.html",
                 "edited.html"})
                .status,
            1);
  EXPECT_EQ(Run({"check", "-q", "--baseline", "now.jsonl", "--fail-on", "new", "moved.html",
                 "edited.html"})
                .status,
            0);
  const RunResult without = Run({"check", "--fail-on", "new", "moved.html"});
  EXPECT_EQ(without.status, 64);
  EXPECT_NE(without.err.find("--fail-on new needs --baseline"), std::string::npos) << without.err;
  WriteFile(dir_ / "bad.jsonl", "{\"address\":\"a\",\"ok\":true}\n");
  const RunResult bad = Run({"check", "--baseline", "bad.jsonl", "moved.html"});
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("--baseline: bad.jsonl:1: not a report line"), std::string::npos)
      << bad.err;
}

TEST_F(BaselineRun, SarifTellsBaselineStatesAndHumanOutputMarksNewFindings) {
  TwoVersions({"--occurrences"});
  const RunResult sarif = Again({"--format", "sarif"});
  ASSERT_EQ(sarif.status, 1) << sarif.err;
  WriteFile(dir_ / "run.sarif", sarif.out);
  vx::clitest::ExpectValidSarif(dir_ / "run.sarif", dir_);
  const Json log = Json::parse(sarif.out);
  std::vector<std::string> states;
  for (const Json& r : log.at("runs")[0].at("results")) {
    const std::string uri = r.at("locations")[0]["physicalLocation"]["artifactLocation"]["uri"];
    states.push_back(uri.substr(uri.rfind('/') + 1) + " " + r.at("ruleId").get<std::string>() +
                     " " + r.at("baselineState").get<std::string>());
  }
  EXPECT_EQ(states,
            (Words{"moved.html VX001 unchanged", "moved.html VX005 unchanged",
                   "edited.html VX002 new", "edited.html VX003 new", "edited.html VX002 absent",
                   "new.html VX005 new", "site VX001 unchanged", "site VX005 absent"}));

  const RunResult human = Again({});
  EXPECT_NE(human.out.find("== edited.html\nObject\tThis poses a possible threat of malicious "
                           "objects.\t(new)\n"),
            std::string::npos)
      << human.out;
  EXPECT_NE(human.out.find("== moved.html\nScripting\tThis poses a possible threat of malicious "
                           "scripting.\n"),
            std::string::npos)
      << human.out;
}

TEST_F(BaselineRun, ShardsWithABaselineMergeIntoTheWholeRun) {
  TwoVersions({"--occurrences"});
  const RunResult whole = Again({"--json", "--occurrences"});
  std::vector<std::string> merge = {"merge", "-q", "--json"};
  for (int k = 1; k <= 2; ++k) {
    const std::string name = "s" + std::to_string(k) + ".jsonl";
    Again({"--json", "--occurrences", "--shard", std::to_string(k) + "/2", "-o", name});
    merge.push_back(name);
  }
  const RunResult merged = Run(merge);
  EXPECT_EQ(merged.status, whole.status) << merged.err;
  EXPECT_EQ(merged.out, whole.out);
}

}  // namespace
