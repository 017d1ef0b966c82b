#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
// window both report a failed fetch with.
[[nodiscard]] std::string WebFailureReason(const net::FetchResult& r, bool could_be_file);

// Reads a local file's bytes and decodes them to UTF-8 as a browser would;
// throws std::runtime_error with the reason when the file is missing,
// unreadable, a directory or larger than max_bytes.
std::string ReadFileText(const std::string& path, std::uint64_t max_bytes);

// Copies the first `size` bytes of an open file through a mapping of it. False
// when it cannot be mapped or turns out shorter (it shrank meanwhile): the
// SIGBUS of reading past its end is caught, and `out` then holds garbage.
[[nodiscard]] bool CopyMapped(int fd, char* out, std::size_t size);

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
};

// The addresses to check, read as they are needed: those of the command line
// first, then each list in turn; folders become the *.html, *.htm and *.xhtml
// files under them (any case), in the order of their sorted paths, symbolic
// links not followed. Memory does not grow with the length of a list.
class InputReader {
 public:
  // `stop` turning true ends the input early (a list on a terminal or a pipe
  // is polled for it).
  InputReader(std::vector<std::string> addresses, std::vector<std::string> lists, bool recursive,
              const std::atomic<bool>* stop);
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
