// The tests' loopback web server: a cpp-httplib server on a port of its own
// on 127.0.0.1, served on a thread until the rig goes.
#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace vx::testsupport {

class Listening {
 public:
  explicit Listening(httplib::Server& server) : server_(server) {}
  ~Listening() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  Listening(const Listening&) = delete;
  Listening& operator=(const Listening&) = delete;

  // Call after registering the routes.
  void start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_.is_running()) {
      if (std::chrono::steady_clock::now() > give_up)
        throw std::runtime_error("loopback server did not start");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  int port() const { return port_; }
  std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }

 private:
  httplib::Server& server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace vx::testsupport
