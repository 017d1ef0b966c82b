#include "platform/files/file_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vx::files {
namespace {

// As many links as the kernel follows before it says ELOOP.
constexpr int kMaxLinks = 40;

// "dir/" of "dir/name", "" for a bare name.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A descriptor named by a path: /dev/stdout is our standard output, whatever
// it is (a file the shell opened for appending, a pipe, a terminal), so it is
// written through the descriptor itself, its offset and flags shared.
int OwnDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), self}) {
    if (!path.starts_with(prefix)) continue;
    const std::string digits = path.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    return std::stoi(digits);
  }
  return -1;
}

std::string ReadLink(const std::string& path, int* err) {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) {
      *err = errno;
      return {};
    }
    if (static_cast<std::size_t>(n) < buf.size())
      return std::string(buf.data(), static_cast<std::size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

// A fresh name beside `target`, created with `mode` (less the umask); -1
// with errno set when the folder takes no new file.
int CreateTemp(const std::string& target, mode_t mode, std::string* temp) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[8];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
      for (unsigned char& r : random) r = static_cast<unsigned char>(::rand());
    }
    // Hidden, beside the final name: the rename stays on one file system.
    std::string name = FolderOf(target) + "." + BaseOf(target) + ".partial-";
    for (unsigned char r : random) name += kDigits[r % 36];
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) {
      *temp = std::move(name);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

bool FileWriter::Fail(int err) {
  broken_pipe_ = err == EPIPE;
  error_ = std::strerror(err);
  return false;
}

std::unique_ptr<FileWriter> FileWriter::Open(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error = "no file name";
    return nullptr;
  }
  if (path.ends_with('/')) {
    *error = "names a folder, not a file";
    return nullptr;
  }
  std::unique_ptr<FileWriter> w(new FileWriter);
  auto system_error = [&](int err) {
    *error = std::strerror(err);
    return nullptr;
  };
  // A link is followed the way the kernel would, so that its target, not the
  // link, is what gets replaced.
  std::string name = path;
  struct stat st {};
  bool exists = false;
  for (int hops = 0;; ++hops) {
    if (const int own = OwnDescriptor(name); own >= 0) {
      w->fd_ = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
      if (w->fd_ < 0) return system_error(errno);
      if (::fstat(w->fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "is a folder";
        return nullptr;
      }
      w->target_ = name;
      return w;
    }
    // Anything else of /proc is no file to replace: written through.
    if (name.starts_with("/proc/")) break;
    if (::lstat(name.c_str(), &st) != 0) {
      if (errno != ENOENT) return system_error(errno);
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      break;
    }
    if (hops == kMaxLinks) return system_error(ELOOP);
    int err = 0;
    std::string link = ReadLink(name, &err);
    if (err != 0) return system_error(err);
    name = link.starts_with('/') ? link : FolderOf(name) + link;
  }
  w->target_ = name;

  if (exists && S_ISDIR(st.st_mode)) {
    *error = "is a folder";
    return nullptr;
  }
  if (name.starts_with("/proc/") || (exists && !S_ISREG(st.st_mode))) {
    // A device or a FIFO stays what it is; the open waits for a FIFO's
    // reader as the shell's redirection does.
    w->fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (w->fd_ < 0) return system_error(errno);
    return w;
  }

  // The copy is private until it has the old file's owner and mode.
  w->fd_ = CreateTemp(name, exists ? 0600 : 0666, &w->temp_);
  w->in_place_ = w->fd_ < 0;
  if (w->fd_ < 0) {
    const int err = errno;
    if (exists && (err == EACCES || err == EPERM || err == EROFS)) {
      // The user may write the file but not its folder: rather than refuse,
      // the file is rewritten where it is.
      w->fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
      if (w->fd_ >= 0) {
        w->truncate_ = true;
        const std::string folder = FolderOf(name).empty() ? std::string(".") : FolderOf(name);
        w->note_ = "no temporary file can be made in " + folder + " (" + std::strerror(err) +
                   "), so the file is rewritten in place: a run that fails leaves it incomplete";
        return w;
      }
    }
    return system_error(err);
  }
  if (exists) {
    // Owner first: changing it clears set-id bits the mode then restores.
    if (::fchown(w->fd_, st.st_uid, st.st_gid) != 0)
      (void)::fchown(w->fd_, static_cast<uid_t>(-1), st.st_gid);
    (void)::fchmod(w->fd_, st.st_mode & 07777);
  }
  return w;
}

FileWriter::~FileWriter() {
  Discard();
}

bool FileWriter::Write(std::string_view data) {
  if (!error_.empty()) return false;
  if (fd_ < 0) {
    error_ = "the file is closed";
    return false;
  }
  if (truncate_) {
    if (::ftruncate(fd_, 0) != 0) return Fail(errno);
    truncate_ = false;
  }
  while (!data.empty()) {
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        // A descriptor shared with a non-blocking reader of ours.
        pollfd p{fd_, POLLOUT, 0};
        (void)::poll(&p, 1, -1);
        continue;
      }
      return Fail(errno);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool FileWriter::Commit() {
  if (committed_) return true;
  if (!error_.empty() || fd_ < 0) return false;
  if (truncate_ && ::ftruncate(fd_, 0) != 0) return Fail(errno);
  truncate_ = false;
  // Pipes, terminals and most devices cannot be synced.
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
    return Fail(errno);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
  if (!temp_.empty()) {
    // What took the name meanwhile is not replaced unless it is a file too.
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      error_ = "it stopped being a regular file while it was written; left as it is";
      return false;
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail(errno);
    temp_.clear();
    // The rename itself reaches the disk with the folder.
    const std::string folder = FolderOf(target_).empty() ? std::string(".") : FolderOf(target_);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      (void)::fsync(dir);
      ::close(dir);
    }
  }
  committed_ = true;
  return true;
}

void FileWriter::Discard() {
  if (committed_) return;
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
  if (error_.empty()) error_ = "discarded";
}

bool WriteWholeFile(const std::string& path, std::string_view data, std::string* error,
                    std::string* note) {
  std::string why;
  std::unique_ptr<FileWriter> w = FileWriter::Open(path, &why);
  if (!w) {
    if (error != nullptr) *error = why;
    return false;
  }
  if (note != nullptr) *note = w->note();
  if (!w->Write(data) || !w->Commit()) {
    if (error != nullptr) *error = w->error();
    w->Discard();
    return false;
  }
  return true;
}

}  // namespace vx::files
