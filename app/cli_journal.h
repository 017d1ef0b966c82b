// The journal of `--resume FILE`: one header line with the run's key (a hash
// of everything that changes a result), then one line per finished address,
// the JSON report's object with occurrences and "index". Records are written
// a few at a time, each batch with one write() on a file opened for
// appending, so a process killed at any moment leaves whole records and at
// most a torn last line, which is cut off when the journal is opened again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>

#include "app/check/rule_set.h"
#include "app/cli_options.h"
#include "app/cli_report.h"

namespace vx::app::cli {

// A journal of another run's options (a usage error, status 64).
struct JournalMismatch : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A journal that cannot be read or written.
struct JournalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The hash, in hex, of what decides a run's results: the rule choice and the
// rule files' contents, the check's options, the fetch options that change
// what arrives, and the input (addresses, lists by path, size and time of
// change, folders, shard). Not the format nor -o: a resumed run may write
// another format of the same results.
[[nodiscard]] std::string ResumeKey(const Options& options);

class Journal {
 public:
  // Opens FILE, making it when missing or empty. Throws JournalMismatch when
  // it holds another key (unless `force`), JournalError when it cannot be
  // used. Records wait until `batch` of them are made, then go out in one
  // write: a write() a record cost a journaled run more than making them.
  Journal(const std::string& path, const std::string& key, bool force,
          std::shared_ptr<const check::RuleSet> rules, std::size_t batch = 1);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // The result kept for the address at input position `index`, when the
  // journal has one for that same address.
  [[nodiscard]] std::optional<Outcome> Take(std::uint64_t index, const std::string& address);

  // Appends a finished address; any thread. Its record is written with the
  // batch it completes, or by Flush(): until then a kill loses it. `counted`:
  // the address holds a place in the caller's bound on what a kill may lose
  // until its record is written. Returns how many counted records this call
  // wrote (or dropped, once the journal failed): the places to give back.
  // `outcome` is handed back as it came.
  std::size_t Append(std::uint64_t index, const std::string& address, Outcome& outcome,
                     bool counted = false);

  // Writes the records waiting for their batch; returns how many of them
  // were counted, as Append does.
  std::size_t Flush();

  // Asks for what was written to reach the disk, on the journal's own
  // thread: a disk that takes a long while to sync (a tenth of a second is
  // common on a shared one) holds up no caller, and so no page in flight.
  void SyncSoon();
  // Flushes what was written to the disk, and waits for it.
  void Sync();

  std::size_t held() const { return records_.size(); }
  // Once the journal could not be written (error() says why), the run goes
  // on without it.
  bool failed() const { return failed_.load(); }
  std::string error() const;

 private:
  void Load(const std::string& key, bool force);
  // With mutex_ held: the waiting records into `batch`; how many counted.
  std::size_t TakePending(std::string& batch);
  void Write(std::string& batch);  // without the lock
  void SyncLoop();
  void StopSyncing();

  std::string path_;
  int fd_ = -1;
  std::shared_ptr<const check::RuleSet> rules_;
  std::unique_ptr<ReportWriter> writer_;  // stateless between items: used by any thread
  struct Place {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
  };
  std::unordered_map<std::uint64_t, Place> records_;
  mutable std::mutex mutex_;
  const std::size_t batch_;
  std::string pending_;  // whole records, not yet written
  std::size_t pending_records_ = 0;
  std::size_t pending_counted_ = 0;
  std::atomic<bool> unsynced_{false};
  std::mutex sync_io_;  // held through an fdatasync, so Sync() waits for one in progress
  std::mutex sync_mutex_;
  std::condition_variable sync_wake_;
  bool sync_asked_ = false;  // under sync_mutex_
  bool sync_stop_ = false;   // under sync_mutex_
  std::thread syncer_;       // none when it could not start: SyncSoon() syncs itself
  std::atomic<bool> failed_{false};
  std::string error_;  // under mutex_
};

}  // namespace vx::app::cli
