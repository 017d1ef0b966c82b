// `vettrix check --resume`: a run killed with SIGKILL at several points, and
// resumed, writes what one uninterrupted run writes, in every format, and
// fetches nothing the journal already held; journals of other options are
// refused. Against a real HTTP server on the loopback interface.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vx::clitest::Lines;
using vx::clitest::WriteFile;
using vx::support::Quote;
using vx::support::ReadFile;
using Json = nlohmann::json;

// Pages that take a little while, each different, counting every request.
class Server {
 public:
  Server() {
    http_.new_task_queue = [] { return new httplib::ThreadPool(16); };
    http_.Get(R"(/p/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mutex_);
        ++served_[req.path];
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      const int n = std::stoi(req.matches[1]);
      res.set_header("Server", "Pages/" + std::to_string(n % 3));
      if (n % 7 == 3) res.status = 404;
      std::string body = "<p>page " + std::to_string(n) + "</p>\n";
      if (n % 2) body += "<script>go()</script>\n";
      if (n % 3) body += "<form onclick=x>\n";
      res.set_content(body, "text/html");
    });
    // A page that keeps the run going until the test lets it answer.
    http_.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mutex_);
        ++served_[req.path];
      }
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
      while (!slow_released_ && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      res.set_content("<p>slow</p>\n", "text/html");
    });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Server() {
    ReleaseSlow();
    http_.stop();
    thread_.join();
  }
  std::string Url(int n) const { return Base() + "/p/" + std::to_string(n); }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  void ReleaseSlow() { slow_released_ = true; }
  std::map<std::string, int> Served() {
    std::lock_guard lock(mutex_);
    return served_;
  }

 private:
  httplib::Server http_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, int> served_;
  std::atomic<bool> slow_released_{false};
};

constexpr int kPages = 120;

class Resume : public vx::clitest::VettrixRun {
 protected:
  void SetUp() override {
    VettrixRun::SetUp();
    std::string list;
    for (int i = 0; i < kPages; ++i) list += server_.Url(i) + "\n";
    list += "missing-page.html\n";  // a failure is a result too
    WriteFile(dir_ / "list.txt", list);
  }

  // Starts a run that is to be killed; its output goes nowhere.
  pid_t Spawn(const std::vector<std::string>& args) {
    const std::string cmd = Prefix("exec ") + Command(args) + " </dev/null >/dev/null 2>" +
                            Quote((dir_ / "killed.err").string());
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    return pid;
  }

  std::size_t JournalLines(const fs::path& journal) {
    std::size_t n = 0;
    for (char c : ReadFile(journal)) n += c == '\n';
    return n;
  }

  // Runs `args` with --resume JOURNAL and kills it with SIGKILL once the
  // journal holds `records` records (header aside). The run must not have
  // ended by itself.
  void KillAfter(const std::vector<std::string>& args, const fs::path& journal,
                 std::size_t records) {
    std::vector<std::string> with = args;
    with.insert(with.begin() + 1, {"--resume", journal.string()});
    const pid_t pid = Spawn(with);
    // A run that stalls fails by the test's own time-out.
    while (JournalLines(journal) < records + 1) {
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0)
          << "the run ended before it was killed: " << ReadFile(dir_ / "killed.err");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  }

  // The addresses the journal holds now.
  std::vector<std::string> Held(const fs::path& journal) {
    std::vector<std::string> out;
    const auto lines = Lines(ReadFile(journal));
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const Json j = Json::parse(lines[i], nullptr, false);
      if (!j.is_discarded()) out.push_back(j["address"]);
    }
    return out;
  }

  Server server_;
};

const std::vector<std::string> kJson = {"check", "--json", "--occurrences", "-j",
                                        "4",     "-l",     "list.txt"};

TEST_F(Resume, AKilledRunResumedWritesWhatAnUninterruptedRunWrites) {
  const vx::clitest::RunResult whole = Run(kJson);
  ASSERT_EQ(whole.status, 2) << whole.err;  // the missing page
  ASSERT_EQ(Lines(whole.out).size(), static_cast<std::size_t>(kPages + 1));

  // Killed with no record yet, with some, and with almost all.
  for (const std::size_t records : {std::size_t{0}, std::size_t{30}, std::size_t{kPages - 5}}) {
    SCOPED_TRACE(records);
    const fs::path journal = dir_ / ("run" + std::to_string(records) + ".journal");
    const auto served_first = server_.Served();
    KillAfter(kJson, journal, records);
    const std::vector<std::string> held = Held(journal);
    const auto served_before = server_.Served();

    std::vector<std::string> resumed_args = kJson;
    resumed_args.insert(resumed_args.begin() + 1, {"--resume", journal.string()});
    const vx::clitest::RunResult resumed = Run(resumed_args);
    EXPECT_EQ(resumed.status, whole.status) << resumed.err;
    EXPECT_EQ(resumed.out, whole.out);
    // What the journal held was not fetched again.
    const auto served_after = server_.Served();
    for (const std::string& address : held) {
      const std::size_t at = address.find("/p/");
      if (at == std::string::npos) continue;  // the missing file: nothing served
      const std::string path = address.substr(at);
      EXPECT_EQ(served_after.at(path), served_before.at(path)) << address << " fetched again";
    }
    // Both runs together fetched each page once, and again at most what
    // may be in flight: --jobs + 16 x the checking threads.
    std::size_t fetched = 0;
    for (const auto& [path, count] : served_after) {
      const auto first = served_first.find(path);
      fetched += count - (first == served_first.end() ? 0 : first->second);
    }
    const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_LE(fetched, kPages + 4 + 16 * threads);
    // Once more: everything comes from the journal, each address once.
    const vx::clitest::RunResult again = Run(resumed_args);
    EXPECT_EQ(again.out, whole.out);
    EXPECT_EQ(Held(journal).size(), static_cast<std::size_t>(kPages + 1));
  }
}

// Records go to the journal in batches of --jobs; one that waits for its
// batch while the rest of the run is slow is written all the same.
TEST_F(Resume, ARecordWaitingForItsBatchIsWrittenWhilePagesComeSlowly) {
  std::string list = server_.Base() + "/slow\n";
  for (int i = 0; i < 9; ++i) list += server_.Url(i) + "\n";
  WriteFile(dir_ / "slow.txt", list);
  const std::vector<std::string> args = {"check", "--json", "-j", "4", "-l", "slow.txt"};
  const fs::path journal = dir_ / "slow.journal";
  // Nine fast pages: two batches of four and one record left over, all in
  // the journal while the slow page holds the run (a run that never writes
  // the ninth fails by the test's own time-out).
  KillAfter(args, journal, 9);
  server_.ReleaseSlow();
  const auto served_before = server_.Served();
  std::vector<std::string> resumed_args = args;
  resumed_args.insert(resumed_args.begin() + 1, {"--resume", journal.string()});
  const vx::clitest::RunResult resumed = Run(resumed_args);
  EXPECT_EQ(resumed.status, 1) << resumed.err;
  EXPECT_EQ(vx::clitest::JsonLines(resumed.out).size(), 10u);
  const auto served_after = server_.Served();
  for (int i = 0; i < 9; ++i) {
    const std::string path = "/p/" + std::to_string(i);
    EXPECT_EQ(served_after.at(path), served_before.at(path)) << path << " fetched again";
  }
}

TEST_F(Resume, ATornLastRecordIsDoneAgainAndEveryFormatIsRewritten) {
  const fs::path journal = dir_ / "torn.journal";
  KillAfter(kJson, journal, 40);
  // A kill in the middle of a write: half a record at the end.
  std::string bytes = ReadFile(journal);
  const std::size_t last = bytes.rfind('\n', bytes.size() - 2);
  bytes.resize(last + 1 + (bytes.size() - last) / 2);
  WriteFile(journal, bytes);
  const std::size_t whole_records = Held(journal).size();

  for (const std::vector<std::string>& format : {std::vector<std::string>{"--json"},
                                                 {"--format", "csv"},
                                                 {"--format", "sarif"},
                                                 {"--format", "human"},
                                                 {"--format", "human", "--verbose"}}) {
    SCOPED_TRACE(format[0] + (format.size() > 1 ? " " + format[1] : ""));
    std::vector<std::string> args = {"check", "--occurrences", "-j", "4", "-l", "list.txt"};
    args.insert(args.end(), format.begin(), format.end());
    const vx::clitest::RunResult whole = Run(args);
    args.insert(args.begin() + 1, {"--resume", journal.string(), "-o", "report.out"});
    const vx::clitest::RunResult resumed = Run(args);
    EXPECT_EQ(resumed.status, whole.status) << resumed.err;
    EXPECT_EQ(ReadFile(dir_ / "report.out"), whole.out);
  }
  // The torn line was cut off, not glued to the next record.
  const auto lines = Lines(ReadFile(journal));
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kPages + 2));
  for (std::size_t i = 1; i < lines.size(); ++i)
    EXPECT_FALSE(Json::parse(lines[i], nullptr, false).is_discarded()) << lines[i];
  EXPECT_GE(whole_records, 39u);  // the 40 written, less the torn one
}

// Records name their rules by id alone; records as earlier versions wrote
// them (with each rule's label, description and severity), mixed with the
// new ones, still resume with nothing fetched again.
TEST_F(Resume, RecordsNameRulesByIdAndEarlierRecordsStillResume) {
  const vx::clitest::RunResult whole = Run(kJson);
  std::map<std::string, Json> reported;
  for (const Json& j : vx::clitest::JsonLines(whole.out)) reported[j["address"]] = j;
  const fs::path journal = dir_ / "mixed.journal";
  std::vector<std::string> args = kJson;
  args.insert(args.begin() + 1, {"--resume", journal.string()});
  ASSERT_EQ(Run(args).status, whole.status);

  const std::vector<std::string> lines = Lines(ReadFile(journal));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kPages + 2));
  std::string earlier = lines[0] + "\n";
  std::size_t findings = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    Json record = Json::parse(lines[i]);
    const Json& as_reported = reported.at(record["address"].get<std::string>());
    ASSERT_EQ(record["findings"].size(), as_reported["findings"].size());
    for (std::size_t k = 0; k < record["findings"].size(); ++k) {
      Json& f = record["findings"][k];
      EXPECT_TRUE(f.contains("id") && !f.contains("label") && !f.contains("description") &&
                  !f.contains("severity"))
          << lines[i];
      ++findings;
      if (i % 2 == 0) continue;
      for (const char* key : {"label", "description", "severity"})
        f[key] = as_reported["findings"][k][key];
    }
    earlier += record.dump() + "\n";
  }
  EXPECT_GT(findings, 100u);
  WriteFile(journal, earlier);

  const auto served_before = server_.Served();
  const vx::clitest::RunResult resumed = Run(args);
  EXPECT_EQ(resumed.status, whole.status) << resumed.err;
  EXPECT_EQ(resumed.out, whole.out);
  EXPECT_EQ(server_.Served(), served_before) << "fetched again";
}

// A record whose start is whole but whose rest cannot be read is done
// again; its new record, written after the old, is the one used from then on.
TEST_F(Resume, ARecordSpoiledPastItsIndexIsDoneAgainOnce) {
  const vx::clitest::RunResult whole = Run(kJson);
  const fs::path journal = dir_ / "spoiled.journal";
  std::vector<std::string> args = kJson;
  args.insert(args.begin() + 1, {"--resume", journal.string()});
  ASSERT_EQ(Run(args).status, whole.status);
  const std::string spoiled_address = server_.Url(7);
  std::string bytes;
  for (const std::string& line : Lines(ReadFile(journal))) {
    std::string kept = line;
    if (line.starts_with("{\"address\":\"" + spoiled_address + "\"")) {
      const std::size_t at = kept.find("\"findings\":[");
      ASSERT_NE(at, std::string::npos) << line;
      kept[at + 11] = '{';
    }
    bytes += kept + "\n";
  }
  WriteFile(journal, bytes);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const auto served_before = server_.Served();
    const vx::clitest::RunResult resumed = Run(args);
    EXPECT_EQ(resumed.status, whole.status) << resumed.err;
    EXPECT_EQ(resumed.out, whole.out);
    std::map<std::string, int> fetched;
    for (const auto& [path, count] : server_.Served()) {
      const auto before = served_before.find(path);
      if (const int n = count - (before == served_before.end() ? 0 : before->second); n > 0)
        fetched[path] = n;
    }
    EXPECT_EQ(fetched, (round == 0 ? std::map<std::string, int>{{"/p/7", 1}}
                                   : std::map<std::string, int>{}));
  }
}

// A journal that stops taking records (here a file size limit, as a full
// disk would) is told once; the run's report is whole all the same, and
// what the journal did take is not checked again.
TEST_F(Resume, AJournalThatCannotBeWrittenIsToldAndTheRunGoesOn) {
  const vx::clitest::RunResult whole = Run(kJson);
  const fs::path journal = dir_ / "limited.journal";
  std::vector<std::string> args = kJson;
  args.insert(args.begin() + 1, {"--resume", journal.string()});
  // 16 blocks of 512 bytes: the header and a few batches of records. The
  // limit's signal is ignored, so that writes past it fail instead; the
  // report goes through a pipe, which the limit does not reach.
  const std::string limited = Prefix("( ulimit -f 16 && trap '' XFSZ && ") + Command(args) +
                              "; echo $? >limited.status ) | cat";
  const vx::support::Outcome ran = vx::support::Shell(limited, dir_, "");
  EXPECT_EQ(ReadFile(dir_ / "limited.status"), std::to_string(whole.status) + "\n") << ran.err;
  EXPECT_EQ(ran.out, whole.out);
  EXPECT_NE(ran.err.find("cannot write the journal " + journal.string() +
                         ": File too large; the run goes on without it"),
            std::string::npos)
      << ran.err;
  EXPECT_EQ(ran.err.find("cannot write the journal", ran.err.find("cannot write the journal") + 1),
            std::string::npos)
      << "told once";
  const std::size_t held = Held(journal).size();
  EXPECT_GT(held, 0u);
  EXPECT_LT(held, static_cast<std::size_t>(kPages));

  const auto served_before = server_.Served();
  const vx::clitest::RunResult resumed = Run(args);
  EXPECT_EQ(resumed.status, whole.status) << resumed.err;
  EXPECT_EQ(resumed.out, whole.out);
  std::size_t fetched = 0;
  for (const auto& [path, count] : server_.Served()) {
    const auto before = served_before.find(path);
    fetched += count - (before == served_before.end() ? 0 : before->second);
  }
  EXPECT_LE(fetched + held, static_cast<std::size_t>(kPages + 1));
}

TEST_F(Resume, AJournalOfOtherOptionsIsRefusedUnlessForced) {
  const fs::path journal = dir_ / "j.journal";
  std::vector<std::string> args = kJson;
  args.insert(args.begin() + 1, {"--resume", journal.string()});
  ASSERT_EQ(Run(args).status, 2);
  const std::string held = ReadFile(journal);

  const std::vector<std::vector<std::string>> others = {
      {"check", "--json", "-j", "4", "-l", "list.txt"},  // no occurrences
      {"check", "--json", "--occurrences", "--rule-set", "all", "-l", "list.txt"},
      {"check", "--json", "--occurrences", "--shard", "1/2", "-l", "list.txt"},
      {"check", "--json", "--occurrences", "--max-bytes", "10", "-l", "list.txt"},
      {"check", "--json", "--occurrences", "-l", "list.txt", server_.Url(999)},
  };
  for (std::vector<std::string> other : others) {
    other.insert(other.begin() + 1, {"--resume", journal.string(), "-o", "out.json"});
    const vx::clitest::RunResult r = Run(other);
    EXPECT_EQ(r.status, 64) << other[5];
    EXPECT_NE(r.err.find("--resume-force"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.json"));
  }
  // The list changed: another input.
  WriteFile(dir_ / "list.txt", server_.Url(0) + "\n" + server_.Url(999) + "\n");
  EXPECT_EQ(Run(args).status, 64);
  EXPECT_EQ(ReadFile(journal), held);  // a refused journal is left as it was

  // Forced: each position whose address is the same comes from the journal,
  // the rest is checked.
  args.insert(args.begin() + 1, "--resume-force");
  auto before = server_.Served();
  const vx::clitest::RunResult forced = Run(args);
  EXPECT_EQ(forced.status, 1) << forced.err;
  const auto objects = vx::clitest::JsonLines(forced.out);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[1]["address"], server_.Url(999));
  auto after = server_.Served();
  EXPECT_EQ(after["/p/0"], before["/p/0"]);  // held at its position
  EXPECT_EQ(after["/p/999"], 1);             // another address at position 1

  EXPECT_EQ(Run({"check", "--resume-force", "x.html"}).status, 64);
  EXPECT_EQ(Run({"check", "--resume", dir_.string(), "x.html"}).status, 2);  // a folder
  WriteFile(dir_ / "notes.txt", "my notes\n");
  const vx::clitest::RunResult foreign = Run({"check", "--resume", "notes.txt", "list.txt"});
  EXPECT_EQ(foreign.status, 2);
  EXPECT_EQ(ReadFile(dir_ / "notes.txt"), "my notes\n");  // not a journal: not touched
}

TEST_F(Resume, AShardResumesItsOwnShare) {
  std::vector<std::string> args = kJson;
  args.insert(args.end(), {"--shard", "2/3"});
  const vx::clitest::RunResult whole = Run(args);
  ASSERT_EQ(vx::clitest::JsonLines(whole.out).size(),
            static_cast<std::size_t>(kPages / 3));  // 2, 5, ... 119
  const fs::path journal = dir_ / "shard.journal";
  KillAfter(args, journal, 10);
  args.insert(args.begin() + 1, {"--resume", journal.string()});
  const vx::clitest::RunResult resumed = Run(args);
  EXPECT_EQ(resumed.status, whole.status) << resumed.err;
  EXPECT_EQ(resumed.out, whole.out);
}

}  // namespace
