// `vettrix merge`, run as a user would: the shards' JSON reports of a run
// against a loopback server and local files make the whole run's report in
// every format; what is not a report of ours is refused.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <algorithm>
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
#include "tests/support/untimed.h"

namespace {

namespace fs = std::filesystem;
using vx::clitest::RunResult;
using vx::clitest::WriteFile;
using vx::support::Quote;
using vx::support::ReadFile;
using vx::support::WithoutTimings;

class PageServer {
 public:
  PageServer() {
    http_.Get(R"(/page/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Server", "Pages/" + req.matches[1].str());
      res.set_content("<p>page " + req.matches[1].str() + "</p>\n<script>x()</script>\n<form>",
                      "text/html");
    });
    http_.Get("/gone", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<p onclick=x>not here</p>", "text/html");
    });
    http_.Get("/moved",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page/1"); });
    http_.Get("/clean", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<p>nothing</p>", "text/html");
    });
    listening_.start();
  }
  std::string Url(const std::string& path) const { return listening_.url(path); }

 private:
  httplib::Server http_;
  vx::testsupport::Listening listening_{http_};
};

class Merge : public vx::clitest::VettrixRun {
 protected:
  // A list of web pages, a 404, a redirect, a refused connection, local
  // files with and without findings and a missing one.
  void SetUp() override {
    VettrixRun::SetUp();
    Page("a.html", "<html>\n<body onload=\"go()\">\n<object data=x></object>\n");
    Page("b.html", "plain text");
    Page("c d.html", "<embed src=x>\n<!-- <script> -->\n<applet>");
    std::string list;
    for (const std::string& entry :
         {server_.Url("/page/1"), std::string("a.html"), server_.Url("/gone"),
          std::string("./missing.html"), server_.Url("/moved"), std::string("b.html"),
          std::string("http://127.0.0.1:1/refused"), server_.Url("/page/2"),
          std::string("c d.html"), server_.Url("/clean"), std::string("# a comment"),
          server_.Url("/page/3")})
      list += entry + "\n";
    WriteFile(dir_ / "list.txt", list);
  }

  // The shards' JSON reports of the list, written with `extra` options.
  std::vector<std::string> Shards(int n, const std::vector<std::string>& extra) {
    std::vector<std::string> files;
    for (int k = 1; k <= n; ++k) {
      const std::string name = "shard." + std::to_string(k) + ".jsonl";
      std::vector<std::string> args = {
          "check", "-q",       "--json", "--shard", std::to_string(k) + "/" + std::to_string(n),
          "-l",    "list.txt", "-o",     name};
      args.insert(args.end(), extra.begin(), extra.end());
      const RunResult r = Run(args);
      EXPECT_TRUE(r.status == 1 || r.status == 2) << r.err;
      files.push_back(name);
    }
    return files;
  }

  PageServer server_;
};

TEST_F(Merge, ShardsMergeIntoTheWholeRunsReportInEveryFormat) {
  struct Case {
    std::vector<std::string> check;  // options of both the run and the merge
    std::vector<std::string> shard;  // options of the shards' runs alone
  };
  const std::vector<Case> cases = {
      {{"--format", "json"}, {}},
      {{"--format", "json", "--occurrences"}, {"--occurrences"}},
      {{"--format", "csv"}, {}},
      {{"--format", "csv", "--occurrences", "--csv-safe"}, {"--occurrences"}},
      {{"--format", "sarif"}, {}},
      {{"--format", "sarif", "--occurrences"}, {"--occurrences"}},
      {{"--format", "sarif", "--rule-set", "all"}, {"--rule-set", "all"}},
      {{"--format", "human"}, {}},
      {{"--format", "human", "-v"}, {"--occurrences"}},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& a : c.check) name += a + " ";
    SCOPED_TRACE(name);
    std::vector<std::string> whole = {"check", "-q", "-l", "list.txt"};
    whole.insert(whole.end(), c.check.begin(), c.check.end());
    const RunResult expected = Run(whole);
    ASSERT_EQ(expected.status, 2) << expected.err;
    for (int n : {1, 3}) {
      std::vector<std::string> files = Shards(n, c.shard);
      // The order the reports are given in does not matter.
      std::reverse(files.begin(), files.end());
      std::vector<std::string> merge = {"merge", "-q"};
      merge.insert(merge.end(), files.begin(), files.end());
      merge.insert(merge.end(), c.check.begin(), c.check.end());
      const RunResult merged = Run(merge);
      EXPECT_EQ(merged.status, expected.status) << merged.err;
      EXPECT_EQ(merged.err, "");
      EXPECT_EQ(WithoutTimings(merged.out), WithoutTimings(expected.out)) << n << " shards";
      if (c.check[1] == "sarif" && n == 3) {
        WriteFile(dir_ / "merged.sarif", merged.out);
        vx::clitest::ExpectValidSarif(dir_ / "merged.sarif", dir_);
      }
    }
  }
}

// A pipeline that runs shards gates on the merge: --fail-on gives the merged
// report the status the unsharded check gives, suppressed findings aside and
// "new" read from the baseline marks the shards wrote.
TEST_F(Merge, FailOnGivesTheStatusOfTheUnshardedRun) {
  std::string list;
  for (const std::string& entry :
       {server_.Url("/page/1"), std::string("a.html"), server_.Url("/gone"), std::string("b.html"),
        server_.Url("/clean"), server_.Url("/page/2")})
    list += entry + "\n";
  WriteFile(dir_ / "pages.txt", list);
  // The baseline knows the first page alone; suppressed: every form.
  ASSERT_EQ(Run({"check", "-q", "--json", server_.Url("/page/1"), "-o", "base.jsonl"}).status, 1);
  WriteFile(dir_ / "ignore.yaml",
            "suppressions:\n  - rule: Forms\n    address: \"**\"\n    reason: accepted\n");
  struct Case {
    std::vector<std::string> run;  // options of the shards and the whole run
    std::string terms;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, "Applet", 0},
      {{}, "Scripting", 1},
      {{}, "3,Object", 1},
      {{}, "VX005", 1},
      {{}, "http-error", 1},
      {{"--ignore", "ignore.yaml"}, "Forms", 0},
      {{"--ignore", "ignore.yaml"}, "Forms,OnLoad", 1},
      {{"--baseline", "base.jsonl"}, "new", 1},
      {{"--baseline", "base.jsonl"}, "new,Scripting", 1},
      {{"--baseline", "base.jsonl"}, "new,Applet", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terms + (c.run.empty() ? "" : " " + c.run[0]));
    std::vector<std::string> whole = {"check",     "-q",        "--json", "-l",
                                      "pages.txt", "--fail-on", c.terms};
    whole.insert(whole.end(), c.run.begin(), c.run.end());
    const RunResult expected = Run(whole);
    EXPECT_EQ(expected.status, c.status) << expected.err;
    std::vector<std::string> merge = {"merge", "-q", "--json", "--fail-on", c.terms};
    for (int k = 1; k <= 2; ++k) {
      const std::string name = "part." + std::to_string(k) + ".jsonl";
      std::vector<std::string> args = {
          "check", "-q",        "--json", "--shard", std::to_string(k) + "/2",
          "-l",    "pages.txt", "-o",     name};
      args.insert(args.end(), c.run.begin(), c.run.end());
      const RunResult shard = Run(args);
      EXPECT_TRUE(shard.status == 0 || shard.status == 1) << shard.err;
      merge.push_back(name);
    }
    const RunResult merged = Run(merge);
    EXPECT_EQ(merged.status, expected.status) << merged.err;
    EXPECT_EQ(merged.out, expected.out);
  }
  const RunResult bad = Run({"merge", "--fail-on", "NoSuchRule", "part.1.jsonl"});
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("NoSuchRule"), std::string::npos) << bad.err;
}

TEST_F(Merge, ShardReportsTellEachAddressesPositionOthersDoNot) {
  const std::vector<std::string> files = Shards(3, {});
  std::vector<std::uint64_t> indices;
  for (const std::string& f : files) {
    std::uint64_t last = 0;
    bool first = true;
    for (const auto& j : vx::clitest::JsonLines(ReadFile(dir_ / f))) {
      const std::uint64_t i = j.at("index");
      EXPECT_TRUE(first || i > last) << f;
      first = false;
      last = i;
      indices.push_back(i);
    }
  }
  std::sort(indices.begin(), indices.end());
  // Twelve lines, one a comment: positions count the input's entries.
  EXPECT_EQ(indices, (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const RunResult plain = Run({"check", "-q", "--json", "-l", "list.txt"});
  EXPECT_EQ(plain.out.find("\"index\""), std::string::npos);
  EXPECT_EQ(plain.out.find("\"length\""), std::string::npos);

  // Merged to JSON, a report of shards has neither field.
  std::vector<std::string> merge = {"merge", "--json", "-o", "all.jsonl"};
  merge.insert(merge.end(), files.begin(), files.end());
  EXPECT_EQ(Run(merge).status, 2);
  EXPECT_EQ(WithoutTimings(ReadFile(dir_ / "all.jsonl")), WithoutTimings(plain.out));
}

TEST_F(Merge, ReportsWithoutPositionsAndOfEarlierVersionsAreJoinedInTheirOrder) {
  // A line as the first versions wrote them (no id, severity), and one as
  // the versions before rule sets wrote occurrences.
  WriteFile(dir_ / "old.jsonl",
            "{\"address\":\"old.html\",\"ok\":true,\"error\":null,\"status\":null,"
            "\"final_address\":null,\"server\":null,\"bytes\":10,\"findings\":[{\"rule\":5,"
            "\"label\":\"Forms\",\"description\":\"Users can trick other people into enterting "
            "personal information.\",\"line\":2,\"column\":3}]}\n");
  const RunResult now = Run({"check", "--json", "a.html", "b.html"});
  WriteFile(dir_ / "now.jsonl", now.out);
  const RunResult merged = Run({"merge", "now.jsonl", "old.jsonl", "--format", "csv"});
  EXPECT_EQ(merged.status, 1) << merged.err;
  EXPECT_EQ(merged.out,
            "address,rule,label,description,line,column\r\n"
            "a.html,2,Object,This poses a possible threat of malicious objects.,3,1\r\n"
            "a.html,7,OnLoad,This could enable possible malicious scripts on load.,2,7\r\n"
            "old.html,5,Forms,Users can trick other people into enterting personal "
            "information.,2,3\r\n");
  EXPECT_NE(merged.err.find("3 addresses: 3 checked, 0 failed"), std::string::npos) << merged.err;
  const RunResult json = Run({"merge", "old.jsonl", "--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_NE(json.out.find("\"id\":\"VX005\""), std::string::npos) << json.out;

  // A report with no finding and no failure, on standard input: status 0.
  const RunResult clean = Run({"merge", "-", "--json"}, Run({"check", "--json", "b.html"}).out);
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.out, Run({"check", "--json", "b.html"}).out);
}

TEST_F(Merge, RefusesWhatIsNotOneRunsReports) {
  const std::vector<std::string> files = Shards(2, {});
  Run({"check", "-q", "-l", "list.txt", "--format", "csv", "-o", "report.csv"});
  Run({"check", "-q", "-l", "list.txt", "--format", "sarif", "-o", "report.sarif"});
  Run({"check", "-q", "-l", "list.txt", "--json", "-o", "plain.jsonl"});
  Run({"check", "-q", "-l", "list.txt", "--json", "--unordered", "--shard", "1/1", "-o",
       "unordered.jsonl"});
  WriteFile(dir_ / "rules.yaml",
            "rules:\n  - {id: MY001, label: Mine, severity: low, match: {literal: \"data=\"}}\n");
  ASSERT_EQ(
      Run({"check", "-q", "a.html", "--json", "--rules", "rules.yaml", "-o", "own.jsonl"}).status,
      1);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"report.csv"}, 2, "vettrix: merge: report.csv:1: not a report line of vettrix check"},
      {{"report.sarif"}, 2, "vettrix: merge: report.sarif:1: not a report line of vettrix check"},
      {{"nothing.jsonl"}, 2, "vettrix: merge: cannot read nothing.jsonl: No such file"},
      {{files[0], "plain.jsonl"},
       2,
       "plain.jsonl:1: has no \"index\" (not written by a --shard run)"},
      {{"plain.jsonl", files[0]}, 2, "plain.jsonl:1: has no \"index\""},
      {{files[0], files[1], files[0]}, 2, "is in two reports"},
      {{}, 64, "vettrix: merge needs the JSON reports to merge"},
      {{files[0], "--shard", "1/2"}, 64, "unknown option \"--shard\" of merge"},
      {{files[0], "--format", "xml"}, 64, "--format is human, json, csv or sarif"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"merge", "-o", "out.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, c.status) << c.message << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    // Nothing half made is left behind.
    EXPECT_FALSE(fs::exists(dir_ / "out.txt")) << c.message;
  }
  // An unordered report is refused only when it is out of order.
  const RunResult unordered = Run({"merge", "unordered.jsonl", "--json"});
  if (unordered.status != 2 || !unordered.err.empty()) {
    EXPECT_NE(unordered.err.find("must be in input order (written without --unordered)"),
              std::string::npos)
        << unordered.err;
  }
  // Findings of rules the merge is not given.
  const RunResult own = Run({"merge", "own.jsonl", "--format", "sarif"});
  EXPECT_EQ(own.status, 2);
  EXPECT_NE(own.err.find("own.jsonl:1: rule \"MY001\" is not in the active rule set"),
            std::string::npos)
      << own.err;
  EXPECT_EQ(Run({"merge", "own.jsonl", "--rules", "rules.yaml", "--format", "sarif"}).status, 1);
}

TEST_F(Merge, AMissingShardIsNoted) {
  const std::vector<std::string> files = Shards(3, {});
  const RunResult r = Run({"merge", files[0], files[2], "--json"});
  EXPECT_NE(r.err.find("positions of the input are in none of the reports"), std::string::npos)
      << r.err;
}

}  // namespace
