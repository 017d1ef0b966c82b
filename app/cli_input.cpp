#include "app/cli_input.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/base/ascii.h"
#include "platform/base/seconds_text.h"
#include "platform/fetch/fetch.h"
#include "platform/files/file_reader.h"

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

// Files at least this large are read through a mapping rather than read().
constexpr std::uint64_t kMapAtLeast = std::uint64_t{1} << 20;

// The mappings alive now, for the SIGBUS handler: a fixed table of atomics,
// as the handler may neither lock nor allocate.
struct LiveMapping {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool>* damaged = nullptr;  // written before begin is published
};
constexpr std::size_t kLiveMappings = 64;
LiveMapping live_mappings[kLiveMappings];
std::mutex live_mappings_mutex;  // for claiming and freeing slots
struct sigaction previous_sigbus {};

// A file that shrinks under its mapping makes the pages past its new end fault
// with SIGBUS. Those pages are replaced by zero pages, so the reader goes on
// and ends as usual, and the mapping remembers that its bytes are not the
// file's.
void OnSigbus(int sig, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  for (LiveMapping& m : live_mappings) {
    const std::uintptr_t begin = m.begin.load(std::memory_order_acquire);
    const std::uintptr_t end = m.end.load(std::memory_order_acquire);
    if (begin == 0 || at < begin || at >= end) continue;
    const std::uintptr_t from = at / page * page;
    void* zero = ::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zero == MAP_FAILED) break;
    m.damaged->store(true, std::memory_order_relaxed);
    return;
  }
  // Not ours: whatever handled SIGBUS before handles it.
  if (previous_sigbus.sa_flags & SA_SIGINFO) {
    previous_sigbus.sa_sigaction(sig, info, context);
    return;
  }
  if (previous_sigbus.sa_handler != SIG_DFL && previous_sigbus.sa_handler != SIG_IGN) {
    previous_sigbus.sa_handler(sig);
    return;
  }
  ::signal(SIGBUS, SIG_DFL);
  ::raise(SIGBUS);
}

}  // namespace

std::shared_ptr<const FileMapping> FileMapping::Map(int fd, std::size_t size) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_sigaction = &OnSigbus;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previous_sigbus);
  });
  if (size == 0) return nullptr;
  std::shared_ptr<FileMapping> m(new FileMapping);
  {
    std::lock_guard lock(live_mappings_mutex);
    for (std::size_t i = 0; i < kLiveMappings; ++i) {
      if (live_mappings[i].begin.load(std::memory_order_relaxed) == 0) {
        m->slot_ = i;
        break;
      }
    }
    if (m->slot_ == kNoSlot) return nullptr;  // the caller reads the file instead
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) {
      m->slot_ = kNoSlot;
      return nullptr;
    }
    m->data_ = static_cast<const char*>(p);
    m->size_ = size;
    LiveMapping& live = live_mappings[m->slot_];
    live.damaged = &m->damaged_;
    live.end.store(reinterpret_cast<std::uintptr_t>(p) + size, std::memory_order_release);
    live.begin.store(reinterpret_cast<std::uintptr_t>(p), std::memory_order_release);
  }
  return m;
}

FileMapping::~FileMapping() {
  if (slot_ == kNoSlot) return;
  {
    std::lock_guard lock(live_mappings_mutex);
    live_mappings[slot_].begin.store(0, std::memory_order_release);
    live_mappings[slot_].end.store(0, std::memory_order_release);
  }
  ::munmap(const_cast<char*>(data_), size_);
}

namespace {

std::runtime_error TooLarge(std::uint64_t max_bytes) {
  return std::runtime_error("larger than the limit of " + std::to_string(max_bytes) +
                            " bytes (see --max-bytes)");
}

bool HasPageExtension(std::string_view name) {
  for (std::string_view ext : {".html", ".htm", ".xhtml"}) {
    if (name.size() > ext.size() && ascii::EqualsNoCase(name.substr(name.size() - ext.size()), ext))
      return true;
  }
  return false;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir.ends_with('/') ? dir + name : dir + "/" + name;
}

// A list of addresses, one a line, read in blocks.
class ListReader {
 public:
  ListReader(std::string name, const std::atomic<bool>* stop, std::chrono::milliseconds timeout)
      : name_(std::move(name)), stop_(stop) {
    if (name_ == "-") {
      fd_ = STDIN_FILENO;
      return;
    }
    // Non-blocking: a FIFO without a writer must not hold up the open.
    fd_ = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
      error_ = std::string("cannot read the list: ") + std::strerror(errno);
      return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) error_ = "the list is a folder, not a file";
    // A FIFO or device that stays silent for as long as a fetch may take is
    // given up; a list that keeps coming is read as long as it comes.
    if (!S_ISREG(st.st_mode)) idle_limit_ = timeout;
  }
  ~ListReader() {
    if (fd_ > STDIN_FILENO) ::close(fd_);
  }
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  const std::string& name() const { return name_; }
  bool is_stdin() const { return name_ == "-"; }
  std::size_t line_number() const { return line_; }

  // The next line without its line break, or nullopt at the end (or after a
  // read error, told by error()). A line longer than kMaxLine comes back
  // truncated with `*too_long` set; the rest of it is skipped.
  std::optional<std::string> NextLine(bool* too_long) {
    *too_long = false;
    if (!error_.empty() || fd_ < 0) return std::nullopt;
    std::string line;
    for (;;) {
      const std::size_t nl = buffer_.find('\n', pos_);
      const std::size_t end = nl == std::string::npos ? buffer_.size() : nl;
      if (!*too_long) {
        const std::size_t room =
            InputReader::kMaxLine + 1 - std::min(line.size(), InputReader::kMaxLine + 1);
        line.append(buffer_, pos_, std::min(end - pos_, room));
        if (line.size() > InputReader::kMaxLine) {
          line.resize(InputReader::kMaxLine);
          *too_long = true;
        }
      }
      if (nl != std::string::npos) {
        pos_ = nl + 1;
        break;
      }
      pos_ = buffer_.size();
      if (eof_) {
        if (line.empty() && !*too_long) return std::nullopt;
        break;
      }
      if (!Fill()) {
        if (!error_.empty()) return std::nullopt;
        if (line.empty() && !*too_long) return std::nullopt;
        break;
      }
    }
    ++line_;
    if (line_ == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);  // a byte-order mark
    return line;
  }

  const std::string& error() const { return error_; }

 private:
  // Reads the next block; false at the end of the file, on an error or when stopped.
  bool Fill() {
    buffer_.clear();
    pos_ = 0;
    buffer_.resize(1 << 16);
    const auto idle_since = std::chrono::steady_clock::now();
    for (;;) {
      if (stop_ != nullptr && stop_->load()) {
        buffer_.clear();
        eof_ = true;
        return false;
      }
      if (idle_limit_.count() > 0 && std::chrono::steady_clock::now() - idle_since >= idle_limit_) {
        error_ = "no line came from the list for " + SecondsText(idle_limit_) + " (see --timeout)";
        buffer_.clear();
        return false;
      }
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, 100);
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      return Took(n);
    }
    // poll itself failed: read without it.
    return Took(::read(fd_, buffer_.data(), buffer_.size()));
  }

  // What one read gave: a block, the end, or the reason it failed.
  bool Took(ssize_t n) {
    if (n < 0) {
      error_ = std::string("cannot read the list: ") + std::strerror(errno);
      buffer_.clear();
      return false;
    }
    buffer_.resize(static_cast<std::size_t>(n));
    if (n == 0) eof_ = true;
    return n > 0;
  }

  std::string name_;
  const std::atomic<bool>* stop_;
  std::chrono::milliseconds idle_limit_{0};
  int fd_ = -1;
  std::string error_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  std::size_t line_ = 0;
};

// The pages under a folder, one folder level held in memory at a time.
class FolderWalk {
 public:
  explicit FolderWalk(std::string root) : root_(std::move(root)) { Enter(root_); }

  const std::string& root() const { return root_; }
  std::size_t found() const { return found_; }

  std::optional<InputEntry> Next() {
    while (!stack_.empty()) {
      if (!pending_error_.empty()) break;
      Level& level = stack_.back();
      if (level.next >= level.entries.size()) {
        stack_.pop_back();
        continue;
      }
      const auto& [name, is_dir] = level.entries[level.next++];
      std::string path = JoinPath(level.dir, name);
      if (is_dir) {
        Enter(path);
        continue;
      }
      ++found_;
      InputEntry entry{std::move(path), {}};
      // What Classify would take for a file name anyway, without a look-up.
      entry.walked_file = !ascii::StartsWithNoCase(entry.address, "file:") &&
                          entry.address.find("://") == std::string::npos;
      return entry;
    }
    if (!pending_error_.empty()) {
      InputEntry e{pending_dir_, std::move(pending_error_)};
      pending_error_.clear();
      return e;
    }
    return std::nullopt;
  }

 private:
  using Entry = std::pair<std::string, bool>;  // name, is a folder
  struct Level {
    std::string dir;
    std::vector<Entry> entries;
    std::size_t next = 0;
  };

  // As whole paths would sort (bytes unsigned, as std::string compares): a
  // folder's name counts with its '/'. Without building the strings: a
  // folder's entries are compared n log n times.
  static bool SortsBefore(const Entry& a, const Entry& b) {
    const std::size_t la = a.first.size() + (a.second ? 1 : 0);
    const std::size_t lb = b.first.size() + (b.second ? 1 : 0);
    const auto at = [](const Entry& e, std::size_t i) {
      return i < e.first.size() ? static_cast<unsigned char>(e.first[i])
                                : static_cast<unsigned char>('/');
    };
    for (std::size_t i = 0, n = std::min(la, lb); i < n; ++i) {
      const unsigned char x = at(a, i), y = at(b, i);
      if (x != y) return x < y;
    }
    return la < lb;
  }

  void Enter(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
      pending_dir_ = dir;
      pending_error_ = std::string("cannot read folder: ") + std::strerror(errno);
      ++found_;  // told, so not "holds no page"
      return;
    }
    Level level{dir, {}, 0};
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      unsigned char type = e->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::lstat(JoinPath(dir, name).c_str(), &st) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
      }
      if (type == DT_DIR) {
        level.entries.emplace_back(name, true);
      } else if (type == DT_REG && HasPageExtension(name)) {
        level.entries.emplace_back(name, false);
      }
    }
    ::closedir(d);
    std::sort(level.entries.begin(), level.entries.end(), SortsBefore);
    stack_.push_back(std::move(level));
  }

  std::string root_;
  std::vector<Level> stack_;
  std::size_t found_ = 0;
  std::string pending_dir_;
  std::string pending_error_;
};

std::string Shortened(const std::string& text) {
  return text.size() <= 60 ? text : text.substr(0, 60) + "...";
}

}  // namespace

bool IsFolderAddress(const std::string& address, bool recursive) {
  if (address == "-" || address.find("://") != std::string::npos) return false;
  struct stat st {};
  if (::stat(address.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (recursive) return true;
  if (address == "." || address == ".." || address.starts_with("/") || address.starts_with("./") ||
      address.starts_with("../") || address.ends_with("/"))
    return true;
  const std::string first = address.substr(0, address.find('/'));
  return first.find_first_of(".:") == std::string::npos;
}

struct InputReader::Impl {
  std::vector<std::string> addresses;
  std::vector<std::string> lists;
  bool recursive = false;
  const std::atomic<bool>* stop = nullptr;
  std::chrono::milliseconds list_timeout{0};
  std::size_t next_address = 0;
  std::size_t next_list = 0;
  std::unique_ptr<ListReader> list;
  std::unique_ptr<FolderWalk> walk;

  // The next address as given (before folders are opened), or an entry that
  // is an error already.
  std::optional<InputEntry> NextGiven() {
    if (next_address < addresses.size()) return InputEntry{addresses[next_address++], {}};
    for (;;) {
      if (!list) {
        if (next_list >= lists.size()) return std::nullopt;
        list = std::make_unique<ListReader>(lists[next_list++], stop, list_timeout);
        if (!list->error().empty()) {
          InputEntry e{list->name(), list->error()};
          list.reset();
          return e;
        }
      }
      bool too_long = false;
      std::optional<std::string> line = list->NextLine(&too_long);
      if (!line) {
        InputEntry e{list->name(), list->error()};
        list.reset();
        if (!e.error.empty()) return e;
        continue;
      }
      const std::string where =
          "line " + std::to_string(list->line_number()) + " of " +
          (list->is_stdin() ? std::string("standard input") : "the list " + list->name());
      if (too_long) {
        return InputEntry{Shortened(*line),
                          where + " is longer than " + std::to_string(kMaxLine) + " bytes"};
      }
      std::string_view text = *line;
      while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
      while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
      if (text.empty() || text.front() == '#') continue;
      if (text == "-" && list->is_stdin()) {
        return InputEntry{"-", where + ": standard input holds the list, it cannot be a page too"};
      }
      return InputEntry{std::string(text), {}};
    }
  }
};

InputReader::InputReader(std::vector<std::string> addresses, std::vector<std::string> lists,
                         bool recursive, const std::atomic<bool>* stop,
                         std::chrono::milliseconds list_timeout)
    : impl_(std::make_unique<Impl>()) {
  impl_->list_timeout = list_timeout;
  impl_->addresses = std::move(addresses);
  impl_->lists = std::move(lists);
  impl_->recursive = recursive;
  impl_->stop = stop;
}

InputReader::~InputReader() = default;

std::optional<InputEntry> InputReader::Next() {
  for (;;) {
    if (impl_->stop != nullptr && impl_->stop->load()) return std::nullopt;
    if (impl_->walk) {
      if (std::optional<InputEntry> e = impl_->walk->Next()) return e;
      const bool none = impl_->walk->found() == 0;
      InputEntry empty{impl_->walk->root(), "the folder holds no .html, .htm or .xhtml file"};
      impl_->walk.reset();
      if (none) return empty;
    }
    std::optional<InputEntry> given = impl_->NextGiven();
    if (!given) return std::nullopt;
    if (given->error.empty() && IsFolderAddress(given->address, impl_->recursive)) {
      impl_->walk = std::make_unique<FolderWalk>(given->address);
      continue;
    }
    return given;
  }
}

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

namespace {

// The bytes of a page read from a file, in memory that the page then
// borrows. A fresh string per page would have the allocator hand out (and
// the kernel clear) new memory for each, and reading through a smaller buffer
// copies every byte twice.
struct ReadBuffer {
  // Page-aligned: the kernel copies a file into memory that starts off a
  // cache line at a third of the speed on some processors.
  static constexpr std::align_val_t kAlign{4096};
  struct Free {
    void operator()(char* p) const { ::operator delete[](p, kAlign); }
  };
  std::unique_ptr<char[], Free> data;
  std::size_t capacity = 0;
};

// Buffers up to this size stay with their thread for its next page.
constexpr std::size_t kKeepBufferAtMost = std::size_t{2} << 20;

std::shared_ptr<ReadBuffer> NewBuffer(std::size_t capacity) {
  auto buffer = std::make_shared<ReadBuffer>();
  // Not cleared: the read fills what is used.
  buffer->data.reset(static_cast<char*>(::operator new[](capacity, ReadBuffer::kAlign)));
  buffer->capacity = capacity;
  return buffer;
}

// A buffer of at least `need` bytes: the calling thread's own once the page
// last read into it is dropped (pages are dropped on the thread that read
// them), otherwise a new one.
std::shared_ptr<ReadBuffer> BufferFor(std::size_t need) {
  thread_local std::shared_ptr<ReadBuffer> kept;
  if (kept && kept->capacity >= need && kept.use_count() == 1) {
    std::atomic_thread_fence(std::memory_order_acquire);
    return kept;
  }
  std::size_t capacity = std::size_t{256} << 10;
  while (capacity < need) capacity *= 2;
  std::shared_ptr<ReadBuffer> buffer = NewBuffer(capacity);
  if (capacity <= kKeepBufferAtMost) kept = buffer;
  return buffer;
}

// A regular file of `size` bytes when opened (a hint: it may have changed
// since) read to its end into `*buffer`, in as few reads as its size allows.
std::string_view ReadRegularFile(int fd, std::uint64_t size, std::uint64_t max_bytes,
                                 std::shared_ptr<ReadBuffer>* buffer) {
  // A byte more than the size, so that a file that grew is seen to have.
  *buffer = BufferFor(static_cast<std::size_t>(size) + 1);
  std::size_t length = 0;
  bool blocking = false;
  for (;;) {
    if (length == (*buffer)->capacity) {
      std::shared_ptr<ReadBuffer> bigger = NewBuffer((*buffer)->capacity * 2);
      std::memcpy(bigger->data.get(), (*buffer)->data.get(), length);
      *buffer = std::move(bigger);
    }
    const std::size_t want = (*buffer)->capacity - length;
    const ssize_t n = ::read(fd, (*buffer)->data.get() + length, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Opened without waiting for a writer; a regular file should never
      // say "try again", but if its file system does, it is read blocking.
      if (errno == EAGAIN && !blocking) {
        blocking = true;
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) continue;
      }
      throw SystemError("cannot read", errno);
    }
    if (n == 0) break;
    if (length + static_cast<std::size_t>(n) > max_bytes) throw TooLarge(max_bytes);
    length += static_cast<std::size_t>(n);
    // A regular file reads short only at its end: once all of its size is
    // in, no further read is needed to find that out.
    if (static_cast<std::size_t>(n) < want && size > 0 && length >= size) break;
  }
  return {(*buffer)->data.get(), length};
}

}  // namespace

PageText ReadFilePage(const std::string& path, std::uint64_t max_bytes,
                      std::shared_ptr<const FileMapping>* mapping,
                      std::chrono::milliseconds timeout, const std::atomic<bool>* cancel) {
  files::InputFile file;
  if (!file.Open(path)) {
    if (file.failure() == files::ReadFailure::Folder) {
      throw std::runtime_error("is a directory, not a file");
    }
    throw std::runtime_error("cannot open file: " + file.error());
  }
  if (!file.regular()) {
    // Pipes and devices have no size to trust: read them to their end, but
    // never for longer than a fetch may take.
    std::string bytes;
    if (!file.ReadAll(bytes, files::ReadLimits{max_bytes, timeout, cancel})) {
      switch (file.failure()) {
        case files::ReadFailure::TooLarge:
          throw TooLarge(max_bytes);
        case files::ReadFailure::TimedOut:
          throw std::runtime_error(file.error() + " (see --timeout)");
        case files::ReadFailure::Cancelled:
          throw std::runtime_error(file.error());
        default:
          throw std::runtime_error("cannot read file: " + file.error());
      }
    }
    return net::decode_body_owned(std::move(bytes));
  }
  const std::uint64_t size = file.size();
  if (size > max_bytes) throw TooLarge(max_bytes);
  // A large page that is UTF-8 as it stands is checked where the file's pages
  // already are: copying it would first have the kernel clear as many fresh
  // pages, which takes longer than the whole search.
  if (mapping != nullptr && size >= kMapAtLeast) {
    char probe = 0;
    if (auto m = FileMapping::Map(file.fd(), static_cast<std::size_t>(size));
        m && ::pread(file.fd(), &probe, 1, static_cast<off_t>(size)) == 0) {
      if (auto text = net::text_as_is(m->bytes())) {
        *mapping = m;
        // Found valid UTF-8 just now: the check need not look again.
        PageText page(*text, m);
        page.MarkValidUtf8();
        return page;
      }
      // To be converted anyway: the conversion reads the mapping.
      std::string decoded = net::decode_body(m->bytes());
      if (!m->damaged()) return decoded;
    }
  }
  // The size was only a hint: files of /proc report 0, and a file may grow or
  // shrink while it is read.
  std::shared_ptr<ReadBuffer> buffer;
  const std::string_view bytes = ReadRegularFile(file.fd(), size, max_bytes, &buffer);
  if (auto text = net::text_as_is(bytes)) {
    PageText page(*text, std::move(buffer));
    page.MarkValidUtf8();
    return page;
  }
  return net::decode_body(bytes);
}

std::string ReadFileText(const std::string& path, std::uint64_t max_bytes,
                         std::chrono::milliseconds timeout, const std::atomic<bool>* cancel) {
  std::shared_ptr<const FileMapping> mapping;
  std::string text = ReadFilePage(path, max_bytes, &mapping, timeout, cancel).TakeString();
  if (mapping && mapping->damaged()) throw std::runtime_error(kFileChanged);
  return text;
}

std::string WebFailureReason(const net::FetchResult& r, bool could_be_file,
                             const std::string& address) {
  std::string reason = r.error.empty() ? "fetch failed" : r.error;
  // The transfer's words for two failures a user meets often, told as the
  // command line tells them elsewhere.
  if (reason.starts_with("page larger than ")) {
    const std::string limit = reason.substr(17, reason.find(' ', 17) - 17);
    reason = "larger than the limit of " + limit + " bytes (see --max-bytes)";
  } else if (reason.find("wrong version number") != std::string::npos ||
             reason.find("packet length too long") != std::string::npos) {
    // What OpenSSL makes of a plain-text answer to its greeting.
    reason = "no TLS answer: the server there speaks plain http, not https (try http://)";
  }
  if (!could_be_file) return reason;
  struct stat st {};
  if (!address.empty() && ::stat(address.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    reason +=
        " (read as a web address: a name with a dot or colon in its first part is a host "
        "name; the folder of that name is checked when written as ./" +
        address + ")";
  } else {
    reason += " (no local file has that name either)";
  }
  return reason;
}

}  // namespace vx::app::cli
