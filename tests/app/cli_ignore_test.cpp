// --ignore through the built program: suppressions by rule id, label and
// tag, address glob and snippet; their end date; what each format shows; the
// summary; SARIF validated against the schema; merges keep them.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

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
using vx::clitest::RunResult;
using vx::clitest::WriteFile;
using vx::support::Quote;
using vx::support::ReadFile;
using Words = std::vector<std::string>;

class Site {
 public:
  Site() {
    http_.Get(R"(/(.*))", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<script src=/analytics.js></script>\n<form>", "text/html");
    });
    listening_.start();
  }
  std::string Url(const std::string& path) const { return listening_.url(path); }

 private:
  httplib::Server http_;
  vx::testsupport::Listening listening_{http_};
};

class Ignore : public vx::clitest::VettrixRun {
 protected:
  void SetUp() override {
    VettrixRun::SetUp();
    Page("pages/a.html", "<script>mine()</script>\n<object>");
    Page("pages/deep/b.html", "<script>mine()</script>\n<embed>");
    Page("other.html", "<script>theirs()</script>");
    const std::string host = site_.Url("/").substr(0, site_.Url("/").size() - 1);
    WriteFile(dir_ / "ign.yaml",
              "suppressions:\n"
              // By label, one folder deep only.
              "  - {rule: Scripting, address: 'pages/*.html', reason: our own script}\n"
              // By id, any depth.
              "  - {rule: VX004, address: 'pages/**', reason: accepted embeds}\n"
              // By tag and snippet, on the web site.
              "  - rule: classic\n"
              "    address: '" +
                  host +
                  "/**'\n"
                  "    snippet: analytics.js\n"
                  "    reason: \"the site's analytics\"\n"
                  "    until: 2999-12-31\n"
                  // Ended: applies no more.
                  "  - {rule: VX002, address: '**', reason: gone, until: 2001-02-03}\n");
    addresses_ = {"pages/a.html", "pages/deep/b.html", "other.html", site_.Url("/x/y")};
  }

  RunResult Check(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"check", "--ignore", "ign.yaml"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), addresses_.begin(), addresses_.end());
    return Run(args);
  }

  Site site_;
  std::vector<std::string> addresses_;
};

TEST_F(Ignore, EntriesMatchByRuleGlobAndSnippetUntilTheirEnd) {
  const RunResult r = Check({"--json"});
  ASSERT_EQ(r.status, 1) << r.err;
  std::vector<Words> found;
  for (const Json& line : r.JsonLines()) {
    Words w;
    for (const Json& f : line.at("findings"))
      w.push_back(f.at("id").get<std::string>() + ":" + f.value("suppressed", "-"));
    found.push_back(w);
  }
  EXPECT_EQ(found, (std::vector<Words>{
                       {"VX001:our own script", "VX002:-"},        // the ended entry
                       {"VX001:-", "VX004:accepted embeds"},       // * stops at /
                       {"VX001:-"},                                // no entry
                       {"VX001:the site's analytics", "VX005:-"},  // snippet on its line only
                   }));
  EXPECT_NE(r.err.find("vettrix: warning: ign.yaml:9: the suppression of VX002 for ** ended on "
                       "2001-02-03 and no longer applies"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(", 3 suppressed\n"), std::string::npos) << r.err;
}

TEST_F(Ignore, HumanCsvAndFailOnLeaveSuppressedFindingsOut) {
  const RunResult human = Check({});
  EXPECT_EQ(human.out.find("Scripting"), human.out.find("== pages/deep/b.html\n") + 21)
      << human.out;
  EXPECT_EQ(human.out.find("Embedding"), std::string::npos) << human.out;
  const RunResult csv = Check({"--format", "csv"});
  EXPECT_EQ(vx::clitest::Lines(csv.out).size(), 1u + 4u) << csv.out;
  EXPECT_EQ(csv.out.find("Embedding"), std::string::npos);
  // Every embed is accepted: --fail-on it passes, as it fails without.
  EXPECT_EQ(Check({"--fail-on", "Embedding"}).status, 0);
  EXPECT_EQ(Run({"check", "--fail-on", "Embedding", "pages/deep/b.html"}).status, 1);
  EXPECT_EQ(Check({"--fail-on", "Object"}).status, 1);
}

TEST_F(Ignore, SarifTellsSuppressionsAndMergesKeepThem) {
  const RunResult sarif = Check({"--format", "sarif", "-q"});
  ASSERT_EQ(sarif.status, 1) << sarif.err;
  WriteFile(dir_ / "run.sarif", sarif.out);
  vx::clitest::ExpectValidSarif(dir_ / "run.sarif", dir_);
  Words justifications;
  std::size_t results = 0;
  const Json log = Json::parse(sarif.out);
  for (const Json& r : log.at("runs")[0].at("results")) {
    ++results;
    if (!r.contains("suppressions")) continue;
    ASSERT_EQ(r.at("suppressions").size(), 1u);
    EXPECT_EQ(r.at("suppressions")[0].at("kind"), "external");
    justifications.push_back(r.at("suppressions")[0].at("justification"));
  }
  EXPECT_EQ(results, 7u);
  EXPECT_EQ(justifications, (Words{"our own script", "accepted embeds", "the site's analytics"}));

  for (const char* format : {"json", "sarif", "csv"}) {
    const RunResult whole = Check({"-q", "--format", format});
    std::vector<std::string> merge = {"merge", "-q", "--format", format};
    for (int k = 1; k <= 2; ++k) {
      const std::string name = "s" + std::to_string(k) + ".jsonl";
      Check({"-q", "--json", "--shard", std::to_string(k) + "/2", "-o", name});
      merge.push_back(name);
    }
    const RunResult merged = Run(merge);
    EXPECT_EQ(merged.status, whole.status) << format << merged.err;
    EXPECT_EQ(merged.out, whole.out) << format;
  }
}

TEST_F(Ignore, ABadFileIsAUsageErrorNamingFileLineAndField) {
  WriteFile(dir_ / "bad.yaml", "suppressions:\n  - rule: VX001\n    address: '**'\n");
  const RunResult r = Run({"check", "--ignore", "bad.yaml", "other.html"});
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("vettrix: --ignore: bad.yaml:2: suppressions[0].reason: is required"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Run({"check", "--ignore", "none.yaml", "other.html"}).status, 64);
}

}  // namespace
