#include "platform/files/file_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/base/seconds_text.h"

namespace vx::files {
namespace {}  // namespace

std::string KindName(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "not a file";
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Fail(ReadFailure failure, std::string error) {
  failure_ = failure;
  error_ = std::move(error);
  return false;
}

bool InputFile::Open(const std::string& path, bool regular_only) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  failure_ = ReadFailure::None;
  error_.clear();
  if (regular_only) {
    // Refused before it is opened: opening a device can have effects of its own.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      if (S_ISDIR(st.st_mode)) return Fail(ReadFailure::Folder, "is a folder, not a file");
      return Fail(ReadFailure::NotRegular, "not a regular file (" + KindName(st.st_mode) + ")");
    }
  }
  // Non-blocking: a FIFO without a writer opens at once rather than waiting
  // for one.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) {
    const int err = errno;
    struct stat st {};
    if (err == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      return Fail(regular_only ? ReadFailure::NotRegular : ReadFailure::Open,
                  "not a regular file (a socket)");
    }
    return Fail(ReadFailure::Open, std::strerror(err));
  }
  if (::fstat(fd_, &stat_) != 0) return Fail(ReadFailure::Open, std::strerror(errno));
  if (S_ISDIR(stat_.st_mode)) return Fail(ReadFailure::Folder, "is a folder, not a file");
  if (regular_only && !S_ISREG(stat_.st_mode)) {
    // Swapped in between the check and the open.
    return Fail(ReadFailure::NotRegular, "not a regular file (" + KindName(stat_.st_mode) + ")");
  }
  // O_NONBLOCK stays: it has no effect on a regular file's reads (ReadAll
  // clears it should a file system say otherwise), and two more system
  // calls for each of a folder's many pages add up.
  return true;
}

bool InputFile::ReadAll(std::string& out, const ReadLimits& limits) {
  out.clear();
  if (fd_ < 0) return Fail(ReadFailure::Read, "the file is not open");
  const bool wait = !S_ISREG(stat_.st_mode);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limits.timeout;
  char buffer[1 << 16];
  for (;;) {
    if (wait) {
      // Read only once poll says so: a FIFO that never had a writer reads
      // as its end, which it is not yet.
      for (;;) {
        if (limits.cancel != nullptr && limits.cancel->load()) {
          return Fail(ReadFailure::Cancelled, "cancelled");
        }
        int slice = 100;
        if (limits.timeout.count() > 0) {
          const auto left =
              std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
          if (left.count() <= 0) {
            return Fail(ReadFailure::TimedOut, "timed out after " + SecondsText(limits.timeout) +
                                                   " reading " + KindName(stat_.st_mode));
          }
          slice = static_cast<int>(std::min<long long>(slice, left.count()));
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, slice);
        if (ready < 0 && errno != EINTR) return Fail(ReadFailure::Read, std::strerror(errno));
        if (ready > 0) break;
      }
    }
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EAGAIN && !wait) {
        // A regular file that says "try again" after all: read it blocking.
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0)
          return Fail(ReadFailure::Read, std::strerror(errno));
        continue;
      }
      if (errno == EINTR || errno == EAGAIN) continue;
      return Fail(ReadFailure::Read, std::strerror(errno));
    }
    if (n == 0) return true;
    if (out.size() + static_cast<std::size_t>(n) > limits.max_bytes) {
      out.clear();
      return Fail(ReadFailure::TooLarge,
                  "larger than the limit of " + std::to_string(limits.max_bytes) + " bytes");
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ReadLocalFile(const std::string& path, std::string& out, const ReadLimits& limits,
                   bool regular_only, std::string* error, ReadFailure* failure) {
  InputFile file;
  const bool ok = file.Open(path, regular_only) && file.ReadAll(out, limits);
  if (failure != nullptr) *failure = file.failure();
  if (!ok && error != nullptr) *error = file.error();
  return ok;
}

}  // namespace vx::files
