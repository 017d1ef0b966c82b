#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::net {

struct FetchOptions {
  // Whole transfer, redirects included; a server that drips bytes must hit it.
  // Zero or less means no limit.
  std::chrono::milliseconds timeout{30000};
  // Counted on the decoded (decompressed) body bytes.
  std::uint64_t max_bytes = std::uint64_t{64} << 20;
  // More hops than this is a failure. 0 follows no redirect at all: the
  // redirecting response itself is the page. A negative value counts as 0.
  int max_redirects = 10;
  // Sent as the User-Agent header.
  std::string user_agent = "Vettrix/0.1";
  // Extra request headers, each "Name: value". "Name:" alone drops a header
  // the transfer would otherwise send.
  std::vector<std::string> headers;
  // The proxy to go through; unset leaves the choice to the usual proxy
  // environment variables, "" goes through none.
  std::optional<std::string> proxy;
  // Certificate authorities (a PEM file) that https servers are checked
  // against instead of the system's; empty: the system's.
  std::string ca_file;
  // When set and it turns true, the transfer ends within about a second as a
  // failure ("cancelled"): a window that closes need not wait for a slow
  // server.
  std::shared_ptr<const std::atomic<bool>> cancel;
  // When set, kept at the number of body bytes received so far (of the
  // response being read): a window shows a slow page's progress by it.
  std::shared_ptr<std::atomic<std::uint64_t>> received;
};

struct FetchResult {
  bool ok = false;
  std::string error;      // a clear reason when !ok
  long status = 0;        // HTTP status of the final response, 0 when none arrived
  std::string final_url;  // after redirects
  // Headers of the final response, in arrival order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string text;  // the body decoded to UTF-8

  // The named header of the final response, matched without regard to case;
  // "" when absent.
  std::string header(std::string_view name) const;
};

// A finished transfer whose body is still the bytes the server sent (content
// encodings undone): the batch fetcher hands these on so that decoding runs
// off its event thread. `result.text` is empty.
struct RawFetch {
  FetchResult result;
  std::string body;
};

// The version of the libcurl in use (the loaded library's, not the headers').
std::string library_version();

// One request for the address as typed. A scheme-less address is http; only
// http and https go over the network. HTTP error statuses are not failures:
// the body the server sent is the page. Safe on any thread.
[[nodiscard]] FetchResult fetch(const std::string& address, const FetchOptions& options = {});

// The page text of a raw fetch: its body decoded by decode_body with the
// response's content type. What fetch returns for the same transfer.
[[nodiscard]] FetchResult decode_fetch(RawFetch raw);

// Turns a document's bytes into UTF-8 the way browsers pick its encoding: a
// byte-order mark, else the charset of the Content-Type, else a <meta> charset
// declaration in the first 1024 bytes, else UTF-8 when valid, else
// Windows-1252. Used for local files too (with an empty content type). The
// result is always valid UTF-8.
[[nodiscard]] std::string decode_body(std::string_view bytes, std::string_view content_type = {});

// decode_body for a buffer the caller gives up: a page that is already valid
// UTF-8 comes back without being copied (what large pages usually are).
[[nodiscard]] std::string decode_body_owned(std::string bytes, std::string_view content_type = {});

// The page text of `bytes` when decode_body would keep them as they are (UTF-8
// meant as UTF-8, past a byte-order mark): a view into `bytes`; nullopt when
// they need converting.
[[nodiscard]] std::optional<std::string_view> text_as_is(std::string_view bytes,
                                                         std::string_view content_type = {});

// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values
// past U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view text);

}  // namespace vx::net
