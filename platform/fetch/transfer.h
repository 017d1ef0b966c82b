// One HTTP transfer over libcurl, as the single fetch and the batch fetcher
// both run it: the same set-up, limits, redirect rules and error texts, so an
// address gets the same answer either way. Internal to the fetch library.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/fetch/fetch.h"

namespace vx::net::detail {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// libcurl's process-wide set-up, done once before the first handle.
void GlobalInit();

// The URL to request for an address as typed, or the reason it cannot be.
struct Target {
  std::string url;
  std::string error;
};
[[nodiscard]] Target TargetFor(const std::string& address);

// Whether a status line ("HTTP/1.1 103 Early Hints", "HTTP/2 100") is of an
// interim (1xx) answer, which a final one follows.
[[nodiscard]] bool IsInterim(std::string_view status_line);

// The scheme an absolute URL names, lower case ("javascript:x" names one
// too); "" for a relative reference.
[[nodiscard]] std::string SchemeOf(std::string_view url);

// "scheme://host:port" of a URL, lower case: what the per-host limit counts.
// "" when the URL does not parse.
[[nodiscard]] std::string HostKey(const std::string& url);

// The state of one request while libcurl runs it. The options must outlive it.
class Transfer {
 public:
  // Prepares the request for an address as typed. When the address cannot be
  // fetched at all the transfer is not started and `Failed()` tells why.
  // `reuse` is an easy handle of an earlier transfer to set up anew (cheaper
  // than a new one), or null.
  Transfer(const std::string& address, const FetchOptions& options, EasyHandle reuse = {});
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // The reason the transfer could not even start, or "".
  const std::string& StartError() const { return start_error_; }
  // The easy handle to perform or add to a multi handle; null after a start error.
  CURL* Easy() const { return easy_.get(); }

  // What came of it once libcurl reports `code`: status, final address,
  // headers of the final response, and the body or the reason of the failure.
  [[nodiscard]] RawFetch Finish(CURLcode code);
  // Gives up the easy handle for another transfer, after Finish.
  [[nodiscard]] EasyHandle ReleaseHandle() { return std::move(easy_); }

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user);
  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  void Header(std::string_view line);
  bool Body(const char* data, std::size_t size);
  std::string FailureReason(CURLcode code) const;

  const FetchOptions& options_;
  std::string start_error_;
  EasyHandle easy_;
  HeaderList request_headers_;
  char detail_[CURL_ERROR_SIZE] = {};

  bool too_big_ = false;
  bool reserved_ = false;
  bool headers_done_ = false;  // of the current response; what follows are trailers
  bool response_started_ = false;
  // The last status line was an interim (1xx) one: no final answer came yet.
  bool interim_ = false;
  // An exception a callback caught: it must not unwind through libcurl.
  std::exception_ptr callback_error_;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string body_;
  // Hashes of the address of every final or redirecting answer, for telling a
  // redirect loop; interim answers are not counted, and no address is kept
  // but the first one seen twice.
  std::unordered_set<std::size_t> visited_;
  std::string loop_url_;
};

// The reason an address failed because `error` was thrown while `doing`
// ("reading the response"): "out of memory while reading the response" for
// std::bad_alloc.
[[nodiscard]] std::string FailureText(const std::exception_ptr& error, std::string_view doing);

// Whether a finished attempt is worth another: the connection failed, or the
// server said 429 or 503. For the statuses, `retry_after` gets the delay the
// server asked for (Retry-After in seconds or as a date), or -1.
[[nodiscard]] bool Retryable(CURLcode code, const RawFetch& raw, std::int64_t* retry_after_ms);

}  // namespace vx::net::detail
