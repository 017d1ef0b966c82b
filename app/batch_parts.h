// The parts a run over many addresses is made of, each with one job: the
// window that puts results back in input order, the threads that check pages,
// the threads for pages that may wait for a writer, and the watch that turns
// Ctrl+C into an orderly stop.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/cli_report.h"

namespace vx::app::cli {

// The addresses between input and output: admitted in input order, completed
// in any order, printed in input order (or completion order). At most
// `capacity` are admitted and not yet printed, so a slow first page holds up
// the input rather than filling memory.
class ReorderWindow {
 public:
  ReorderWindow(std::size_t capacity, bool ordered) : capacity_(capacity), ordered_(ordered) {}

  // Blocks while the window is full; nullopt once stopped.
  // `index`: the address's position in the whole input, shards' skipped
  // ones included.
  std::optional<std::uint64_t> Admit(std::string address, bool could_be_file,
                                     std::uint64_t index = 0) {
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
    slots_.emplace(seq, Slot{std::move(address), could_be_file, index, std::nullopt});
    if (admitted_ == 2) changed_.notify_all();  // "several" is known
    return seq;
  }

  std::pair<std::string, bool> Info(std::uint64_t seq) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(seq);
    if (it == slots_.end()) return {};
    return {it->second.address, it->second.could_be_file};
  }

  // The address and its position in the whole input.
  std::pair<std::string, std::uint64_t> AddressAndIndex(std::uint64_t seq) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(seq);
    if (it == slots_.end()) return {};
    return {it->second.address, it->second.index};
  }

  void Complete(std::uint64_t seq, Outcome outcome) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(seq);
    if (it == slots_.end() || it->second.outcome) return;
    it->second.outcome = std::move(outcome);
    bool wake = false;
    if (ordered_) {
      // The printer waits for the next in order, and is woken for results in
      // batches: a wake-up for each of a folder's small pages costs as much
      // as printing it. Results that come slowly are woken for at once, and
      // the printer looks itself at least every time its wait ends.
      if (seq == ready_end_) {
        for (;;) {
          const auto next = slots_.find(ready_end_);
          if (next == slots_.end() || !next->second.outcome) break;
          ++ready_end_;
        }
      }
      const std::uint64_t ready = ready_end_ - printed_;
      if (ready > 0) {
        const auto now = std::chrono::steady_clock::now();
        wake = ready >= kWakeBatch || (input_done_ && ready_end_ == admitted_) ||
               now - last_wake_ >= kWakeAfter;
        if (wake) last_wake_ = now;
      }
    } else {
      // The printer waits for any at all.
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
    std::uint64_t index = 0;
  };
  enum class Status { Item, Timeout, End, Stopped };

  // The next result to print, waiting at most `wait` for it.
  Status Next(Item* item, std::chrono::steady_clock::duration wait) {
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
    item->index = it->second.index;
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
      if (slot.outcome)
        items.push_back({seq, std::move(slot.address), std::move(*slot.outcome), slot.index});
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
    std::uint64_t index = 0;
    std::optional<Outcome> outcome;
  };

  std::size_t LowWater() const { return capacity_ - std::max<std::size_t>(1, capacity_ / 4); }

  // In input order, the printer is woken once this many results are ready
  // for it, or once the last wake-up is this old.
  static constexpr std::uint64_t kWakeBatch = 32;
  static constexpr std::chrono::milliseconds kWakeAfter{2};

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
  // The first result from printed_ on that is not complete yet: those before
  // it are ready to print.
  std::uint64_t ready_end_ = 0;
  std::chrono::steady_clock::time_point last_wake_{};
  unsigned admit_waiting_ = 0;
  bool input_done_ = false;
  bool stopped_ = false;
};

// Threads for decoding and checking pages.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned threads) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.emplace_back([this] { Work(); });
  }
  ~WorkerPool() { Stop(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

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

  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

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
class SideThreads {
 public:
  explicit SideThreads(unsigned limit) : limit_(limit) {}
  ~SideThreads() { Wait(); }
  SideThreads(const SideThreads&) = delete;
  SideThreads& operator=(const SideThreads&) = delete;

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

}  // namespace vx::app::cli
