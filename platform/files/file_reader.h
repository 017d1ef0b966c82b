// The one way the project opens and reads a local file the user named.
// Neither the open nor a read ever waits unbounded: a FIFO is opened without
// waiting for a writer, and what is not a regular file (a FIFO, a terminal,
// a device) is read with a time-out and can be cancelled; a reader that
// wants a regular file alone (a picture) refuses anything else at once.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

namespace vx::files {

struct ReadLimits {
  std::uint64_t max_bytes = std::numeric_limits<std::uint64_t>::max();
  // How long the whole read of what is not a regular file may take; zero
  // waits as long as it takes (a regular file is always read to its end).
  std::chrono::milliseconds timeout{0};
  // Turning true gives a wait for data up within a tenth of a second.
  const std::atomic<bool>* cancel = nullptr;
};

enum class ReadFailure {
  None,
  Open,        // missing, not permitted, ...
  Folder,      // "is a folder, not a file"
  NotRegular,  // refused: "not a regular file (a FIFO)"
  TooLarge,    // more than max_bytes
  TimedOut,
  Cancelled,
  Read,  // a read failed
};

// "a FIFO", "a socket", "a character device", ...
std::string KindName(mode_t mode);

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading; with `regular_only` anything but a regular
  // file is refused. False with failure() and error() set.
  [[nodiscard]] bool Open(const std::string& path, bool regular_only = false);
  // Reads from the current offset to the end into `out` (replacing it).
  [[nodiscard]] bool ReadAll(std::string& out, const ReadLimits& limits);

  int fd() const { return fd_; }
  bool regular() const { return S_ISREG(stat_.st_mode); }
  // A regular file's size when opened; a hint only, as files change.
  std::uint64_t size() const { return static_cast<std::uint64_t>(stat_.st_size); }
  const struct stat& status() const { return stat_; }

  ReadFailure failure() const { return failure_; }
  // The reason alone, without the file's name.
  const std::string& error() const { return error_; }

 private:
  bool Fail(ReadFailure failure, std::string error);

  int fd_ = -1;
  struct stat stat_ {};
  ReadFailure failure_ = ReadFailure::None;
  std::string error_;
};

// Open and ReadAll in one; `*failure`, when given, tells what went wrong.
[[nodiscard]] bool ReadLocalFile(const std::string& path, std::string& out,
                                 const ReadLimits& limits, bool regular_only, std::string* error,
                                 ReadFailure* failure = nullptr);

}  // namespace vx::files
