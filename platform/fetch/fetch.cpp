// Page fetching over libcurl: one easy handle per call, so any thread may
// fetch while another does.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fetch/fetch.h"

namespace vx::net {
namespace {

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return low(x) == low(y);
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

bool is_scheme(std::string_view s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

// The URL to request for an address as typed, or the reason it cannot be.
struct Target {
  std::string url;
  std::string error;
};

Target target_for(const std::string& address) {
  if (address.empty()) return {{}, "empty address"};
  auto refuse = [](std::string_view scheme) {
    std::string s(scheme);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Target{{}, "unsupported scheme \"" + s + "\": only http and https pages are fetched"};
  };
  const std::size_t sep = address.find("://");
  if (sep != std::string::npos && is_scheme(std::string_view(address).substr(0, sep))) {
    const std::string_view scheme = std::string_view(address).substr(0, sep);
    if (iequals(scheme, "http") || iequals(scheme, "https")) return {address, {}};
    return refuse(scheme);
  }
  // "mailto:x" or "file:/etc/passwd" name a scheme too; "host:8080/x" and
  // "user:pw@host" do not.
  const std::size_t colon = address.find(':');
  const std::string_view before =
      std::string_view(address).substr(0, std::min(colon, address.size()));
  // A dot marks a host name ("example.com:abc" is a bad port, not a scheme).
  if (colon != std::string::npos && is_scheme(before) &&
      before.find('.') == std::string_view::npos) {
    const std::string_view rest = std::string_view(address).substr(colon + 1);
    const std::size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
    const bool port = digits > 0 && (digits == rest.size() || rest[digits] == '/' ||
                                     rest[digits] == '?' || rest[digits] == '#');
    const std::size_t at = rest.find('@');
    const bool userinfo = at != std::string_view::npos && at < rest.find_first_of("/?#");
    if (!port && !userinfo) {
      if (iequals(before, "http") || iequals(before, "https")) {
        return {{},
                "malformed address: \"" + std::string(before) +
                    ":\" must be followed by \"//\" and the host"};
      }
      return refuse(address.substr(0, colon));
    }
  }
  return {"http://" + address, {}};
}

struct Transfer {
  CURL* curl = nullptr;
  std::uint64_t max_bytes = 0;
  bool too_big = false;
  bool reserved = false;
  bool headers_done = false;  // of the current response; what follows are trailers
  const std::atomic<bool>* cancel = nullptr;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::vector<std::string> visited;  // the URL of every response, in order
};

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t total = size * count;
  std::string_view line(data, total);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response (after a redirect or an interim 1xx): only the last
    // one's headers and body make the page.
    t->headers.clear();
    t->body.clear();
    t->reserved = false;
    t->headers_done = false;
    char* url = nullptr;
    if (curl_easy_getinfo(t->curl, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
      t->visited.emplace_back(url);
    return total;
  }
  // Trailer fields after a chunked body belong to no header the page is read
  // by (the server name, the charset).
  if (line.empty() || t->headers_done) {
    t->headers_done = true;
    return total;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !t->headers.empty()) {
    // An obsolete folded continuation of the previous header.
    auto& value = t->headers.back().second;
    if (!value.empty()) value += ' ';
    value += trim(line);
    return total;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return total;
  t->headers.emplace_back(std::string(trim(line.substr(0, colon))),
                          std::string(trim(line.substr(colon + 1))));
  return total;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t total = size * count;
  // Counted after decompression: libcurl hands us decoded bytes.
  if (t->body.size() + total > t->max_bytes) {
    t->too_big = true;
    return CURL_WRITEFUNC_ERROR;
  }
  if (!t->reserved) {
    t->reserved = true;
    curl_off_t length = -1;
    const bool encoded = std::any_of(t->headers.begin(), t->headers.end(), [](const auto& h) {
      return iequals(h.first, "content-encoding") && !iequals(h.second, "identity");
    });
    if (!encoded &&
        curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length > 0) {
      t->body.reserve(static_cast<std::size_t>(
          std::min<std::uint64_t>(static_cast<std::uint64_t>(length), t->max_bytes)));
    }
  }
  t->body.append(data, total);
  return total;
}

// Polled by libcurl during the transfer, also while it waits for the server.
int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->cancel != nullptr && t->cancel->load() ? 1 : 0;
}

std::string seconds_text(std::chrono::milliseconds ms) {
  char buf[32];
  if (ms.count() % 1000 == 0) {
    std::snprintf(buf, sizeof buf, "%lld s", static_cast<long long>(ms.count() / 1000));
  } else {
    std::snprintf(buf, sizeof buf, "%g s", static_cast<double>(ms.count()) / 1000.0);
  }
  return buf;
}

std::string failure_reason(CURLcode code, const Transfer& t, const FetchOptions& options,
                           const char* detail) {
  const std::string why = detail[0] ? detail : curl_easy_strerror(code);
  switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
      return "cancelled";
    case CURLE_OPERATION_TIMEDOUT:
      return "timed out after " + seconds_text(options.timeout);
    case CURLE_WRITE_ERROR:
      if (t.too_big) return "page larger than " + std::to_string(options.max_bytes) + " bytes";
      return why;
    case CURLE_TOO_MANY_REDIRECTS: {
      std::set<std::string> seen;
      for (const auto& url : t.visited) {
        if (!seen.insert(url).second) return "redirect loop: " + url + " was reached again";
      }
      return "more than " + std::to_string(std::max(0, options.max_redirects)) + " redirects";
    }
    case CURLE_PARTIAL_FILE:
      return "connection closed before the whole page arrived (" + why + ")";
    case CURLE_RECV_ERROR:
      return "connection broken while receiving the page (" + why + ")";
    case CURLE_GOT_NOTHING:
      return "the server closed the connection without replying";
    case CURLE_URL_MALFORMAT:
      return "malformed address (" + why + ")";
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "unsupported scheme: only http and https pages are fetched (" + why + ")";
    default:
      return why;
  }
}

}  // namespace

std::string FetchResult::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (iequals(key, name)) return value;
  }
  return {};
}

std::string library_version() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info != nullptr && info->version != nullptr ? info->version : "unknown";
}

FetchResult fetch(const std::string& address, const FetchOptions& options) {
  static std::once_flag init;
  std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  FetchResult result;
  const Target target = target_for(address);
  if (!target.error.empty()) {
    result.error = target.error;
    return result;
  }

  CURL* curl = curl_easy_init();
  if (!curl) {
    result.error = "could not start a transfer";
    return result;
  }
  Transfer t;
  t.curl = curl;
  t.max_bytes = options.max_bytes;
  char detail[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(curl, CURLOPT_URL, target.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(std::max(0, options.max_redirects)));
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::max<std::int64_t>(0, options.timeout.count())));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Vettrix/0.1");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  if (options.cancel) {
    t.cancel = options.cancel.get();
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }

  const CURLcode code = curl_easy_perform(curl);

  long status = 0;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) result.status = status;
  char* url = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
    result.final_url = url;
  result.headers = std::move(t.headers);

  if (code != CURLE_OK) {
    result.error = failure_reason(code, t, options, detail);
  } else {
    result.ok = true;
    result.text = decode_body_owned(std::move(t.body), result.header("content-type"));
  }
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace vx::net
