// The HTTP response an archive record holds: its status line and headers
// read, and its body's transfer and content encodings undone as the fetcher's
// transfer undoes them for a live page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::archive {

struct HttpResponse {
  long status = 0;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
  std::string body;  // as sent: chunked and compressed where the server did so

  // The named header's value, matched without regard to case; "" when absent.
  // Of a header sent more than once, the last.
  std::string_view header(std::string_view name) const;
};

// Splits `payload` (an HTTP/1.x response as it came over the wire) into its
// status, headers and body; false with `*error` set when it is not one, or its
// head is longer than `max_head` bytes. Interim (1xx) responses before the
// final one are passed over.
bool ParseHttpResponse(std::string payload, HttpResponse* out, std::string* error,
                       std::size_t max_head = 1024 * 1024);

// Undoes "Transfer-Encoding: chunked" and the content encodings gzip
// (x-gzip), deflate, br and identity, the last one applied first. False with
// `*error` set for a malformed body, an encoding not known, or a decoded body
// over `max_bytes` (told as the fetcher tells a page over --max-bytes).
bool DecodeHttpBody(HttpResponse& response, std::uint64_t max_bytes, std::string* error);

}  // namespace vx::archive
