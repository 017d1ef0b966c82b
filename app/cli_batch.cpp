// A run of `vettrix check` over many addresses. Threads:
//  - the feeder reads the input as it is needed and hands web addresses to the
//    batch fetcher, files to the pool;
//  - the batch fetcher's own thread drives every transfer;
//  - the pool (one thread per core) decodes pages and runs the check;
//  - the calling thread prints results as they complete, in input order
//    within a bounded window (or in completion order), and draws progress;
//  - a signal watcher turns Ctrl+C into an orderly stop.
#include "app/cli_batch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/batch_parts.h"
#include "app/cli_input.h"
#include "app/cli_journal.h"
#include "app/cli_output.h"
#include "app/cli_report.h"
#include "app/cli_shard.h"
#include "app/cli_warc.h"
#include "app/rules.h"
#include "platform/fetch/fetch.h"
#include "platform/text/utf8.h"

namespace vx::app::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Standard input as a page, read once however often "-" is given.
class StdinPage {
 public:
  explicit StdinPage(std::uint64_t max_bytes) : max_bytes_(max_bytes) {}
  // The decoded text; throws with the reason when it cannot be read.
  std::string Text() {
    std::call_once(once_, [this] {
      try {
        text_ = net::decode_body_owned(ReadAllBytes(STDIN_FILENO, max_bytes_));
        ok_ = true;
      } catch (const std::exception& e) {
        error_ = std::string("standard input: ") + e.what();
      }
    });
    if (!ok_) throw std::runtime_error(error_);
    return text_;
  }

 private:
  std::uint64_t max_bytes_;
  std::once_flag once_;
  bool ok_ = false;
  std::string text_;
  std::string error_;
};

// What the transfer control of one check hands out: a fetched page, a file
// to read, standard input, or the reason there is nothing.
struct Prepared {
  enum class Kind { Web, File, Stdin, Failed };
  Kind kind = Kind::Failed;
  net::FetchResult web;
  std::string path;
  std::string error;
  bool could_be_file = false;
};

// How a local file that is not a regular file is read: for at most the
// fetch time-out, given up when the run stops.
struct LocalLimits {
  std::chrono::milliseconds timeout{0};
  const std::atomic<bool>* stop = nullptr;
};

// Hands out the page of one address; throws, and remembers why, when there is
// none.
class PageReader {
 public:
  PageReader(Prepared& p, StdinPage& in, std::uint64_t max_bytes, LocalLimits local)
      : p_(p), in_(in), max_bytes_(max_bytes), local_(local) {}

  PageText OpenPage(const std::string& address) {
    PageText page = Open(address);
    // Everything comes out of the page decoder, or is a mapped file the
    // reader found valid UTF-8 as it stands.
    page.MarkValidUtf8();
    return page;
  }

  PageText Open(const std::string& address) {
    try {
      switch (p_.kind) {
        case Prepared::Kind::Stdin:
          return in_.Text();
        case Prepared::Kind::File:
          return ReadFilePage(p_.path, max_bytes_, &mapping_, local_.timeout, local_.stop);
        case Prepared::Kind::Web:
          if (!p_.web.ok)
            throw std::runtime_error(WebFailureReason(p_.web, p_.could_be_file, address));
          return std::move(p_.web.text);
        case Prepared::Kind::Failed:
          throw std::runtime_error(p_.error);
      }
      throw std::logic_error("unknown address kind");
    } catch (const std::exception& e) {
      failed_ = true;
      error_ = e.what();
      throw;
    }
  }

  // True when the page could not be read, or was read from a file that
  // shrank meanwhile (its text is then not the file's).
  bool failed() const { return failed_ || (mapping_ && mapping_->damaged()); }
  std::string error() const { return failed_ ? error_ : kFileChanged; }

 private:
  Prepared& p_;
  StdinPage& in_;
  std::uint64_t max_bytes_;
  LocalLimits local_;
  bool failed_ = false;
  std::string error_;
  std::shared_ptr<const FileMapping> mapping_;
};

// One address: its page read as the transfer control would hand it to the
// window, then checked.
Outcome CheckOne(const std::string& address, Prepared p, StdinPage& in, std::uint64_t max_bytes,
                 const check::CheckOptions& check_options, LocalLimits local = {}) {
  PageReader fetcher(p, in, max_bytes, local);
  PageFacts facts;
  facts.web = p.kind == Prepared::Kind::Web;
  if (facts.web) {
    facts.status = p.web.status;
    facts.final_address = p.web.final_url;
    facts.server = p.web.header("server");
  }
  PageText page;
  try {
    page = fetcher.OpenPage(address);
  } catch (const std::exception&) {
    return MakeFailure(facts, fetcher.error());
  }
  // The engine reads UTF-8: a page not known to be is read the project's one
  // way when it is not.
  std::string repaired;
  std::string_view text = page.View();
  if (!page.KnownValidUtf8() && !text::IsValidUtf8(text)) {
    repaired = text::ToValidUtf8(text);
    text = repaired;
  }
  // Same-origin and header rules look at where the page came from.
  check::PageOrigin origin;
  origin.address = facts.web ? facts.final_address : address;
  origin.fetched = facts.web;
  if (facts.web) origin.headers = p.web.headers;
  check::CheckOptions options = check_options;
  options.page = &origin;
  Outcome out = MakeOutcome(facts, text, check::Check(text, options));
  // A mapped file that shrank meanwhile: its text was not the file's.
  if (fetcher.failed()) return MakeFailure(facts, fetcher.error());
  return out;
}

Outcome Failure(std::string error) {
  Outcome o;
  o.error = std::move(error);
  return o;
}

// Whether a local page is a FIFO, a device or a socket.
bool IsSpecialFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// One run, step by step: open the output, feed the input to the fetcher and
// the pool, print what completes, and end in one of three ways.
class BatchRun {
 public:
  explicit BatchRun(const Options& options)
      : options_(options),
        max_bytes_(options.batch.fetch.max_bytes),
        window_(std::max<std::size_t>(1024, std::size_t{16} * options.batch.jobs),
                !options.unordered),
        signals_([this](int sig) {
          signal_seen_ = sig;
          stop_ = true;
          window_.Stop();
        }),
        stdin_page_(max_bytes_),
        pool_(std::max(1u, std::thread::hardware_concurrency())),
        side_reads_(64) {}

  // Threads may still be at work when a run is interrupted: such a run is
  // left to the process's end, never destroyed.
  ~BatchRun() {
    if (feeder_.joinable()) feeder_.join();
  }
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  RunEnd Run() {
    if (const std::optional<RunEnd> bad = OpenJournal()) return *bad;
    if (!OpenOutput()) return {kExitFailure};
    StartFeeder();
    const bool interrupted = PrintAsCompleted();
    const bool finished = output_ok_ && !interrupted;
    // Whatever ended the printing, the other threads stop now.
    if (!finished) {
      stop_ = true;
      window_.Stop();
      WithFetcher([](net::BatchFetcher& f) { f.Cancel(); });
    }
    progress_.Clear();
    // A FIFO named by -o whose reader left is a write error like any other:
    // told by its name, with a failure status.
    if (sink_->broken_pipe() && !options_.output) return EndByPipe();
    if (interrupted) return EndInterrupted();
    return Finish();
  }

 private:
  // Before the output: a journal of other options stops the run before a
  // report file is begun.
  std::optional<RunEnd> OpenJournal() {
    if (!options_.resume) return std::nullopt;
    Progress none(false);
    try {
      journal_ =
          std::make_unique<Journal>(*options_.resume, ResumeKey(options_), options_.resume_force,
                                    options_.check.rules, JournalBatch());
    } catch (const JournalMismatch& e) {
      WriteError(none, "vettrix: " + Printable(e.what()) + "\n");
      return RunEnd{kExitUsage};
    } catch (const JournalError& e) {
      WriteError(none, "vettrix: --resume: " + Printable(e.what()) + "\n");
      return RunEnd{kExitFailure};
    }
    return std::nullopt;
  }

  // Records reach the journal in batches of this many. A record waiting for
  // its batch keeps its page's place in fetch_gate_, so what a kill makes the
  // next run fetch again stays within the gate's bound; and as the feeder
  // waits there until --jobs are left, a batch of at most --jobs is always
  // completed by the pages still in flight.
  std::size_t JournalBatch() const {
    return std::clamp<std::size_t>(options_.batch.jobs, 1, kJournalBatch);
  }

  // A finished address: kept in the journal, then handed to the printer.
  // What completes after a stop was cut short, and is not kept.
  // `fetched`: a web page, holding a place in fetch_gate_.
  void Done(std::uint64_t seq, Outcome o, bool fetched = false) {
    std::size_t written = fetched ? 1 : 0;
    if (journal_ && !stop_) {
      const auto [address, index] = window_.AddressAndIndex(seq);
      written = journal_->Append(index, address, o, fetched);
      if (journal_->failed()) journal_failed_ = true;
    }
    window_.Complete(seq, std::move(o));
    LeaveFetchGate(written);
  }

  bool OpenOutput() {
    if (!options_.output) {
      sink_ = OutputSink::Stdout();
      return true;
    }
    std::string why;
    sink_ = OutputSink::ToFile(*options_.output, &why);
    Progress none(false);
    if (!sink_) {
      WriteError(none, "vettrix: cannot write " + Printable(*options_.output) + ": " + why + "\n");
      return false;
    }
    if (const std::string note = sink_->note(); !note.empty())
      WriteError(none, "vettrix: note: " + Printable(*options_.output) + ": " + note + "\n");
    return true;
  }

  // A write error names the file it failed on; standard output is "the output".
  std::string WriteFailure() const {
    return "vettrix: cannot write " +
           (options_.output ? Printable(*options_.output) + ": " + sink_->error()
                            : "the output (" + sink_->error() + ")") +
           "\n";
  }

  // Made when the first web address comes: a run over files alone never
  // starts libcurl (whose set-up is a good part of checking one small file).
  net::BatchFetcher& Fetcher() {
    std::lock_guard lock(fetcher_mutex_);
    if (!fetcher_) {
      fetcher_ = std::make_unique<net::BatchFetcher>(
          options_.batch,
          [this](std::uint64_t seq, net::RawFetch raw) { OnFetched(seq, std::move(raw)); });
    }
    return *fetcher_;
  }

  template <typename Action>
  void WithFetcher(Action action) {
    std::lock_guard lock(fetcher_mutex_);
    if (fetcher_) action(*fetcher_);
  }

  // On the fetcher's thread: a failure is told at once, a page goes to the
  // pool to be decoded and checked.
  void OnFetched(std::uint64_t seq, net::RawFetch raw) {
    if (!raw.result.ok) {
      const auto [address, could_be_file] = window_.Info(seq);
      PageFacts facts{true, raw.result.status, std::move(raw.result.final_url), {}};
      Done(seq, MakeFailure(facts, WebFailureReason(raw.result, could_be_file, address)), true);
      return;
    }
    auto task = [this, seq, raw = std::move(raw)]() mutable {
      Outcome o;
      try {
        auto [address, could_be_file] = window_.Info(seq);
        Prepared p;
        p.kind = Prepared::Kind::Web;
        p.web = net::decode_fetch(std::move(raw));
        p.could_be_file = could_be_file;
        o = CheckOne(address, std::move(p), stdin_page_, max_bytes_, options_.check);
      } catch (const std::bad_alloc&) {
        o = Failure("out of memory while decoding and checking the page");
      } catch (const std::exception& e) {
        o = Failure(e.what());
      }
      Done(seq, std::move(o), true);
    };
    pool_.Submit(std::move(task));
  }

  // Once their results are in the journal, pages no longer count against
  // what a kill may lose.
  void LeaveFetchGate(std::size_t pages) {
    if (!journal_) return;
    for (std::size_t i = 0; i < pages; ++i) fetch_gate_.Leave();
  }

  // A file or standard input, on the pool; a FIFO or a device on a thread of
  // its own, as it may wait for its writer.
  // `regular`: known to be a regular file, found so by a folder walk.
  void CheckLocal(std::uint64_t seq, const std::string& address, const Source& source,
                  bool regular = false) {
    Prepared p;
    p.kind = source.kind == Source::Kind::Stdin ? Prepared::Kind::Stdin : Prepared::Kind::File;
    p.path = source.path;
    const bool special = p.kind == Prepared::Kind::File && !regular && IsSpecialFile(p.path);
    auto task = [this, seq, address, p = std::move(p)]() mutable {
      Outcome o;
      try {
        o = CheckOne(address, std::move(p), stdin_page_, max_bytes_, options_.check,
                     LocalLimits{options_.batch.fetch.timeout, &stop_});
      } catch (const std::exception& e) {
        o = Failure(e.what());
      }
      Done(seq, std::move(o));
    };
    if (special) {
      side_reads_.Start(std::move(task));
    } else {
      pool_.Submit(std::move(task));
    }
  }

  // One entry of the input: admitted to the window, then sent on. False when
  // the run stopped.
  bool Feed(const InputEntry& entry, std::uint64_t index) {
    if (journal_) {
      if (std::optional<Outcome> held = journal_->Take(index, entry.address)) {
        const auto seq = window_.Admit(entry.address, false, index);
        if (seq) window_.Complete(*seq, std::move(*held));
        return seq.has_value();
      }
    }
    if (!entry.error.empty()) {
      const auto seq = window_.Admit(entry.address, false, index);
      if (seq) Done(*seq, Failure(entry.error));
      return seq.has_value();
    }
    Source source;
    std::string bad;
    if (entry.walked_file) {
      // A folder's pages: the walk saw each is a regular file, and looking
      // each up twice more costs as much as reading it.
      source = Source{Source::Kind::File, entry.address, false};
    } else {
      try {
        source = Classify(entry.address);
      } catch (const std::exception& e) {
        bad = e.what();
      }
    }
    const auto seq = window_.Admit(entry.address, source.could_be_file, index);
    if (!seq) return false;
    if (!bad.empty()) {
      Done(*seq, Failure(bad));
    } else if (source.kind == Source::Kind::Web) {
      if (journal_ && !fetch_gate_.Enter(stop_)) return false;
      Fetcher().Add(*seq, entry.address);
    } else {
      CheckLocal(*seq, entry.address, source, entry.walked_file);
    }
    return true;
  }

  // Whether this run's shard holds the address at `position` (from 1).
  bool InShard(const std::string& address, std::uint64_t position) const {
    if (options_.shards <= 1) return true;
    if (options_.shard_by_hash) return AddressHash(address) % options_.shards == options_.shard - 1;
    return position % options_.shards == options_.shard % options_.shards;
  }

  // An archived page, checked on the pool as a fetched one is.
  bool FeedArchived(ArchiveEntry entry, std::uint64_t index) {
    if (journal_) {
      if (std::optional<Outcome> held = journal_->Take(index, entry.address)) {
        const auto seq = window_.Admit(entry.address, false, index);
        if (seq) window_.Complete(*seq, std::move(*held));
        return seq.has_value();
      }
    }
    const auto seq = window_.Admit(entry.address, false, index);
    if (!seq) return false;
    if (!entry.error.empty()) {
      Done(*seq, Failure(std::move(entry.error)));
      return true;
    }
    if (!archive_gate_.Enter(stop_)) return false;
    pool_.Submit([this, seq = *seq, entry = std::move(entry)]() mutable {
      Outcome o;
      try {
        const std::string address = entry.address;
        net::RawFetch raw = ArchivedFetch(std::move(entry), max_bytes_);
        if (!raw.result.ok) {
          PageFacts facts{true, raw.result.status, raw.result.final_url,
                          raw.result.header("server")};
          o = MakeFailure(facts, WebFailureReason(raw.result, false));
        } else {
          // Header rules read the archived response's headers.
          check::PageOrigin origin{address, true, raw.result.headers};
          check::CheckOptions check_options = options_.check;
          check_options.page = &origin;
          Prepared p;
          p.kind = Prepared::Kind::Web;
          p.web = net::decode_fetch(std::move(raw));
          o = CheckOne(address, std::move(p), stdin_page_, max_bytes_, check_options);
        }
      } catch (const std::bad_alloc&) {
        o = Failure("out of memory while decoding and checking the page");
      } catch (const std::exception& e) {
        o = Failure(e.what());
      }
      archive_gate_.Leave();
      Done(seq, std::move(o));
    });
    return true;
  }

  // The input is read on a thread of its own, as fast as the window admits.
  void StartFeeder() {
    feeder_ = std::thread([this] {
      try {
        InputReader reader(options_.addresses, options_.lists, options_.recursive, &stop_,
                           options_.batch.fetch.timeout);
        std::uint64_t position = 0;
        bool going = true;
        while (std::optional<InputEntry> entry = reader.Next()) {
          ++position;
          if (!InShard(entry->address, position)) continue;
          if (!(going = Feed(*entry, position - 1))) break;
        }
        // Archives come last, each read through once, record by record; their
        // pages go on numbering the input.
        if (going && !options_.archives.empty()) {
          ArchiveInput archives(options_.archives, max_bytes_);
          while (!stop_) {
            std::optional<ArchiveEntry> entry = archives.Next();
            if (!entry) break;
            ++position;
            if (!InShard(entry->address, position)) continue;
            if (!FeedArchived(std::move(*entry), position - 1)) break;
          }
          archive_counts_ = archives.counts();
        }
      } catch (const std::exception& e) {
        if (const auto seq = window_.Admit("-", false)) window_.Complete(*seq, Failure(e.what()));
      }
      window_.InputDone();
      WithFetcher([](net::BatchFetcher& f) { f.Close(); });
    });
  }

  // The journal is written out at most every 200 ms and then synced on its
  // own thread: a crash of the machine loses about that much, a kill of the
  // process nothing that was written, and the printer never waits for the
  // disk. Records still waiting for their batch are written first, so none
  // waits longer than that when pages come slowly. The last sync is waited
  // for when the journal closes, or (`wait`) at once.
  void SyncJournal(bool now, bool wait = false) {
    if (!journal_) return;
    const auto t = Clock::now();
    if (!now && t - last_sync_ < std::chrono::milliseconds(200)) return;
    last_sync_ = t;
    LeaveFetchGate(journal_->Flush());
    if (journal_->failed()) journal_failed_ = true;
    if (wait) {
      journal_->Sync();
    } else {
      journal_->SyncSoon();
    }
  }

  void Print(ReorderWindow::Item& item) {
    if (options_.baseline) options_.baseline->Apply(item.address, item.outcome);
    if (options_.suppressions)
      suppressed_ +=
          options_.suppressions->Apply(item.address, item.outcome, *options_.check.rules);
    const std::string& address = item.address;
    const Outcome& o = item.outcome;
    if (!several_told_) {
      writer_->SetSeveral(window_.Several());
      several_told_ = true;
    }
    SyncJournal(false);
    if (journal_failed_ && !journal_failure_told_) {
      journal_failure_told_ = true;
      Flush();
      WriteError(progress_, "vettrix: cannot write the journal " + Printable(*options_.resume) +
                                ": " + journal_->error() + "; the run goes on without it\n");
    }
    progress_.Clear();
    if (options_.style.for_merge) {
      Outcome indexed = o;
      indexed.index = item.index;
      writer_->Item(buffer_, address, indexed);
    } else {
      writer_->Item(buffer_, address, o);
    }
    // Written in blocks: a write for each of a folder's many pages costs
    // more than their report. A progress line on the terminal is drawn
    // between results, so with it each result goes out at once.
    if (progress_.enabled() || buffer_.size() >= kOutputBlock) Flush();
    ++done_;
    if (!o.ok) {
      ++failed_;
      // What went before it is out first, as where both go to one place.
      Flush();
      WriteError(progress_, "vettrix: " + Printable(address) + ": " + Printable(o.error) + "\n");
    }
    const bool http_error = o.ok && o.web && IsHttpError(o.status);
    if (http_error) ++http_errors_;
    if (OutcomeCountsForStatus(options_, o)) ++matched_;
  }

  // What is printed and not yet written goes out.
  void Flush() {
    if (output_ok_ && !buffer_.empty()) output_ok_ = sink_->Write(buffer_);
    buffer_.clear();
  }

  // Prints results as they complete until the input's end, an interrupt or a
  // write error; true for an interrupt.
  bool PrintAsCompleted() {
    writer_->Begin(buffer_);
    output_ok_ = sink_->Write(buffer_);
    for (;;) {
      ReorderWindow::Item item;
      // What is printed and not written yet waits a little for more to fill
      // its block, and then goes out: a slow page never holds up the results
      // before it for longer than that.
      const bool holding = !buffer_.empty();
      const ReorderWindow::Status status =
          window_.Next(&item, holding ? kHoldOutput : std::chrono::milliseconds(100));
      if (holding && status == ReorderWindow::Status::Timeout) {
        Flush();
        if (!output_ok_) return false;
        continue;
      }
      if (status == ReorderWindow::Status::Item) {
        Print(item);
        if (!output_ok_) return false;
        progress_.Update(done_, failed_, window_.Total());
      } else if (status == ReorderWindow::Status::Timeout) {
        SyncJournal(false);
        progress_.Update(done_, failed_, window_.Total());
      } else {
        Flush();
        return status == ReorderWindow::Status::Stopped;
      }
    }
  }

  // The reader has all it wanted: end as a filter does when its pipe closes.
  RunEnd EndByPipe() {
    sink_->Discard();
    return {128 + SIGPIPE, RunEnd::Way::ByBrokenPipe};
  }

  RunEnd EndInterrupted() {
    // What is complete is still told; a report file is not left half made.
    const int sig = signal_seen_.load() != 0 ? signal_seen_.load() : SIGINT;
    const int status = 128 + sig;
    // What finished before the stop is kept for the next run (the process
    // ends without closing the journal).
    SyncJournal(true, true);
    if (!sink_->is_file()) {
      for (ReorderWindow::Item& item : window_.TakeCompleted()) Print(item);
      writer_->End(buffer_, RunSummary{status, false});
      (void)sink_->Write(buffer_);
    }
    sink_->Discard();
    WriteError(progress_,
               "vettrix: interrupted; " + std::to_string(done_) + " addresses checked\n");
    // Threads may still wait on what an interrupt does not end (standard input
    // that is never closed, a slow file): they are not waited for.
    return {status, RunEnd::Way::AtOnce};
  }

  RunEnd Finish() {
    feeder_.join();
    side_reads_.Wait();
    WithFetcher([](net::BatchFetcher& f) { f.Wait(); });
    pool_.Stop();
    SyncJournal(true);
    if (!output_ok_) {
      sink_->Discard();
      WriteError(progress_, WriteFailure());
      return {kExitFailure};
    }
    // Past a screenful of blocks, what a run came to is easily missed.
    if (window_.Several() && !options_.quiet) {
      RunCounts counts{done_, failed_, http_errors_, {}};
      if (options_.suppressions) counts.suppressed = suppressed_;
      WriteError(progress_, SummaryText(counts));
    }
    if (!options_.archives.empty() && !options_.quiet)
      WriteError(progress_, ArchiveSummaryText(archive_counts_));
    const int status = failed_ > 0 ? kExitFailure : matched_ > 0 ? kExitFindings : kExitClean;
    writer_->End(buffer_, RunSummary{status, true});
    if (!sink_->Write(buffer_) || !sink_->Commit()) {
      if (sink_->broken_pipe() && !options_.output) return EndByPipe();
      sink_->Discard();
      WriteError(progress_, WriteFailure());
      return {kExitFailure};
    }
    return {status};
  }

  const Options& options_;
  const std::uint64_t max_bytes_;
  std::atomic<bool> stop_{false};
  std::atomic<int> signal_seen_{0};
  ReorderWindow window_;
  // Made before any thread of the run, so that all of them have the signals
  // blocked.
  SignalWatch signals_;
  StdinPage stdin_page_;
  // Archived pages read but not yet checked: a few per checking thread.
  InFlightGate archive_gate_{std::size_t{4} * std::max(1u, std::thread::hardware_concurrency())};
  WorkerPool pool_;
  // With a journal, the web addresses handed to the fetcher whose results are
  // not yet in the journal: the pages a kill makes the next run fetch again.
  // At most --jobs + 16 x the checking threads: the transfers in flight and
  // pages waiting to be checked, enough that neither the fetcher nor the pool
  // waits for the other (with 4 a thread, a journaled run of 20,000 loopback
  // pages still took a tenth longer). Once full, the feeder goes on when they
  // are down to --jobs, in steps of 16 a thread rather than a thread switch a
  // page. The gate holds the feeder, never the fetcher's thread: no transfer
  // stops for the pool.
  InFlightGate fetch_gate_{std::size_t{options_.batch.jobs} + std::size_t{16} * pool_.threads(),
                           std::size_t{options_.batch.jobs}};
  // Made after the pool and the window it completes into: ended before them.
  SideThreads side_reads_;
  std::mutex fetcher_mutex_;
  std::unique_ptr<net::BatchFetcher> fetcher_;
  std::thread feeder_;
  ArchiveCounts archive_counts_;  // written by the feeder, read once it is joined

  std::unique_ptr<Journal> journal_;
  static constexpr std::size_t kJournalBatch = 8;
  std::atomic<bool> journal_failed_{false};
  bool journal_failure_told_ = false;  // by the printer, once
  Clock::time_point last_sync_{};

  std::unique_ptr<OutputSink> sink_;
  std::unique_ptr<ReportWriter> writer_ = MakeReportWriter(options_.format, options_.style);
  Progress progress_{!options_.quiet && ::isatty(STDERR_FILENO) == 1};
  // Printed results are written once they fill this much (or before a wait).
  static constexpr std::size_t kOutputBlock = std::size_t{64} << 10;
  static constexpr std::chrono::milliseconds kHoldOutput{10};
  std::string buffer_;
  bool output_ok_ = true;
  bool several_told_ = false;
  std::size_t done_ = 0, failed_ = 0, matched_ = 0, http_errors_ = 0, suppressed_ = 0;
};

}  // namespace

RunEnd RunCheck(const Options& options) {
  // A reader that goes away (`| head`) is noticed as EPIPE on the next write.
  ::signal(SIGPIPE, SIG_IGN);
  auto run = std::make_unique<BatchRun>(options);
  RunEnd end = run->Run();
  // Its threads may be waiting on what nothing ends (the process ends now):
  // it is not taken apart.
  if (end.way != RunEnd::Way::Return) (void)run.release();
  return end;
}

}  // namespace vx::app::cli
