#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/fetch/fetch.h"

namespace vx::net {

struct BatchOptions {
  // Applied to every transfer, as fetch() applies them; `cancel` is not used
  // (see BatchFetcher::Cancel).
  FetchOptions fetch;
  // Transfers in flight at once, over all hosts.
  unsigned jobs = 16;
  // Transfers in flight at once to one host (scheme, name and port of the
  // address as given; redirects are not counted again).
  unsigned per_host = 4;
  // Requests started per second over all hosts, retries included; 0 is no limit.
  double rate = 0;
  // Further attempts after a connection failure or a 429 or 503 answer.
  unsigned retries = 0;
  // The wait before the first retry; it doubles with each further one.
  std::chrono::milliseconds first_backoff{1000};
  // The longest wait before a retry, also for what a server's Retry-After asks.
  std::chrono::milliseconds max_backoff{600000};
};

// Fetches many addresses at once. One thread of its own drives every transfer
// through a single event loop (connections are reused; HTTP/2 servers get
// several transfers over one connection); each address gets the answer
// fetch() would give it, apart from the retries. Results come undecoded, so
// the caller can decode them on threads of its own.
class BatchFetcher {
 public:
  // Called on the fetcher's thread once for each address added, in the order
  // the transfers finish. It should return quickly: no transfer moves while it
  // runs. Not called any more once Cancel() has been called. When it throws
  // (out of memory, say), it is called for that address again with a failure
  // that tells why, until it takes one: no address goes unanswered.
  using Done = std::function<void(std::uint64_t id, RawFetch raw)>;

  BatchFetcher(BatchOptions options, Done done);
  // Cancels what is left and waits for the thread.
  ~BatchFetcher();
  BatchFetcher(const BatchFetcher&) = delete;
  BatchFetcher& operator=(const BatchFetcher&) = delete;

  // Queues an address; any thread, never blocks. Ignored after Close().
  void Add(std::uint64_t id, std::string address);
  // No more addresses will come: the thread ends after the last one is done.
  void Close();
  // Stops: transfers in flight are abandoned, queued addresses dropped.
  void Cancel();
  // Waits until the thread has ended (after Close() and the last result, or
  // after Cancel()).
  void Wait();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx::net
