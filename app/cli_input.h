#pragma once

#include <cstdint>
#include <string>

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

// Reads a local file's bytes and decodes them to UTF-8 as a browser would;
// throws std::runtime_error with the reason when the file is missing,
// unreadable, a directory or larger than max_bytes.
std::string ReadFileText(const std::string& path, std::uint64_t max_bytes);

// Reads a descriptor (standard input) to its end; throws when it is larger than
// max_bytes or a read fails.
std::string ReadAllBytes(int fd, std::uint64_t max_bytes);

}  // namespace vx::app::cli
