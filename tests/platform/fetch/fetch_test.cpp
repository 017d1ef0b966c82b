#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fetch/fetch.h"
#include "tests/platform/fetch/servers.h"
#include "tests/support/python_server.h"
#include "tests/support/sanitizers.h"
#include "tests/support/tls_certificate.h"

namespace vx::net {
namespace {

using fixtures::HttpServer;
using fixtures::HttpsServer;
using fixtures::RawServer;
using ::testing::HasSubstr;

class Fetch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A proxy from the environment must not swallow loopback requests.
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  }
  HttpServer http;
};

TEST_F(Fetch, ServerHeaderPresentAbsentAndMatchedWithoutCase) {
  http.server.Get("/with", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Testerver/2.1");
    res.set_content("hello", "text/plain");
  });
  http.server.Get("/without", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("bare", "text/plain");
  });
  http.start();

  const FetchResult with = fetch(http.url("/with"));
  ASSERT_TRUE(with.ok) << with.error;
  EXPECT_EQ(with.status, 200);
  EXPECT_EQ(with.text, "hello");
  EXPECT_EQ(with.header("server"), "Testerver/2.1");
  EXPECT_EQ(with.header("SERVER"), "Testerver/2.1");
  EXPECT_EQ(with.header("x-not-sent"), "");

  const FetchResult without = fetch(http.url("/without"));
  ASSERT_TRUE(without.ok) << without.error;
  EXPECT_EQ(without.text, "bare");
  EXPECT_EQ(without.header("server"), "");
}

TEST_F(Fetch, ErrorStatusesAreNotFailures) {
  http.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<h1>no such page</h1>", "text/html");
  });
  http.server.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("<script>oops</script>", "text/html");
  });
  http.start();

  const FetchResult missing = fetch(http.url("/missing"));
  ASSERT_TRUE(missing.ok) << missing.error;
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.text, "<h1>no such page</h1>");

  const FetchResult broken = fetch(http.url("/broken"));
  ASSERT_TRUE(broken.ok) << broken.error;
  EXPECT_EQ(broken.status, 500);
  EXPECT_EQ(broken.text, "<script>oops</script>");
}

TEST_F(Fetch, SchemelessAddressIsHttpAndOtherSchemesAreRefused) {
  http.server.Get("/x", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("plain http", "text/plain");
  });
  http.start();

  const std::string bare = "127.0.0.1:" + std::to_string(http.port()) + "/x";
  const FetchResult r = fetch(bare);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.text, "plain http");
  EXPECT_EQ(r.final_url, "http://" + bare);

  const FetchResult named = fetch("localhost:" + std::to_string(http.port()) + "/x");
  ASSERT_TRUE(named.ok) << named.error;
  EXPECT_EQ(named.text, "plain http");

  EXPECT_EQ(fetch("").error, "empty address");
  EXPECT_THAT(fetch("http://[::1").error, HasSubstr("malformed address"));
  for (const char* address : {"http:/127.0.0.1/x", "HTTPS:127.0.0.1/x"}) {
    EXPECT_THAT(fetch(address).error, HasSubstr("must be followed by \"//\"")) << address;
  }
  for (const char* address : {"ftp://127.0.0.1/x", "FILE:///etc/passwd", "file:/etc/passwd",
                              "gopher://127.0.0.1/", "javascript:alert(1)"}) {
    const FetchResult refused = fetch(address);
    EXPECT_FALSE(refused.ok) << address;
    EXPECT_THAT(refused.error, HasSubstr("only http and https")) << address;
    EXPECT_TRUE(refused.text.empty());
  }
}

TEST_F(Fetch, UnreachableServerIsAFailureWithAReason) {
  int port = 0;
  {
    HttpServer gone;  // a port that was just free and is closed again
    gone.start();
    port = gone.port();
  }
  const FetchResult r = fetch("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(r.status, 0);
}

// https: a server signed by the authority the caller names is fetched like
// any other; one the authorities in use do not know is refused with the
// reason, and so is an authority file that is not there.
TEST_F(Fetch, HttpsServersAreCheckedAgainstTheAuthoritiesInUse) {
  HttpsServer https;
  https.server.Get("/page", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "Tls/1");
    res.set_content("<script>x()</script>", "text/html");
  });
  https.server.Get("/moved", [&](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/page");
  });
  https.start();

  FetchOptions trusted;
  trusted.ca_file = https.ca_file();
  const FetchResult page = fetch(https.url("/moved"), trusted);
  ASSERT_TRUE(page.ok) << page.error;
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.text, "<script>x()</script>");
  EXPECT_EQ(page.header("server"), "Tls/1");
  EXPECT_EQ(page.final_url, https.url("/page"));

  const FetchResult unknown = fetch(https.url("/page"));
  EXPECT_FALSE(unknown.ok);
  EXPECT_THAT(unknown.error, HasSubstr("certificate")) << unknown.error;
  EXPECT_TRUE(unknown.text.empty());
  EXPECT_EQ(unknown.status, 0);

  FetchOptions missing;
  missing.ca_file = "/nonexistent/authorities.pem";
  const FetchResult refused = fetch(https.url("/page"), missing);
  EXPECT_FALSE(refused.ok);
  EXPECT_THAT(refused.error, HasSubstr("/nonexistent/authorities.pem")) << refused.error;
}

TEST_F(Fetch, RedirectChainKeepsOnlyTheFinalResponse) {
  for (int hop = 3; hop >= 1; --hop) {
    http.server.Get("/r" + std::to_string(hop),
                    [hop](const httplib::Request&, httplib::Response& res) {
                      res.set_header("Server", "hop-server");
                      res.set_header("X-Hop", std::to_string(hop));
                      res.set_redirect(hop == 1 ? "/final" : "/r" + std::to_string(hop - 1));
                    });
  }
  http.server.Get("/final", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Server", "final-server");
    res.set_content("arrived", "text/plain");
  });
  http.start();

  const FetchResult r = fetch(http.url("/r3"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.final_url, http.url("/final"));
  EXPECT_EQ(r.text, "arrived");
  EXPECT_EQ(r.header("server"), "final-server");
  EXPECT_EQ(r.header("x-hop"), "");
  for (const auto& h : r.headers) EXPECT_NE(h.second, "hop-server");
}

TEST_F(Fetch, RedirectLoopsAndTooManyHopsFail) {
  http.server.Get("/a",
                  [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/b"); });
  http.server.Get("/b",
                  [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/a"); });
  http.server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    const int left = std::stoi(req.matches[1]);
    if (left == 0) {
      res.set_content("end of chain", "text/plain");
    } else {
      res.set_redirect("/hop/" + std::to_string(left - 1));
    }
  });
  http.start();

  const FetchResult loop = fetch(http.url("/a"));
  EXPECT_FALSE(loop.ok);
  EXPECT_THAT(loop.error, HasSubstr("redirect loop"));
  EXPECT_TRUE(loop.text.empty());

  const FetchResult ten = fetch(http.url("/hop/10"));
  ASSERT_TRUE(ten.ok) << ten.error;
  EXPECT_EQ(ten.text, "end of chain");
  EXPECT_EQ(ten.final_url, http.url("/hop/0"));

  const FetchResult eleven = fetch(http.url("/hop/11"));
  EXPECT_FALSE(eleven.ok);
  EXPECT_EQ(eleven.error, "more than 10 redirects");

  FetchOptions strict;
  strict.max_redirects = 2;
  EXPECT_FALSE(fetch(http.url("/hop/3"), strict).ok);
  EXPECT_TRUE(fetch(http.url("/hop/2"), strict).ok);
}

TEST_F(Fetch, CompressedAndChunkedBodiesArriveWhole) {
  std::string page;
  for (int i = 0; i < 2000; ++i) page += "<p onclick=\"go(" + std::to_string(i) + ")\">row</p>\n";
  const std::string packed = fixtures::gzip(page);
  ASSERT_LT(packed.size(), page.size() / 4);

  std::string accept_encoding;
  http.server.Get("/gz", [&](const httplib::Request& req, httplib::Response& res) {
    accept_encoding = req.get_header_value("Accept-Encoding");
    res.set_header("Content-Encoding", "gzip");
    // An opaque type keeps the server from compressing a second time.
    res.set_content(packed, "application/octet-stream");
  });
  http.server.Get("/chunked", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/html", [&](std::size_t offset, httplib::DataSink& sink) {
      if (offset >= page.size()) {
        sink.done();
        return true;
      }
      const std::size_t n = std::min<std::size_t>(777, page.size() - offset);
      return sink.write(page.data() + offset, n);
    });
  });
  http.start();

  const FetchResult gz = fetch(http.url("/gz"));
  ASSERT_TRUE(gz.ok) << gz.error;
  EXPECT_THAT(accept_encoding, HasSubstr("gzip"));
  EXPECT_EQ(gz.text, page);

  const FetchResult chunked = fetch(http.url("/chunked"));
  ASSERT_TRUE(chunked.ok) << chunked.error;
  EXPECT_EQ(chunked.text, page);
}

TEST_F(Fetch, SizeCapCountsDecodedBytes) {
  const std::string five_k(5000, 'x');
  const std::string bomb = fixtures::gzip(std::string(4 << 20, '\0'));
  http.server.Get("/5k", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(five_k, "application/octet-stream");
  });
  http.server.Get("/bomb", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Encoding", "gzip");
    res.set_content(bomb, "application/octet-stream");
  });
  http.start();

  FetchOptions cap;
  cap.max_bytes = 5000;
  const FetchResult exact = fetch(http.url("/5k"), cap);
  ASSERT_TRUE(exact.ok) << exact.error;
  EXPECT_EQ(exact.text.size(), 5000u);

  cap.max_bytes = 4999;
  const FetchResult over = fetch(http.url("/5k"), cap);
  EXPECT_FALSE(over.ok);
  EXPECT_EQ(over.error, "page larger than 4999 bytes");
  EXPECT_TRUE(over.text.empty());
  EXPECT_EQ(over.status, 200);

  cap.max_bytes = 1 << 20;
  ASSERT_LT(bomb.size(), cap.max_bytes);
  const FetchResult inflated = fetch(http.url("/bomb"), cap);
  EXPECT_FALSE(inflated.ok);
  EXPECT_EQ(inflated.error, "page larger than 1048576 bytes");
}

TEST_F(Fetch, CharsetsComeOutAsUtf8) {
  // "<script>é€</script>" in UTF-16LE with a byte-order mark and in UTF-16BE.
  auto utf16 = [](bool le) {
    const char16_t text[] = u"<script>\u00e9\u20ac</script>";
    std::string out;
    for (const char16_t c : std::u16string_view(text)) {
      const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
      out += le ? lo : hi;
      out += le ? hi : lo;
    }
    return out;
  };
  const std::string expected = "<script>\u00e9\u20ac</script>";
  http.server.Get("/le-bom", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content("\xFF\xFE" + utf16(true), "text/html");
  });
  http.server.Get("/be-header", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(utf16(false), "text/html; charset=UTF-16BE");
  });
  http.server.Get("/meta", [](const httplib::Request&, httplib::Response& res) {
    // "Привет" in KOI8-R, declared only in the document.
    res.set_content("<html><head><meta charset=\"koi8-r\"></head><p>\xF0\xD2\xC9\xD7\xC5\xD4",
                    "text/html");
  });
  http.server.Get("/latin1", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("price: \x80 5", "text/html; charset=ISO-8859-1");
  });
  http.server.Get("/undeclared", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("caf\xE9 \x93quoted\x94", "text/html");
  });
  http.start();

  const FetchResult le = fetch(http.url("/le-bom"));
  ASSERT_TRUE(le.ok) << le.error;
  EXPECT_EQ(le.text, expected);
  const FetchResult be = fetch(http.url("/be-header"));
  ASSERT_TRUE(be.ok) << be.error;
  EXPECT_EQ(be.text, expected);
  EXPECT_THAT(fetch(http.url("/meta")).text, HasSubstr("<p>\u041f\u0440\u0438\u0432\u0435\u0442"));
  EXPECT_EQ(fetch(http.url("/latin1")).text, "price: \u20ac 5");
  EXPECT_EQ(fetch(http.url("/undeclared")).text, "caf\u00e9 \u201cquoted\u201d");
}

TEST_F(Fetch, InterimResponseHeadersAreDropped) {
  RawServer raw([](RawServer&, int fd) {
    RawServer::send_all(fd,
                        "HTTP/1.1 103 Early Hints\r\nServer: early\r\nLink: </a.css>\r\n\r\n"
                        "HTTP/1.1 200 OK\r\nServer: real\r\nContent-Length: 4\r\n"
                        "X-Folded: first\r\n  second\r\nConnection: close\r\n\r\nbody");
  });
  const FetchResult r = fetch(raw.url("/"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("server"), "real");
  EXPECT_EQ(r.header("link"), "");
  EXPECT_EQ(r.header("x-folded"), "first second");
  EXPECT_EQ(r.text, "body");

  // Trailers after a chunked body are no headers of the page.
  RawServer trailers([](RawServer&, int fd) {
    RawServer::send_all(fd,
                        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                        "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                        "4\r\nbody\r\n0\r\nServer: trailer\r\n"
                        "Content-Type: text/html; charset=koi8-r\r\n\r\n");
  });
  const FetchResult t = fetch(trailers.url("/"));
  ASSERT_TRUE(t.ok) << t.error;
  EXPECT_EQ(t.header("server"), "");
  EXPECT_EQ(t.header("content-type"), "text/html");
  EXPECT_EQ(t.text, "body");
}

TEST_F(Fetch, DrippingServerHitsTheWholeTransferTimeout) {
  RawServer raw([](RawServer& self, int fd) {
    if (!RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")) return;
    for (int i = 0; i < 100 && !self.stopping(); ++i) {
      if (!RawServer::send_all(fd, "x")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  FetchOptions quick;
  quick.timeout = std::chrono::milliseconds(1000);
  const auto start = std::chrono::steady_clock::now();
  const FetchResult r = fetch(raw.url("/drip"), quick);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "timed out after 1 s");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.text.empty());
  EXPECT_LT(took, std::chrono::seconds(5));  // a guard against hanging, not a speed goal

  quick.timeout = std::chrono::milliseconds(300);
  EXPECT_EQ(fetch(raw.url("/drip"), quick).error, "timed out after 0.3 s");
}

TEST_F(Fetch, CancelEndsASilentTransferEarly) {
  // Headers, then silence: only the cancel flag can end this before the
  // 30 s time-out.
  RawServer silent([](RawServer& self, int fd) {
    if (!RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n")) return;
    for (int i = 0; i < 300 && !self.stopping(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  FetchOptions options;
  options.cancel = cancel;
  std::thread canceller([cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel->store(true);
  });
  const auto start = std::chrono::steady_clock::now();
  const FetchResult r = fetch(silent.url("/silent"), options);
  const auto took = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "cancelled");
  EXPECT_LT(took, std::chrono::seconds(10));  // a guard against hanging, not a speed goal

  // A flag already set refuses to start waiting at all.
  EXPECT_EQ(fetch(silent.url("/silent"), options).error, "cancelled");
}

TEST_F(Fetch, CutOffBodiesAreFailures) {
  const std::string head = "HTTP/1.1 200 OK\r\nServer: raw\r\nContent-Length: 1000\r\n\r\n";
  RawServer closes([&](RawServer&, int fd) { RawServer::send_all(fd, head + "only ten.."); });
  RawServer resets([&](RawServer&, int fd) {
    RawServer::send_all(fd, head + "only ten..");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RawServer::reset(fd);
  });
  RawServer chunks([](RawServer&, int fd) {
    RawServer::send_all(fd,
                        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                        "5\r\nhello\r\n10\r\nonly part");
  });

  for (RawServer* server : {&closes, &resets, &chunks}) {
    const FetchResult r = fetch(server->url("/page"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.text.empty()) << r.text;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.final_url, server->url("/page"));
  }
}

TEST_F(Fetch, ProtocolErrorsAndOversizedHeadersAreNamed) {
  // An HTTP/0.9 answer and a status of 21 digits are broken responses, not a
  // question of the scheme.
  RawServer http09([](RawServer&, int fd) { RawServer::send_all(fd, "hello there\r\n"); });
  RawServer huge_status([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 123456789012345678901 OK\r\nContent-Length: 2\r\n\r\nhi");
  });
  for (RawServer* server : {&http09, &huge_status}) {
    const FetchResult r = fetch(server->url("/"));
    EXPECT_FALSE(r.ok);
    EXPECT_THAT(r.error, HasSubstr("malformed HTTP response (")) << r.error;
    EXPECT_THAT(r.error, ::testing::Not(HasSubstr("scheme"))) << r.error;
  }
  // A header of 1 MiB, and headers of 300 kB in all, exhaust nothing.
  RawServer one_big([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nX-Big: " + std::string(1 << 20, 'a') +
                                "\r\nContent-Length: 2\r\n\r\nhi");
  });
  RawServer many([](RawServer&, int fd) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 1100; ++i)
      head += "X-H" + std::to_string(i) + ": " + std::string(1000, 'b') + "\r\n";
    RawServer::send_all(fd, head + "Content-Length: 2\r\n\r\nhi");
  });
  for (RawServer* server : {&one_big, &many}) {
    const FetchResult r = fetch(server->url("/"));
    EXPECT_FALSE(r.ok);
    EXPECT_THAT(r.error, HasSubstr("response header too large")) << r.error;
    EXPECT_THAT(r.error, ::testing::Not(HasSubstr("memory"))) << r.error;
  }
  // A redirect to another scheme is still about the scheme.
  http.server.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("ftp://127.0.0.1/file");
  });
  http.start();
  EXPECT_THAT(fetch(http.url("/to-ftp")).error,
              HasSubstr("unsupported scheme: only http and https pages are fetched"));
}

// The path of the request a raw server's handler answers.
std::string RequestPath(const RawServer& server) {
  const std::string head = server.last_head();
  const std::size_t start = head.find(' ') + 1;
  return head.substr(start, head.find(' ', start) - start);
}

std::string Redirect(const std::string& location) {
  return "HTTP/1.1 302 Found\r\nLocation: " + location +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

// Interim (1xx) answers are no answer and no redirect: they cost nothing
// kept, a server sending nothing else gave no status, and only redirects
// count towards the limit and a loop (the same address reached again).
TEST_F(Fetch, InterimAnswersAreNeitherTheAnswerNorARedirect) {
  const std::string long_path = "/long/" + std::string(90000, 'a');
  const std::string hints = "HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n";
  RawServer raw([&](RawServer& self, int fd) {
    const std::string path = RequestPath(self);
    std::string reply;
    if (path == "/interim") {
      reply = Redirect(long_path);
    } else if (path == long_path) {
      for (int i = 0; i < 12000; ++i) reply += "HTTP/1.1 100 Continue\r\n\r\n";
    } else if (path == "/continue-only") {
      reply = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\n";
    } else if (path.rfind("/hints/", 0) == 0) {
      const int n = std::stoi(path.substr(7));
      reply = n >= 12 ? "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\n"
                        "end of chain"
                      : hints + Redirect("/hints/" + std::to_string(n + 1));
    } else if (path.rfind("/loop/", 0) == 0) {
      reply = hints + Redirect(path == "/loop/0" ? "/loop/1" : "/loop/0");
    }
    RawServer::send_all(fd, reply);
  });

  const FetchResult flood = fetch(raw.url("/interim"));
  EXPECT_FALSE(flood.ok);
  EXPECT_THAT(flood.error, HasSubstr("response header too large"));
  EXPECT_EQ(flood.status, 0);
  EXPECT_TRUE(flood.headers.empty());
  EXPECT_EQ(flood.final_url, raw.url(long_path));

  const FetchResult interim_only = fetch(raw.url("/continue-only"));
  EXPECT_FALSE(interim_only.ok);
  EXPECT_EQ(interim_only.error, "the server closed the connection without replying");
  EXPECT_EQ(interim_only.status, 0);
  EXPECT_TRUE(interim_only.headers.empty());

  // Ten redirects with an interim answer before each are within the limit,
  // eleven past it; neither is a loop.
  const FetchResult ten = fetch(raw.url("/hints/2"));
  ASSERT_TRUE(ten.ok) << ten.error;
  EXPECT_EQ(ten.status, 200);
  EXPECT_EQ(ten.text, "end of chain");
  EXPECT_EQ(ten.final_url, raw.url("/hints/12"));
  EXPECT_EQ(ten.header("link"), "");
  EXPECT_EQ(fetch(raw.url("/hints/1")).error, "more than 10 redirects");

  EXPECT_EQ(fetch(raw.url("/loop/0")).error,
            "redirect loop: " + raw.url("/loop/0") + " was reached again");
}

// A redirect away from the web is refused for its scheme, whether libcurl
// knows the scheme (ftp:) or cannot even parse the address.
TEST_F(Fetch, RedirectsToOtherSchemesNameTheScheme) {
  const std::vector<std::pair<std::string, std::string>> targets = {
      {"javascript", "javascript:alert(1)"},
      {"data", "data:text/html,<script>x()</script>"},
      {"mailto", "mailto:someone@example.com"},
      {"ftp", "ftp://127.0.0.1/file"}};
  for (const auto& [scheme, target] : targets) {
    http.server.Get("/to-" + scheme,
                    [target = target](const httplib::Request&, httplib::Response& res) {
                      res.set_redirect(target);
                    });
  }
  http.start();
  for (const auto& [scheme, target] : targets) {
    const FetchResult r = fetch(http.url("/to-" + scheme));
    EXPECT_FALSE(r.ok) << scheme;
    EXPECT_THAT(r.error, HasSubstr("unsupported scheme: only http and https pages are fetched"));
    EXPECT_THAT(r.error, HasSubstr(scheme)) << r.error;
    EXPECT_THAT(r.error, ::testing::Not(HasSubstr("malformed"))) << r.error;
    EXPECT_EQ(r.status, 302) << scheme;
  }
}

// Over HTTP/2 a flood of header fields is refused as over HTTP/1.1, not with
// the HTTP/2 library's internal error number.
TEST_F(Fetch, Http2HeaderFloodIsAResponseHeaderTooLarge) {
  support::LoopbackCertificate certificate;
  const std::string script = std::string(VETTRIX_SOURCE_DIR) + "/tests/platform/fetch/h2_flood.py";
  // 3000 fields of about 110 bytes: far past what libcurl keeps of a response.
  support::PythonServer flood(VETTRIX_PYTHON, script,
                              {certificate.cert(), certificate.key(), "3000"});
  support::PythonServer modest(VETTRIX_PYTHON, script,
                               {certificate.cert(), certificate.key(), "20"});
  FetchOptions options;
  options.ca_file = certificate.cert();
  const auto url = [](int port) { return "https://127.0.0.1:" + std::to_string(port) + "/"; };

  const FetchResult fine = fetch(url(modest.port()), options);
  ASSERT_TRUE(fine.ok) << fine.error;  // the server speaks HTTP/2 well enough
  EXPECT_EQ(fine.header("x-flood-19"), std::string(100, 'v'));

  const FetchResult r = fetch(url(flood.port()), options);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "response header too large");
}

// Memory that runs out while a response is read fails that address, with a
// reason, and the transfer is over: here a server claims a body of 10^15
// bytes and the caller allows any size.
TEST_F(Fetch, RunningOutOfMemoryFailsTheAddressOnly) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  RawServer raw([](RawServer&, int fd) {
    RawServer::send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n<html>");
  });
  FetchOptions any_size;
  any_size.max_bytes = UINT64_MAX;
  const FetchResult r = fetch(raw.url("/huge"), any_size);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "out of memory while reading the response");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.text.empty());
}

TEST_F(Fetch, ConcurrentFetchesOnWorkerThreads) {
  http.server.Get(R"(/n/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    // Built with append: GCC 12 at -O3 takes `"n" + std::string` for an
    // overlapping copy (-Wrestrict).
    res.set_header("Server", std::string("n").append(req.matches[1]));
    res.set_content(std::string("page ").append(req.matches[1]), "text/plain");
  });
  http.start();
  std::vector<FetchResult> results(6);
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < results.size(); ++i) {
    workers.emplace_back([&, i] { results[i] = fetch(http.url("/n/" + std::to_string(i))); });
  }
  for (auto& w : workers) w.join();
  for (std::size_t i = 0; i < results.size(); ++i) {
    ASSERT_TRUE(results[i].ok) << results[i].error;
    EXPECT_EQ(results[i].text, std::string("page ").append(std::to_string(i)));
    EXPECT_EQ(results[i].header("server"), std::string("n").append(std::to_string(i)));
  }
}

}  // namespace
}  // namespace vx::net
