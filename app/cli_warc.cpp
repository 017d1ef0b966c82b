#include "app/cli_warc.h"

#include <chrono>
#include <utility>

#include "app/cli_input.h"
#include "platform/archive/warc_reader.h"
#include "platform/base/ascii.h"

namespace vx::app::cli {
namespace {

// The media type of a Content-Type value, lower case, parameters dropped.
std::string MediaType(std::string_view content_type) {
  std::string_view t = content_type.substr(0, content_type.find(';'));
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return ascii::Lower(t);
}

// A response without a Content-Type is a page when its address names one
// (.html, .htm, .xhtml, as folders are walked) or its text starts as markup.
bool LooksLikeHtml(const std::string& address, std::string_view body) {
  std::string_view path = address;
  path = path.substr(0, path.find_first_of("?#"));
  const std::string lower = ascii::Lower(path);
  for (std::string_view ext : {".html", ".htm", ".xhtml"}) {
    if (lower.ends_with(ext)) return true;
  }
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  const std::size_t first = body.find_first_not_of(" \t\r\n\f");
  return first != std::string_view::npos && body[first] == '<';
}

}  // namespace

struct ArchiveInput::Impl {
  std::vector<std::string> archives;
  std::uint64_t max_bytes = 0;
  std::size_t next = 0;
  std::string path;
  std::unique_ptr<archive::WarcReader> reader;
};

ArchiveInput::ArchiveInput(std::vector<std::string> archives, std::uint64_t max_bytes)
    : impl_(std::make_unique<Impl>()) {
  impl_->archives = std::move(archives);
  impl_->max_bytes = max_bytes;
}

ArchiveInput::~ArchiveInput() = default;

std::optional<ArchiveEntry> ArchiveInput::Next() {
  Impl& m = *impl_;
  for (;;) {
    if (!m.reader) {
      if (m.next >= m.archives.size()) return std::nullopt;
      m.path = m.archives[m.next++];
      const bool from_stdin = m.path == "-";
      if (from_stdin) m.path = "standard input";
      archive::WarcLimits limits;
      limits.max_block = m.max_bytes + kHeadAllowance;
      m.reader = std::make_unique<archive::WarcReader>(limits);
      if (!m.reader->Open(from_stdin ? std::string("-") : m.path)) {
        ArchiveEntry e{m.path, m.reader->error(), {}, false};
        m.reader.reset();
        return e;
      }
    }
    std::optional<archive::WarcRecord> record = m.reader->Next();
    if (!record) {
      ArchiveEntry e{m.path, m.reader->error(), {}, false};
      m.reader.reset();
      if (!e.error.empty()) return e;
      continue;
    }
    ++counts_.records;
    const std::string uri = record->target_uri();
    // A record without an address is told by its archive's name.
    const std::string address = uri.empty() ? m.path : uri;
    const std::string where = uri.empty() ? std::string() : m.path + ": ";
    if (!record->error.empty()) return ArchiveEntry{address, where + record->error, {}, false};
    // A response of another protocol (dns:, ftp:) holds no HTTP answer; one
    // without a type is taken for HTTP, as writers that leave it out mean.
    const std::string record_type = MediaType(record->field("Content-Type"));
    if (record->type() != "response" ||
        (!record_type.empty() && record_type != "application/http")) {
      ++counts_.not_responses;
      continue;
    }
    const std::string record_at = where + "the record at byte " + std::to_string(record->offset);
    if (record->too_large) {
      return ArchiveEntry{address,
                          record_at + ": larger than the limit of " + std::to_string(m.max_bytes) +
                              " bytes (see --max-bytes)",
                          {},
                          false};
    }
    ArchiveEntry e{address, {}, {}, false};
    std::string why;
    if (!archive::ParseHttpResponse(std::move(record->block), &e.response, &why, kHeadAllowance))
      return ArchiveEntry{address, record_at + ": " + why, {}, false};
    if (e.response.status >= 300 && e.response.status < 400) {
      ++counts_.redirects;
      continue;
    }
    const std::string type = MediaType(e.response.header("Content-Type"));
    if (type.empty()) {
      // Decoded here, as only its text can tell.
      if (!archive::DecodeHttpBody(e.response, m.max_bytes, &why)) {
        net::FetchResult failed;
        failed.error = std::move(why);
        e.error = WebFailureReason(failed, false);  // as the checking threads tell it
        return e;
      }
      e.decoded = true;
      if (!LooksLikeHtml(address, e.response.body)) {
        ++counts_.not_html;
        continue;
      }
    } else if (type != "text/html" && type != "application/xhtml+xml") {
      ++counts_.not_html;
      continue;
    }
    return e;
  }
}

net::RawFetch ArchivedFetch(ArchiveEntry entry, std::uint64_t max_bytes) {
  net::RawFetch raw;
  std::string why;
  raw.result.ok = entry.decoded || archive::DecodeHttpBody(entry.response, max_bytes, &why);
  raw.result.error = std::move(why);
  raw.result.status = entry.response.status;
  raw.result.final_url = std::move(entry.address);
  raw.result.headers = std::move(entry.response.headers);
  if (raw.result.ok) raw.body = std::move(entry.response.body);
  return raw;
}

std::string ArchiveSummaryText(const ArchiveCounts& c) {
  auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  return "vettrix: archives: " + count(c.records, "record", "records") +
         "; skipped: " + count(c.not_responses, "not a response", "not responses") + ", " +
         count(c.redirects, "redirect", "redirects") + ", " + std::to_string(c.not_html) +
         " not HTML\n";
}

bool InFlightGate::Enter(const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  if (inside_ >= limit_) {
    ++waiting_;
    while (inside_ > reopen_at_ && !stop.load())
      changed_.wait_for(lock, std::chrono::milliseconds(100));
    --waiting_;
    if (stop.load()) return false;
  }
  ++inside_;
  return true;
}

void InFlightGate::Leave() {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    --inside_;
    wake = waiting_ > 0 && inside_ <= reopen_at_;
  }
  if (wake) changed_.notify_one();
}

}  // namespace vx::app::cli
