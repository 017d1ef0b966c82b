// The parts of a run over many addresses, each on its own: the window that
// puts results back in input order, the worker pool, the side threads and the
// signal watch.
#include "app/batch_parts.h"
#include "app/cli_warc.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx::app::cli {
namespace {

using namespace std::chrono_literals;

Outcome Done(std::string error) {
  Outcome o;
  o.error = std::move(error);
  return o;
}

std::vector<std::string> Drain(ReorderWindow& w) {
  std::vector<std::string> printed;
  ReorderWindow::Item item;
  while (w.Next(&item, 10ms) == ReorderWindow::Status::Item) printed.push_back(item.outcome.error);
  return printed;
}

TEST(ReorderWindow, PrintsInInputOrderWhateverOrderResultsComeIn) {
  ReorderWindow w(16, true);
  for (const char* a : {"a", "b", "c"}) ASSERT_TRUE(w.Admit(a, false).has_value());
  w.Complete(2, Done("c"));
  w.Complete(1, Done("b"));
  // Nothing before the first is done.
  ReorderWindow::Item item;
  EXPECT_EQ(w.Next(&item, 10ms), ReorderWindow::Status::Timeout);
  w.Complete(0, Done("a"));
  w.Complete(0, Done("a twice"));  // a second completion is ignored
  w.InputDone();
  EXPECT_EQ(Drain(w), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(w.Next(&item, 10ms), ReorderWindow::Status::End);
  EXPECT_EQ(w.Total(), 3u);
  EXPECT_TRUE(w.Several());
}

TEST(ReorderWindow, UnorderedPrintsInCompletionOrder) {
  ReorderWindow w(16, false);
  for (const char* a : {"a", "b", "c"}) ASSERT_TRUE(w.Admit(a, false).has_value());
  w.Complete(2, Done("c"));
  w.Complete(0, Done("a"));
  w.Complete(1, Done("b"));
  w.InputDone();
  EXPECT_EQ(Drain(w), (std::vector<std::string>{"c", "a", "b"}));
}

// A full window holds up the input until a quarter is printed; a stop lets
// a waiting admission go, and what completed is still there, in order.
TEST(ReorderWindow, AFullWindowHoldsUpTheInputAndAStopReleasesIt) {
  ReorderWindow w(4, true);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(w.Admit("x", false).has_value());
  std::promise<std::optional<std::uint64_t>> admitted;
  std::thread input([&] { admitted.set_value(w.Admit("fifth", false)); });
  auto result = admitted.get_future();
  EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
  w.Complete(0, Done("0"));
  ReorderWindow::Item item;
  ASSERT_EQ(w.Next(&item, 1s), ReorderWindow::Status::Item);
  ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(result.get(), 4u);
  input.join();

  w.Complete(3, Done("3"));
  w.Complete(2, Done("2"));
  w.Stop();
  EXPECT_FALSE(w.Admit("late", false).has_value());
  EXPECT_EQ(w.Next(&item, 10ms), ReorderWindow::Status::Stopped);
  const std::vector<ReorderWindow::Item> left = w.TakeCompleted();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].seq, 2u);
  EXPECT_EQ(left[1].seq, 3u);
}

// The printer is woken for results in batches: a printer whose wait would
// run for an hour still gets every result, in order, as results come from
// other threads in any order, the input's end waking it for the last ones.
TEST(ReorderWindow, APrinterWaitingLongIsWokenForEveryResult) {
  constexpr int kResults = 1000;
  ReorderWindow w(64, true);
  std::promise<std::vector<std::string>> printed;
  std::thread printer([&] {
    std::vector<std::string> got;
    ReorderWindow::Item item;
    while (w.Next(&item, 1h) == ReorderWindow::Status::Item) got.push_back(item.outcome.error);
    printed.set_value(std::move(got));
  });
  std::thread input([&] {
    for (int first = 0; first < kResults; first += 8) {
      std::vector<std::uint64_t> seqs;
      for (int i = 0; i < 8; ++i) seqs.push_back(*w.Admit("x", false));
      // Each group completes back to front: only its first makes it ready.
      for (auto it = seqs.rbegin(); it != seqs.rend(); ++it)
        w.Complete(*it, Done(std::to_string(*it)));
    }
    w.InputDone();
  });
  auto result = printed.get_future();
  ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
  input.join();
  printer.join();
  std::vector<std::string> expected;
  for (int i = 0; i < kResults; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(result.get(), expected);

  // The input ended first: its last result, completing alone, wakes it.
  ReorderWindow last(16, true);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(last.Admit("x", false).has_value());
  last.InputDone();
  last.Complete(0, Done("0"));
  ReorderWindow::Item item;
  ASSERT_EQ(last.Next(&item, 1h), ReorderWindow::Status::Item);
  std::promise<std::string> woken;
  std::thread waiting([&] {
    ReorderWindow::Item i1, i2;
    (void)last.Next(&i1, 1h);
    (void)last.Next(&i2, 1h);
    woken.set_value(i1.outcome.error + i2.outcome.error);
  });
  last.Complete(2, Done("2"));
  last.Complete(1, Done("1"));
  auto both = woken.get_future();
  ASSERT_EQ(both.wait_for(60s), std::future_status::ready);
  waiting.join();
  EXPECT_EQ(both.get(), "12");
}

TEST(ReorderWindow, OneAddressIsKnownToBeAloneOnlyAtTheInputsEnd) {
  ReorderWindow w(16, true);
  ASSERT_TRUE(w.Admit("only", false).has_value());
  w.Complete(0, Done("only"));
  ReorderWindow::Item item;
  // The human report's headers depend on whether a second address comes.
  EXPECT_EQ(w.Next(&item, 10ms), ReorderWindow::Status::Timeout);
  w.InputDone();
  EXPECT_EQ(w.Next(&item, 10ms), ReorderWindow::Status::Item);
  EXPECT_FALSE(w.Several());
}

TEST(WorkerPool, RunsEveryTaskAndNoneAfterAStop) {
  std::atomic<int> ran{0};
  {
    WorkerPool pool(2);
    for (int i = 0; i < 100; ++i) pool.Submit([&] { ++ran; });
    while (ran < 100) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(ran, 100);

  WorkerPool pool(1);
  pool.Stop();
  pool.Submit([&] { ++ran; });  // after a stop, nothing runs
  EXPECT_EQ(ran, 100);
}

// A resumed run's feeder hands the fetcher an address only while fewer than
// the gate's limit are unanswered (what a kill may lose), and once full goes on
// only when they are down to the reopening mark; a stop releases it.
TEST(InFlightGate, HoldsAtTheLimitAndReopensAtTheMark) {
  std::atomic<bool> stop{false};
  InFlightGate gate(6, 2);
  std::mutex mutex;
  std::vector<int> inside_at_entry;
  std::atomic<int> inside{0};
  std::thread feeder([&] {
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(gate.Enter(stop));
      std::lock_guard lock(mutex);
      inside_at_entry.push_back(inside++);
    }
  });
  // The taker leaves one at a time, as the checking threads do.
  for (int left = 0; left < 40; ++left) {
    while (inside.load() == 0) std::this_thread::sleep_for(100us);
    std::this_thread::sleep_for(200us);
    --inside;
    gate.Leave();
  }
  feeder.join();
  ASSERT_EQ(inside_at_entry.size(), 40u);
  EXPECT_LE(*std::max_element(inside_at_entry.begin(), inside_at_entry.end()), 5);
  // After the gate filled, the feeder came back with at most 2 inside.
  for (std::size_t k = 6; k < inside_at_entry.size(); ++k) {
    if (inside_at_entry[k - 1] == 5) {
      EXPECT_LE(inside_at_entry[k], 2) << "entry " << k;
    }
  }

  InFlightGate full(1, 0);
  ASSERT_TRUE(full.Enter(stop));
  std::thread waiting([&] { EXPECT_FALSE(full.Enter(stop)); });
  std::this_thread::sleep_for(20ms);
  stop = true;
  waiting.join();  // a hang here fails by the test's time-out
}

TEST(SideThreads, RunAtMostTheLimitAtOnce) {
  std::atomic<int> running{0}, most{0}, done{0};
  SideThreads side(3);
  for (int i = 0; i < 12; ++i) {
    side.Start([&] {
      const int now = ++running;
      for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(5ms);
      --running;
      ++done;
    });
  }
  side.Wait();
  EXPECT_EQ(done, 12);
  EXPECT_LE(most, 3);
}

// SIGTERM to the process reaches the callback on the watch's thread, not the
// test's; the signal mask is what it was once the watch ends.
TEST(SignalWatch, TurnsASignalIntoACall) {
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  std::promise<int> seen;
  {
    SignalWatch watch([&](int sig) { seen.set_value(sig); });
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    auto got = seen.get_future();
    ASSERT_EQ(got.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(got.get(), SIGTERM);
  }
  sigset_t after;
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGTERM), sigismember(&before, SIGTERM));
  EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
}

}  // namespace
}  // namespace vx::app::cli
