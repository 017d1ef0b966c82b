// `vettrix check` against a loopback server that misbehaves on purpose, run
// as a user would, under a memory limit: what a page costs is what the run
// keeps of it, and every address is answered, whatever runs out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"
#include "tests/support/python_server.h"
#include "tests/support/sanitizers.h"

namespace {

using vx::support::Quote;
using vx::support::ReadFile;
using Json = nlohmann::json;

class Hostile : public vx::clitest::VettrixRun {
 protected:
  // Runs `vettrix check ARGS` with its data limited to `limit_kb`; a run that
  // does not end within two minutes is stopped (status 124).
  vx::clitest::RunResult RunLimited(long limit_kb, const std::vector<std::string>& args) {
    const std::string exec = "ulimit -d " + std::to_string(limit_kb) + " && timeout 120 ";
    vx::support::Outcome ran = vx::support::Shell(Prefix(exec.c_str()) + Command(args), dir_);
    return {ran.status, std::move(ran.out), std::move(ran.err)};
  }
};

TEST_F(Hostile, FloodsCostWhatIsKeptAndEveryAddressIsAnswered) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  vx::support::PythonServer server(
      VETTRIX_PYTHON, std::string(VETTRIX_SOURCE_DIR) + "/tests/app/hostile_server.py");
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  // Each /interim/N once cost about 780 MB; the limit leaves room for the
  // program's threads (a stack each) and little more.
  const long limit_kb = 600000 + 16384L * std::max(1u, std::thread::hardware_concurrency());
  const std::vector<std::string> paths = {"/interim/1",     "/interim/2", "/interim/3",
                                          "/interim/4",     "/page",      "/huge",
                                          "/continue-only", "/hints/1",   "/to/javascript"};
  std::vector<std::string> args = {"check", "--json", "--max-bytes", "18446744073709551615"};
  for (const std::string& p : paths) args.push_back(base + p);
  const auto r = RunLimited(limit_kb, args);
  ASSERT_NE(r.status, 124) << "the run did not end:\n" << r.out << r.err;
  EXPECT_EQ(r.status, 2) << r.err;  // some addresses failed

  const std::vector<Json> lines = r.JsonLines();
  ASSERT_EQ(lines.size(), paths.size()) << r.out << r.err;
  std::map<std::string, Json> by_path;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(lines[i]["address"], base + paths[i]);
    by_path[paths[i]] = lines[i];
  }
  for (const char* p : {"/interim/1", "/interim/2", "/interim/3", "/interim/4"}) {
    const Json& j = by_path[p];
    EXPECT_FALSE(j["ok"].get<bool>()) << j.dump().substr(0, 300);
    EXPECT_EQ(j["error"].get<std::string>().rfind("response header too large", 0), 0u)
        << j["error"];
    EXPECT_TRUE(j["status"].is_null()) << "no final answer came: " << j["status"];
  }
  EXPECT_TRUE(by_path["/page"]["ok"].get<bool>());
  EXPECT_EQ(by_path["/page"]["findings"].size(), 1u);
  EXPECT_EQ(by_path["/huge"]["error"], "out of memory while reading the response");
  EXPECT_EQ(by_path["/huge"]["status"], 200);
  EXPECT_EQ(by_path["/continue-only"]["error"],
            "the server closed the connection without replying");
  EXPECT_TRUE(by_path["/continue-only"]["status"].is_null());
  EXPECT_EQ(by_path["/hints/1"]["error"], "more than 10 redirects");
  EXPECT_EQ(by_path["/to/javascript"]["error"],
            "unsupported scheme: only http and https pages are fetched (a redirect to "
            "\"javascript:\")");
}

// A page that fits but whose text does not is that address's failure, told
// as running out of memory; the other addresses are checked.
TEST_F(Hostile, APageWhoseTextDoesNotFitIsTheOnlyFailure) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  vx::support::PythonServer server(
      VETTRIX_PYTHON, std::string(VETTRIX_SOURCE_DIR) + "/tests/app/hostile_server.py");
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  // Room for the 100 MB body and the threads, not for its 200 MB of UTF-8.
  const long limit_kb = 160000 + 16384L * std::max(1u, std::thread::hardware_concurrency());
  const auto r = RunLimited(
      limit_kb, {"check", "--json", "--max-bytes", "200000000", base + "/latin1", base + "/page"});
  ASSERT_NE(r.status, 124) << "the run did not end:\n" << r.out << r.err;
  const std::vector<Json> lines = r.JsonLines();
  ASSERT_EQ(lines.size(), 2u) << r.out << r.err;
  EXPECT_EQ(lines[0]["error"], "out of memory while decoding and checking the page");
  EXPECT_TRUE(lines[1]["ok"].get<bool>()) << lines[1].dump();
}

}  // namespace
