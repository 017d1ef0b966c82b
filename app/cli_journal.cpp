#include "app/cli_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/cli_shard.h"
#include "app/report_reader.h"

namespace vx::app::cli {
namespace {

// A batch goes out at this size even when it holds fewer records: pages
// with many findings make long records.
constexpr std::size_t kPendingBytes = std::size_t{64} << 10;

// Records name their rules by id alone.
constexpr ReportReadLimits kRecordReading{.rules_by_id = true};

constexpr std::string_view kMagic = "{\"vettrix_journal\":1,\"key\":\"";

void Field(std::string& out, std::string_view name, std::string_view value) {
  // Length-prefixed, so no value can pass for another's end.
  out += name;
  out += '=';
  out += std::to_string(value.size());
  out += ':';
  out += value;
  out += ';';
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A list is known by its path and, when it is a regular file, its size and
// time of change: reading a list of a million addresses twice to hash it
// would cost as much as a start.
std::string ListIdentity(const std::string& path) {
  if (path == "-") return "stdin";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return path;
  return path + "|" + std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

std::string Hex(std::uint64_t v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return out;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The index of a record as Journal::Append writes it, `{"address":"…",
// "index":N,…`, read without parsing the record: Take() parses it, when it
// is wanted, and a record it cannot use is done again. Parsing each twice
// was most of what resuming from a long journal cost. nullopt for a line of
// another shape.
std::optional<std::uint64_t> IndexOf(std::string_view line) {
  constexpr std::string_view kAddress = "{\"address\":\"", kIndex = ",\"index\":";
  if (!line.starts_with(kAddress)) return std::nullopt;
  std::size_t i = kAddress.size();
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\') ++i;  // what is escaped cannot end the string
  }
  if (i >= line.size() || line.substr(i + 1, kIndex.size()) != kIndex) return std::nullopt;
  const char* digits = line.data() + i + 1 + kIndex.size();
  const char* end = line.data() + line.size();
  std::uint64_t index = 0;
  const auto [past, error] = std::from_chars(digits, end, index);
  if (error != std::errc() || past == end || *past != ',') return std::nullopt;
  return index;
}

}  // namespace

std::string ResumeKey(const Options& o) {
  std::string k;
  for (const auto& s : o.rule_choice.sets) Field(k, "set", s);
  for (const auto& f : o.rule_choice.files) {
    Field(k, "rules", f);
    Field(k, "rules-bytes", FileBytes(f));
  }
  for (const auto& s : o.rule_choice.enable) Field(k, "enable", s);
  for (const auto& s : o.rule_choice.disable) Field(k, "disable", s);
  Field(k, "occurrences", o.check.want_occurrences ? std::to_string(o.check.max_occurrences) : "-");
  Field(k, "ignore-in", std::to_string(o.check.ignore_in));
  Field(k, "max-bytes", std::to_string(o.batch.fetch.max_bytes));
  Field(k, "max-redirects", std::to_string(o.batch.fetch.max_redirects));
  Field(k, "user-agent", o.batch.fetch.user_agent);
  for (const auto& h : o.batch.fetch.headers) Field(k, "header", h);
  Field(k, "proxy", o.batch.fetch.proxy ? "=" + *o.batch.fetch.proxy : "-");
  Field(k, "cacert", o.batch.fetch.ca_file);
  for (const auto& a : o.addresses) Field(k, "address", a);
  for (const auto& l : o.lists) Field(k, "list", ListIdentity(l));
  for (const auto& w : o.archives) Field(k, "archive", ListIdentity(w));
  Field(k, "recursive", o.recursive ? "1" : "0");
  Field(k, "shard",
        std::to_string(o.shard) + "/" + std::to_string(o.shards) +
            (o.shard_by_hash ? "hash" : "position"));
  // Two FNV-1a hashes of the text, the second of it reversed: 128 bits.
  const std::string reversed(k.rbegin(), k.rend());
  return Hex(AddressHash(k)) + Hex(AddressHash(reversed));
}

Journal::Journal(const std::string& path, const std::string& key, bool force,
                 std::shared_ptr<const check::RuleSet> rules, std::size_t batch)
    : path_(path), rules_(std::move(rules)), batch_(std::max<std::size_t>(1, batch)) {
  ReportStyle style;
  style.occurrences = true;
  style.for_merge = true;  // occurrences' lengths, which SARIF tells
  style.rules_by_id = true;
  style.rules = rules_;
  writer_ = MakeReportWriter(Format::Json, style);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) throw JournalError("cannot open " + path + ": " + std::strerror(errno));
  try {
    Load(key, force);
  } catch (...) {
    ::close(fd_);
    throw;
  }
  try {
    syncer_ = std::thread([this] { SyncLoop(); });
  } catch (const std::system_error&) {
    // No thread to spare: SyncSoon() syncs on the caller's.
  }
}

Journal::~Journal() {
  (void)Flush();
  StopSyncing();
  Sync();
  if (fd_ >= 0) ::close(fd_);
}

void Journal::Load(const std::string& key, bool force) {
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
    throw JournalError(path_ + " is not a regular file");
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  std::uint64_t offset = 0, good_end = 0;
  bool header = false;
  while (std::getline(in, line)) {
    const bool whole = !in.eof();  // a last line without its line end is torn
    const std::uint64_t start = offset;
    offset += line.size() + (whole ? 1 : 0);
    if (!whole) break;
    if (!header) {
      if (!line.starts_with(kMagic) || !line.ends_with("\"}"))
        throw JournalError(path_ + " is not a journal of vettrix check --resume");
      const std::string held = line.substr(kMagic.size(), line.size() - kMagic.size() - 2);
      if (held != key && !force)
        throw JournalMismatch("the journal " + path_ +
                              " is of a run with other options, rules or input; give "
                              "--resume-force to resume it anyway, or another file");
      header = true;
      good_end = offset;
      continue;
    }
    good_end = offset;
    if (line.size() > UINT32_MAX) continue;
    std::optional<std::uint64_t> index = IndexOf(line);
    if (!index) {
      try {
        std::istringstream one(line);
        JsonReportReader reader(one, path_, kRecordReading);
        const std::optional<ReportRecord> record = reader.Next();
        if (record) index = record->index;
      } catch (const ReportReadError&) {
        // Not one of our records (a line of another version): done again.
      }
    }
    // A later record of the same index is one done again because the
    // earlier could not be used.
    if (index) records_[*index] = Place{start, static_cast<std::uint32_t>(line.size())};
  }
  // Appending after a torn line would glue the next record to it.
  if (good_end < static_cast<std::uint64_t>(st.st_size) &&
      ::ftruncate(fd_, static_cast<off_t>(good_end)) != 0)
    throw JournalError("cannot repair " + path_ + ": " + std::strerror(errno));
  if (!header) {
    if (::ftruncate(fd_, 0) != 0 || !WriteAll(fd_, std::string(kMagic) + key + "\"}\n") ||
        ::fdatasync(fd_) != 0)
      throw JournalError("cannot write " + path_ + ": " + std::strerror(errno));
  }
}

std::optional<Outcome> Journal::Take(std::uint64_t index, const std::string& address) {
  const auto it = records_.find(index);
  if (it == records_.end()) return std::nullopt;
  std::string line(it->second.length, '\0');
  if (::pread(fd_, line.data(), line.size(), static_cast<off_t>(it->second.offset)) !=
      static_cast<ssize_t>(line.size()))
    return std::nullopt;
  try {
    std::istringstream one(line);
    JsonReportReader reader(one, path_, kRecordReading);
    const std::optional<ReportRecord> record = reader.Next();
    if (!record || record->address != address) return std::nullopt;
    Outcome out = ToOutcome(*record, *rules_, path_);
    out.index.reset();
    return out;
  } catch (const ReportReadError&) {
    return std::nullopt;  // a rule the set no longer has (--resume-force): checked again
  }
}

std::size_t Journal::Append(std::uint64_t index, const std::string& address, Outcome& outcome,
                            bool counted) {
  // Made outside the lock, the checking threads' records in parallel: the
  // writer keeps no state between items. The outcome carries the index only
  // for the record, so as not to copy it.
  thread_local std::string line;
  line.clear();
  const std::optional<std::uint64_t> had = outcome.index;
  outcome.index = index;
  writer_->Item(line, address, outcome);
  outcome.index = had;
  thread_local std::string batch;
  std::size_t batch_counted = 0;
  {
    std::lock_guard lock(mutex_);
    if (failed_) return counted ? 1 : 0;
    if (pending_.capacity() < kPendingBytes) pending_.reserve(kPendingBytes + (8u << 10));
    pending_ += line;
    ++pending_records_;
    if (counted) ++pending_counted_;
    if (pending_records_ < batch_ && pending_.size() < kPendingBytes) return 0;
    batch_counted = TakePending(batch);
  }
  Write(batch);
  return batch_counted;
}

std::size_t Journal::Flush() {
  thread_local std::string batch;
  std::size_t counted = 0;
  {
    std::lock_guard lock(mutex_);
    counted = TakePending(batch);
  }
  Write(batch);
  return counted;
}

std::size_t Journal::TakePending(std::string& batch) {
  // The buffers change hands, so that neither is made anew for each batch.
  batch.clear();
  batch.swap(pending_);
  const std::size_t counted = pending_counted_;
  pending_records_ = 0;
  pending_counted_ = 0;
  return counted;
}

void Journal::Write(std::string& batch) {
  // Outside the lock, so that the other threads go on making records (and
  // a slow disk holds up none of them): one write() on a file opened for
  // appending puts a whole batch at the end, whatever the others write
  // meanwhile. After an error nothing more is written; what was torn is a
  // line the next run skips.
  if (!batch.empty() && !failed_.load()) {
    if (WriteAll(fd_, batch)) {
      unsynced_.store(true);
    } else {
      const std::string why = std::strerror(errno);
      std::lock_guard lock(mutex_);
      if (!failed_) error_ = why;
      failed_.store(true);
    }
  }
  batch.clear();
  // A page with very many findings leaves no lasting big buffer behind.
  if (batch.capacity() > 4 * kPendingBytes) std::string().swap(batch);
}

void Journal::Sync() {
  // Appending goes on while the disk catches up.
  std::lock_guard io(sync_io_);
  if (fd_ >= 0 && unsynced_.exchange(false)) (void)::fdatasync(fd_);
}

void Journal::SyncSoon() {
  if (!syncer_.joinable()) {
    Sync();
    return;
  }
  {
    std::lock_guard lock(sync_mutex_);
    sync_asked_ = true;
  }
  sync_wake_.notify_one();
}

void Journal::SyncLoop() {
  std::unique_lock lock(sync_mutex_);
  for (;;) {
    sync_wake_.wait(lock, [this] { return sync_asked_ || sync_stop_; });
    if (!sync_asked_) return;
    // Asks made while this sync runs are served by the next.
    sync_asked_ = false;
    lock.unlock();
    Sync();
    lock.lock();
  }
}

void Journal::StopSyncing() {
  if (!syncer_.joinable()) return;
  {
    std::lock_guard lock(sync_mutex_);
    sync_stop_ = true;
  }
  sync_wake_.notify_one();
  syncer_.join();
}

std::string Journal::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace vx::app::cli
