// The batch fetcher: one thread, one libcurl multi handle, every transfer.
#include "platform/fetch/batch.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <mutex>
#include <queue>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/fetch/transfer.h"

namespace vx::net {
namespace {

using Clock = std::chrono::steady_clock;

struct Job {
  std::uint64_t id = 0;
  std::string address;
  unsigned attempt = 0;
  std::string host;  // filled in when it is first considered
  bool host_known = false;
};

struct Delayed {
  Clock::time_point due;
  std::uint64_t order = 0;  // keeps equal times first come, first served
  Job job;
  bool operator>(const Delayed& o) const { return due != o.due ? due > o.due : order > o.order; }
};

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return std::string("the batch fetcher failed: ") + e.what();
  } catch (...) {
    return "the batch fetcher failed";
  }
}

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
  Clock::time_point next_start = Clock::time_point::min();
  std::thread thread;

  void Wake() { curl_multi_wakeup(multi.get()); }

  void Report(Job& job, RawFetch raw) {
    {
      std::lock_guard lock(mutex);
      if (cancelled) return;
    }
    done(job.id, std::move(raw));
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
      if (!job.host_known) {
        const detail::Target target = detail::TargetFor(job.address);
        job.host = target.error.empty() ? detail::HostKey(target.url) : std::string();
        job.host_known = true;
      }
      unsigned& on_host = host_active[job.host];
      if (on_host >= options.per_host) {
        blocked[job.host].push_back(std::move(job));
        continue;
      }
      detail::EasyHandle reuse;
      if (!spare.empty()) {
        reuse = std::move(spare.back());
        spare.pop_back();
      }
      auto transfer =
          std::make_unique<detail::Transfer>(job.address, options.fetch, std::move(reuse));
      if (!transfer->Easy()) {
        Report(job, transfer->Finish(CURLE_OK));
        continue;
      }
      CURL* easy = transfer->Easy();
      if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        RawFetch raw;
        raw.result.error = "could not start a transfer";
        Report(job, std::move(raw));
        continue;
      }
      ++on_host;
      active.emplace(easy, Active{std::move(job), std::move(transfer)});
      if (options.rate > 0) {
        next_start =
            std::max(next_start, now) + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(1.0 / options.rate));
      }
    }
    return Clock::time_point::max();
  }

  void Finished(CURL* easy, CURLcode code) {
    auto it = active.find(easy);
    if (it == active.end()) return;
    Active a = std::move(it->second);
    active.erase(it);
    curl_multi_remove_handle(multi.get(), easy);
    RawFetch raw = a.transfer->Finish(code);
    // The handle serves the next transfer: setting one up anew costs less.
    if (spare.size() < options.jobs) spare.push_back(a.transfer->ReleaseHandle());
    a.transfer.reset();

    unsigned& on_host = host_active[a.job.host];
    if (on_host > 0) --on_host;
    if (auto waiting = blocked.find(a.job.host); waiting != blocked.end()) {
      ready.push_front(std::move(waiting->second.front()));
      waiting->second.pop_front();
      if (waiting->second.empty()) blocked.erase(waiting);
    } else if (on_host == 0) {
      host_active.erase(a.job.host);
    }

    std::int64_t retry_after_ms = -1;
    if (a.job.attempt < options.retries && detail::Retryable(code, raw, &retry_after_ms)) {
      const auto wait = retry_after_ms >= 0 ? std::min(std::chrono::milliseconds(retry_after_ms),
                                                       options.max_backoff)
                                            : Backoff(a.job.attempt);
      ++a.job.attempt;
      delayed.push(Delayed{Clock::now() + wait, delayed_order++, std::move(a.job)});
      return;
    }
    Report(a.job, std::move(raw));
  }

  bool Idle() const {
    return ready.empty() && blocked.empty() && delayed.empty() && active.empty();
  }

  void Loop() {
    for (;;) {
      bool closed_now = false;
      {
        std::lock_guard lock(mutex);
        if (cancelled) return;
        for (Job& job : incoming) ready.push_back(std::move(job));
        incoming.clear();
        closed_now = closed;
      }
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
        if (incoming.empty()) return;
        continue;
      }
      if (!ready.empty() && active.size() < options.jobs &&
          next_start_due == Clock::time_point::max())
        continue;  // finished transfers freed slots: start more at once

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
      if (wait_ms > 0) curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait_ms), nullptr);
    }
  }

  void Run() {
    std::exception_ptr error;
    try {
      Loop();
    } catch (...) {
      error = std::current_exception();
    }
    // Transfers leave the multi handle before their easy handles go.
    for (auto& [easy, a] : active) curl_multi_remove_handle(multi.get(), easy);
    if (error) {
      // Whatever was left still gets an answer.
      const std::string why = ErrorText(error);
      auto fail = [&](Job& job) {
        RawFetch raw;
        raw.result.error = why;
        try {
          Report(job, std::move(raw));
        } catch (...) {
        }
      };
      for (auto& [easy, a] : active) fail(a.job);
      for (Job& job : ready) fail(job);
      for (auto& [host, jobs] : blocked)
        for (Job& job : jobs) fail(job);
      while (!delayed.empty()) {
        fail(const_cast<Delayed&>(delayed.top()).job);
        delayed.pop();
      }
      std::vector<Job> late;
      {
        std::lock_guard lock(mutex);
        late.swap(incoming);
      }
      for (Job& job : late) fail(job);
    }
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
