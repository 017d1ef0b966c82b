#include "platform/fetch/transfer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <new>
#include <stdexcept>

#include "platform/base/seconds_text.h"

namespace vx::net::detail {
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

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string effective_url(CURL* easy) {
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
  return {};
}

}  // namespace

void GlobalInit() {
  static std::once_flag init;
  std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Target TargetFor(const std::string& address) {
  if (address.empty()) return {{}, "empty address"};
  auto refuse = [](std::string_view scheme) {
    return Target{{},
                  "unsupported scheme \"" + lower(std::string(scheme)) +
                      "\": only http and https pages are fetched"};
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

std::string SchemeOf(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon > 32 || !is_scheme(url.substr(0, colon))) return {};
  return lower(std::string(url.substr(0, colon)));
}

bool IsInterim(std::string_view status_line) {
  const std::size_t space = status_line.find(' ');
  if (space == std::string_view::npos) return false;
  const std::string_view code = status_line.substr(space + 1, 3);
  return code.size() == 3 && code[0] == '1' && std::isdigit(static_cast<unsigned char>(code[1])) &&
         std::isdigit(static_cast<unsigned char>(code[2])) &&
         (status_line.size() == space + 4 || status_line[space + 4] == ' ');
}

std::string HostKey(const std::string& url) {
  // Read by hand: this runs once for every address of a batch.
  const std::size_t sep = url.find("://");
  if (sep == std::string::npos) return {};
  const std::string scheme = lower(url.substr(0, sep));
  std::string_view authority = std::string_view(url).substr(sep + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  std::string_view host = authority, port;
  // "[v6::address]:port" keeps its colons inside the brackets.
  const std::size_t close = authority.starts_with('[') ? authority.find(']') : 0;
  if (close == std::string_view::npos) return {};
  if (const std::size_t colon = authority.find(':', close); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return {};
  std::string key = scheme + "://" + lower(std::string(host)) + ":";
  if (!port.empty()) {
    key += port;
  } else {
    key += scheme == "https" ? "443" : "80";
  }
  return key;
}

Transfer::Transfer(const std::string& address, const FetchOptions& options, EasyHandle reuse)
    : options_(options) {
  GlobalInit();
  const Target target = TargetFor(address);
  if (!target.error.empty()) {
    start_error_ = target.error;
    return;
  }
  for (const std::string& h : options.headers) {
    curl_slist* grown = curl_slist_append(request_headers_.get(), h.c_str());
    if (!grown) {
      start_error_ = "could not start a transfer (out of memory)";
      return;
    }
    (void)request_headers_.release();  // now owned through `grown`
    request_headers_.reset(grown);
  }
  if (reuse) {
    curl_easy_reset(reuse.get());
    easy_ = std::move(reuse);
  } else {
    easy_.reset(curl_easy_init());
  }
  if (!easy_) {
    start_error_ = "could not start a transfer";
    return;
  }
  CURL* curl = easy_.get();
  const int hops = std::max(0, options.max_redirects);
  curl_easy_setopt(curl, CURLOPT_URL, target.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, hops > 0 ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(hops));
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::max<std::int64_t>(0, options.timeout.count())));
  curl_easy_setopt(curl, CURLOPT_USERAGENT, options.user_agent.c_str());
  if (request_headers_) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, request_headers_.get());
  if (options.proxy) curl_easy_setopt(curl, CURLOPT_PROXY, options.proxy->c_str());
  if (!options.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.ca_file.c_str());
  // Several transfers to one server share a connection where it speaks HTTP/2.
  // Only https can say so before its first answer (in the TLS handshake);
  // waiting for that answer over plain http would serialise the transfers.
  if (target.url.size() > 8 && iequals(std::string_view(target.url).substr(0, 8), "https://"))
    curl_easy_setopt(curl, CURLOPT_PIPEWAIT, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail_);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  if (options.cancel) {
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }
}

std::size_t Transfer::OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t total = size * count;
  try {
    t->Header(std::string_view(data, total));
    return total;
  } catch (...) {
    t->callback_error_ = std::current_exception();
    return 0;  // anything but `total` aborts the transfer
  }
}

void Transfer::Header(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response (after a redirect or an interim 1xx): only the last
    // one's headers and body make the page.
    headers_.clear();
    body_.clear();
    if (options_.received) options_.received->store(0, std::memory_order_relaxed);
    reserved_ = false;
    headers_done_ = false;
    response_started_ = true;
    interim_ = IsInterim(line);
    // A server may send interim answers without end: they cost nothing kept.
    if (interim_) return;
    char* url = nullptr;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url &&
        !visited_.insert(std::hash<std::string_view>{}(url)).second && loop_url_.empty()) {
      loop_url_ = url;
    }
    return;
  }
  // Trailer fields after a chunked body belong to no header the page is read
  // by (the server name, the charset).
  if (line.empty() || headers_done_) {
    headers_done_ = true;
    return;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !headers_.empty()) {
    // An obsolete folded continuation of the previous header.
    auto& value = headers_.back().second;
    if (!value.empty()) value += ' ';
    value += trim(line);
    return;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  headers_.emplace_back(std::string(trim(line.substr(0, colon))),
                        std::string(trim(line.substr(colon + 1))));
}

std::size_t Transfer::OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t total = size * count;
  try {
    return t->Body(data, total) ? total : CURL_WRITEFUNC_ERROR;
  } catch (...) {
    t->callback_error_ = std::current_exception();
    return CURL_WRITEFUNC_ERROR;
  }
}

bool Transfer::Body(const char* data, std::size_t size) {
  // Counted after decompression: libcurl hands us decoded bytes.
  if (body_.size() + size > options_.max_bytes) {
    too_big_ = true;
    return false;
  }
  if (!reserved_) {
    reserved_ = true;
    curl_off_t length = -1;
    const bool encoded = std::any_of(headers_.begin(), headers_.end(), [](const auto& h) {
      return iequals(h.first, "content-encoding") && !iequals(h.second, "identity");
    });
    if (!encoded &&
        curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length > 0) {
      body_.reserve(static_cast<std::size_t>(
          std::min<std::uint64_t>(static_cast<std::uint64_t>(length), options_.max_bytes)));
    }
  }
  body_.append(data, size);
  if (options_.received) options_.received->store(body_.size(), std::memory_order_relaxed);
  return true;
}

// Polled by libcurl during the transfer, also while it waits for the server.
int Transfer::OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->options_.cancel != nullptr && t->options_.cancel->load() ? 1 : 0;
}

std::string FailureText(const std::exception_ptr& error, std::string_view doing) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return "out of memory while " + std::string(doing);
  } catch (const std::exception& e) {
    return "failed while " + std::string(doing) + ": " + e.what();
  } catch (...) {
    return "failed while " + std::string(doing);
  }
}

std::string Transfer::FailureReason(CURLcode code) const {
  if (callback_error_) return FailureText(callback_error_, "reading the response");
  const std::string why = detail_[0] ? detail_ : curl_easy_strerror(code);
  // libcurl refuses an oversized header line as "out of memory" and too many
  // header lines as a receive error; nothing ran out.
  const bool in_headers = response_started_ && !headers_done_;
  switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
      return "cancelled";
    case CURLE_OPERATION_TIMEDOUT:
      return "timed out after " + SecondsText(options_.timeout);
    case CURLE_WRITE_ERROR:
      if (too_big_) return "page larger than " + std::to_string(options_.max_bytes) + " bytes";
      return why;
    case CURLE_TOO_MANY_REDIRECTS:
      if (!loop_url_.empty()) return "redirect loop: " + loop_url_ + " was reached again";
      return "more than " + std::to_string(std::max(0, options_.max_redirects)) + " redirects";
    case CURLE_OUT_OF_MEMORY:
      if (in_headers)
        return detail_[0] ? "response header too large (" + why + ")" : "response header too large";
      return why;
    case CURLE_PARTIAL_FILE:
      return "connection closed before the whole page arrived (" + why + ")";
    case CURLE_RECV_ERROR:
      if (in_headers && why.find("header") != std::string::npos)
        return "response header too large (" + why + ")";
      // Over HTTP/2 libcurl refuses header fields past its limit by failing
      // the HTTP/2 library's callback (NGHTTP2_ERR_CALLBACK_FAILURE), which
      // says nothing to a reader.
      if (why.find("nghttp2") != std::string::npos && why.find("-902") != std::string::npos)
        return "response header too large";
      return "connection broken while receiving the page (" + why + ")";
    case CURLE_GOT_NOTHING:
      return "the server closed the connection without replying";
    case CURLE_URL_MALFORMAT:
      return "malformed address (" + why + ")";
    case CURLE_WEIRD_SERVER_REPLY:
      return "malformed HTTP response (" + why + ")";
    case CURLE_UNSUPPORTED_PROTOCOL: {
      // Also what libcurl says of an HTTP/0.9 answer or an unreadable status
      // line; only a redirect elsewhere than http(s) is about a scheme.
      const std::string scheme = SchemeOf(effective_url(easy_.get()));
      if (!scheme.empty() && scheme != "http" && scheme != "https")
        return "unsupported scheme: only http and https pages are fetched (" + why + ")";
      // A target libcurl cannot even parse ("javascript:", "data:", "mailto:")
      // leaves the address where it was; the refused answer's Location names it.
      std::string_view location;
      for (const auto& [name, value] : headers_) {
        if (iequals(name, "location")) location = value;
      }
      const std::string target = SchemeOf(location);
      if (!target.empty() && target != "http" && target != "https")
        return "unsupported scheme: only http and https pages are fetched (a redirect to \"" +
               target + ":\")";
      return "malformed HTTP response (" + why + ")";
    }
    default:
      return why;
  }
}

RawFetch Transfer::Finish(CURLcode code) {
  RawFetch raw;
  FetchResult& result = raw.result;
  if (!easy_) {
    result.error = start_error_;
    return raw;
  }
  // Interim answers alone are no answer: no status, no headers.
  long status = 0;
  if (!interim_ && curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
    result.status = status;
  result.final_url = effective_url(easy_.get());
  if (code != CURLE_OK || callback_error_) {
    result.error = FailureReason(code);  // reads the headers
  } else {
    result.ok = true;
    raw.body = std::move(body_);
  }
  if (!interim_) result.headers = std::move(headers_);
  return raw;
}

bool Retryable(CURLcode code, const RawFetch& raw, std::int64_t* retry_after_ms) {
  *retry_after_ms = -1;
  switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
      return true;
    case CURLE_OK:
      break;
    default:
      return false;
  }
  if (raw.result.status != 429 && raw.result.status != 503) return false;
  const std::string after(trim(raw.result.header("retry-after")));
  if (after.empty()) return true;
  std::int64_t seconds = 0;
  const auto [end, ec] = std::from_chars(after.data(), after.data() + after.size(), seconds);
  if (ec == std::errc() && end == after.data() + after.size() && seconds >= 0) {
    *retry_after_ms = seconds > INT64_MAX / 1000 ? INT64_MAX : seconds * 1000;
    return true;
  }
  if (ec == std::errc::result_out_of_range &&
      after.find_first_not_of("0123456789") == std::string::npos) {
    *retry_after_ms = INT64_MAX;
    return true;
  }
  const time_t when = curl_getdate(after.c_str(), nullptr);
  if (when != -1) {
    const time_t now = std::time(nullptr);
    *retry_after_ms = when > now ? static_cast<std::int64_t>(when - now) * 1000 : 0;
  }
  return true;
}

}  // namespace vx::net::detail
