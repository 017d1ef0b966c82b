// Runs the built vettrix as a user would: files, standard input and pages
// served by a real HTTP server on the loopback interface.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"
#include "tests/support/loopback_server.h"
#include "tests/support/tls_certificate.h"

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;
using Json = nlohmann::json;

const std::string kScripting = "Scripting\tThis poses a possible threat of malicious scripting.";
const std::string kForms =
    "Forms\tUsers can trick other people into enterting personal information.";

using Result = vx::clitest::RunResult;
using vx::clitest::WriteFile;

class Cli : public vx::clitest::VettrixRun {};

TEST_F(Cli, FileFindingsInRuleOrderWithoutServerLine) {
  const auto page = Page("page.html", "<FORM action=x>\n<script>\n");
  const Result r = Run({"check", page.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{kScripting, kForms}));
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, CleanFileExitsZeroWithNoOutput) {
  const Result r = Run({"check", Page("clean.html", "<p>Nothing <Script> here</p>").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(Cli, StdinAndFileUrlInJson) {
  Page("a b.html", "x\n  caf\xE9 cdromCollection <object>");  // Windows-1252 bytes
  const std::string url = "file://" + (dir_ / "a%20b.html").string();
  const Result r = Run({"check", "--json", "-", url}, "<p>\r\n<embed src=x>");
  EXPECT_EQ(r.status, 1) << r.err;
  const auto objects = r.JsonLines();
  ASSERT_EQ(objects.size(), 2u) << r.out;
  const Json& in = objects[0];
  EXPECT_EQ(in["address"], "-");
  EXPECT_EQ(in["ok"], true);
  EXPECT_TRUE(in["error"].is_null());
  EXPECT_TRUE(in["status"].is_null());
  EXPECT_TRUE(in["final_address"].is_null());
  EXPECT_TRUE(in["server"].is_null());
  EXPECT_EQ(in["bytes"], 18);
  EXPECT_EQ(in["findings"], Json::parse(R"([{"rule":4,"id":"VX004","label":"Embedding",
      "description":"This poses a possible threat of malicious embedding.","severity":"info",
      "line":2,"column":1}])"));

  const Json& file = objects[1];
  EXPECT_EQ(file["address"], url);
  // The lone 0xE9 is not UTF-8: decoded as Windows-1252 it becomes two bytes.
  EXPECT_EQ(file["bytes"], 34);
  ASSERT_EQ(file["findings"].size(), 2u);
  EXPECT_EQ(file["findings"][0]["rule"], 2);
  EXPECT_EQ(file["findings"][0]["line"], 2);
  EXPECT_EQ(file["findings"][0]["column"], 24);
  EXPECT_EQ(file["findings"][1]["rule"], 20);
  EXPECT_EQ(file["findings"][1]["label"], "Cd-Rom");
  EXPECT_EQ(file["findings"][1]["column"], 8);
}

// A large page is checked where the file's pages are, a small one and standard
// input from a copy: the answers must not differ, nor with a byte-order mark.
TEST_F(Cli, LargeFilesGiveTheAnswersOfStandardInput) {
  std::string big;
  for (int i = 0; big.size() < (std::size_t{3} << 20); ++i) {
    big += "<p>line " + std::to_string(i) + " caf\u00e9 \u20ac</p>\r\n";
  }
  big += "<form>\n\t\u00e9 <object data=x> cdromCollection <EMBED>\n";
  for (const std::string& page : {big, "\xEF\xBB\xBF" + big}) {
    const auto file = Page("big.html", page);
    const Result from_file = Run({"check", "--json", file.string()});
    const Result from_stdin = Run({"check", "--json", "-"}, page);
    ASSERT_EQ(from_file.status, 1) << from_file.err;
    Json a = from_file.JsonLines().at(0), b = from_stdin.JsonLines().at(0);
    EXPECT_EQ(a["findings"].size(), 4u);
    EXPECT_EQ(a["bytes"], big.size());
    a.erase("address");
    b.erase("address");
    EXPECT_EQ(a, b);
  }
}

TEST_F(Cli, LocalFailuresAreReportedPerAddress) {
  const auto good = Page("good.html", "<script>");
  const std::string missing = (dir_ / "missing.html").string();
  // A folder is no page itself: the pages under it are checked.
  const Result r = Run({"check", missing, good.string(), dir_.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.OutLines(),
            (std::vector<std::string>{"== " + missing, "== " + good.string(), kScripting,
                                      "== " + good.string(), kScripting}));
  EXPECT_NE(r.err.find("vettrix: " + missing + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;

  // Files whose size says nothing (those of /proc report 0) are read to their end.
  const Result proc = Run({"check", "--json", "/proc/self/status"});
  ASSERT_EQ(proc.JsonLines().size(), 1u) << proc.err;
  EXPECT_GT(proc.JsonLines()[0]["bytes"], 100);

  // Output that cannot be written is a failure, not a clean check.
  const std::string full = Quote(binary_.string()) + " check " + Quote(good.string()) +
                           " >/dev/full 2>" + Quote((dir_ / "full-err").string());
  const int raw = std::system(full.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
  EXPECT_NE(ReadFile(dir_ / "full-err").find("cannot write the output"), std::string::npos);

  const Result small = Run({"check", "--json", "--max-bytes", "4", good.string()});
  EXPECT_EQ(small.status, 2);
  const auto objects = small.JsonLines();
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["ok"], false);
  EXPECT_TRUE(objects[0]["error"].is_string());
  EXPECT_TRUE(objects[0]["server"].is_null());
  EXPECT_EQ(objects[0]["findings"], Json::array());
}

TEST_F(Cli, UsageErrorsAndHelp) {
  // Without arguments vettrix opens the window (tests/app/window/launch_test.cpp).
  const std::vector<std::vector<std::string>> bad = {
      {"check"},
      {"frobnicate"},
      {"check", "--timeout", "0", "x"},
      {"check", "--timeout", "-1", "x"},
      {"check", "--timeout", "soon", "x"},
      {"check", "--timeout", "0x10", "x"},
      {"check", "--timeout", " 5", "x"},
      {"check", "--jobs", "0", "x"},
      {"check", "--jobs=two", "x"},
      {"check", "--max-bytes", "-5", "x"},
      {"check", "--max-bytes"},
      {"check", "--colour", "x"},
      {"check", "--cacert", "/nonexistent/authorities.pem", "x"},
      {"check", "--cacert", "/", "x"},
      {"check", "--cacert=", "x"},
  };
  for (const auto& args : bad) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 64) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: vettrix check"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"check", "--help"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0);
    for (const char* word :
         {"--json", "--timeout", "--max-bytes", "--jobs", "final_address", "Web Server: ", "64"}) {
      EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
  }
}

// A slip of the keyboard gets the word that was meant, and an address where
// a command goes says how to check it.
TEST_F(Cli, MistypedCommandsAndOptionsGetASuggestion) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"check", "--ouput", "r.json", "x"}, "unknown option \"--ouput\" (did you mean --output?)"},
      {{"check", "--josn", "x"}, "(did you mean --json?)"},
      {{"check", "--max-byte=5", "x"},
       "unknown option \"--max-byte=5\" (did you mean --max-bytes?)"},
      {{"check", "--unord", "x"}, "(did you mean --unordered?)"},
      {{"chekc", "x"}, "unknown command \"chekc\" (did you mean check?)"},
      {{"frobnicate"}, "unknown command \"frobnicate\"; to check a page: vettrix check ADDRESS"},
      {{"--json", "x"}, "--json is an option of check: vettrix check --json x"},
      {{"--verison"}, "unknown option \"--verison\" (did you mean --version?)"},
  };
  for (const auto& [args, said] : cases) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 64) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  }
  // Nothing close: no guess.
  const Result far = Run({"check", "--colour", "x"});
  EXPECT_EQ(far.err.find("did you mean"), std::string::npos) << far.err;
}

// A loopback server with a few pages; it stops when the test ends.
class Server {
 public:
  Server() {
    http_.Get("/page", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Server", "TestServer/1.0");
      res.set_content("<html>\n<script>go()</script>\n<form>", "text/html");
    });
    http_.Get("/evil", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Server", "\x1b[2JEvil");
      res.set_content("<p>x</p>", "text/html");
    });
    http_.Get("/c1", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Server",
                     "C1\xC2\x9B"
                     "31m raw\x9B"
                     "31m caf\xC3\xA9");
      res.set_content("<p>x</p>", "text/html");
    });
    http_.Get("/bare", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<p>nothing</p>", "text/html");
    });
    http_.Get("/moved",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
    http_.Get("/gone", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_header("Server", "Gone");
      res.set_content("<p onclick=x>not here</p>", "text/html");
    });
    http_.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_header("Server", "Broken");
      res.set_content("<script>oops()</script>", "text/html");
    });
    http_.Get("/odd", [](const httplib::Request&, httplib::Response& res) {
      res.status = 299;  // a success code with no standard phrase
      res.set_content("<p>odd</p>", "text/html");
    });
    http_.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      res.set_content("late", "text/html");
    });
    listening_.start();
  }
  std::string Url(const std::string& path) const { return listening_.url(path); }

 private:
  httplib::Server http_;
  vx::testsupport::Listening listening_{http_};
};

TEST_F(Cli, WebPageShowsServerLineThenFindings) {
  Server server;
  Result r = Run({"check", server.Url("/page")});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.OutLines(),
            (std::vector<std::string>{"Web Server: TestServer/1.0", kScripting, kForms}));

  r = Run({"check", server.Url("/bare")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Web Server: \n");

  // Control characters of a header do not reach the terminal: they are shown
  // as escapes; JSON escapes them its own way.
  r = Run({"check", server.Url("/evil")});
  EXPECT_EQ(r.out, "Web Server: \\e[2JEvil\n");
  r = Run({"check", "--json", server.Url("/evil")});
  ASSERT_EQ(r.JsonLines().size(), 1u);
  EXPECT_EQ(r.JsonLines()[0]["server"], "\x1b[2JEvil");
  r = Run({"check", server.Url("/c1")});
  EXPECT_EQ(r.out, "Web Server: C1\\u009b31m raw\\x9b31m caf\xC3\xA9\n");

  // Without a scheme the address is fetched over http, even where a folder
  // has that name.
  const std::string bare = server.Url("/page").substr(7);
  fs::create_directories(dir_ / bare);
  r = Run({"check", bare});
  EXPECT_EQ(r.status, 1) << r.err;
}

// A missing page must not read as a clean check: the block tells the status,
// --fail-on http-error makes it count, and a run of several ends with a count.
TEST_F(Cli, ErrorStatusesAreToldInTheBlockAndCanFailTheRun) {
  Server server;
  const std::string missing = server.Url("/nope.html");  // the server's own 404, no findings
  Result r = Run({"check", missing});
  EXPECT_EQ(r.status, 0) << r.err;  // checked, nothing found
  EXPECT_EQ(r.out, "Web Server: \nStatus: 404 Not Found\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Run({"check", "--fail-on", "http-error", missing}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "Scripting,HTTP-Error", missing}).status, 1);
  EXPECT_EQ(Run({"check", "--fail-on", "Scripting", missing}).status, 0);
  // The page the server sent instead is checked as before, the status first.
  r = Run({"check", server.Url("/broken")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.OutLines(),
            (std::vector<std::string>{"Web Server: Broken", "Status: 500 Internal Server Error",
                                      kScripting}));
  // 2xx is no error, whatever its phrase; JSON is unchanged.
  r = Run({"check", "--fail-on", "http-error", server.Url("/odd"), server.Url("/page")});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Status:"), std::string::npos) << r.out;
  r = Run({"check", "--json", missing});
  EXPECT_EQ(r.JsonLines().at(0)["status"], 404);
  EXPECT_EQ(r.out.find("Status:"), std::string::npos);

  // Several addresses: the status stays in its address's block, and the
  // summary counts what became of each.
  const std::string closed = [] {
    Server gone;
    return gone.Url("/page");
  }();
  r = Run({"check", server.Url("/page"), missing, closed, server.Url("/broken")});
  EXPECT_EQ(r.status, 2);
  const auto lines = r.OutLines();
  const auto at = std::find(lines.begin(), lines.end(), "== " + missing);
  ASSERT_NE(at, lines.end()) << r.out;
  ASSERT_GE(lines.end() - at, 3);
  EXPECT_EQ(at[2], "Status: 404 Not Found");
  EXPECT_EQ(r.err.substr(r.err.rfind("vettrix: ")),
            "vettrix: 4 addresses: 3 checked, 1 failed, 2 with an HTTP status other than 2xx\n")
      << r.err;
  EXPECT_EQ(Run({"check", "--quiet", server.Url("/page"), missing}).err, "");
  EXPECT_EQ(Run({"check", "--fail-on", "http-error", server.Url("/page"), missing}).status, 1);
}

TEST_F(Cli, WebJsonFieldsInOrderWithJobs) {
  Server server;
  const std::vector<std::string> addresses = {server.Url("/slow"), server.Url("/moved"),
                                              server.Url("/gone"), server.Url("/bare")};
  std::vector<std::string> args = {"check", "--json", "--jobs", "3"};
  args.insert(args.end(), addresses.begin(), addresses.end());
  const Result r = Run(args);
  EXPECT_EQ(r.status, 1) << r.err;
  const auto objects = r.JsonLines();
  ASSERT_EQ(objects.size(), 4u) << r.out;
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(objects[i]["address"], addresses[i]);
  // Keys in the documented order.
  EXPECT_EQ(r.out.find("{\"address\":"), 0u);
  EXPECT_LT(r.out.find("\"ok\""), r.out.find("\"error\""));
  EXPECT_LT(r.out.find("\"bytes\""), r.out.find("\"findings\""));

  const Json& moved = objects[1];
  EXPECT_EQ(moved["ok"], true);
  EXPECT_EQ(moved["status"], 200);
  EXPECT_EQ(moved["final_address"], server.Url("/page"));
  EXPECT_EQ(moved["server"], "TestServer/1.0");
  EXPECT_EQ(moved["bytes"], 35);
  ASSERT_EQ(moved["findings"].size(), 2u);
  EXPECT_EQ(moved["findings"][0]["line"], 2);
  EXPECT_EQ(moved["findings"][0]["column"], 1);
  EXPECT_EQ(moved["findings"][1]["rule"], 5);
  EXPECT_EQ(moved["findings"][1]["line"], 3);

  // An error status is still a page.
  EXPECT_EQ(objects[2]["status"], 404);
  EXPECT_EQ(objects[2]["server"], "Gone");
  EXPECT_EQ(objects[2]["findings"][0]["label"], "OnClick");
  EXPECT_EQ(objects[3]["server"], "");
  EXPECT_EQ(objects[0]["bytes"], 4);
}

TEST_F(Cli, WebFailureExitsTwoWithReason) {
  std::string refused;
  {
    Server gone;
    refused = gone.Url("/page");
  }  // nothing listens there any more
  Server server;
  const std::string slow = server.Url("/slow");
  const Result r = Run({"check", "--timeout", "0.3", "--json", slow, server.Url("/page"), refused});
  EXPECT_EQ(r.status, 2);
  const auto objects = r.JsonLines();
  ASSERT_EQ(objects.size(), 3u) << r.out;
  EXPECT_EQ(objects[0]["ok"], false);
  EXPECT_TRUE(objects[0]["server"].is_null());
  EXPECT_EQ(objects[1]["ok"], true);
  EXPECT_EQ(objects[2]["ok"], false);
  EXPECT_TRUE(objects[2]["error"].is_string());
  EXPECT_NE(r.err.find("vettrix: " + slow + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("vettrix: " + refused + ": "), std::string::npos) << r.err;

  // Human output: the failing address still gets its block, the reason goes to stderr.
  const Result h = Run({"check", refused});
  EXPECT_EQ(h.status, 2);
  EXPECT_EQ(h.out, "");
  EXPECT_EQ(h.err.rfind("vettrix: " + refused + ": ", 0), 0u) << h.err;
}

// The same limit is told in the same words for a file and a web page, and
// https to a plain-http port says what is wrong rather than the TLS library's
// words.
TEST_F(Cli, FailuresAUserMeetsOftenAreToldPlainly) {
  Server server;
  const std::string page = server.Url("/page");
  const auto file = Page("p.html", "<html>\n<script>go()</script>\n<form>");
  const Result web = Run({"check", "--max-bytes", "10", page});
  const Result local = Run({"check", "--max-bytes", "10", file.string()});
  EXPECT_EQ(web.status, 2);
  EXPECT_EQ(local.status, 2);
  const std::string reason = "larger than the limit of 10 bytes (see --max-bytes)";
  EXPECT_EQ(web.err, "vettrix: " + page + ": " + reason + "\n");
  EXPECT_EQ(local.err, "vettrix: " + file.string() + ": " + reason + "\n");

  const std::string https = "https" + page.substr(4);
  const Result tls = Run({"check", https});
  EXPECT_EQ(tls.status, 2);
  EXPECT_NE(tls.err.find("speaks plain http, not https"), std::string::npos) << tls.err;
  EXPECT_EQ(tls.err.find("SSL routines"), std::string::npos) << tls.err;
}

// A page on a server signed by an authority of the user's own.
TEST_F(Cli, HttpsWithTheAuthoritiesGiven) {
  const vx::support::LoopbackCertificate certificate;
  httplib::SSLServer https(certificate.cert().c_str(), certificate.key().c_str());
  https.Get("/page", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Tls/1");
    res.set_content("<html><script>go()</script></html>", "text/html");
  });
  const int port = https.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { https.listen_after_bind(); });
  while (!https.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string page = "https://127.0.0.1:" + std::to_string(port) + "/page";

  const Result trusted = Run({"check", "--json", "--cacert", certificate.cert(), page});
  const Result unknown = Run({"check", "--json", page});
  https.stop();
  serving.join();

  EXPECT_EQ(trusted.status, 1) << trusted.err;
  const auto found = trusted.JsonLines();
  ASSERT_EQ(found.size(), 1u) << trusted.out;
  EXPECT_EQ(found[0]["server"], "Tls/1");
  EXPECT_EQ(found[0]["findings"][0]["label"], "Scripting");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("certificate"), std::string::npos) << unknown.err;
}

// What the user typed, and names that come from files and servers, reach the
// terminal escaped: they can neither act on it nor disguise what is shown.
TEST_F(Cli, ControlAndDirectionCharactersAreShownEscaped) {
  const Result usage = Run({"check", "--jobs", "\x1b]0;title\a\x1b[2J", "x"});
  EXPECT_EQ(usage.status, 64);
  EXPECT_NE(usage.err.find("\"\\e]0;title\\x07\\e[2J\""), std::string::npos) << usage.err;
  EXPECT_EQ(usage.err.find_first_of("\x1b\a"), std::string::npos) << usage.err;
  const Result option = Run({"check", "--bogus\r\x9b", "x"});
  EXPECT_EQ(option.status, 64);
  EXPECT_NE(option.err.find("--bogus\\r\\x9b"), std::string::npos) << option.err;

  // "report<RLO>gnp.html" would read as "reportlmth.png".
  const std::string disguised = "report\xE2\x80\xAEgnp.html";
  Page(disguised, "<form>");
  Page("plain.html", "<form>");
  const Result human = Run({"check", disguised, "plain.html", "missing\x1b[1m.html"});
  EXPECT_EQ(human.status, 2);
  EXPECT_NE(human.out.find("== report\\u202egnp.html\n"), std::string::npos) << human.out;
  EXPECT_EQ(human.out.find("\xE2\x80\xAE"), std::string::npos);
  EXPECT_NE(human.err.find("missing\\e[1m.html"), std::string::npos) << human.err;
  EXPECT_EQ(human.err.find('\x1b'), std::string::npos) << human.err;

  // JSON keeps the name whole, as an escape.
  const Result json = Run({"check", "--json", disguised});
  EXPECT_NE(json.out.find("\"address\":\"report\\u202egnp.html\""), std::string::npos) << json.out;
  ASSERT_EQ(json.JsonLines().size(), 1u);
  EXPECT_EQ(json.JsonLines()[0]["address"], disguised);
}

TEST_F(Cli, CsvSafeKeepsSpreadsheetsFromRunningCells) {
  Page("=1+1.html", "<form>");
  Page("@sum.html", "<form>");
  Page("plain.html", "<form>");
  const std::vector<std::string> pages = {"=1+1.html", "@sum.html", "plain.html"};
  std::vector<std::string> args = {"check", "--format", "csv"};
  args.insert(args.end(), pages.begin(), pages.end());
  // Without the option every cell is as it was.
  const Result as_is = Run(args);
  ASSERT_EQ(as_is.OutLines().size(), 4u) << as_is.err;
  EXPECT_TRUE(as_is.OutLines()[1].starts_with("=1+1.html,5,Forms,")) << as_is.out;
  args.push_back("--csv-safe");
  const Result safe = Run(args);
  ASSERT_EQ(safe.OutLines().size(), 4u) << safe.err;
  EXPECT_TRUE(safe.OutLines()[1].starts_with("'=1+1.html,5,Forms,")) << safe.out;
  EXPECT_TRUE(safe.OutLines()[2].starts_with("'@sum.html,5,Forms,")) << safe.out;
  EXPECT_TRUE(safe.OutLines()[3].starts_with("plain.html,5,Forms,")) << safe.out;
}

// A folder whose name reads as a host name: the message says which rule made
// it one and how to check the folder. The name is a loopback address with a
// closed port, so the fetch stays on this machine.
TEST_F(Cli, FolderReadAsHostNameSaysWhy) {
  Page("127.0.0.1:9/index.html", "<form>");
  const Result r = Run({"check", "127.0.0.1:9"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("(read as a web address: a name with a dot or colon in its first part is "
                       "a host name; the folder of that name is checked when written as "
                       "./127.0.0.1:9)"),
            std::string::npos)
      << r.err;
  const Result as_folder = Run({"check", "./127.0.0.1:9"});
  EXPECT_EQ(as_folder.status, 1) << as_folder.err;
}

// Every occurrence with its place in the text and the markup, in each format;
// the contexts a user ignores decide which rules match.
TEST_F(Cli, OccurrencesInEveryFormat) {
  const std::string page =
      "<!-- old <form> -->\r\n<title>The <form> element</title>\n<div onclick=\"go()\">\n"
      "<form action=x></div>";
  Page("page.html", page);
  const Result json = Run({"check", "--json", "--occurrences=2", "page.html"});
  EXPECT_EQ(json.status, 1) << json.err;
  const std::vector<Json> lines = json.JsonLines();
  ASSERT_EQ(lines.size(), 1u) << json.out;
  const Json& findings = lines[0]["findings"];
  ASSERT_EQ(findings.size(), 2u);
  const Json& forms = findings[0];
  EXPECT_EQ(forms["rule"], 5);
  EXPECT_EQ(forms["count"], 3);
  EXPECT_EQ(forms["line"], 1);
  EXPECT_EQ(forms["column"], 10);
  EXPECT_EQ(forms["occurrences"], Json::parse(R"([
      {"line":1,"column":10,"offset":9,"context":"comment","element":null,
       "snippet":"<!-- old <form> -->"},
      {"line":2,"column":12,"offset":32,"context":"text","element":"title",
       "snippet":"<title>The <form> element</title>"}])"));
  EXPECT_EQ(findings[1]["occurrences"][0]["context"], "attribute-name");
  EXPECT_EQ(findings[1]["occurrences"][0]["element"], "div");

  // The count alone.
  const Result counted = Run({"check", "--json", "--occurrences=0", "page.html"});
  EXPECT_EQ(counted.JsonLines()[0]["findings"][0]["count"], 3);
  EXPECT_EQ(counted.JsonLines()[0]["findings"][0]["occurrences"], Json::array());

  const Result verbose = Run({"check", "-v", "page.html"});
  EXPECT_EQ(verbose.OutLines(),
            (std::vector<std::string>{kForms, "  1:10 comment <!-- old <form> -->",
                                      "  2:12 text <title> <title>The <form> element</title>",
                                      "  4:1 tag <form> <form action=x></div>",
                                      "OnClick\tAffects are applied when you apply a mouse click.",
                                      "  3:6 attribute-name <div> <div onclick=\"go()\">"}));

  const Result csv = Run({"check", "--format", "csv", "--occurrences", "page.html"});
  EXPECT_EQ(csv.OutLines().front(), "address,rule,label,description,line,column,context,element\r");
  EXPECT_EQ(csv.OutLines().size(), 5u) << csv.out;
  EXPECT_EQ(csv.OutLines()[4],
            "page.html,11,OnClick,Affects are applied when you apply a mouse click.,3,6,"
            "attribute-name,div\r");

  // Markers only written about count for nothing; the finding's place is its
  // first occurrence that counts.
  const Result markup = Run({"check", "--json", "--ignore-in", "comment,text", "page.html"});
  EXPECT_EQ(markup.status, 1);
  EXPECT_EQ(markup.JsonLines()[0]["findings"][0]["line"], 4);
  EXPECT_FALSE(markup.JsonLines()[0]["findings"][0].contains("count"));
  const Result words = Run({"check", "--ignore-in", "markup", "page.html"});
  EXPECT_EQ(words.OutLines(), (std::vector<std::string>{kForms}));
  Page("prose.html", "<textarea>Type <form> here</textarea>");
  const Result prose = Run({"check", "--ignore-in", "text", "prose.html"});
  EXPECT_EQ(prose.status, 0);
  EXPECT_EQ(prose.out, "");

  const Result bad = Run({"check", "--ignore-in", "comments", "page.html"});
  EXPECT_EQ(bad.status, 64);
  EXPECT_NE(bad.err.find("\"comments\" is no context"), std::string::npos) << bad.err;
  EXPECT_EQ(Run({"check", "--occurrences=many", "page.html"}).status, 64);
}

// Every option is read by the one table that also writes the help: each
// option the help names is taken, flags take no value, and a value given
// after "=" must not be empty.
TEST_F(Cli, OptionsAreWhatTheHelpSays) {
  Page("p.html", "<form>");
  const Result help = Run({"check", "--help"});
  std::vector<std::string> flags;
  for (const std::string& line : help.OutLines()) {
    // "  -q, --quiet          no progress line..." names a flag.
    if (line.size() < 24 || !line.starts_with("  -")) continue;
    const std::string left = line.substr(2, line.find("  ", 2) - 2);
    const std::string last = left.substr(left.rfind(' ') + 1);
    if (last.starts_with("--") && last != "--" && last != "--help") flags.push_back(last);
  }
  for (const std::string flag :
       {"--json", "--recursive", "--unordered", "--verbose", "--csv-safe", "--quiet"}) {
    EXPECT_NE(std::find(flags.begin(), flags.end(), flag), flags.end()) << flag;
    const Result r = Run({"check", flag, "p.html"});
    EXPECT_LE(r.status, 1) << flag << ": " << r.err;
    const Result with_value = Run({"check", flag + "=1", "p.html"});
    EXPECT_EQ(with_value.status, 64) << flag;
    EXPECT_NE(with_value.err.find(flag + " takes no value"), std::string::npos) << with_value.err;
  }
  const Result empty = Run({"check", "--occurrences=", "p.html"});
  EXPECT_EQ(empty.status, 64);
  EXPECT_NE(empty.err.find("--occurrences= needs a value"), std::string::npos) << empty.err;
  const Result slip = Run({"check", "--ignor-in", "text", "p.html"});
  EXPECT_NE(slip.err.find("did you mean --ignore-in?"), std::string::npos) << slip.err;
}

}  // namespace
