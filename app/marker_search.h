#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx::app {

// Finds the first occurrence of each of a fixed set of byte strings in one
// pass over a text. A vector filter rejects most positions at once: patterns
// are grouped into at most eight buckets, and for each of the first few bytes
// of a candidate a nibble lookup tells which buckets could start there; only
// positions that survive are compared exactly.
class MarkerSearch {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // Patterns must not be empty; duplicates are allowed.
  explicit MarkerSearch(std::vector<std::string> patterns);

  struct Occurrence {
    std::size_t offset = npos;  // bytes before it
    std::size_t chars = 0;      // characters (UTF-8) before it
    std::size_t line = 1;       // 1-based; "\n", "\r\n" and a lone "\r" end a line
    std::size_t column = 1;     // 1-based, in characters
  };

  // The first occurrence of each pattern (same index), offset npos when
  // absent. Each find is placed as the pass reaches it, so placing costs no
  // second walk over the text. `vector_filter` false forces the
  // portable byte-table filter.
  std::vector<Occurrence> Find(std::string_view text, bool vector_filter = true) const;

  // Find on the calling thread alone, whatever the text's size: for a caller
  // whose other cores are busy with the same page.
  std::vector<Occurrence> FindInOnePass(std::string_view text, bool vector_filter = true) const;

  // Just the byte offsets of Find.
  std::vector<std::size_t> FirstOccurrences(std::string_view text, bool vector_filter = true) const;

  // Find on two threads, one for each half of the text: what Find does for
  // texts of kSplitBytes and more where there is more than one core. Throws
  // std::system_error when no thread can be started.
  std::vector<Occurrence> FindInHalves(std::string_view text, bool vector_filter = true) const;
  static constexpr std::size_t kSplitBytes = std::size_t{4} << 20;

  std::size_t size() const { return patterns_.size(); }

 private:
  static constexpr std::size_t kBuckets = 8;
  static constexpr std::size_t kMaxPrefix = 5;

  struct Scan;

  std::vector<std::string> patterns_;
  std::vector<std::uint64_t> head_;  // first bytes of each pattern, as loaded
  std::vector<std::uint64_t> head_mask_;
  std::size_t prefix_ = 1;  // bytes of each candidate the filter looks at
  std::size_t longest_ = 1;
  std::array<std::vector<std::uint32_t>, kBuckets> bucket_patterns_;
};

}  // namespace vx::app
