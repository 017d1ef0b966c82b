#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/page_text.h"

namespace vx::net {
struct FetchResult;
}

namespace vx::app::cli {

// Where the command line reads an address from.
struct Source {
  enum class Kind { Web, File, Stdin };
  Kind kind = Kind::Web;
  std::string path;  // for File: the local path, %-escapes of a file URL decoded
  // A scheme-less web address that might have been meant as a file name.
  bool could_be_file = false;
};

// "-" is standard input; a file: URL or an existing local path is a file (so is
// anything spelled like a path: "/x", "./x", "../x"); everything else goes to
// the web fetcher (scheme-less addresses are http). Throws std::runtime_error
// for a file URL that names no local file (a remote host, a NUL escape).
Source Classify(const std::string& address);

// Why a web page could not be checked: the words the command line and the
// window both report a failed fetch with. For an address that could have been
// a local name, it says why it was read as a web address: no file has that
// name, or a folder has it but its dot or colon made it a host name.
[[nodiscard]] std::string WebFailureReason(const net::FetchResult& r, bool could_be_file,
                                           const std::string& address = {});

// A read-only mapping of a file's first bytes. Reading it never faults: where
// the file shrinks under it, the pages past the new end read as zeros and
// damaged() turns true, so a result read from it can be refused afterwards.
class FileMapping {
 public:
  // Null when the file cannot be mapped (or too many mappings are alive).
  static std::shared_ptr<const FileMapping> Map(int fd, std::size_t size);
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  std::string_view bytes() const { return {data_, size_}; }
  bool damaged() const { return damaged_.load(std::memory_order_relaxed); }

 private:
  FileMapping() = default;
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t slot_ = kNoSlot;
  std::atomic<bool> damaged_{false};
};

// What a check of a file that shrank while it was read reports.
inline constexpr const char* kFileChanged = "the file changed while it was read";

// Reads a local file's bytes and decodes them to UTF-8 as a browser would;
// throws std::runtime_error with the reason when the file is missing,
// unreadable, a directory or larger than max_bytes. A large file that needs
// no conversion stays in a mapping the page borrows; `mapping` is then set to
// it, to be asked whether the file changed while it was read. A smaller one
// that needs none is read into a buffer the calling thread reuses for its
// next page once this one is dropped (the page borrows it). What is not a
// regular file (a FIFO, a device) is opened without waiting for a writer and
// read for at most `timeout` (zero: no limit), given up once `*cancel` turns
// true.
PageText ReadFilePage(const std::string& path, std::uint64_t max_bytes,
                      std::shared_ptr<const FileMapping>* mapping,
                      std::chrono::milliseconds timeout = {},
                      const std::atomic<bool>* cancel = nullptr);

// ReadFilePage as a string of its own; a file that changed while it was read
// is an error (kFileChanged).
std::string ReadFileText(const std::string& path, std::uint64_t max_bytes,
                         std::chrono::milliseconds timeout = {},
                         const std::atomic<bool>* cancel = nullptr);

// Reads a descriptor (standard input) to its end; throws when it is larger than
// max_bytes or a read fails.
std::string ReadAllBytes(int fd, std::uint64_t max_bytes);

// Whether an address names a folder to check the pages of: an existing folder
// spelled as a path ("/x", "./x", "../x", "x/", ".") or named without a dot
// or colon ("public", "site/out"), so that "example.com" stays a web address
// even where a folder has that name; with `recursive` every existing folder.
[[nodiscard]] bool IsFolderAddress(const std::string& address, bool recursive);

// One address of the input, or the reason an entry of it cannot be one.
struct InputEntry {
  std::string address;
  std::string error;  // not empty: this entry is reported as a failure
  // A regular file a folder walk found, named by a path that reads as that
  // file: it need not be looked up again to be told from a web address.
  bool walked_file = false;
};

// The addresses to check, read as they are needed: those of the command line
// first, then each list in turn; folders become the *.html, *.htm and *.xhtml
// files under them (any case), in the order of their sorted paths, symbolic
// links not followed. Memory does not grow with the length of a list.
class InputReader {
 public:
  // `stop` turning true ends the input early (a list on a terminal or a pipe
  // is polled for it). A list that is a FIFO or a device and gives no line
  // for `list_timeout` (zero: no limit) ends with an error entry.
  InputReader(std::vector<std::string> addresses, std::vector<std::string> lists, bool recursive,
              const std::atomic<bool>* stop, std::chrono::milliseconds list_timeout = {});
  ~InputReader();
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  // The next entry, or nullopt at the end of the input.
  std::optional<InputEntry> Next();

  // Longest line of a list that is taken as an address.
  static constexpr std::size_t kMaxLine = 64 * 1024;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx::app::cli
