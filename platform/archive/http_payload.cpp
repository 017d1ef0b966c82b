#include "platform/archive/http_payload.h"

#include <brotli/decode.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "platform/base/ascii.h"

namespace vx::archive {
namespace {

std::string TooLarge(std::uint64_t max_bytes) {
  return "page larger than " + std::to_string(max_bytes) + " bytes";
}

// The status of "HTTP/1.1 200 OK"; -1 when the line is no status line.
long StatusOf(std::string_view line) {
  if (!line.starts_with("HTTP/")) return -1;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return -1;
  long status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return -1;
    status = status * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ' && line[space + 4] != '\r') return -1;
  return status;
}

bool Dechunk(std::string& body, std::uint64_t max_bytes, std::string* error) {
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t nl = body.find('\n', at);
    if (nl == std::string::npos) {
      // Cut off before its last chunk: what came is the page, as a transfer
      // that ended early would have it.
      if (at >= body.size()) break;
      *error = "the chunked body has a chunk size line without its end";
      return false;
    }
    std::string_view size_line = ascii::TrimBlanks(std::string_view(body).substr(at, nl - at));
    size_line = ascii::TrimBlanks(size_line.substr(0, size_line.find(';')));
    if (size_line.empty() || size_line.size() > 15) {
      *error = "the chunked body has a bad chunk size";
      return false;
    }
    std::uint64_t size = 0;
    for (char c : size_line) {
      const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                : -1;
      if (v < 0) {
        *error = "the chunked body has a bad chunk size";
        return false;
      }
      size = size * 16 + static_cast<std::uint64_t>(v);
    }
    at = nl + 1;
    if (size == 0) break;  // trailers, if any, are not the page's
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, body.size() - at));
    if (out.size() + take > max_bytes) {
      *error = TooLarge(max_bytes);
      return false;
    }
    out.append(body, at, take);
    at += take;
    if (take < size) break;
    if (at < body.size() && body[at] == '\r') ++at;
    if (at < body.size() && body[at] == '\n') ++at;
  }
  body = std::move(out);
  return true;
}

// gzip or zlib (told by their headers), or raw deflate as some servers send
// for "deflate".
bool Inflate(std::string& body, std::uint64_t max_bytes, bool raw_deflate, std::string* error) {
  z_stream z{};
  if (inflateInit2(&z, raw_deflate ? -MAX_WBITS : 32 + MAX_WBITS) != Z_OK) {
    *error = "cannot start zlib";
    return false;
  }
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(body.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(body.size(), UINT32_MAX));
  int rc = Z_OK;
  while (rc == Z_OK) {
    const std::size_t had = out.size();
    const std::size_t room = std::max<std::size_t>(1 << 16, std::min<std::size_t>(had, 1 << 24));
    out.resize(had + room);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + had);
    z.avail_out = static_cast<uInt>(room);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(had + (room - z.avail_out));
    if (out.size() > max_bytes) {
      inflateEnd(&z);
      *error = TooLarge(max_bytes);
      return false;
    }
    // With all input taken and output room left, a stream without its end
    // is as much as came: kept, as a transfer cut short keeps it.
    if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && z.avail_out > 0)) {
      rc = Z_STREAM_END;
      break;
    }
  }
  const bool ok = rc == Z_STREAM_END;
  const bool nothing_read = z.total_out == 0;
  inflateEnd(&z);
  if (!ok) {
    if (!raw_deflate && nothing_read) return Inflate(body, max_bytes, true, error);
    *error = "the body is not valid compressed data";
    return false;
  }
  body = std::move(out);
  return true;
}

bool Unbrotli(std::string& body, std::uint64_t max_bytes, std::string* error) {
  BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
  if (state == nullptr) {
    *error = "cannot start the brotli decoder";
    return false;
  }
  std::string out;
  std::size_t avail_in = body.size();
  const auto* next_in = reinterpret_cast<const std::uint8_t*>(body.data());
  BrotliDecoderResult rc = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
  while (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
    const std::size_t had = out.size();
    const std::size_t room = std::max<std::size_t>(1 << 16, std::min<std::size_t>(had, 1 << 24));
    out.resize(had + room);
    std::size_t avail_out = room;
    auto* next_out = reinterpret_cast<std::uint8_t*>(out.data() + had);
    rc = BrotliDecoderDecompressStream(state, &avail_in, &next_in, &avail_out, &next_out, nullptr);
    out.resize(had + (room - avail_out));
    if (out.size() > max_bytes) {
      BrotliDecoderDestroyInstance(state);
      *error = TooLarge(max_bytes);
      return false;
    }
  }
  BrotliDecoderDestroyInstance(state);
  if (rc == BROTLI_DECODER_RESULT_ERROR) {
    *error = "the body is not valid brotli data";
    return false;
  }
  body = std::move(out);
  return true;
}

}  // namespace

std::string_view HttpResponse::header(std::string_view name) const {
  for (auto it = headers.rbegin(); it != headers.rend(); ++it) {
    if (ascii::EqualsNoCase(it->first, name)) return it->second;
  }
  return {};
}

bool ParseHttpResponse(std::string payload, HttpResponse* out, std::string* error,
                       std::size_t max_head) {
  std::size_t at = 0;
  for (;;) {
    out->headers.clear();
    std::size_t nl = payload.find('\n', at);
    if (nl == std::string::npos || nl - at > max_head) {
      *error = "the record holds no HTTP status line";
      return false;
    }
    const long status = StatusOf(std::string_view(payload).substr(at, nl - at));
    if (status < 0) {
      *error = "the record holds no HTTP status line";
      return false;
    }
    const std::size_t head_start = at;
    at = nl + 1;
    for (;;) {
      nl = payload.find('\n', at);
      if (nl == std::string::npos || nl - head_start > max_head) {
        *error = nl == std::string::npos
                     ? "the HTTP head has no end"
                     : "the HTTP head is longer than " + std::to_string(max_head) + " bytes";
        return false;
      }
      std::string_view line = std::string_view(payload).substr(at, nl - at);
      at = nl + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) break;
      if ((line.front() == ' ' || line.front() == '\t') && !out->headers.empty()) {
        out->headers.back().second.append(" ").append(ascii::TrimBlanks(line));
        continue;
      }
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;  // as lenient as a browser
      out->headers.emplace_back(std::string(ascii::TrimBlanks(line.substr(0, colon))),
                                std::string(ascii::TrimBlanks(line.substr(colon + 1))));
    }
    // An interim answer ("100 Continue") precedes the real one.
    if (status >= 100 && status < 200 && status != 101) continue;
    out->status = status;
    break;
  }
  payload.erase(0, at);
  out->body = std::move(payload);
  return true;
}

bool DecodeHttpBody(HttpResponse& response, std::uint64_t max_bytes, std::string* error) {
  if (ascii::Lower(response.header("Transfer-Encoding")).find("chunked") != std::string::npos &&
      !Dechunk(response.body, max_bytes, error))
    return false;
  // "gzip, br": br was applied last, so it is undone first.
  std::vector<std::string> codings;
  for (const auto& [name, value] : response.headers) {
    if (!ascii::EqualsNoCase(name, "Content-Encoding")) continue;
    std::string_view rest = value;
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      const std::string coding = ascii::Lower(ascii::TrimBlanks(rest.substr(0, comma)));
      if (!coding.empty() && coding != "identity") codings.push_back(coding);
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
  }
  for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
    bool ok = false;
    if (*it == "gzip" || *it == "x-gzip" || *it == "deflate") {
      ok = Inflate(response.body, max_bytes, false, error);
    } else if (*it == "br") {
      ok = Unbrotli(response.body, max_bytes, error);
    } else {
      *error = "the body has a content encoding not known (\"" + *it + "\")";
      return false;
    }
    if (!ok) return false;
  }
  if (response.body.size() > max_bytes) {
    *error = TooLarge(max_bytes);
    return false;
  }
  return true;
}

}  // namespace vx::archive
