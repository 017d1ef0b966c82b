// Pages from web archives (--warc): each HTML response record becomes a page
// checked as if it had just been fetched; the other records are counted.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/archive/http_payload.h"
#include "platform/fetch/fetch.h"

namespace vx::app::cli {

// One thing an archive gives the run: a page to check, or a failure to tell.
struct ArchiveEntry {
  std::string address;  // the record's target URI (the archive's name when it has none)
  std::string error;    // not empty: told as this address's failure
  archive::HttpResponse response;
  bool decoded = false;  // the body's encodings are undone already
};

// What the archives held besides the pages checked.
struct ArchiveCounts {
  std::size_t records = 0;
  std::size_t not_responses = 0;  // request, metadata, warcinfo, resource, revisit...
  std::size_t redirects = 0;      // 3xx: a live check follows them to the target's record
  std::size_t not_html = 0;
};

// The archives' pages in archive order, read one record at a time. An archive
// that cannot be opened or ends damaged gives one failure and the next
// archive is read.
class ArchiveInput {
 public:
  ArchiveInput(std::vector<std::string> archives, std::uint64_t max_bytes);
  ~ArchiveInput();
  ArchiveInput(const ArchiveInput&) = delete;
  ArchiveInput& operator=(const ArchiveInput&) = delete;

  std::optional<ArchiveEntry> Next();
  const ArchiveCounts& counts() const { return counts_; }

  // What HTTP head a record may hold on top of --max-bytes of body.
  static constexpr std::uint64_t kHeadAllowance = 1 << 20;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  ArchiveCounts counts_;
};

// The raw fetch an archived response stands for, its body decoded; a failure
// (ok false, error set) when the body cannot be.
[[nodiscard]] net::RawFetch ArchivedFetch(ArchiveEntry entry, std::uint64_t max_bytes);

// "vettrix: archives: 12 records; skipped: 4 not responses, 1 redirect, 2 not HTML"
[[nodiscard]] std::string ArchiveSummaryText(const ArchiveCounts& counts);

// Holds a reader back while `limit` pages are inside: archived pages waiting
// to be checked (memory stays within that many pages however fast the archive
// reads), or a resumed run's addresses not yet in its journal. Once full, it
// opens again only when at most `reopen_at` are inside: a reader woken for
// every page that leaves would cost a thread switch a page.
class InFlightGate {
 public:
  explicit InFlightGate(std::size_t limit) : InFlightGate(limit, limit > 0 ? limit - 1 : 0) {}
  InFlightGate(std::size_t limit, std::size_t reopen_at)
      : limit_(std::max<std::size_t>(1, limit)), reopen_at_(std::min(reopen_at, limit_ - 1)) {}
  // False when `stop` turned true meanwhile.
  bool Enter(const std::atomic<bool>& stop);
  void Leave();

 private:
  const std::size_t limit_;
  const std::size_t reopen_at_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t inside_ = 0;
  unsigned waiting_ = 0;
};

}  // namespace vx::app::cli
