// Reading web archives (WARC 1.0 and 1.1) one record at a time: a plain
// .warc, or a .warc.gz whose gzip members follow one another (one per record,
// as archive writers make them; one member for the whole file works too).
// Memory stays within one record's block, however long the archive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::archive {

struct WarcLimits {
  // A record whose block is larger is handed out without it (too_large).
  std::uint64_t max_block = std::uint64_t{64} << 20;
  // Longest header line, and most header bytes of one record.
  std::size_t max_line = 64 * 1024;
  std::size_t max_header = 1024 * 1024;
};

struct WarcRecord {
  std::uint64_t offset = 0;  // in the file: where the record (or its gzip member) starts
  std::vector<std::pair<std::string, std::string>> fields;  // in order, as written
  std::string block;         // the record's content (empty when too_large or error)
  std::uint64_t length = 0;  // its Content-Length
  bool too_large = false;    // block over WarcLimits::max_block, skipped unread
  // Not empty: the record could not be read whole (a bad header, a block cut
  // short); its fields may be partial. The reader goes on with the next record
  // where it can find one.
  std::string error;

  // The named field's value, matched without regard to case; "" when absent.
  std::string_view field(std::string_view name) const;
  // WARC-Type in lower case.
  std::string type() const;
  // WARC-Target-URI, without the angle brackets some writers put around it.
  std::string target_uri() const;
};

class WarcReader {
 public:
  explicit WarcReader(WarcLimits limits = {});
  ~WarcReader();
  WarcReader(const WarcReader&) = delete;
  WarcReader& operator=(const WarcReader&) = delete;

  // False, with error() set, when the file cannot be opened. "-" is standard
  // input (a pipe is read as a stream, as a file is).
  bool Open(const std::string& path);
  // Reads from memory that outlives the reader.
  void OpenBytes(std::string_view bytes);

  // The next record, or nullopt at the archive's end. A damaged archive (a
  // truncated or corrupt gzip member, a record cut off by the end of the
  // file) ends early with error() telling why and where.
  std::optional<WarcRecord> Next();

  const std::string& error() const;
  bool compressed() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx::archive
