// The batch fetcher against real loopback servers: the same answers as a
// single fetch, and the limits that keep a run polite.
#include "platform/fetch/batch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/ascii.h"
#include "platform/fetch/fetch.h"
#include "platform/fetch/transfer.h"
#include "tests/platform/fetch/h2_server.h"
#include "tests/platform/fetch/servers.h"
#include "tests/support/sanitizers.h"
#include "tests/support/untimed.h"

namespace vx::net {
namespace {

using fixtures::HttpServer;
using fixtures::HttpsServer;
using fixtures::RawServer;
using support::WithoutTimings;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

class Batch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A proxy from the environment must not swallow loopback requests.
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  }
};

// Every address through one batch; the results decoded, by position.
std::vector<FetchResult> FetchAll(const std::vector<std::string>& addresses,
                                  const BatchOptions& options) {
  std::mutex mutex;
  std::map<std::uint64_t, FetchResult> results;
  {
    BatchFetcher batch(options, [&](std::uint64_t id, RawFetch raw) {
      std::lock_guard lock(mutex);
      EXPECT_EQ(results.count(id), 0u) << "answered twice: " << id;
      results[id] = decode_fetch(std::move(raw));
    });
    for (std::size_t i = 0; i < addresses.size(); ++i) batch.Add(i, addresses[i]);
    batch.Close();
    batch.Wait();
  }
  std::vector<FetchResult> out;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(results.count(i), 1u) << "no answer for " << addresses[i];
    out.push_back(results[i]);
  }
  return out;
}

// The headers that make the page, without those of the connection (a batch
// reuses connections, so the server may say "close" to one and not the
// other) and the date. Names in any case: HTTP/2 sends them in small letters.
std::vector<std::pair<std::string, std::string>> PageHeaders(const FetchResult& r) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& h : r.headers) {
    const std::string name = ascii::Lower(h.first);
    if (name != "connection" && name != "keep-alive" && name != "date") out.push_back(h);
  }
  return out;
}

void ExpectSame(const FetchResult& single, const FetchResult& batch, const std::string& what) {
  EXPECT_EQ(single.ok, batch.ok) << what;
  EXPECT_EQ(WithoutTimings(single.error), WithoutTimings(batch.error)) << what;
  EXPECT_EQ(single.status, batch.status) << what;
  EXPECT_EQ(single.final_url, batch.final_url) << what;
  EXPECT_EQ(PageHeaders(single), PageHeaders(batch)) << what;
  EXPECT_EQ(single.text, batch.text) << what;
}

TEST_F(Batch, EachAddressGetsWhatASingleFetchGets) {
  HttpServer http;
  const std::string page = "<html><script>x()</script><p onclick=y>caf\xC3\xA9</p>";
  http.server.Get("/ok", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Batch/1");
    res.set_content(page, "text/html");
  });
  http.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<form>gone</form>", "text/html");
  });
  http.server.Get("/error", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("<object>", "text/html");
  });
  http.server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    const int left = std::stoi(req.matches[1]);
    if (left == 0) {
      res.set_content("end", "text/plain");
    } else {
      res.set_redirect("/hop/" + std::to_string(left - 1));
    }
  });
  http.server.Get(
      "/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
  http.server.Get("/gz", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Encoding", "gzip");
    res.set_content(fixtures::gzip(page), "application/octet-stream");
  });
  http.server.Get("/latin1", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("price: \x80 5 \xE9", "text/html; charset=windows-1252");
  });
  http.server.Get("/meta", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<meta charset=koi8-r><p>\xF0\xD2\xC9", "text/html");
  });
  http.server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(5000, 'x'), "text/plain");
  });
  http.server.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("ftp://127.0.0.1/file");
  });
  http.start();

  RawServer cut([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly ten..");
  });
  RawServer http09([](RawServer&, int fd) { RawServer::send_all(fd, "hello there\r\n"); });
  RawServer huge_status([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 123456789012345678901 OK\r\nContent-Length: 2\r\n\r\nhi");
  });
  RawServer huge_header([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nX-Big: " + std::string(1 << 20, 'a') +
                                "\r\nContent-Length: 2\r\n\r\nhi");
  });
  RawServer silent([](RawServer&, int) {});  // closes without a word
  HttpsServer https;
  https.server.Get("/ok", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html");
  });
  https.start();
  int closed_port = 0;
  {
    HttpServer gone;
    gone.start();
    closed_port = gone.port();
  }

  const std::vector<std::string> addresses = {
      http.url("/ok"),
      http.url("/missing"),
      http.url("/error"),
      http.url("/hop/3"),
      http.url("/hop/12"),
      http.url("/loop"),
      http.url("/gz"),
      http.url("/latin1"),
      http.url("/meta"),
      http.url("/big"),
      http.url("/to-ftp"),
      "127.0.0.1:" + std::to_string(http.port()) + "/ok",  // no scheme
      cut.url("/cut"),
      http09.url("/"),
      huge_status.url("/"),
      huge_header.url("/"),
      silent.url("/"),
      "http://127.0.0.1:" + std::to_string(closed_port) + "/",
      "ftp://127.0.0.1/x",
      "http:/127.0.0.1/x",
      "",
      https.url("/ok"),
      https.url("/missing"),
  };
  BatchOptions options;
  options.jobs = 6;
  options.fetch.max_bytes = 4096;
  options.fetch.ca_file = https.ca_file();
  const std::vector<FetchResult> batch = FetchAll(addresses, options);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const FetchResult single = fetch(addresses[i], options.fetch);
    ExpectSame(single, batch[i], "address " + std::to_string(i) + ": " + addresses[i]);
  }
  // And the answers are the right ones, not only equal.
  EXPECT_EQ(batch[0].text, page);
  EXPECT_EQ(batch[0].header("server"), "Batch/1");
  EXPECT_EQ(batch[1].status, 404);
  EXPECT_EQ(batch[3].final_url, http.url("/hop/0"));
  EXPECT_EQ(batch[4].error, "more than 10 redirects");
  EXPECT_THAT(batch[5].error, HasSubstr("redirect loop"));
  EXPECT_EQ(batch[6].text, page);
  EXPECT_EQ(batch[7].text, "price: \u20ac 5 \u00e9");
  EXPECT_EQ(batch[9].error, "page larger than 4096 bytes");
  EXPECT_THAT(batch[10].error, HasSubstr("unsupported scheme"));
  EXPECT_THAT(batch[12].error, HasSubstr("connection closed before the whole page arrived"));
  EXPECT_THAT(batch[13].error, HasSubstr("malformed HTTP response"));
  EXPECT_THAT(batch[14].error, HasSubstr("malformed HTTP response"));
  EXPECT_THAT(batch[15].error, HasSubstr("response header too large"));
  EXPECT_EQ(batch[16].error, "the server closed the connection without replying");
  EXPECT_FALSE(batch[17].ok);
  EXPECT_THAT(batch[18].error, HasSubstr("unsupported scheme \"ftp\""));
  EXPECT_THAT(batch[19].error, HasSubstr("must be followed by \"//\""));
  EXPECT_EQ(batch[20].error, "empty address");
  EXPECT_EQ(batch[21].text, page);
  EXPECT_EQ(batch[22].status, 404);
}

// Counts requests in flight at once, by the Host header they name.
class ConcurrencyServer {
 public:
  explicit ConcurrencyServer(std::chrono::milliseconds hold) {
    http_.server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    http_.server.Get(R"(/p/(\d+))",
                     [this, hold](const httplib::Request& req, httplib::Response& res) {
                       const std::string host = req.get_header_value("Host");
                       {
                         std::lock_guard lock(mutex_);
                         const int now = ++current_[host];
                         peak_[host] = std::max(peak_[host], now);
                         const int all = ++all_current_;
                         all_peak_ = std::max(all_peak_, all);
                         ++served_;
                       }
                       std::this_thread::sleep_for(hold);
                       {
                         std::lock_guard lock(mutex_);
                         --current_[host];
                         --all_current_;
                       }
                       res.set_content("page " + req.matches[1].str(), "text/plain");
                     });
    http_.start();
  }
  std::string url(const std::string& host, int n) const {
    return "http://" + host + ":" + std::to_string(http_.port()) + "/p/" + std::to_string(n);
  }
  int peak(const std::string& host) {
    std::lock_guard lock(mutex_);
    return peak_[host + ":" + std::to_string(http_.port())];
  }
  int all_peak() {
    std::lock_guard lock(mutex_);
    return all_peak_;
  }
  int served() {
    std::lock_guard lock(mutex_);
    return served_;
  }

 private:
  HttpServer http_;
  std::mutex mutex_;
  std::map<std::string, int> current_, peak_;
  int all_current_ = 0, all_peak_ = 0, served_ = 0;
};

TEST_F(Batch, PerHostAndOverallLimitsHold) {
  ConcurrencyServer server(std::chrono::milliseconds(40));
  std::vector<std::string> addresses;
  for (int i = 0; i < 24; ++i) {
    addresses.push_back(server.url(i % 2 ? "127.0.0.1" : "localhost", i));
  }
  BatchOptions options;
  options.jobs = 16;
  options.per_host = 3;
  for (const FetchResult& r : FetchAll(addresses, options)) ASSERT_TRUE(r.ok) << r.error;
  // Two host names, three at a time each.
  EXPECT_LE(server.peak("127.0.0.1"), 3);
  EXPECT_LE(server.peak("localhost"), 3);
  EXPECT_GE(server.peak("127.0.0.1"), 2);  // and they did run side by side
  EXPECT_LE(server.all_peak(), 6);

  ConcurrencyServer narrow(std::chrono::milliseconds(40));
  addresses.clear();
  for (int i = 0; i < 12; ++i) addresses.push_back(narrow.url("127.0.0.1", i));
  options.jobs = 2;
  options.per_host = 100;
  const auto results = FetchAll(addresses, options);
  for (std::size_t i = 0; i < results.size(); ++i)
    EXPECT_EQ(results[i].text, "page " + std::to_string(i));
  EXPECT_LE(narrow.all_peak(), 2);
  EXPECT_EQ(narrow.served(), 12);
}

TEST_F(Batch, RateSpacesTheStarts) {
  HttpServer http;
  std::mutex mutex;
  std::vector<Clock::time_point> arrivals;
  http.server.Get("/r", [&](const httplib::Request&, httplib::Response& res) {
    std::lock_guard lock(mutex);
    arrivals.push_back(Clock::now());
    res.set_content("r", "text/plain");
  });
  http.start();
  BatchOptions options;
  options.jobs = 8;
  options.per_host = 8;
  options.rate = 20;  // one start every 50 ms
  const std::vector<std::string> addresses(9, http.url("/r"));
  for (const FetchResult& r : FetchAll(addresses, options)) ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(arrivals.size(), 9u);
  std::sort(arrivals.begin(), arrivals.end());
  // Eight gaps of 50 ms at least (a lower bound: a slow machine only adds).
  EXPECT_GE(arrivals.back() - arrivals.front(), std::chrono::milliseconds(380));
}

// Answers each path with a scripted sequence of replies, one per request.
class ScriptedServer {
 public:
  ScriptedServer() {
    http_.server.Get(R"(/s/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      const std::string name = req.matches[1];
      auto& times = arrivals_[name];
      times.push_back(Clock::now());
      const auto& replies = script_[name];
      const Reply& reply = replies[std::min(times.size(), replies.size()) - 1];
      res.status = reply.status;
      if (!reply.retry_after.empty()) res.set_header("Retry-After", reply.retry_after);
      res.set_content("attempt " + std::to_string(times.size()), "text/plain");
    });
    http_.start();
  }
  struct Reply {
    int status = 200;
    std::string retry_after;
  };
  void Script(const std::string& name, std::vector<Reply> replies) {
    std::lock_guard lock(mutex_);
    script_[name] = std::move(replies);
  }
  std::vector<Clock::time_point> Arrivals(const std::string& name) {
    std::lock_guard lock(mutex_);
    return arrivals_[name];
  }
  std::string url(const std::string& name) const { return http_.url("/s/" + name); }

 private:
  HttpServer http_;
  std::mutex mutex_;
  std::map<std::string, std::vector<Reply>> script_;
  std::map<std::string, std::vector<Clock::time_point>> arrivals_;
};

TEST_F(Batch, RetriesBackOffAndHonourRetryAfter) {
  ScriptedServer server;
  server.Script("after", {{503, "1"}, {200, ""}});
  server.Script("backoff", {{429, ""}, {429, ""}, {200, ""}});
  server.Script("exhausted", {{503, ""}});
  server.Script("missing", {{404, ""}});
  server.Script("date", {{429, "Wed, 21 Oct 2015 07:28:00 GMT"}, {200, ""}});  // long past
  BatchOptions options;
  options.retries = 2;
  options.first_backoff = std::chrono::milliseconds(100);
  const auto results =
      FetchAll({server.url("after"), server.url("backoff"), server.url("exhausted"),
                server.url("missing"), server.url("date")},
               options);

  ASSERT_TRUE(results[0].ok) << results[0].error;
  EXPECT_EQ(results[0].status, 200);
  EXPECT_EQ(results[0].text, "attempt 2");
  const auto after = server.Arrivals("after");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_GE(after[1] - after[0], std::chrono::milliseconds(950));  // what the server asked

  EXPECT_EQ(results[1].text, "attempt 3");
  const auto backoff = server.Arrivals("backoff");
  ASSERT_EQ(backoff.size(), 3u);
  EXPECT_GE(backoff[1] - backoff[0], std::chrono::milliseconds(95));
  EXPECT_GE(backoff[2] - backoff[1], std::chrono::milliseconds(195));  // doubled

  // Out of tries, the last answer is the page; other statuses are not retried.
  EXPECT_TRUE(results[2].ok);
  EXPECT_EQ(results[2].status, 503);
  EXPECT_EQ(server.Arrivals("exhausted").size(), 3u);
  EXPECT_EQ(results[3].status, 404);
  EXPECT_EQ(server.Arrivals("missing").size(), 1u);
  EXPECT_EQ(results[4].text, "attempt 2");

  // Without retries nothing is asked twice.
  server.Script("once", {{503, "0"}, {200, ""}});
  BatchOptions none;
  EXPECT_EQ(FetchAll({server.url("once")}, none)[0].status, 503);
  EXPECT_EQ(server.Arrivals("once").size(), 1u);
}

TEST_F(Batch, ConnectionFailuresAreRetried) {
  std::atomic<int> accepted{0};
  // Hangs up on the first two connections, answers the third.
  RawServer flaky([&](RawServer&, int fd) {
    if (++accepted <= 2) {
      RawServer::reset(fd);
      return;
    }
    RawServer::send_all(fd,
                        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nback");
  });
  BatchOptions options;
  options.retries = 3;
  options.first_backoff = std::chrono::milliseconds(20);
  const FetchResult r = FetchAll({flaky.url("/")}, options)[0];
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.text, "back");
  EXPECT_EQ(accepted.load(), 3);
}

TEST_F(Batch, RedirectLimitAndNoFollowing) {
  HttpServer http;
  http.server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    const int left = std::stoi(req.matches[1]);
    if (left == 0) {
      res.set_content("end", "text/plain");
    } else {
      res.set_redirect("/hop/" + std::to_string(left - 1));
      res.set_content("<a href=next>moved</a>", "text/html");
    }
  });
  http.start();
  BatchOptions options;
  options.fetch.max_redirects = 2;
  auto results = FetchAll({http.url("/hop/2"), http.url("/hop/3")}, options);
  EXPECT_EQ(results[0].text, "end");
  EXPECT_EQ(results[1].error, "more than 2 redirects");
  EXPECT_EQ(fetch(http.url("/hop/3"), options.fetch).error, "more than 2 redirects");

  // 0 follows nothing: the redirecting answer is the page.
  options.fetch.max_redirects = 0;
  results = FetchAll({http.url("/hop/1")}, options);
  ASSERT_TRUE(results[0].ok) << results[0].error;
  EXPECT_EQ(results[0].status, 302);
  EXPECT_EQ(results[0].final_url, http.url("/hop/1"));
  EXPECT_EQ(results[0].header("location"), "/hop/0");
  EXPECT_EQ(results[0].text, "<a href=next>moved</a>");
  ExpectSame(fetch(http.url("/hop/1"), options.fetch), results[0], "no following");
}

// A server that speaks HTTP/2 gets the transfers of a batch over one
// connection, and each page is what a single fetch of it gives.
TEST_F(Batch, Http2ServersCarryTheBatchOverOneConnection) {
  std::map<std::string, std::string> files;
  std::vector<std::string> addresses;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    files[name] = "<p>page " + std::to_string(i) + "</p><script>x()</script>";
  }
  fixtures::H2Server h2(files);
  for (const auto& [name, content] : files) addresses.push_back(h2.url("/" + name));
  addresses.push_back(h2.url("/missing.html"));
  BatchOptions options;
  options.fetch.ca_file = h2.ca_file();
  const std::vector<FetchResult> batch = FetchAll(addresses, options);
  EXPECT_EQ(h2.connections(), 1u) << h2.log();
  for (std::size_t i = 0; i < files.size(); ++i) {
    ASSERT_TRUE(batch[i].ok) << batch[i].error;
    EXPECT_EQ(batch[i].text, files.at(addresses[i].substr(addresses[i].rfind('/') + 1)));
    EXPECT_THAT(batch[i].header("server"), HasSubstr("nghttpd"));
  }
  EXPECT_EQ(batch.back().status, 404);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    ExpectSame(fetch(addresses[i], options.fetch), batch[i], addresses[i]);
  }
}

TEST_F(Batch, RequestHeadersAndProxy) {
  HttpServer http;
  std::string agent, extra, dropped = "unset";
  http.server.Get("/h", [&](const httplib::Request& req, httplib::Response& res) {
    agent = req.get_header_value("User-Agent");
    extra = req.get_header_value("X-Check");
    dropped = req.has_header("Accept") ? "sent" : "dropped";
    res.set_content("h", "text/plain");
  });
  http.start();
  BatchOptions options;
  options.fetch.user_agent = "Tester/9";
  options.fetch.headers = {"X-Check: yes please", "Accept:"};
  ASSERT_TRUE(FetchAll({http.url("/h")}, options)[0].ok);
  EXPECT_EQ(agent, "Tester/9");
  EXPECT_EQ(extra, "yes please");
  EXPECT_EQ(dropped, "dropped");

  // A proxy gets the whole address in its request line.
  RawServer proxy([&](RawServer&, int fd) {
    RawServer::send_all(fd,
                        "HTTP/1.1 200 OK\r\nServer: proxied\r\nContent-Length: 7\r\n"
                        "Connection: close\r\n\r\nproxied");
  });
  options.fetch.proxy = proxy.url("");
  const FetchResult via = FetchAll({"http://vettrix.invalid/page"}, options)[0];
  ASSERT_TRUE(via.ok) << via.error;
  EXPECT_EQ(via.text, "proxied");
  EXPECT_EQ(via.header("server"), "proxied");
  EXPECT_EQ(proxy.last_head().rfind("GET http://vettrix.invalid/page HTTP/1.1\r\n", 0), 0u)
      << proxy.last_head();
  ExpectSame(fetch("http://vettrix.invalid/page", options.fetch), via, "through a proxy");

  // Without a proxy option the environment names one; "" goes through none.
  options.fetch.proxy.reset();
  ::setenv("http_proxy", proxy.url("").c_str(), 1);
  const FetchResult from_env = FetchAll({"http://vettrix.invalid/env"}, options)[0];
  EXPECT_EQ(from_env.text, "proxied");
  EXPECT_EQ(proxy.last_head().rfind("GET http://vettrix.invalid/env ", 0), 0u);
  // With no exceptions for loopback, only "" keeps the proxy out.
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  EXPECT_EQ(FetchAll({http.url("/h")}, options)[0].text, "proxied");
  options.fetch.proxy = "";
  const FetchResult direct = FetchAll({http.url("/h")}, options)[0];
  ::unsetenv("http_proxy");
  SetUpTestSuite();
  EXPECT_EQ(direct.text, "h");
}

// A handler that throws (out of memory, most likely) is handed the address's
// failure instead, until it takes one; memory that runs out while a response
// is read fails that address alone; the fetcher goes on with what follows.
TEST_F(Batch, EveryAddressIsAnsweredWhateverThrows) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  HttpServer http;
  http.server.Get(R"(/p/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(std::string("page ").append(req.matches[1]), "text/plain");
  });
  http.start();
  RawServer huge([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n<html>");
  });

  std::mutex mutex;
  std::condition_variable answered;
  std::map<std::uint64_t, std::vector<std::string>> calls;  // "ok" or the error, per call
  BatchOptions options;
  options.fetch.max_bytes = UINT64_MAX;
  BatchFetcher batch(options, [&](std::uint64_t id, RawFetch raw) {
    std::lock_guard lock(mutex);
    std::vector<std::string>& seen = calls[id];
    seen.push_back(raw.result.ok ? "ok" : raw.result.error);
    answered.notify_all();
    if (id == 1 && seen.size() <= 2) throw std::bad_alloc();
    if (id == 3 && seen.size() == 1) throw std::runtime_error("no room");
  });
  batch.Add(0, http.url("/p/0"));
  batch.Add(1, http.url("/p/1"));
  batch.Add(2, huge.url("/huge"));
  batch.Add(3, http.url("/p/3"));
  {
    // Addresses that come after the handler threw are still served.
    std::unique_lock lock(mutex);
    answered.wait(lock, [&] { return calls[1].size() == 3 && calls[3].size() == 2; });
  }
  for (std::uint64_t id = 4; id < 8; ++id) batch.Add(id, http.url("/p/" + std::to_string(id)));
  batch.Close();
  batch.Wait();

  using Calls = std::vector<std::string>;
  EXPECT_EQ(calls[1], (Calls{"ok", "out of memory while handling the response",
                             "out of memory while handling the response"}));
  EXPECT_EQ(calls[2], Calls{"out of memory while reading the response"});
  EXPECT_EQ(calls[3], (Calls{"ok", "failed while handling the response: no room"}));
  for (std::uint64_t id : {0, 4, 5, 6, 7}) EXPECT_EQ(calls[id], Calls{"ok"}) << id;
  EXPECT_EQ(calls.size(), 8u);
}

TEST(BatchHosts, HostKeysNameSchemeHostAndPort) {
  using detail::HostKey;
  EXPECT_EQ(HostKey("http://Example.COM/x?y#z"), "http://example.com:80");
  EXPECT_EQ(HostKey("HTTPS://user:pw@Host:8443/a"), "https://host:8443");
  EXPECT_EQ(HostKey("https://host"), "https://host:443");
  EXPECT_EQ(HostKey("http://[::1]:81/"), "http://[::1]:81");
  EXPECT_EQ(HostKey("http://[::1]/"), "http://[::1]:80");
  EXPECT_EQ(HostKey("http://a@b@c:1/"), "http://c:1");
  EXPECT_EQ(HostKey("http:///nohost"), "");
  EXPECT_EQ(HostKey("no scheme"), "");
}

TEST_F(Batch, CancelStopsAtOnceAndAnswersNoMore) {
  RawServer silent([](RawServer& self, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
    for (int i = 0; i < 300 && !self.stopping(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  std::atomic<int> answers{0};
  BatchOptions options;
  BatchFetcher batch(options, [&](std::uint64_t, RawFetch) { ++answers; });
  for (int i = 0; i < 5; ++i) batch.Add(i, silent.url("/"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  batch.Cancel();
  batch.Wait();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));  // a guard against hanging
  batch.Add(99, silent.url("/"));                            // ignored
  EXPECT_EQ(answers.load(), 0);
}

}  // namespace
}  // namespace vx::net
