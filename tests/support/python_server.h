#pragma once

// A loopback server written in Python and run as a process of its own, for
// misbehaviour no C++ server library produces. The script prints the port it
// listens on as its first line of output, then serves until it is killed.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx::support {

class PythonServer {
 public:
  PythonServer(const std::string& python, const std::string& script,
               std::vector<std::string> args = {}) {
    if (::access(python.c_str(), X_OK) != 0)
      throw std::runtime_error(python + " is missing: install python3 (scripts/deps.sh)");
    if (::access(script.c_str(), R_OK) != 0) throw std::runtime_error(script + " is missing");
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("cannot make a pipe");
    std::vector<std::string> words = {python, script};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      // A test that crashes leaves no server behind (holding its output open).
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
      ::close(out[0]);
      throw std::runtime_error("cannot start " + script);
    }
    // The first line is the port; a script that fails says nothing and ends.
    std::string line;
    char c = 0;
    for (ssize_t n; (n = ::read(out[0], &c, 1)) != 0 && c != '\n';) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      line += c;
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
      Stop();
      throw std::runtime_error(script + " did not start (it printed \"" + line + "\")");
    }
  }
  ~PythonServer() { Stop(); }
  PythonServer(const PythonServer&) = delete;
  PythonServer& operator=(const PythonServer&) = delete;

  int port() const { return port_; }

 private:
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  pid_t pid_ = 0;
  int port_ = 0;
};

}  // namespace vx::support
