#include "app/cli_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vx::app::cli {
namespace {

// Writes everything; false with errno set when a write fails.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string Clock(std::chrono::seconds s) {
  const long long total = s.count();
  char buf[32];
  if (total >= 3600) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
  }
  return buf;
}

}  // namespace

std::unique_ptr<OutputSink> OutputSink::Stdout() {
  return std::unique_ptr<OutputSink>(new OutputSink(nullptr));
}

std::unique_ptr<OutputSink> OutputSink::ToFile(const std::string& path, std::string* error) {
  std::unique_ptr<files::FileWriter> file = files::FileWriter::Open(path, error);
  if (!file) return nullptr;
  return std::unique_ptr<OutputSink>(new OutputSink(std::move(file)));
}

OutputSink::~OutputSink() {
  Discard();
}

bool OutputSink::broken_pipe() const {
  return file_ ? file_->broken_pipe() : broken_pipe_;
}

const std::string& OutputSink::error() const {
  return file_ ? file_->error() : error_;
}

bool OutputSink::Write(std::string& data) {
  if (file_) {
    const bool ok = file_->Write(data);
    data.clear();
    return ok;
  }
  if (!error_.empty()) {
    data.clear();
    return false;
  }
  const bool ok = WriteAll(STDOUT_FILENO, data.data(), data.size());
  data.clear();
  if (!ok) {
    broken_pipe_ = errno == EPIPE;
    error_ = std::strerror(errno);
  }
  return ok;
}

bool OutputSink::Commit() {
  return file_ ? file_->Commit() : error_.empty();
}

void OutputSink::Discard() {
  if (file_) file_->Discard();
}

Progress::Progress(bool enabled)
    : enabled_(enabled), start_(std::chrono::steady_clock::now()), last_draw_(start_) {}

std::string Progress::Line(std::size_t done, std::size_t failed, std::optional<std::size_t> total,
                           std::chrono::steady_clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  // Appended piece by piece: GCC 12 at -O3 takes `"x" + std::to_string(n)` for
  // an overlapping copy (-Wrestrict).
  std::string line = "vettrix: ";
  line.append(std::to_string(done));
  if (total) line.append("/").append(std::to_string(*total));
  line += " pages";
  char buf[64];
  std::snprintf(buf, sizeof buf, "  %.1f/s", rate);
  line += buf;
  line += "  " + std::to_string(failed) + " failed";
  line += "  " + Clock(std::chrono::duration_cast<std::chrono::seconds>(elapsed)) + " elapsed";
  if (total && rate > 0 && *total >= done) {
    const auto left = static_cast<long long>(static_cast<double>(*total - done) / rate + 0.5);
    line += "  " + Clock(std::chrono::seconds(left)) + " left";
  }
  return line;
}

void Progress::Update(std::size_t done, std::size_t failed, std::optional<std::size_t> total) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  std::string line = Line(done, failed, total, now - start_);
  // A line wider than the terminal would wrap, and "\r" would then erase
  // only its last part.
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && line.size() >= ws.ws_col) {
    line.resize(ws.ws_col - 1);
  }
  const std::string out = "\r" + line + "\x1b[K";
  shown_ = WriteAll(STDERR_FILENO, out.data(), out.size());
}

void Progress::Clear() {
  if (!enabled_ || !shown_) return;
  shown_ = false;
  constexpr char kErase[] = "\r\x1b[K";
  (void)WriteAll(STDERR_FILENO, kErase, sizeof kErase - 1);
}

void WriteError(Progress& progress, const std::string& message) {
  progress.Clear();
  (void)WriteAll(STDERR_FILENO, message.data(), message.size());
}

}  // namespace vx::app::cli
