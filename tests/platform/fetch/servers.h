// Loopback servers for the fetch tests: cpp-httplib for well-behaved HTTP, a
// raw socket server for the misbehaviour httplib cannot produce.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "tests/support/gzip.h"
#include "tests/support/loopback_server.h"
#include "tests/support/tls_certificate.h"

namespace vx::net::fixtures {

using Listening = vx::testsupport::Listening;

class HttpServer {
 public:
  httplib::Server server;

  void start() { listening_.start(); }
  std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
  }
  int port() const { return listening_.port(); }

 private:
  Listening listening_{server};
};

// https on loopback with a certificate of its own (ca_file() names it for the
// client to trust).
class HttpsServer {
 public:
  HttpsServer() {
    if (!server.is_valid()) throw std::runtime_error("the TLS server refused its certificate");
  }

  void start() { listening_.start(); }
  std::string url(std::string_view path) const {
    return "https://127.0.0.1:" + std::to_string(listening_.port()) + std::string(path);
  }
  std::string ca_file() const { return certificate_.cert(); }

 private:
  support::LoopbackCertificate certificate_;

 public:
  httplib::SSLServer server{certificate_.cert().c_str(), certificate_.key().c_str()};

 private:
  Listening listening_{server};
};

// Accepts connections one at a time; reads the request head, then hands the
// socket to the handler and closes it afterwards.
class RawServer {
 public:
  using Handler = std::function<void(RawServer&, int fd)>;

  explicit RawServer(Handler handler) : handler_(std::move(handler)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listen_fd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 8) != 0)
      throw std::runtime_error("bind/listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { loop(); });
  }
  ~RawServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_fd_);
  }

  std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  bool stopping() const { return stop_; }
  // The request head of the last connection, as read.
  std::string last_head() const {
    std::lock_guard lock(head_mutex_);
    return last_head_;
  }

  static bool send_all(int fd, std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Ends the connection with a reset rather than an orderly close.
  static void reset(int fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }

 private:
  void loop() {
    while (!stop_) {
      pollfd p{listen_fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos && !stop_) {
        pollfd q{fd, POLLIN, 0};
        if (::poll(&q, 1, 20) <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard lock(head_mutex_);
        last_head_ = head;
      }
      if (head.find("\r\n\r\n") != std::string::npos) handler_(*this, fd);
      ::close(fd);
    }
  }

  Handler handler_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex head_mutex_;
  std::string last_head_;
  std::thread thread_;
};

inline std::string gzip(std::string_view data) {
  return vx::support::Deflate(data, 16 + MAX_WBITS, Z_BEST_COMPRESSION);
}

}  // namespace vx::net::fixtures
