// An HTTP/2 server over TLS on loopback: nghttpd (Debian package
// nghttp2-server) serving the files of a folder, with its log kept so a test
// can count the connections it took.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/tls_certificate.h"

extern char** environ;

namespace vx::net::fixtures {

class H2Server {
 public:
  // Serves `files` (name -> content) at /NAME.
  explicit H2Server(const std::map<std::string, std::string>& files) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vettrix-h2-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder");
    dir_ = pattern;
    std::filesystem::create_directory(dir_ / "www");
    for (const auto& [name, content] : files) std::ofstream(dir_ / "www" / name) << content;
    // A port that was free a moment ago; another taker in between is
    // unlikely, and shows as nghttpd ending at once.
    for (int attempt = 0; attempt < 3 && pid_ <= 0; ++attempt) Launch(FreePort());
    if (pid_ <= 0)
      throw std::runtime_error("nghttpd ended at once: " + support::ReadFile(dir_ / "log"));
  }
  ~H2Server() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  H2Server(const H2Server&) = delete;
  H2Server& operator=(const H2Server&) = delete;

  std::string url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string ca_file() const { return certificate_.cert(); }
  std::string log() const { return support::ReadFile(dir_ / "log"); }
  // Connections that have carried requests so far (the start-up probe's
  // carried none).
  std::size_t connections() const {
    const std::string text = log();
    static const std::regex kSession(R"(\[id=(\d+)\] \[[ .0-9]+\] recv HEADERS)");
    std::set<std::string> ids;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kSession);
         it != std::sregex_iterator(); ++it) {
      ids.insert((*it)[1]);
    }
    return ids.size();
  }

 private:
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("cannot find a free loopback port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
  }

  static bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
  }

  void Launch(int port) {
    const std::string program = "/usr/sbin/nghttpd";
    if (::access(program.c_str(), X_OK) != 0) {
      throw std::runtime_error(program +
                               " is missing: install the Debian package nghttp2-server "
                               "(scripts/deps.sh)");
    }
    const std::string log = (dir_ / "log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args = {program,
                                     "--verbose",
                                     "--address=127.0.0.1",
                                     "--htdocs=" + (dir_ / "www").string(),
                                     std::to_string(port),
                                     certificate_.key(),
                                     certificate_.cert()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Accepts(port)) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) return;  // ended: the port was taken
      if (std::chrono::steady_clock::now() > give_up) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("nghttpd did not start: " + support::ReadFile(log));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = pid;
    port_ = port;
  }

  support::LoopbackCertificate certificate_;
  std::filesystem::path dir_;
  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace vx::net::fixtures
