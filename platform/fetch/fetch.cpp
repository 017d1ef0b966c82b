// A single page fetch: one transfer performed on the calling thread, so any
// thread may fetch while another does.
#include "platform/fetch/fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/fetch/transfer.h"

namespace vx::net {
namespace {

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return low(x) == low(y);
         });
}

}  // namespace

std::string FetchResult::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (iequals(key, name)) return value;
  }
  return {};
}

FetchResult decode_fetch(RawFetch raw) {
  FetchResult result = std::move(raw.result);
  if (result.ok)
    result.text = decode_body_owned(std::move(raw.body), result.header("content-type"));
  return result;
}

FetchResult fetch(const std::string& address, const FetchOptions& options) {
  // Running out of memory is this address's failure, not the caller's thread's.
  const char* doing = "starting the transfer";
  try {
    detail::Transfer transfer(address, options);
    if (!transfer.Easy()) return decode_fetch(transfer.Finish(CURLE_OK));
    const CURLcode code = curl_easy_perform(transfer.Easy());
    doing = "reading the response";
    RawFetch raw = transfer.Finish(code);
    doing = "decoding the page";
    return decode_fetch(std::move(raw));
  } catch (...) {
    FetchResult failed;
    failed.error = detail::FailureText(std::current_exception(), doing);
    return failed;
  }
}

std::string library_version() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info != nullptr && info->version != nullptr ? info->version : "unknown";
}

}  // namespace vx::net
