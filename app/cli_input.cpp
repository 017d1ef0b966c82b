#include "app/cli_input.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/base/ascii.h"
#include "platform/fetch/fetch.h"

namespace vx::app::cli {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%41" becomes "A"; a '%' not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// Path of a file: URL ("file:///p", "file://localhost/p", "file:/p").
std::string FileUrlPath(const std::string& url) {
  std::string_view rest = std::string_view(url).substr(5);  // after "file:"
  // A query or fragment is not part of the file's name.
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !ascii::EqualsNoCase(host, "localhost")) {
      throw std::runtime_error("file URL names another host (\"" + std::string(host) +
                               "\"); only local files can be read");
    }
    rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
  }
  std::string path = PercentDecode(rest);
  if (path.find('\0') != std::string::npos) {
    throw std::runtime_error("file URL decodes to a name with a NUL byte");
  }
  if (path.empty()) throw std::runtime_error("file URL names no file");
  return path;
}

std::runtime_error SystemError(const char* what, int err) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(err));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Asks for huge pages on the whole pages inside [p, p + n) not yet touched.
void AdviseHugePages(char* p, std::size_t n) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (n < 2 * kHuge) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) / page * page;
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + n) / page * page;
  // Only advice: without huge pages everything works the same, just slower.
  (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

std::runtime_error TooLarge(std::uint64_t max_bytes) {
  return std::runtime_error("larger than the limit of " + std::to_string(max_bytes) +
                            " bytes (see --max-bytes)");
}

}  // namespace

Source Classify(const std::string& address) {
  if (address == "-") return {Source::Kind::Stdin, {}, false};
  if (ascii::StartsWithNoCase(address, "file:"))
    return {Source::Kind::File, FileUrlPath(address), false};
  struct stat st {};
  // A folder is no page: "example.com" stays an address even where a folder
  // has that name.
  if (address.find("://") == std::string::npos && ::stat(address.c_str(), &st) == 0 &&
      !S_ISDIR(st.st_mode)) {
    return {Source::Kind::File, address, false};
  }
  if (address.starts_with("/") || address.starts_with("./") || address.starts_with("../")) {
    return {Source::Kind::File, address, false};
  }
  const bool schemeless = address.find("://") == std::string::npos;
  return {Source::Kind::Web, {}, schemeless};
}

std::string ReadAllBytes(int fd, std::uint64_t max_bytes) {
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError("cannot read", errno);
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > max_bytes) throw TooLarge(max_bytes);
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::string ReadFileText(const std::string& path, std::uint64_t max_bytes) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw SystemError("cannot open file", errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw SystemError("cannot read file", errno);
  if (S_ISDIR(st.st_mode)) throw std::runtime_error("is a directory, not a file");
  // Pipes and devices have no size to trust: read them to their end.
  if (!S_ISREG(st.st_mode)) return net::decode_body_owned(ReadAllBytes(fd.get(), max_bytes));
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > max_bytes) throw TooLarge(max_bytes);
  // Read straight into the buffer that becomes the page text: a page that is
  // valid UTF-8 is never copied. Huge pages spare the kernel most of the page
  // faults of filling a large buffer.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  AdviseHugePages(bytes.data(), static_cast<std::size_t>(size));
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError("cannot read file", errno);
    }
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  // The size was only a hint: files of /proc report 0, and a file may grow
  // while it is read. The rest is read to the end.
  if (got == size) {
    std::string rest = ReadAllBytes(fd.get(), max_bytes - size);
    if (!rest.empty()) bytes += rest;
  }
  return net::decode_body_owned(std::move(bytes));
}

}  // namespace vx::app::cli
