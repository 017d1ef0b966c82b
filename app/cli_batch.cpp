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

#include "app/cli_input.h"
#include "app/cli_output.h"
#include "app/cli_report.h"
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
    // Everything but a mapped file comes out of the page decoder.
    if (!page.Borrowed()) page.MarkValidUtf8();
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
  // The engine reads UTF-8: a page the decoder did not make (a mapped file)
  // is read the project's one way when it is not.
  std::string repaired;
  std::string_view text = page.View();
  if (!page.KnownValidUtf8() && !text::IsValidUtf8(text)) {
    repaired = text::ToValidUtf8(text);
    text = repaired;
  }
  Outcome out = MakeOutcome(facts, text, check::Check(text, check_options));
  // A mapped file that shrank meanwhile: its text was not the file's.
  if (fetcher.failed()) return MakeFailure(facts, fetcher.error());
  return out;
}

Outcome Failure(std::string error) {
  Outcome o;
  o.error = std::move(error);
  return o;
}

// The addresses between input and output: admitted in input order, completed
// in any order, printed in input order (or completion order). At most
// `capacity` are admitted and not yet printed, so a slow first page holds up
// the input rather than filling memory.
class Window {
 public:
  Window(std::size_t capacity, bool ordered) : capacity_(capacity), ordered_(ordered) {}

  // Blocks while the window is full; nullopt once stopped.
  std::optional<std::uint64_t> Admit(std::string address, bool could_be_file) {
    std::unique_lock lock(mutex_);
    if (slots_.size() >= capacity_) {
      // Once full, wait until a quarter is free: the input goes on in steps
      // rather than one address per printed result.
      ++admit_waiting_;
      space_.wait(lock, [&] { return stopped_ || slots_.size() <= LowWater(); });
      --admit_waiting_;
    }
    if (stopped_) return std::nullopt;
    const std::uint64_t seq = admitted_++;
    slots_.emplace(seq, Slot{std::move(address), could_be_file, std::nullopt});
    if (admitted_ == 2) changed_.notify_all();  // "several" is known
    return seq;
  }

  std::pair<std::string, bool> Info(std::uint64_t seq) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(seq);
    if (it == slots_.end()) return {};
    return {it->second.address, it->second.could_be_file};
  }

  void Complete(std::uint64_t seq, Outcome outcome) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(seq);
    if (it == slots_.end() || it->second.outcome) return;
    it->second.outcome = std::move(outcome);
    // The printer waits only for the next in order (or for any at all).
    bool wake = seq == printed_;
    if (!ordered_) {
      wake = done_order_.empty();
      done_order_.push_back(seq);
    }
    if (wake) changed_.notify_all();
  }

  void InputDone() {
    std::lock_guard lock(mutex_);
    input_done_ = true;
    changed_.notify_all();
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
    space_.notify_all();
  }

  struct Item {
    std::uint64_t seq = 0;
    std::string address;
    Outcome outcome;
  };
  enum class Status { Item, Timeout, End, Stopped };

  // The next result to print, waiting at most `wait` for it.
  Status Next(Item* item, Clock::duration wait) {
    std::unique_lock lock(mutex_);
    Status status = Status::Timeout;
    changed_.wait_for(lock, wait, [&] {
      status = Poll();
      return status != Status::Timeout;
    });
    if (status != Status::Item) return status;
    const std::uint64_t seq = ordered_ ? printed_ : done_order_.front();
    if (!ordered_) done_order_.pop_front();
    auto it = slots_.find(seq);
    item->seq = seq;
    item->address = std::move(it->second.address);
    item->outcome = std::move(*it->second.outcome);
    slots_.erase(it);
    ++printed_;
    if (admit_waiting_ > 0 && slots_.size() <= LowWater()) space_.notify_one();
    return Status::Item;
  }

  // After a stop: every completed result not yet printed, in input order.
  std::vector<Item> TakeCompleted() {
    std::lock_guard lock(mutex_);
    std::vector<Item> items;
    for (auto& [seq, slot] : slots_) {
      if (slot.outcome) items.push_back({seq, std::move(slot.address), std::move(*slot.outcome)});
    }
    slots_.clear();
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.seq < b.seq; });
    return items;
  }

  bool Several() {
    std::lock_guard lock(mutex_);
    return admitted_ >= 2;
  }
  std::optional<std::size_t> Total() {
    std::lock_guard lock(mutex_);
    return input_done_ ? std::optional<std::size_t>(admitted_) : std::nullopt;
  }

 private:
  struct Slot {
    std::string address;
    bool could_be_file = false;
    std::optional<Outcome> outcome;
  };

  std::size_t LowWater() const { return capacity_ - std::max<std::size_t>(1, capacity_ / 4); }

  Status Poll() const {
    if (stopped_) return Status::Stopped;
    if (input_done_ && printed_ == admitted_) return Status::End;
    // Whether more than one address is checked decides the human format's
    // headers: known once a second one came or the input ended.
    if (!input_done_ && admitted_ < 2) return Status::Timeout;
    if (ordered_) {
      const auto it = slots_.find(printed_);
      return it != slots_.end() && it->second.outcome ? Status::Item : Status::Timeout;
    }
    return done_order_.empty() ? Status::Timeout : Status::Item;
  }

  const std::size_t capacity_;
  const bool ordered_;
  std::mutex mutex_;
  std::condition_variable space_;
  std::condition_variable changed_;
  std::unordered_map<std::uint64_t, Slot> slots_;
  std::deque<std::uint64_t> done_order_;
  std::uint64_t admitted_ = 0;
  std::uint64_t printed_ = 0;
  unsigned admit_waiting_ = 0;
  bool input_done_ = false;
  bool stopped_ = false;
};

// Threads for decoding and checking pages.
class Pool {
 public:
  explicit Pool(unsigned threads) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.emplace_back([this] { Work(); });
  }
  ~Pool() { Stop(); }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  void Submit(std::function<void()> task) {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) return;
      tasks_.push_back(std::move(task));
      wake = idle_ > 0;
    }
    // A busy worker takes the task when it is done: waking costs a switch.
    if (wake) wake_.notify_one();
  }

  // Drops what has not started and waits for the rest.
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      tasks_.clear();
    }
    wake_.notify_all();
    for (auto& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        ++idle_;
        wake_.wait(lock, [&] { return stopped_ || !tasks_.empty(); });
        --idle_;
        if (stopped_) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  unsigned idle_ = 0;
  bool stopped_ = false;
  std::vector<std::thread> threads_;
};

// Threads for the pages that are FIFOs or devices: such a page may wait up
// to the time-out for its writer, and must not hold a thread of the pool
// meanwhile. At most `limit` run at once; more wait for one to end.
class SideReads {
 public:
  explicit SideReads(unsigned limit) : limit_(limit) {}
  ~SideReads() { Wait(); }
  SideReads(const SideReads&) = delete;
  SideReads& operator=(const SideReads&) = delete;

  void Start(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return running_ < limit_; });
    ++running_;
    std::thread([this, task = std::move(task)] {
      task();
      std::lock_guard done(mutex_);
      --running_;
      changed_.notify_all();
    }).detach();
  }

  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return running_ == 0; });
  }

 private:
  const unsigned limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  unsigned running_ = 0;
};

// Whether a local page is a FIFO, a device or a socket.
bool IsSpecialFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// Turns SIGINT and SIGTERM into a call on a thread of its own. Made before
// any other thread, so that every thread started later has them blocked.
class SignalWatch {
 public:
  explicit SignalWatch(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    wait_set_ = set_;
    sigaddset(&wait_set_, SIGUSR1);  // only ever sent by the destructor
    pthread_sigmask(SIG_BLOCK, &wait_set_, &old_);
    thread_ = std::thread([this] { Watch(); });
  }
  ~SignalWatch() {
    stop_ = true;
    // Wakes the wait at once.
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  void Watch() {
    const timespec tick{0, 100'000'000};
    while (!stop_) {
      const int sig = sigtimedwait(&wait_set_, nullptr, &tick);
      if (sig <= 0 || sig == SIGUSR1) continue;
      on_signal_(sig);
      // A second Ctrl+C ends the program at once.
      pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    }
  }

  std::function<void(int)> on_signal_;
  sigset_t set_{};
  sigset_t wait_set_{};
  sigset_t old_{};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Whether a finding counts for status 1.
bool Counts(const Options& options, const Finding& f) {
  return !options.fail_on || (*options.fail_on)[f.rule];
}

}  // namespace

int RunCheck(const Options& options) {
  // A reader that goes away (`| head`) is noticed as EPIPE on the next write.
  ::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<OutputSink> sink;
  if (options.output) {
    std::string why;
    sink = OutputSink::ToFile(*options.output, &why);
    if (!sink) {
      Progress none(false);
      WriteError(none, "vettrix: cannot write " + Printable(*options.output) + ": " + why + "\n");
      return kExitFailure;
    }
    if (const std::string note = sink->note(); !note.empty()) {
      Progress none(false);
      WriteError(none, "vettrix: note: " + Printable(*options.output) + ": " + note + "\n");
    }
  } else {
    sink = OutputSink::Stdout();
  }
  // A write error names the file it failed on; standard output is "the output".
  auto write_failure = [&] {
    return "vettrix: cannot write " +
           (options.output ? Printable(*options.output) + ": " + sink->error()
                           : "the output (" + sink->error() + ")") +
           "\n";
  };

  const std::size_t capacity = std::max<std::size_t>(1024, std::size_t{16} * options.batch.jobs);
  Window window(capacity, !options.unordered);
  std::atomic<bool> stop{false};
  std::atomic<int> signal_seen{0};
  SignalWatch signals([&](int sig) {
    signal_seen = sig;
    stop = true;
    window.Stop();
  });

  const std::uint64_t max_bytes = options.batch.fetch.max_bytes;
  StdinPage stdin_page(max_bytes);
  Pool pool(std::max(1u, std::thread::hardware_concurrency()));
  // Made after the pool and the window it completes into: ended before them.
  SideReads side_reads(64);
  // Made when the first web address comes: a run over files alone never
  // starts libcurl (whose set-up is a good part of checking one small file).
  auto on_fetched = [&](std::uint64_t seq, net::RawFetch raw) {
    if (!raw.result.ok) {
      // Nothing to decode or check: told at once, what CheckOne would tell.
      Outcome o;
      o.web = true;
      o.status = raw.result.status;
      o.final_address = std::move(raw.result.final_url);
      const auto [address, could_be_file] = window.Info(seq);
      o.error = WebFailureReason(raw.result, could_be_file, address);
      window.Complete(seq, std::move(o));
      return;
    }
    pool.Submit([&, seq, raw = std::move(raw)]() mutable {
      Outcome o;
      try {
        auto [address, could_be_file] = window.Info(seq);
        Prepared p;
        p.kind = Prepared::Kind::Web;
        p.web = net::decode_fetch(std::move(raw));
        p.could_be_file = could_be_file;
        o = CheckOne(address, std::move(p), stdin_page, max_bytes, options.check);
      } catch (const std::bad_alloc&) {
        o = Failure("out of memory while decoding and checking the page");
      } catch (const std::exception& e) {
        o = Failure(e.what());
      }
      window.Complete(seq, std::move(o));
    });
  };

  std::mutex fetcher_mutex;
  std::unique_ptr<net::BatchFetcher> fetcher;
  auto web = [&]() -> net::BatchFetcher& {
    std::lock_guard lock(fetcher_mutex);
    if (!fetcher) fetcher = std::make_unique<net::BatchFetcher>(options.batch, on_fetched);
    return *fetcher;
  };
  auto fetcher_do = [&](auto action) {
    std::lock_guard lock(fetcher_mutex);
    if (fetcher) action(*fetcher);
  };

  std::thread feeder([&] {
    try {
      InputReader reader(options.addresses, options.lists, options.recursive, &stop,
                         options.batch.fetch.timeout);
      std::uint64_t position = 0;
      while (std::optional<InputEntry> entry = reader.Next()) {
        ++position;
        if (options.shards > 1 && position % options.shards != options.shard % options.shards)
          continue;
        if (!entry->error.empty()) {
          const auto seq = window.Admit(entry->address, false);
          if (!seq) break;
          window.Complete(*seq, Failure(entry->error));
          continue;
        }
        Source source;
        std::string bad;
        try {
          source = Classify(entry->address);
        } catch (const std::exception& e) {
          bad = e.what();
        }
        const auto seq = window.Admit(entry->address, source.could_be_file);
        if (!seq) break;
        if (!bad.empty()) {
          window.Complete(*seq, Failure(bad));
        } else if (source.kind == Source::Kind::Web) {
          web().Add(*seq, entry->address);
        } else {
          Prepared p;
          p.kind =
              source.kind == Source::Kind::Stdin ? Prepared::Kind::Stdin : Prepared::Kind::File;
          p.path = source.path;
          const bool special = p.kind == Prepared::Kind::File && IsSpecialFile(p.path);
          auto task = [&, seq = *seq, address = entry->address, p = std::move(p)]() mutable {
            Outcome o;
            try {
              o = CheckOne(address, std::move(p), stdin_page, max_bytes, options.check,
                           LocalLimits{options.batch.fetch.timeout, &stop});
            } catch (const std::exception& e) {
              o = Failure(e.what());
            }
            window.Complete(seq, std::move(o));
          };
          if (special) {
            side_reads.Start(std::move(task));
          } else {
            pool.Submit(std::move(task));
          }
        }
      }
    } catch (const std::exception& e) {
      if (const auto seq = window.Admit("-", false)) window.Complete(*seq, Failure(e.what()));
    }
    window.InputDone();
    fetcher_do([](net::BatchFetcher& f) { f.Close(); });
  });

  std::unique_ptr<ReportWriter> writer = MakeReportWriter(options.format, options.style);
  Progress progress(!options.quiet && ::isatty(STDERR_FILENO) == 1);
  std::string buffer;
  writer->Begin(buffer);
  bool output_ok = sink->Write(buffer);
  bool several_told = false;
  std::size_t done = 0, failed = 0, matched = 0, http_errors = 0;

  auto print = [&](const std::string& address, const Outcome& o) {
    if (!several_told) {
      writer->SetSeveral(window.Several());
      several_told = true;
    }
    progress.Clear();
    writer->Item(buffer, address, o);
    if (output_ok) output_ok = sink->Write(buffer);
    buffer.clear();
    ++done;
    if (!o.ok) {
      ++failed;
      WriteError(progress, "vettrix: " + Printable(address) + ": " + Printable(o.error) + "\n");
    }
    if (o.ok && o.web && IsHttpError(o.status)) ++http_errors;
    if (std::any_of(o.findings.begin(), o.findings.end(),
                    [&](const Finding& f) { return Counts(options, f); }) ||
        (options.fail_on_http_error && o.ok && o.web && IsHttpError(o.status)))
      ++matched;
  };

  bool interrupted = false;
  for (;;) {
    Window::Item item;
    const Window::Status status = window.Next(&item, std::chrono::milliseconds(100));
    if (status == Window::Status::Item) {
      print(item.address, item.outcome);
      if (!output_ok) break;
      progress.Update(done, failed, window.Total());
    } else if (status == Window::Status::Timeout) {
      progress.Update(done, failed, window.Total());
    } else {
      interrupted = status == Window::Status::Stopped;
      break;
    }
  }

  // Whatever ended the loop, the other threads stop now.
  const bool finished = output_ok && !interrupted;
  if (!finished) {
    stop = true;
    window.Stop();
    fetcher_do([](net::BatchFetcher& f) { f.Cancel(); });
  }
  progress.Clear();

  // The reader has all it wanted: end as a filter does when its pipe closes.
  auto end_by_pipe = [&] {
    sink->Discard();
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe_set;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe_set, nullptr);
    ::raise(SIGPIPE);
    return 128 + SIGPIPE;
  };
  // A FIFO named by -o whose reader left is a write error like any other:
  // told by its name, with a failure status.
  if (sink->broken_pipe() && !options.output) return end_by_pipe();

  if (interrupted) {
    // What is complete is still told; a report file is not left half made.
    if (!sink->is_file()) {
      for (const Window::Item& item : window.TakeCompleted()) print(item.address, item.outcome);
    }
    const int sig = signal_seen.load() != 0 ? signal_seen.load() : SIGINT;
    const int status = 128 + sig;
    if (!sink->is_file()) {
      writer->End(buffer, RunSummary{status, false});
      (void)sink->Write(buffer);
    }
    sink->Discard();
    WriteError(progress, "vettrix: interrupted; " + std::to_string(done) + " addresses checked\n");
    // Threads may still wait on what an interrupt does not end (standard input
    // that is never closed, a slow file): they are not waited for.
    std::_Exit(status);
  }

  feeder.join();
  side_reads.Wait();
  fetcher_do([](net::BatchFetcher& f) { f.Wait(); });
  pool.Stop();
  if (!output_ok) {
    sink->Discard();
    WriteError(progress, write_failure());
    return kExitFailure;
  }

  // Past a screenful of blocks, what a run came to is easily missed.
  if (window.Several() && !options.quiet) {
    WriteError(progress, SummaryText(RunCounts{done, failed, http_errors}));
  }
  const int status = failed > 0 ? kExitFailure : matched > 0 ? kExitFindings : kExitClean;
  writer->End(buffer, RunSummary{status, true});
  if (!sink->Write(buffer) || !sink->Commit()) {
    if (sink->broken_pipe() && !options.output) return end_by_pipe();
    sink->Discard();
    WriteError(progress, write_failure());
    return kExitFailure;
  }
  return status;
}

}  // namespace vx::app::cli
