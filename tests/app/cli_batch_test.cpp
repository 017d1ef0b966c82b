// `vettrix check` over many addresses, run as a user would: lists, folders,
// shards, streaming, signals, report formats and the politeness options,
// against files and real HTTP servers on the loopback interface.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/sarif_schema.h"
#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"
#include "tests/support/untimed.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;
using vx::support::WithoutTimings;
using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

const char* const kRuleLabels[] = {"Scripting",  "Object",    "Applet",    "Embedding", "Forms",
                                   "Popup",      "OnLoad",    "MouseDown", "Favorites", "Flash",
                                   "OnClick",    "MouseDown", "MouseMove", "MouseOver", "Close",
                                   "MouseWheel", "WinFocus",  "Shutdown",  "Create Ob", "Cd-Rom"};

using vx::clitest::JsonLines;
using vx::clitest::Lines;
using vx::clitest::WriteFile;

std::vector<std::string> Addresses(const std::string& json_lines) {
  std::vector<std::string> out;
  for (const Json& j : JsonLines(json_lines)) out.push_back(j["address"]);
  return out;
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, in_quotes = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        in_quotes = false;
      } else {
        field += c;
      }
    } else if (c == '"' && field.empty() && !quoted) {
      in_quotes = quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      quoted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      quoted = false;
      ++i;
    } else {
      EXPECT_NE(c, '\n') << "a bare line break outside quotes";
      field += c;
    }
  }
  EXPECT_TRUE(row.empty() && field.empty()) << "the last record has no line end";
  return rows;
}

using Result = vx::clitest::RunResult;

// Pages for the batch tests, counting what they serve.
class Server {
 public:
  Server() {
    http_.new_task_queue = [] { return new httplib::ThreadPool(64); };
    http_.Get(R"(/page/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.set_header("Server", "Pages/" + req.matches[1].str());
      res.set_content("<p>page " + req.matches[1].str() + "</p>\n<script>x()</script>",
                      "text/html");
    });
    http_.Get(R"(/slow/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(req.matches[1])));
      res.set_content("<form>late</form>", "text/html");
    });
    http_.Get(R"(/hold/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      res.set_content("<object>held " + req.matches[1].str() + "</object>", "text/html");
    });
    http_.Get("/c1", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.set_header("Server",
                     "C1\xC2\x9B"
                     "31m del\x7F raw\x9B"
                     "x caf\xC3\xA9");
      res.set_content("<p>x</p>", "text/html");
    });
    http_.Get("/moved", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.set_redirect("/page/1");
      res.set_content("<embed>moving</embed>", "text/html");
    });
    http_.Get("/busy", [this](const httplib::Request& req, httplib::Response& res) {
      const int n = Count(req);
      if (n == 1) {
        res.status = 503;
        res.set_header("Retry-After", "1");
      }
      res.set_content(n == 1 ? "<p>busy</p>" : "<form>free</form>", "text/html");
    });
    http_.Get("/gone", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.status = 404;
      res.set_content("<p onclick=x>not here</p>", "text/html");
    });
    http_.Get("/gz", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.set_content("<p onmouseover=x>" + std::string(3000, 'z') + "</p>", "text/html");
    });
    http_.Get("/latin1", [this](const httplib::Request& req, httplib::Response& res) {
      Count(req);
      res.set_content("caf\xE9 <applet>", "text/html; charset=iso-8859-1");
    });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Server() {
    http_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }
  int Served() {
    std::lock_guard lock(mutex_);
    return served_;
  }
  std::vector<Clock::time_point> Arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }
  std::string LastHeader(const std::string& name) {
    std::lock_guard lock(mutex_);
    return last_headers_[name];
  }

 private:
  int Count(const httplib::Request& req) {
    std::lock_guard lock(mutex_);
    ++served_;
    arrivals_.push_back(Clock::now());
    for (const char* h : {"User-Agent", "X-Extra"}) last_headers_[h] = req.get_header_value(h);
    return ++by_path_[req.path];
  }

  httplib::Server http_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  int served_ = 0;
  std::vector<Clock::time_point> arrivals_;
  std::map<std::string, std::string> last_headers_;
  std::map<std::string, int> by_path_;
};

class Batch : public vx::clitest::VettrixRun {
 protected:
  // Starts vettrix without waiting; its output goes to files in the folder.
  pid_t Spawn(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    const std::string cmd = Prefix("exec ") + Command(args) + " <" + Quote(input) + " >" +
                            Quote((dir_ / ".stdout").string()) + " 2>" +
                            Quote((dir_ / ".stderr").string());
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    return pid;
  }
};

TEST_F(Batch, ListsComeAfterTheCommandLineAndSkipCommentsAndBlanks) {
  Page("a.html", "<script>");
  Page("b.html", "<form>");
  Page("c.html", "plain");
  WriteFile(dir_ / "urls.txt",
            "\xEF\xBB\xBF# pages to check\n\n  b.html  \r\n\t\n#c.html\nc.html\r\n"
            "   # indented comment\n./missing.html");
  Result r = Run({"check", "--json", "a.html", "-l", "urls.txt"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(Addresses(r.out),
            (std::vector<std::string>{"a.html", "b.html", "c.html", "./missing.html"}));
  EXPECT_NE(r.err.find("vettrix: ./missing.html: cannot open file"), std::string::npos) << r.err;

  // Standard input as the list, given twice with another list between.
  WriteFile(dir_ / "more.txt", "a.html\n");
  r = Run({"check", "--json", "--list=-", "--list", "more.txt"}, "c.html\nb.html\n");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Addresses(r.out), (std::vector<std::string>{"c.html", "b.html", "a.html"}));

  // A list naming "-" while it is itself standard input is told, not hung on.
  r = Run({"check", "--json", "-l", "-"}, "a.html\n-\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(JsonLines(r.out).size(), 2u);
  EXPECT_NE(r.err.find("line 2 of standard input"), std::string::npos) << r.err;

  // A line longer than any address is one failure, and the list goes on.
  WriteFile(dir_ / "long.txt", std::string(70000, 'x') + "\nb.html\n");
  r = Run({"check", "--json", "-l", "long.txt"});
  const auto objects = JsonLines(r.out);
  ASSERT_EQ(objects.size(), 2u) << r.err;
  EXPECT_EQ(objects[0]["ok"], false);
  EXPECT_NE(objects[0]["error"].get<std::string>().find("longer than 65536 bytes"),
            std::string::npos);
  EXPECT_EQ(objects[1]["address"], "b.html");

  // An empty list is no address; a missing one is a failure; stdin cannot be both.
  WriteFile(dir_ / "empty.txt", "# nothing\n");
  EXPECT_EQ(Run({"check", "-l", "empty.txt"}).status, 0);
  r = Run({"check", "-l", "nowhere.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("vettrix: nowhere.txt: cannot read the list"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"check", "-l", "-", "-"}).status, 64);
  EXPECT_EQ(Run({"check", "-l", "-", "-l", "-"}).status, 64);
}

TEST_F(Batch, FoldersYieldTheirPagesSortedWithoutFollowingLinks) {
  Page("site/index.html", "<script>");
  Page("site/a.htm", "<form>");
  Page("site/a/b.HTML", "<embed>");
  Page("site/z.xhtml", "<object>");
  Page("site/notes.txt", "<script>");
  Page("site/deep/er/page.html", "plain");
  Page("elsewhere/linked.html", "<applet>");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "site/link-dir");
  fs::create_symlink(dir_ / "elsewhere/linked.html", dir_ / "site/link.html");
  fs::create_directories(dir_ / "site/empty");

  Result r = Run({"check", "--json", "site"});
  EXPECT_EQ(r.status, 1) << r.err;
  // As whole paths sort: "a.htm" before "a/".
  EXPECT_EQ(Addresses(r.out),
            (std::vector<std::string>{"site/a.htm", "site/a/b.HTML", "site/deep/er/page.html",
                                      "site/index.html", "site/z.xhtml"}));
  // The same folder spelled as a path.
  EXPECT_EQ(Addresses(Run({"check", "--json", "./site/deep/"}).out),
            (std::vector<std::string>{"./site/deep/er/page.html"}));

  // A folder without pages is a failure, not silence.
  r = Run({"check", "site/empty"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("site/empty: the folder holds no .html, .htm or .xhtml file"),
            std::string::npos)
      << r.err;

  // A folder named like a host stays a web address unless -r says otherwise.
  Server server;
  const std::string bare = server.Url("/page/7").substr(7);  // "127.0.0.1:PORT/page/7"
  Page(bare + "/inside.html", "<form>");
  r = Run({"check", "--json", bare});
  ASSERT_EQ(JsonLines(r.out).size(), 1u) << r.err;
  EXPECT_EQ(JsonLines(r.out)[0]["server"], "Pages/7");
  r = Run({"check", "--json", "-r", bare});
  EXPECT_EQ(Addresses(r.out), (std::vector<std::string>{bare + "/inside.html"}));
}

// Reports go out in blocks: where the report and the messages go to one
// file, each failure's message still comes right after its report, blocks
// of reports before and after it, and the summary comes last.
TEST_F(Batch, AFailuresMessageFollowsItsReportWhereBothGoToOneFile) {
  constexpr int kPages = 400;  // reports of several blocks
  constexpr int kTooLarge = 251;
  for (int i = 0; i < kPages; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "site/p%03d.html", i);
    Page(name, i == kTooLarge ? std::string(5000, 'x') : "<script>" + std::string(300, 'y'));
  }
  const fs::path both = dir_ / "both.txt";
  const std::string cmd = Prefix() + Command({"check", "--json", "--max-bytes", "1000", "site"}) +
                          " >" + Quote(both.string()) + " 2>&1";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  const std::vector<std::string> lines = Lines(ReadFile(both));
  ASSERT_EQ(lines.size(), kPages + 2u) << ReadFile(both);
  for (int i = 0; i < kPages; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "site/p%03d.html", i);
    const std::size_t at = i <= kTooLarge ? i : i + 1;
    ASSERT_EQ(Json::parse(lines[at])["address"], name) << at;
  }
  EXPECT_EQ(lines[kTooLarge + 1],
            "vettrix: site/p251.html: larger than the limit of 1000 bytes (see --max-bytes)");
  EXPECT_EQ(lines.back().rfind("vettrix: 400 addresses: 399 checked, 1 failed", 0), 0u)
      << lines.back();
}

TEST_F(Batch, ShardsSplitTheInputByPosition) {
  std::string list;
  std::vector<std::string> all;
  for (int i = 1; i <= 23; ++i) {
    const std::string name = std::string("p").append(std::to_string(i)).append(".html");
    Page(name, i % 3 ? "<script>" : "plain");
    list += (i % 5 == 0 ? "# a comment does not count\n" : "") + name + "\n";
    all.push_back(name);
  }
  WriteFile(dir_ / "list.txt", list);
  std::multiset<std::string> seen;
  for (int k = 1; k <= 4; ++k) {
    const Result r =
        Run({"check", "--json", "--shard", std::to_string(k) + "/4", "-l", "list.txt"});
    const auto addresses = Addresses(r.out);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      // Positions k, k+4, k+8, ... in input order.
      EXPECT_EQ(addresses[i], all[static_cast<std::size_t>(k - 1) + 4 * i]);
      seen.insert(addresses[i]);
    }
  }
  EXPECT_EQ(seen, std::multiset<std::string>(all.begin(), all.end()));
  EXPECT_EQ(Addresses(Run({"check", "--json", "--shard=1/1", "-l", "list.txt"}).out), all);
  for (const char* bad : {"0/4", "5/4", "1/0", "2", "a/b", "1/4/2", "-1/4", ""}) {
    EXPECT_EQ(Run({"check", "--shard", bad, "-l", "list.txt"}).status, 64) << bad;
  }
}

class Shards : public Batch {
 protected:
  // What each scheduler's task sees: only the variables given, none of a
  // scheduler this test may itself run under.
  Result RunIn(const std::string& vars, const std::vector<std::string>& args) {
    const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
    std::string cmd = Prefix() +
                      "-u SLURM_ARRAY_TASK_ID -u SLURM_ARRAY_TASK_MIN -u SLURM_ARRAY_TASK_STEP "
                      "-u SLURM_ARRAY_TASK_COUNT -u JOB_COMPLETION_INDEX "
                      "-u AWS_BATCH_JOB_ARRAY_INDEX " +
                      vars + " " + Command(args) + " </dev/null >" + Quote(out.string()) + " 2>" +
                      Quote(err.string());
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }
  // p1.html ... pN.html, listed in list.txt.
  std::vector<std::string> MakeList(int n) {
    std::vector<std::string> all;
    std::string list;
    for (int i = 1; i <= n; ++i) {
      all.push_back("p" + std::to_string(i) + ".html");
      Page(all.back(), i % 2 ? "<script>" : "plain");
      list += all.back() + "\n";
    }
    WriteFile(dir_ / "list.txt", list);
    return all;
  }
};

TEST_F(Shards, AutoTakesEachSchedulersIndexAndTagsObjectsWithTheirPosition) {
  const std::vector<std::string> all = MakeList(10);
  for (int k = 1; k <= 4; ++k) {
    const Result given =
        RunIn("", {"check", "--json", "--shard", std::to_string(k) + "/4", "-l", "list.txt"});
    const auto objects = JsonLines(given.out);
    ASSERT_FALSE(objects.empty()) << given.err;
    for (const Json& o : objects) {
      const std::size_t index = o["index"];
      ASSERT_LT(index, all.size());
      EXPECT_EQ(o["address"], all[index]);
      EXPECT_EQ(index % 4, static_cast<std::size_t>(k - 1));
    }
    const std::string slurm = "SLURM_ARRAY_TASK_ID=" + std::to_string(2 * k + 1) +
                              " SLURM_ARRAY_TASK_MIN=3 SLURM_ARRAY_TASK_STEP=2 "
                              "SLURM_ARRAY_TASK_COUNT=4";
    const std::string k0 = std::to_string(k - 1);
    const std::pair<std::string, std::string> tasks[] = {
        {slurm, "auto"},
        {"JOB_COMPLETION_INDEX=" + k0, "auto/4"},
        {"AWS_BATCH_JOB_ARRAY_INDEX=" + k0, "auto/4"}};
    for (const auto& [vars, shard] : tasks) {
      const Result r = RunIn(vars, {"check", "--json", "--shard", shard, "-l", "list.txt"});
      EXPECT_EQ(r.status, given.status) << vars << ": " << r.err;
      EXPECT_EQ(r.out, given.out) << vars;
    }
  }
  // Without --shard nothing changes.
  EXPECT_FALSE(
      JsonLines(RunIn("", {"check", "--json", "-l", "list.txt"}).out)[0].contains("index"));

  const Result none = RunIn("", {"check", "--json", "--shard", "auto", "-l", "list.txt"});
  EXPECT_EQ(none.status, 64);
  for (const char* name :
       {"SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"})
    EXPECT_NE(none.err.find(name), std::string::npos) << none.err;
  const Result no_count =
      RunIn("JOB_COMPLETION_INDEX=1", {"check", "--shard", "auto", "-l", "list.txt"});
  EXPECT_EQ(no_count.status, 64);
  EXPECT_NE(no_count.err.find("auto/N"), std::string::npos) << no_count.err;
  EXPECT_EQ(
      RunIn("JOB_COMPLETION_INDEX=4", {"check", "--shard", "auto/4", "-l", "list.txt"}).status, 64);
  EXPECT_EQ(RunIn("", {"check", "--shard-by", "random", "-l", "list.txt"}).status, 64);
}

TEST_F(Shards, ByHashAnAddressKeepsItsShardWhenTheListGrowsOrIsReordered) {
  std::vector<std::string> all = MakeList(40);
  auto shard_of = [&] {
    std::map<std::string, int> where;
    for (int k = 1; k <= 3; ++k) {
      const Result r = RunIn("", {"check", "--json", "--shard-by", "hash", "--shard",
                                  std::to_string(k) + "/3", "-l", "list.txt"});
      for (const Json& o : JsonLines(r.out)) {
        EXPECT_TRUE(where.emplace(o["address"], k).second) << o["address"] << " twice";
        EXPECT_EQ(o["address"], all[o["index"].get<std::size_t>()]);  // its position now
      }
    }
    return where;
  };
  const std::map<std::string, int> before = shard_of();
  EXPECT_EQ(before.size(), all.size());
  // Reversed, with new pages in front.
  std::reverse(all.begin(), all.end());
  for (int i = 41; i <= 50; ++i) {
    all.insert(all.begin(), "p" + std::to_string(i) + ".html");
    Page(all.front(), "<form>");
  }
  std::string list;
  for (const std::string& a : all) list += a + "\n";
  WriteFile(dir_ / "list.txt", list);
  const std::map<std::string, int> after = shard_of();
  EXPECT_EQ(after.size(), all.size());
  std::set<int> used;
  for (const auto& [address, k] : before) {
    EXPECT_EQ(after.at(address), k) << address;
    used.insert(k);
  }
  EXPECT_EQ(used.size(), 3u);
}

TEST_F(Batch, OrderedOutputWaitsForASlowFirstPageUnorderedDoesNot) {
  Server server;
  std::vector<std::string> args = {"check", "--json", server.Url("/slow/1200")};
  for (int i = 1; i <= 5; ++i) args.push_back(server.Url("/page/" + std::to_string(i)));
  Result r = Run(args);
  ASSERT_EQ(r.status, 1) << r.err;
  std::vector<std::string> expected(args.begin() + 2, args.end());
  EXPECT_EQ(Addresses(r.out), expected);

  args.insert(args.begin() + 1, "--unordered");
  r = Run(args);
  ASSERT_EQ(r.status, 1) << r.err;
  const auto unordered = Addresses(r.out);
  ASSERT_EQ(unordered.size(), 6u);
  EXPECT_EQ(unordered.back(), server.Url("/slow/1200"));
  EXPECT_EQ(std::multiset<std::string>(unordered.begin(), unordered.end()),
            std::multiset<std::string>(expected.begin(), expected.end()));
}

TEST_F(Batch, HeadEndsTheRunEarlyAndQuietly) {
  Server server;
  std::string list;
  for (int i = 0; i < 300; ++i) list += server.Url("/hold/" + std::to_string(i)) + "\n";
  WriteFile(dir_ / "list.txt", list);
  const std::string cmd =
      Prefix() + "bash -c " +
      Quote(Command({"check", "--json", "-l", "list.txt"}) +
            " 2>err.txt | head -n 2 >head.txt; echo \"${PIPESTATUS[0]}\" >status.txt");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const auto lines = JsonLines(ReadFile(dir_ / "head.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["address"], server.Url("/hold/0"));
  EXPECT_EQ(ReadFile(dir_ / "err.txt"), "");          // no complaint about the pipe
  EXPECT_EQ(ReadFile(dir_ / "status.txt"), "141\n");  // ended as by SIGPIPE
  EXPECT_LT(server.Served(), 100);                    // not the whole list
}

TEST_F(Batch, InterruptPrintsWhatIsCompleteAndLeavesNoPartialReport) {
  Server server;
  std::string list;
  for (int i = 0; i < 200; ++i) list += server.Url("/hold/" + std::to_string(i)) + "\n";
  WriteFile(dir_ / "list.txt", list);
  auto interrupt_after_some = [&](const std::vector<std::string>& args) {
    const int before = server.Served();
    const pid_t pid = Spawn(args);
    const auto give_up = Clock::now() + std::chrono::seconds(30);
    while (server.Served() < before + 12 && Clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // some complete
    EXPECT_EQ(::kill(pid, SIGINT), 0);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  EXPECT_EQ(interrupt_after_some({"check", "--json", "-o", "report.json", "-l", "list.txt"}), 130);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find("report.json"), std::string::npos)
        << "left behind: " << entry.path();
  }
  EXPECT_NE(ReadFile(dir_ / ".stderr").find("vettrix: interrupted"), std::string::npos);

  // On standard output what was complete is printed, whole lines in order.
  EXPECT_EQ(interrupt_after_some({"check", "--json", "-l", "list.txt"}), 130);
  const auto objects = JsonLines(ReadFile(dir_ / ".stdout"));
  EXPECT_GE(objects.size(), 1u);
  EXPECT_LT(objects.size(), 200u);
  for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
    const std::string a = objects[i]["address"], b = objects[i + 1]["address"];
    EXPECT_LT(std::stoi(a.substr(a.rfind('/') + 1)), std::stoi(b.substr(b.rfind('/') + 1)));
  }
  for (const Json& o : objects) EXPECT_EQ(o["ok"], true);

  // A page on standard input that never ends does not hold up an interrupt.
  const fs::path fifo = dir_ / "stdin.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR);  // keeps the pipe open, never closes it
  ASSERT_GE(writer, 0);
  const pid_t waiting = Spawn({"check", "--json", "-"}, fifo.string());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(::kill(waiting, SIGINT), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(waiting, &status, 0), waiting);  // a hang here fails by the test's timeout
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  ::close(writer);

  // An uninterrupted run puts the report in place whole, and nothing on stdout.
  const Result done =
      Run({"check", "--json", "-o", "report.json", Page("x.html", "<form>").string()});
  EXPECT_EQ(done.status, 1) << done.err;
  EXPECT_EQ(done.out, "");
  EXPECT_EQ(JsonLines(ReadFile(dir_ / "report.json")).size(), 1u);
  EXPECT_EQ(Run({"check", "-o", (dir_ / "no/such/folder/r.json").string(), "x.html"}).status, 2);
}

TEST_F(Batch, SarifReportValidatesAgainstThePublishedSchema) {
  Page("site/index.html", "<html>\n  <script>go()</script>\n<form onclick=x>");
  Page("site/clean.html", "<p>nothing</p>");
  Page("site/with space #1.html", "caf\xC3\xA9 <embed src=x>");
  Server server;
  const Result r = Run({"check", "--format", "sarif", "-o", "out.sarif", "site",
                        server.Url("/page/3"), "./missing.html"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out, "");

  vx::clitest::ExpectValidSarif(dir_ / "out.sarif", dir_);
  if (HasFatalFailure()) return;

  const Json log = Json::parse(ReadFile(dir_ / "out.sarif"));
  EXPECT_EQ(log["version"], "2.1.0");
  ASSERT_EQ(log["runs"].size(), 1u);
  const Json& run = log["runs"][0];
  const Json& rules = run["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), 20u);
  for (std::size_t i = 0; i < 20; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "VX%03zu", i + 1);
    EXPECT_EQ(rules[i]["id"], id);
    EXPECT_EQ(rules[i]["name"], kRuleLabels[i]);
    EXPECT_TRUE(rules[i]["shortDescription"]["text"].is_string());
  }
  EXPECT_EQ(rules[0]["shortDescription"]["text"],
            "This poses a possible threat of malicious scripting.");

  // One result per finding, placed where the JSON report places it.
  const Json& results = run["results"];
  std::vector<std::tuple<std::string, int, int, int>> got;
  for (const Json& res : results) {
    const Json& loc = res["locations"][0]["physicalLocation"];
    EXPECT_EQ(res["ruleId"], rules[res["ruleIndex"].get<int>()]["id"]);
    got.emplace_back(loc["artifactLocation"]["uri"], res["ruleIndex"].get<int>() + 1,
                     loc["region"]["startLine"], loc["region"]["startColumn"]);
  }
  const Result json = Run({"check", "--json", "site", server.Url("/page/3")});
  std::vector<std::tuple<std::string, int, int, int>> want;
  for (const Json& o : JsonLines(json.out)) {
    std::string uri = o["address"];
    if (uri == "site/with space #1.html") uri = "site/with%20space%20%231.html";
    for (const Json& f : o["findings"]) want.emplace_back(uri, f["rule"], f["line"], f["column"]);
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(std::get<3>(got[got.size() - 2]), 6);  // columns count characters: "café " is 5

  // The failure is told as a notification, and the run as not successful.
  const Json& invocation = run["invocations"][0];
  EXPECT_EQ(invocation["executionSuccessful"], false);
  EXPECT_EQ(invocation["exitCode"], 2);
  ASSERT_EQ(invocation["toolExecutionNotifications"].size(), 1u);
  EXPECT_NE(invocation["toolExecutionNotifications"][0]["message"]["text"].get<std::string>().find(
                "missing.html: cannot open file"),
            std::string::npos);

  // On standard output the same document.
  const Result out =
      Run({"check", "--format", "sarif", "site", server.Url("/page/3"), "./missing.html"});
  EXPECT_EQ(out.out, ReadFile(dir_ / "out.sarif"));
}

TEST_F(Batch, CsvQuotesCommasQuotesAndLineBreaks) {
  Page("pages/a,b.html", "<script>");
  Page("pages/say \"hi\".html", "<form>");
  Page("pages/two\nlines.html", "<embed>");
  Page("pages/plain.html", "<p onclick=x>\n<applet>");
  const Result r = Run({"check", "--format", "csv", "pages"});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 6u) << r.out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"address", "rule", "label", "description", "line",
                                               "column"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{
                         "pages/a,b.html", "1", "Scripting",
                         "This poses a possible threat of malicious scripting.", "1", "1"}));
  EXPECT_EQ(rows[2][0], "pages/plain.html");
  EXPECT_EQ(rows[2][1], "3");
  EXPECT_EQ(rows[2][4], "2");
  EXPECT_EQ(rows[3][1], "11");
  EXPECT_EQ(rows[4][0], "pages/say \"hi\".html");
  EXPECT_EQ(rows[5][0], "pages/two\nlines.html");
  EXPECT_EQ(rows[5][2], "Embedding");
  EXPECT_NE(r.out.find("\"pages/say \"\"hi\"\".html\""), std::string::npos);
}

TEST_F(Batch, JsonEscapesC1ControlsAndDel) {
  Server server;
  const Result r = Run({"check", "--json", server.Url("/c1")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\x7F'), std::string::npos);
  EXPECT_EQ(r.out.find("\xC2\x9B"), std::string::npos);
  EXPECT_EQ(r.out.find('\x9B'), std::string::npos);
  EXPECT_NE(r.out.find("C1\\u009b31m del\\u007f raw\xEF\xBF\xBDx caf\xC3\xA9"), std::string::npos)
      << r.out;
  const Json j = Json::parse(r.out);
  EXPECT_EQ(j["server"], "C1\u009b31m del\u007f raw\uFFFDx caf\u00e9");

  // The same server name in the other formats: never raw either.
  for (const char* format : {"sarif", "csv", "human"}) {
    const Result other = Run({"check", "--format", format, server.Url("/c1")});
    EXPECT_EQ(other.out.find('\x7F'), std::string::npos) << format;
    EXPECT_EQ(other.out.find("\xC2\x9B"), std::string::npos) << format;
  }
}

TEST_F(Batch, PolitenessOptionsReachTheServer) {
  Server server;
  // Retries with Retry-After, the user agent and extra headers.
  Result r = Run({"check", "--json", "--retries", "1", "-A", "Tester/2", "-H", "X-Extra: yes",
                  server.Url("/busy")});
  ASSERT_EQ(r.status, 1) << r.err;
  Json j = JsonLines(r.out)[0];
  EXPECT_EQ(j["status"], 200);
  EXPECT_EQ(j["findings"][0]["label"], "Forms");
  auto arrivals = server.Arrivals();
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_GE(arrivals[1] - arrivals[0], std::chrono::milliseconds(950));
  EXPECT_EQ(server.LastHeader("User-Agent"), "Tester/2");
  EXPECT_EQ(server.LastHeader("X-Extra"), "yes");

  // No redirect followed: the redirecting answer is checked.
  r = Run({"check", "--json", "--max-redirects", "0", server.Url("/moved")});
  j = JsonLines(r.out)[0];
  EXPECT_EQ(j["status"], 302);
  EXPECT_EQ(j["final_address"], server.Url("/moved"));
  EXPECT_EQ(j["findings"][0]["label"], "Embedding");
  r = Run({"check", "--json", server.Url("/moved")});
  EXPECT_EQ(JsonLines(r.out)[0]["final_address"], server.Url("/page/1"));

  // A rate of 10 a second spaces five requests over 0.4 s at least.
  std::vector<std::string> args = {"check", "--json", "--rate", "10", "--jobs", "8"};
  for (int i = 0; i < 5; ++i) args.push_back(server.Url("/page/" + std::to_string(i)));
  const std::size_t before = server.Arrivals().size();
  r = Run(args);
  EXPECT_EQ(r.status, 1) << r.err;
  arrivals = server.Arrivals();
  ASSERT_EQ(arrivals.size(), before + 5);
  EXPECT_GE(arrivals.back() - arrivals[before], std::chrono::milliseconds(380));

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--rate", "0"},
                                              {"--rate", "fast"},
                                              {"--per-host", "0"},
                                              {"--retries", "-1"},
                                              {"--retries", "101"},
                                              {"--max-redirects", "-1"},
                                              {"--jobs", "1025"},
                                              {"-H", "no colon"},
                                              {"-H", "Bad Name: x"},
                                              {"--format", "xml"},
                                              {"--fail-on", "Bogus"},
                                              {"--fail-on", "21"},
                                              {"--fail-on", ""},
                                              {"-o", ""}}) {
    std::vector<std::string> a = {"check"};
    a.insert(a.end(), bad.begin(), bad.end());
    a.push_back("x.html");
    const Result u = Run(a);
    EXPECT_EQ(u.status, 64) << ::testing::PrintToString(bad);
    EXPECT_NE(u.err.find("usage: vettrix check"), std::string::npos) << u.err;
  }
}

TEST_F(Batch, FailOnGatesOnTheChosenRules) {
  const std::string page = Page("p.html", "<script>\n<p onmousedown=x>").string();
  EXPECT_EQ(Run({"check", page}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "Forms", page}).status, 0);
  EXPECT_EQ(Run({"check", "--fail-on", "5,popup", page}).status, 0);
  EXPECT_EQ(Run({"check", "--fail-on", "1", page}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "forms, SCRIPTING", page}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "12", page}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "MouseDown", page}).status, 1);  // rules 8 and 12
  const Result bad = Run({"check", "--fail-on", "Shutdownn", page});
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("Create Ob"), std::string::npos) << bad.err;  // the labels are listed
  // A failure still outranks the gate.
  EXPECT_EQ(Run({"check", "--fail-on", "Forms", page, "./missing.html"}).status, 2);
  // The report itself is unchanged.
  EXPECT_EQ(Run({"check", "--fail-on", "Forms", page}).out, Run({"check", page}).out);
}

TEST_F(Batch, ProgressShowsOnATerminalOnly) {
  Server server;
  std::vector<std::string> args = {"check", "--jobs", "1"};
  for (int i = 0; i < 4; ++i) args.push_back(server.Url("/slow/300"));
  const fs::path pty_run = fs::path(VETTRIX_SOURCE_DIR) / "tests/app/pty_run.py";
  auto on_terminal = [&](const std::vector<std::string>& a) {
    const std::string cmd = Prefix() + VETTRIX_PYTHON + " " + Quote(pty_run.string()) +
                            " tty.txt " + Command(a) + " >stdout.txt";
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
    return ReadFile(dir_ / "tty.txt");
  };
  const std::string tty = on_terminal(args);
  EXPECT_NE(tty.find("vettrix: "), std::string::npos) << tty;
  EXPECT_NE(tty.find("/4 pages"), std::string::npos) << tty;  // the total is known early
  EXPECT_NE(tty.find(" elapsed"), std::string::npos) << tty;
  EXPECT_NE(tty.find("\r"), std::string::npos);
  ASSERT_GE(tty.size(), 4u);
  // The progress line is erased at the end, and the summary takes its place.
  const std::string summary =
      "vettrix: 4 addresses: 4 checked, 0 failed, 0 with an HTTP status other than 2xx";
  ASSERT_NE(tty.rfind("\r\x1b[K"), std::string::npos) << tty;
  EXPECT_EQ(tty.substr(tty.rfind("\r\x1b[K") + 4, summary.size()), summary) << tty;
  EXPECT_EQ(Lines(ReadFile(dir_ / "stdout.txt")).size(), 4u * 2 + 4);  // the report is whole

  args.insert(args.begin() + 1, "--quiet");
  EXPECT_EQ(on_terminal(args), "");
  args.erase(args.begin() + 1);
  EXPECT_EQ(Run(args).err, summary + "\n");  // standard error is a file here: no progress
}

TEST_F(Batch, ABatchGivesEachAddressWhatASingleCheckGives) {
  Server server;
  const std::vector<std::string> addresses = {
      server.Url("/page/1"),
      server.Url("/moved"),
      server.Url("/gone"),
      server.Url("/gz"),
      server.Url("/latin1"),
      server.Url("/c1"),
      server.Url("/nothing-here"),
      "http://127.0.0.1:1/closed",
      Page("f.html", "x\n  <object>").string(),
      "./missing.html",
      "ftp://127.0.0.1/x",
      "127.0.0.1:" + std::to_string(server.port()) + "/page/2"};
  std::string singles;
  for (const std::string& a : addresses) {
    singles += WithoutTimings(Run({"check", "--json", "--jobs", "1", a}).out);
  }
  std::vector<std::string> args = {"check", "--json", "--jobs", "8"};
  args.insert(args.end(), addresses.begin(), addresses.end());
  const Result batch = Run(args);
  EXPECT_EQ(batch.status, 2);
  EXPECT_EQ(WithoutTimings(batch.out), singles);
  EXPECT_EQ(JsonLines(batch.out).size(), addresses.size());
}

TEST_F(Batch, HelpTellsTheNewOptionsAndStatuses) {
  const Result r = Run({"check", "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"--list",
                           "--recursive",
                           "--shard",
                           "--jobs",
                           "--per-host",
                           "--rate",
                           "--retries",
                           "--user-agent",
                           "--header",
                           "--proxy",
                           "--max-redirects",
                           "--format",
                           "sarif",
                           "csv",
                           "--output",
                           "--unordered",
                           "--fail-on",
                           "--quiet",
                           "http_proxy",
                           "NO_PROXY",
                           "130",
                           "twenty detection rules",
                           "1 to 20",
                           "VX020",
                           "Examples:"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

// Each occurrence a location with its snippet and its place in the markup.
TEST_F(Batch, SarifListsOccurrencesAsLocations) {
  Page("page.html", "<!-- <form> -->\n<form action=x>");
  const Result r =
      Run({"check", "--format", "sarif", "--occurrences", "-o", "out.sarif", "page.html"});
  EXPECT_EQ(r.status, 1) << r.err;
  vx::clitest::ExpectValidSarif(dir_ / "out.sarif", dir_);
  if (HasFatalFailure()) return;
  const Json log = Json::parse(ReadFile(dir_ / "out.sarif"));
  const Json& result = log["runs"][0]["results"][0];
  EXPECT_EQ(result["ruleId"], "VX005");
  EXPECT_EQ(result["properties"]["count"], 2);
  ASSERT_EQ(result["locations"].size(), 2u);
  const Json& second = result["locations"][1];
  EXPECT_EQ(second["physicalLocation"]["region"]["startLine"], 2);
  EXPECT_EQ(second["physicalLocation"]["region"]["snippet"]["text"], "<form action=x>");
  EXPECT_EQ(second["properties"]["context"], "tag");
  EXPECT_EQ(second["properties"]["element"], "form");
  EXPECT_EQ(result["locations"][0]["properties"]["context"], "comment");
}

}  // namespace
