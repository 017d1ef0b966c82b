// A loopback web server for the batch benchmark: GET /page/N answers one of
// 512 generated pages of 2 to 30 KB (the same N, the same page), kept in
// memory, uncompressed. Prints its port on standard output, then serves until
// standard input closes; each line read on standard input is answered with
// the number of requests served so far (for the resume benchmark's count). A thread per connection,
// keep-alive, each answer sent with one writev: the server is never what the benchmark waits for.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/app/page_gen.h"

namespace {

std::vector<std::string> pages;
std::vector<std::string> heads;
std::atomic<bool> stopping{false};
std::atomic<std::uint64_t> served{0};

bool SendAll(int fd, const std::string& head, const std::string& body) {
  iovec parts[2] = {{const_cast<char*>(head.data()), head.size()},
                    {const_cast<char*>(body.data()), body.size()}};
  iovec* iov = parts;
  int count = 2;
  while (count > 0) {
    const ssize_t n = ::writev(fd, iov, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    std::size_t left = static_cast<std::size_t>(n);
    while (count > 0 && left >= iov->iov_len) {
      left -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return true;
}

void Serve(int fd) {
  std::string in;
  char buf[16384];
  for (;;) {
    std::size_t end;
    while ((end = in.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        ::close(fd);
        return;
      }
      in.append(buf, static_cast<std::size_t>(n));
    }
    // "GET /page/N HTTP/1.1"
    std::size_t index = 0;
    const std::size_t at = in.find("/page/");
    if (at != std::string::npos && at < end)
      index = std::strtoull(in.c_str() + at + 6, nullptr, 10);
    in.erase(0, end + 4);
    ++served;
    const std::size_t k = index % pages.size();
    if (!SendAll(fd, heads[k], pages[k])) {
      ::close(fd);
      return;
    }
  }
}

}  // namespace

int main() {
  for (std::uint32_t i = 0; i < 512; ++i) {
    // Sizes spread over 2..30 KB without a pattern that lines up with N.
    const std::size_t bytes = 2048 + (i * 2654435761u) % (28 * 1024);
    pages.push_back(vx::bench::MakePage(bytes, i + 1));
    heads.push_back(
        "HTTP/1.1 200 OK\r\nServer: bench-page-server\r\n"
        "Content-Type: text/html; charset=utf-8\r\nContent-Length: " +
        std::to_string(pages.back().size()) + "\r\n\r\n");
  }
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 4096) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("bench_page_server");
    return 1;
  }
  std::printf("%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);
  std::thread stopper([] {
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
      if (c != '\n') continue;
      std::printf("%llu\n", static_cast<unsigned long long>(served.load()));
      std::fflush(stdout);
    }
    stopping = true;
  });
  while (!stopping) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::thread(Serve, fd).detach();
  }
  stopper.join();
  return 0;
}
