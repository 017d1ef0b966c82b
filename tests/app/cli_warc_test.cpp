// `vettrix check --warc` run as a process on archives that real wget made
// of a loopback site, compared with a live check of the same site, and on
// archives damaged or made by hand.
#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"
#include "tests/support/gzip.h"
#include "tests/support/loopback_server.h"
#include "tests/support/sanitizers.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using vx::support::Quote;
using vx::support::ReadFile;

std::string Gzip(const std::string& data) {
  return vx::support::Deflate(data);
}

// A small site: pages of each kind an archive holds.
class Site {
 public:
  Site() {
    auto page = [this](const char* path, std::string body, std::string type,
                       std::string encoding = "") {
      http_.Get(path, [body, type, encoding](const httplib::Request&, httplib::Response& res) {
        res.set_header("Server", "Site/1");
        if (!encoding.empty()) res.set_header("Content-Encoding", encoding);
        res.set_content(body, type);
      });
    };
    page("/a.html", "<p>a</p><script>x()</script><form></form>", "text/html");
    page("/latin1", "caf\xE9 <applet>", "text/html; charset=iso-8859-1");
    page("/gz", Gzip("<p onmouseover=x>" + std::string(3000, 'z') + "</p>"), "text/html", "gzip");
    page("/style.css", "p { content: '<script>' }", "text/css");
    page("/bomb", Gzip(std::string(8 << 20, ' ') + "<object>"), "text/html", "gzip");
    http_.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Server", "Site/chunked");
      res.set_chunked_content_provider("text/html",
                                       [](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset == 0) {
                                           sink.write("<p>first</p>", 12);
                                           sink.write("<iframe src=x></iframe>", 23);
                                         }
                                         sink.done();
                                         return true;
                                       });
    });
    http_.Get("/gone", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<p onclick=x>not here</p>", "text/html");
    });
    http_.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/a.html");
      res.set_content("<embed>moving</embed>", "text/html");
    });
    listening_.start();
  }
  std::string Url(const std::string& path) const { return listening_.url(path); }

 private:
  httplib::Server http_;
  vx::testsupport::Listening listening_{http_};
};

const char* const kPages[] = {"/a.html", "/latin1", "/gz", "/chunked", "/gone"};

class CliWarc : public vx::clitest::VettrixRun {
 protected:
  // An archive of `paths` made by wget, gzipped record by record or plain.
  fs::path Wget(const std::vector<std::string>& paths, bool gzipped, const std::string& name) {
    const char* wget = "/usr/bin/wget";
    EXPECT_EQ(::access(wget, X_OK), 0) << "wget is missing: install it (scripts/deps.sh)";
    std::string cmd = Prefix() + wget + " -q -O /dev/null --tries=1 --warc-file=" + Quote(name);
    if (!gzipped) cmd += " --no-warc-compression";
    for (const auto& p : paths) cmd += " " + Quote(site_.Url(p));
    // wget's status tells of the 404; the archive is what counts.
    (void)std::system(cmd.c_str());
    const fs::path made = dir_ / (name + (gzipped ? ".warc.gz" : ".warc"));
    EXPECT_TRUE(fs::exists(made)) << "wget made no archive: " << cmd;
    return made;
  }

  std::vector<std::string> All() const {
    std::vector<std::string> all(std::begin(kPages), std::end(kPages));
    all.insert(all.end(), {"/style.css", "/moved"});
    return all;
  }

  Site site_;
};

// The fields a report tells of a page, whether fetched or archived.
std::map<std::string, json> ByAddress(const std::vector<json>& lines) {
  std::map<std::string, json> out;
  for (const json& j : lines) out[j["address"].get<std::string>()] = j;
  return out;
}

TEST_F(CliWarc, WgetArchivesPlainAndGzippedAreCheckedAsTheLiveSiteIs) {
  std::vector<std::string> live_args = {"check", "--json"};
  for (const char* p : kPages) live_args.push_back(site_.Url(p));
  const auto live = Run(live_args);
  ASSERT_EQ(live.status, 1) << live.err;
  const auto expected = ByAddress(live.JsonLines());
  ASSERT_EQ(expected.size(), std::size(kPages));

  for (const bool gzipped : {true, false}) {
    const fs::path archive = Wget(All(), gzipped, gzipped ? "gz" : "plain");
    const auto r = Run({"check", "--json", "--warc", archive.string()});
    EXPECT_EQ(r.status, 1) << r.err;
    const auto lines = r.JsonLines();
    // In archive order, which is wget's order; the redirect's target is
    // checked where the archive holds it, the redirect itself skipped.
    std::vector<std::string> order;
    for (const json& j : lines) order.push_back(j["address"]);
    std::vector<std::string> want;
    for (const char* p : kPages) {
      want.push_back(site_.Url(p));
    }
    want.push_back(site_.Url("/a.html"));
    EXPECT_EQ(order, want) << r.out;
    for (const json& j : lines) {
      const json& l = expected.at(j["address"]);
      for (const char* field : {"ok", "status", "final_address", "server", "bytes", "findings"})
        EXPECT_EQ(j[field], l[field])
            << field << " of " << j["address"] << (gzipped ? " (gz)" : "");
    }
    EXPECT_NE(r.err.find("vettrix: 6 addresses: 6 checked, 0 failed, 1 with an HTTP status other "
                         "than 2xx\n"),
              std::string::npos)
        << r.err;
    // wget's requests, its warcinfo and its log are no responses.
    EXPECT_NE(r.err.find(" not responses, 1 redirect, 1 not HTML\n"), std::string::npos) << r.err;
  }
}

TEST_F(CliWarc, EveryFormatShardsJobsAndOutputFileWorkOnArchives) {
  const fs::path archive = Wget(All(), true, "site");
  const auto whole = Run({"check", "--json", "--warc", archive.string()});
  ASSERT_EQ(whole.JsonLines().size(), 6u) << whole.err;

  // Two shards split the pages; merged, they are the whole run's report.
  for (const char* shard : {"1", "2"}) {
    const auto part =
        Run({"check", "--json", "--shard", std::string(shard) + "/2", "--jobs", "1", "--warc",
             archive.string(), "-o", "part" + std::string(shard) + ".jsonl"});
    EXPECT_LE(part.status, 1) << part.err;
  }
  const auto merged =
      Run({"merge", "--json", (dir_ / "part1.jsonl").string(), (dir_ / "part2.jsonl").string()});
  EXPECT_LE(merged.status, 1) << merged.err;
  EXPECT_EQ(merged.out, whole.out);

  const auto human = Run({"check", "--warc", archive.string()});
  EXPECT_NE(human.out.find("== " + site_.Url("/chunked") + "\nWeb Server: Site/chunked\n"),
            std::string::npos)
      << human.out;
  EXPECT_NE(human.out.find("Status: 404 Not Found"), std::string::npos) << human.out;
  const auto csv = Run({"check", "--format", "csv", "--warc", archive.string()});
  EXPECT_NE(csv.out.find(site_.Url("/latin1") + ",3,Applet"), std::string::npos) << csv.out;
  const auto sarif = Run({"check", "--format", "sarif", "--warc", archive.string()});
  const json log = json::parse(sarif.out);
  EXPECT_EQ(log["runs"][0]["results"].size(), 7u) << sarif.out;
  // -q: no summary.
  EXPECT_EQ(Run({"check", "-q", "--warc", archive.string()}).err, "");
}

TEST_F(CliWarc, DamagedArchivesAreToldAndTheRunGoesOn) {
  const fs::path gz = Wget(All(), true, "gz");
  const fs::path plain = Wget(All(), false, "plain");
  const std::string gz_bytes = ReadFile(gz), plain_bytes = ReadFile(plain);
  // Cut in the middle of a gzip member, and in the block of a plain record.
  vx::clitest::WriteFile(dir_ / "cut.warc.gz", gz_bytes.substr(0, gz_bytes.size() / 2));
  const std::size_t block = plain_bytes.find("caf\xE9 <app");
  ASSERT_NE(block, std::string::npos);
  vx::clitest::WriteFile(dir_ / "cut.warc", plain_bytes.substr(0, block + 4));
  const auto r = Run({"check", "--json", "--warc", "cut.warc.gz", "--warc", "missing.warc",
                      "--warc", "cut.warc", "--warc", gz.string()});
  EXPECT_EQ(r.status, 2);
  const auto lines = r.JsonLines();
  std::size_t ok = 0;
  std::vector<std::string> errors;
  for (const json& j : lines) {
    if (j["ok"]) {
      ++ok;
    } else {
      errors.push_back(j["error"]);
    }
  }
  ASSERT_EQ(errors.size(), 3u) << r.out;
  EXPECT_NE(errors[0].find("the gzip member at byte "), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find(" is truncated"), std::string::npos) << errors[0];
  EXPECT_EQ(errors[1], "cannot open the archive: No such file or directory");
  EXPECT_NE(errors[2].find("runs past the end of the file"), std::string::npos) << errors[2];
  // The whole archive last, whatever came before it; and some of each cut one.
  EXPECT_GT(ok, 6u);
  EXPECT_EQ(lines.back()["address"], site_.Url("/a.html"));
  EXPECT_TRUE(lines.back()["ok"]);
  EXPECT_NE(r.err.find("vettrix: cut.warc.gz: the gzip member at byte "), std::string::npos)
      << r.err;
}

TEST_F(CliWarc, ABodyInflatedPastMaxBytesFailsAloneAndTheNextRecordsAreChecked) {
  const fs::path archive = Wget({"/a.html", "/bomb", "/latin1"}, true, "bomb");
  ASSERT_LT(fs::file_size(archive), 200u * 1024);
  const auto r = Run({"check", "--json", "--max-bytes", "1000000", "--warc", archive.string()});
  EXPECT_EQ(r.status, 2);
  const auto lines = r.JsonLines();
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_TRUE(lines[0]["ok"]);
  EXPECT_EQ(lines[1]["address"], site_.Url("/bomb"));
  EXPECT_EQ(lines[1]["error"], "larger than the limit of 1000000 bytes (see --max-bytes)");
  EXPECT_EQ(lines[1]["status"], 200);
  EXPECT_TRUE(lines[2]["ok"]);
  // One without a Content-Type is decoded to be told by its text: the same limit.
  const std::string bomb = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" +
                           Gzip(std::string(4 << 20, ' ') + "<object>");
  vx::clitest::WriteFile(dir_ / "untyped.warc",
                         "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: "
                         "http://127.0.0.1:9/untyped\r\nContent-Length: " +
                             std::to_string(bomb.size()) + "\r\n\r\n" + bomb + "\r\n\r\n");
  const auto untyped = Run({"check", "--json", "--max-bytes", "1000000", "--warc", "untyped.warc"});
  ASSERT_EQ(untyped.JsonLines().size(), 1u) << untyped.out;
  EXPECT_EQ(untyped.JsonLines()[0]["error"],
            "larger than the limit of 1000000 bytes (see --max-bytes)");
  // Within the limit it is a page like any other.
  const auto big = Run({"check", "--json", "--warc", archive.string()});
  EXPECT_EQ(big.JsonLines()[1]["findings"][0]["label"], "Object") << big.out;
}

// Records made by hand: what other writers put in archives.
std::string Record(const std::string& type, const std::string& uri, const std::string& block,
                   const std::string& content_type = "application/http; msgtype=response") {
  return "WARC/1.0\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
         (content_type.empty() ? "" : "\r\nContent-Type: " + content_type) +
         "\r\nContent-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}

TEST_F(CliWarc, HandMadeRecordsBracketsOtherRecordsAndLyingLengths) {
  const std::string page = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<script>x</script>";
  const std::string records =
      Record("warcinfo", "", "format: WARC", "application/warc-fields") +
      Record("response", "<http://127.0.0.1:9/bracketed>", page) +
      Record("metadata", "http://127.0.0.1:9/bracketed", "via: x", "application/warc-fields") +
      Record("resource", "http://127.0.0.1:9/log", "<script>", "text/html") +
      Record("revisit", "http://127.0.0.1:9/bracketed", "HTTP/1.1 200 OK\r\n\r\n") +
      Record("response", "dns:127.0.0.1", "20260101 127.0.0.1", "text/dns") +
      Record("response", "http://127.0.0.1:9/img",
             "HTTP/1.1 200 OK\r\nContent-Type: "
             "image/png\r\n\r\n<script>") +
      Record("response", "http://127.0.0.1:9/notes.txt", "HTTP/1.1 200 OK\r\n\r\nplain <script>") +
      // No Content-Type: a page by its address, or by its text.
      Record("response", "http://127.0.0.1:9/named.HTML?q", "HTTP/1.1 200 OK\r\n\r\nx <embed>") +
      Record("response", "http://127.0.0.1:9/sniffed",
             "HTTP/1.1 200 OK\r\n\r\n\xEF\xBB\xBF\n <p><applet>") +
      // A response record without its own type is taken for HTTP.
      Record("response", "http://127.0.0.1:9/untyped", page, "") +
      Record("response", "http://127.0.0.1:9/not-http", "garbage");
  std::string lying = Record("response", "http://127.0.0.1:9/long", page);
  lying.replace(lying.find("Content-Length: ") + 16, 2, "12345");
  vx::clitest::WriteFile(dir_ / "hand.warc", records + lying);
  vx::clitest::WriteFile(dir_ / "hand.warc.gz", Gzip(records));

  const auto r = Run({"check", "--json", "--warc", "hand.warc", "--warc", "hand.warc.gz"});
  EXPECT_EQ(r.status, 2);
  auto lines = r.JsonLines();
  ASSERT_EQ(lines.size(), 11u) << r.out;
  EXPECT_EQ(lines[0]["address"], "http://127.0.0.1:9/bracketed");
  EXPECT_EQ(lines[0]["findings"][0]["label"], "Scripting");
  EXPECT_EQ(lines[1]["address"], "http://127.0.0.1:9/named.HTML?q");
  EXPECT_EQ(lines[1]["findings"][0]["label"], "Embedding");
  EXPECT_EQ(lines[2]["address"], "http://127.0.0.1:9/sniffed");
  EXPECT_EQ(lines[2]["findings"][0]["label"], "Applet");
  EXPECT_EQ(lines[3]["address"], "http://127.0.0.1:9/untyped");
  EXPECT_EQ(lines[3]["findings"][0]["label"], "Scripting");
  lines.erase(lines.begin() + 1, lines.begin() + 4);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1]["address"], "http://127.0.0.1:9/not-http");
  EXPECT_EQ(
      lines[1]["error"],
      "hand.warc: the record at byte " +
          std::to_string(records.size() -
                         Record("response", "http://127.0.0.1:9/not-http", "garbage").size()) +
          ": the record holds no HTTP status line");
  EXPECT_EQ(lines[2]["address"], "http://127.0.0.1:9/long");
  EXPECT_NE(lines[2]["error"].get<std::string>().find(
                "its Content-Length of 12345 bytes runs past the end of the file"),
            std::string::npos)
      << lines[2];
  EXPECT_EQ(lines[3]["address"], "http://127.0.0.1:9/bracketed");
  EXPECT_EQ(lines[7]["address"], "http://127.0.0.1:9/not-http");
  EXPECT_NE(r.err.find("vettrix: archives: 25 records; skipped: 10 not responses, 0 redirects, 4 "
                       "not HTML\n"),
            std::string::npos)
      << r.err;
}

// --warc - reads the archive through a pipe, gzipped or plain, and reports as
// the file would; standard input serves one reader only.
TEST_F(CliWarc, AnArchiveOnStandardInputIsCheckedAsItsFileIs) {
  for (const bool gzipped : {true, false}) {
    const fs::path archive = Wget(All(), gzipped, gzipped ? "piped-gz" : "piped");
    const auto from_file = Run({"check", "--json", "--warc", archive.string()});
    ASSERT_EQ(from_file.status, 1) << from_file.err;
    const fs::path out = dir_ / "piped.jsonl", err = dir_ / "piped.err";
    const std::string cat = "cat " + vx::support::Quote(archive.string()) + " | ";
    const std::string cmd = Prefix(cat.c_str()) + Command({"check", "--json", "--warc", "-"}) +
                            " >" + vx::support::Quote(out.string()) + " 2>" +
                            vx::support::Quote(err.string());
    const int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << cmd;
    EXPECT_EQ(WEXITSTATUS(raw), 1) << vx::support::ReadFile(err);
    EXPECT_EQ(vx::support::ReadFile(out), from_file.out) << (gzipped ? "gzipped" : "plain");
    EXPECT_EQ(vx::support::ReadFile(err), from_file.err);
  }

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check", "--warc", "-", "--warc", "-"},
        std::vector<std::string>{"check", "--warc", "-", "-l", "-"},
        std::vector<std::string>{"check", "-", "--warc", "-"}}) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 64) << r.err;
    EXPECT_NE(r.err.find("standard input"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--warc -"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CliWarc, MemoryStaysWithinAFewPagesHoweverLargeTheArchive) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  // 1,200 pages of 256 KiB: 300 MiB once inflated, far over the limit below,
  // which leaves room for the program's threads (a stack each) and a few
  // pages at a time.
  std::string archive;
  const std::string body = "<p>" + std::string(256 * 1024, 'p') + "</p><form>";
  for (int i = 0; i < 1200; ++i) {
    archive += Gzip(Record("response", "http://127.0.0.1:9/" + std::to_string(i),
                           "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body));
  }
  vx::clitest::WriteFile(dir_ / "big.warc.gz", archive);
  const long limit_kb = 150000 + 16384L * std::max(1u, std::thread::hardware_concurrency());
  const std::string cmd = Prefix(("ulimit -d " + std::to_string(limit_kb) + " && ").c_str()) +
                          Command({"check", "--json", "--warc", "big.warc.gz"}) + " >out.jsonl";
  const int raw = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  const auto lines = vx::clitest::JsonLines(ReadFile(dir_ / "out.jsonl"));
  ASSERT_EQ(lines.size(), 1200u);
  for (const json& j : lines) ASSERT_EQ(j["findings"][0]["label"], "Forms") << j;
}

}  // namespace
