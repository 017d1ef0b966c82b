// The batch fetcher: one thread, one libcurl multi handle, every transfer.
#include "platform/fetch/batch.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <mutex>
#include <queue>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/fetch/transfer.h"

namespace vx::net {
namespace {

using Clock = std::chrono::steady_clock;

// How soon a failure the handler threw on is handed over again.
constexpr long kHandAgainMs = 100;

struct Job {
  std::uint64_t id = 0;
  std::string address;
  unsigned attempt = 0;
  std::string host;  // filled in when it is first considered
  bool host_known = false;
};

// The reason `error` fails an address; "out of memory" (short enough to need
// no allocation) when even the words do not fit.
std::string Reason(const std::exception_ptr& error, std::string_view doing) noexcept {
  try {
    return detail::FailureText(error, doing);
  } catch (...) {
    return std::string("out of memory");
  }
}

struct Delayed {
  Clock::time_point due;
  std::uint64_t order = 0;  // keeps equal times first come, first served
  Job job;
  bool operator>(const Delayed& o) const { return due != o.due ? due > o.due : order > o.order; }
};

}  // namespace

struct BatchFetcher::Impl {
  Impl(BatchOptions o, Done d) : options(std::move(o)), done(std::move(d)) {
    detail::GlobalInit();
    options.jobs = std::max(1u, options.jobs);
    options.per_host = std::max(1u, options.per_host);
    multi.reset(curl_multi_init());
    if (!multi) throw std::runtime_error("could not start the batch fetcher");
    curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, static_cast<long>(options.jobs) * 2);
    thread = std::thread([this] { Run(); });
  }

  // Shared with other threads, under `mutex`.
  std::mutex mutex;
  std::vector<Job> incoming;
  bool closed = false;
  bool cancelled = false;

  // The driver thread's own.
  BatchOptions options;
  Done done;
  detail::MultiHandle multi;
  std::deque<Job> ready;
  std::unordered_map<std::string, std::deque<Job>> blocked;  // by host, waiting for a slot
  std::unordered_map<std::string, unsigned> host_active;
  std::priority_queue<Delayed, std::vector<Delayed>, std::greater<>> delayed;
  std::uint64_t delayed_order = 0;
  struct Active {
    Job job;
    std::unique_ptr<detail::Transfer> transfer;
  };
  std::unordered_map<CURL*, Active> active;
  std::vector<detail::EasyHandle> spare;
  // Failures the handler threw on when they were handed over: handed over
  // again on later turns, so that no address goes unanswered.
  std::deque<std::pair<std::uint64_t, std::string>> unreported;
  Clock::time_point next_start = Clock::time_point::min();
  std::thread thread;

  void Wake() { curl_multi_wakeup(multi.get()); }

  bool Cancelled() {
    std::lock_guard lock(mutex);
    return cancelled;
  }

  // Hands a result to the handler. A handler that throws (out of memory, most
  // likely) gets the address's failure instead, now or on a later turn.
  void Report(std::uint64_t id, RawFetch raw) {
    if (Cancelled()) return;
    std::string why;
    try {
      done(id, std::move(raw));
      return;
    } catch (...) {
      why = Reason(std::current_exception(), "handling the response");
    }
    if (!Hand(id, why)) unreported.emplace_back(id, std::move(why));
  }

  // A failure to the handler; false when the handler threw again.
  bool Hand(std::uint64_t id, const std::string& why) {
    try {
      RawFetch raw;
      raw.result.error = why;
      done(id, std::move(raw));
      return true;
    } catch (...) {
      return false;
    }
  }

  void ReportFailure(std::uint64_t id, const std::exception_ptr& error, std::string_view doing) {
    RawFetch raw;
    raw.result.error = Reason(error, doing);
    Report(id, std::move(raw));
  }

  void HandUnreported() {
    while (!unreported.empty() && !Cancelled()) {
      if (!Hand(unreported.front().first, unreported.front().second)) return;
      unreported.pop_front();
    }
  }

  std::chrono::milliseconds Backoff(unsigned attempt) const {
    const double ms = static_cast<double>(options.first_backoff.count()) *
                      std::pow(2.0, static_cast<double>(attempt));
    return std::chrono::milliseconds(
        static_cast<std::int64_t>(std::min(ms, static_cast<double>(options.max_backoff.count()))));
  }

  // Starts what the limits allow; returns when the next start may be due, or
  // Clock::time_point::max() when nothing waits for a start.
  Clock::time_point StartTransfers() {
    while (active.size() < options.jobs && !ready.empty()) {
      const auto now = Clock::now();
      if (options.rate > 0 && now < next_start) return next_start;
      Job job = std::move(ready.front());
      ready.pop_front();
      const std::uint64_t id = job.id;
      try {
        StartOne(std::move(job), now);
      } catch (...) {
        ReportFailure(id, std::current_exception(), "starting the transfer");
      }
    }
    return Clock::time_point::max();
  }

  void StartOne(Job job, Clock::time_point now) {
    if (!job.host_known) {
      const detail::Target target = detail::TargetFor(job.address);
      job.host = target.error.empty() ? detail::HostKey(target.url) : std::string();
      job.host_known = true;
    }
    unsigned& on_host = host_active[job.host];
    if (on_host >= options.per_host) {
      blocked[job.host].push_back(std::move(job));
      return;
    }
    detail::EasyHandle reuse;
    if (!spare.empty()) {
      reuse = std::move(spare.back());
      spare.pop_back();
    }
    auto transfer =
        std::make_unique<detail::Transfer>(job.address, options.fetch, std::move(reuse));
    if (!transfer->Easy()) {
      Report(job.id, transfer->Finish(CURLE_OK));
      return;
    }
    CURL* easy = transfer->Easy();
    const std::uint64_t id = job.id;
    // In the active set before libcurl has it: a handle libcurl runs is
    // always one that Finished will find.
    const auto slot = active.emplace(easy, Active{std::move(job), std::move(transfer)}).first;
    if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
      active.erase(slot);
      RawFetch raw;
      raw.result.error = "could not start a transfer";
      Report(id, std::move(raw));
      return;
    }
    ++on_host;
    if (options.rate > 0) {
      next_start =
          std::max(next_start, now) + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(1.0 / options.rate));
    }
  }

  void Finished(CURL* easy, CURLcode code) {
    auto it = active.find(easy);
    if (it == active.end()) return;
    curl_multi_remove_handle(multi.get(), easy);
    Active a = std::move(it->second);
    active.erase(it);
    // Whatever goes wrong from here on, the address still gets its answer.
    RawFetch raw;
    try {
      raw = a.transfer->Finish(code);
    } catch (...) {
      raw = RawFetch{};
      raw.result.error = Reason(std::current_exception(), "reading the response");
    }
    // The handle serves the next transfer: setting one up anew costs less.
    try {
      if (spare.size() < options.jobs) spare.push_back(a.transfer->ReleaseHandle());
    } catch (...) {
      // Not kept: the next transfer makes one of its own.
    }
    a.transfer.reset();

    try {
      unsigned& on_host = host_active[a.job.host];
      if (on_host > 0) --on_host;
      if (auto waiting = blocked.find(a.job.host); waiting != blocked.end()) {
        ready.push_front(std::move(waiting->second.front()));
        waiting->second.pop_front();
        if (waiting->second.empty()) blocked.erase(waiting);
      } else if (on_host == 0) {
        host_active.erase(a.job.host);
      }
    } catch (...) {
      // The slots no longer add up: this address is answered, and the turn's
      // failure answers every other in hand.
      Report(a.job.id, std::move(raw));
      throw;
    }

    std::int64_t retry_after_ms = -1;
    if (a.job.attempt < options.retries && detail::Retryable(code, raw, &retry_after_ms)) {
      const auto wait = retry_after_ms >= 0 ? std::min(std::chrono::milliseconds(retry_after_ms),
                                                       options.max_backoff)
                                            : Backoff(a.job.attempt);
      ++a.job.attempt;
      const std::uint64_t id = a.job.id;
      try {
        delayed.push(Delayed{Clock::now() + wait, delayed_order++, std::move(a.job)});
        return;
      } catch (...) {
        // No retry, then: this attempt's answer is the address's.
        Report(id, std::move(raw));
        return;
      }
    }
    Report(a.job.id, std::move(raw));
  }

  bool Idle() const {
    return ready.empty() && blocked.empty() && delayed.empty() && active.empty() &&
           unreported.empty();
  }

  // One turn of the event loop; false once the thread is to end.
  bool Turn() {
    bool closed_now = false;
    std::vector<Job> arrived;
    {
      std::lock_guard lock(mutex);
      if (cancelled) return false;
      arrived.swap(incoming);
      closed_now = closed;
    }
    for (Job& job : arrived) {
      const std::uint64_t id = job.id;
      try {
        ready.push_back(std::move(job));  // left as it was when it throws
      } catch (...) {
        ReportFailure(id, std::current_exception(), "queueing the address");
      }
    }
    HandUnreported();
    const auto now = Clock::now();
    while (!delayed.empty() && delayed.top().due <= now) {
      // A retry goes before addresses not tried yet.
      ready.push_front(std::move(const_cast<Delayed&>(delayed.top()).job));
      delayed.pop();
    }
    const Clock::time_point next_start_due = StartTransfers();

    int running = 0;
    curl_multi_perform(multi.get(), &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
      if (msg->msg == CURLMSG_DONE) Finished(msg->easy_handle, msg->data.result);
    }
    if (closed_now && Idle()) {
      std::lock_guard lock(mutex);
      return !incoming.empty();
    }
    if (!ready.empty() && active.size() < options.jobs &&
        next_start_due == Clock::time_point::max())
      return true;  // finished transfers freed slots: start more at once

    long wait_ms = 1000;
    long curl_ms = -1;
    curl_multi_timeout(multi.get(), &curl_ms);
    if (curl_ms >= 0) wait_ms = std::min(wait_ms, curl_ms);
    auto until = [&](Clock::time_point t) {
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
      return std::max<long>(0, static_cast<long>(std::min<std::int64_t>(ms, 1000)));
    };
    if (!delayed.empty()) wait_ms = std::min(wait_ms, until(delayed.top().due));
    if (next_start_due != Clock::time_point::max())
      wait_ms = std::min(wait_ms, until(next_start_due));
    if (!unreported.empty()) wait_ms = std::min(wait_ms, kHandAgainMs);
    if (wait_ms > 0) curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait_ms), nullptr);
    return true;
  }

  // After a failure no one address can be blamed for: every address in hand
  // fails with it, and the thread goes on with those that come later.
  void FailEverything(const std::exception_ptr& error) {
    const std::string why = Reason(error, "running the batch fetcher");
    std::vector<std::uint64_t> ids;
    for (auto& [easy, a] : active) {
      curl_multi_remove_handle(multi.get(), easy);
      ids.push_back(a.job.id);
    }
    active.clear();
    for (const Job& job : ready) ids.push_back(job.id);
    ready.clear();
    for (const auto& [host, jobs] : blocked)
      for (const Job& job : jobs) ids.push_back(job.id);
    blocked.clear();
    host_active.clear();
    while (!delayed.empty()) {
      ids.push_back(delayed.top().job.id);
      delayed.pop();
    }
    for (const std::uint64_t id : ids) {
      if (!Cancelled() && !Hand(id, why)) unreported.emplace_back(id, why);
    }
  }

  void Run() {
    for (;;) {
      try {
        if (!Turn()) break;
      } catch (...) {
        try {
          FailEverything(std::current_exception());
        } catch (...) {
          // Even that ran out: what is left stays in hand for the next turn.
        }
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(kHandAgainMs), nullptr);
      }
    }
    // Transfers leave the multi handle before their easy handles go.
    for (auto& [easy, a] : active) curl_multi_remove_handle(multi.get(), easy);
    active.clear();
  }
};

BatchFetcher::BatchFetcher(BatchOptions options, Done done)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(done))) {}

BatchFetcher::~BatchFetcher() {
  Cancel();
  Wait();
}

void BatchFetcher::Add(std::uint64_t id, std::string address) {
  bool wake = false;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->closed || impl_->cancelled) return;
    Job job;
    job.id = id;
    job.address = std::move(address);
    // The thread takes everything queued at once: one wake-up is enough.
    wake = impl_->incoming.empty();
    impl_->incoming.push_back(std::move(job));
  }
  if (wake) impl_->Wake();
}

void BatchFetcher::Close() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->closed = true;
  }
  impl_->Wake();
}

void BatchFetcher::Cancel() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->cancelled = true;
  }
  impl_->Wake();
}

void BatchFetcher::Wait() {
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace vx::net
