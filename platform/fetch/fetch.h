#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
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
  // More hops than this is a failure; a negative value counts as 0.
  int max_redirects = 10;
  // When set and it turns true, the transfer ends within about a second as a
  // failure ("cancelled"): a window that closes need not wait for a slow
  // server.
  std::shared_ptr<const std::atomic<bool>> cancel;
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

// One request for the address as typed. A scheme-less address is http; only
// http and https go over the network. HTTP error statuses are not failures:
// the body the server sent is the page. Safe on any thread.
// The version of the libcurl in use (the loaded library's, not the headers').
std::string library_version();

FetchResult fetch(const std::string& address, const FetchOptions& options = {});

// Turns a document's bytes into UTF-8 the way browsers pick its encoding: a
// byte-order mark, else the charset of the Content-Type, else a <meta> charset
// declaration in the first 1024 bytes, else UTF-8 when valid, else
// Windows-1252. Used for local files too (with an empty content type).
std::string decode_body(std::string_view bytes, std::string_view content_type = {});

// decode_body for a buffer the caller gives up: a page that is already valid
// UTF-8 comes back without being copied (what large pages usually are).
std::string decode_body_owned(std::string bytes, std::string_view content_type = {});

// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values
// past U+10FFFF).
bool is_valid_utf8(std::string_view text);

}  // namespace vx::net
