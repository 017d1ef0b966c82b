#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
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

  // The candidate filter: the widest vector filter the processor has
  // (64 bytes a step with AVX-512, 32 with AVX2), the 32-byte one, or the
  // portable byte-table filter. All find the same.
  enum class Filter { Widest, Avx2, Bytes };

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
  // second walk over the text.
  std::vector<Occurrence> Find(std::string_view text, Filter filter = Filter::Widest) const;

  // Find on the calling thread alone, whatever the text's size: for a caller
  // whose other cores are busy with the same page.
  std::vector<Occurrence> FindInOnePass(std::string_view text,
                                        Filter filter = Filter::Widest) const;

  // Every occurrence of every pattern, overlapping ones too, in text order
  // (by offset, then by pattern index): `found(offset, pattern)` for each.
  // One pass on the calling thread.
  void ForEach(std::string_view text,
               const std::function<void(std::size_t offset, std::uint32_t pattern)>& found,
               Filter filter = Filter::Widest) const;

  // Just the byte offsets of Find.
  std::vector<std::size_t> FirstOccurrences(std::string_view text,
                                            Filter filter = Filter::Widest) const;

  // Find on two threads, one for each half of the text: what Find does for
  // texts of kSplitBytes and more where there is more than one core. Throws
  // std::system_error when no thread can be started.
  std::vector<Occurrence> FindInHalves(std::string_view text, Filter filter = Filter::Widest) const;
  static constexpr std::size_t kSplitBytes = std::size_t{4} << 20;

  std::size_t size() const { return patterns_.size(); }

 private:
  static constexpr std::size_t kBuckets = 8;
  static constexpr std::size_t kMaxPrefix = 5;

  struct Scan;
  // The filter's tables for the missing patterns of the live buckets.
  struct Tables {
    std::array<std::array<std::uint8_t, 256>, kMaxPrefix> bytes{};
    // The vector lookups work per 16-byte lane: each table is there four times.
    alignas(64) std::array<std::array<std::uint8_t, 64>, kMaxPrefix> lo{};
    alignas(64) std::array<std::array<std::uint8_t, 64>, kMaxPrefix> hi{};
  };
  // `first[i] != npos`: pattern i is found and leaves the tables.
  void FillTables(Tables& tables, std::uint8_t live, const std::vector<std::size_t>& first) const;

  std::vector<std::string> patterns_;
  std::vector<std::uint64_t> head_;  // first bytes of each pattern, as loaded
  std::vector<std::uint64_t> head_mask_;
  std::size_t prefix_ = 1;  // bytes of each candidate the filter looks at
  std::size_t longest_ = 1;
  std::array<std::vector<std::uint32_t>, kBuckets> bucket_patterns_;
  // A search's start: made once, not for each of a folder's many pages.
  std::uint8_t all_live_ = 0;
  Tables initial_;
};

}  // namespace vx::app
