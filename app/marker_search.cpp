#include "app/marker_search.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <map>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "app/text_position.h"
#include "platform/base/ascii.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VX_HAVE_AVX2_PATH 1
#endif

namespace vx::app {
namespace {

using Group = std::vector<std::uint32_t>;  // pattern indices

// Which bytes a bucket admits at one prefix position: its nibble sets.
struct NibbleSets {
  std::uint16_t lo = 0;
  std::uint16_t hi = 0;
};

// Number of byte strings (of the filter's prefix length) the nibble tables of
// a bucket holding these patterns would let through; merging buckets whose
// patterns share nibbles adds few false candidates.
double Admitted(const std::vector<std::string>& patterns, const Group& g, std::size_t prefix) {
  double product = 1;
  for (std::size_t k = 0; k < prefix; ++k) {
    NibbleSets s;
    for (auto i : g) {
      const auto c = static_cast<unsigned char>(patterns[i][k]);
      s.lo = static_cast<std::uint16_t>(s.lo | (1u << (c & 15)));
      s.hi = static_cast<std::uint16_t>(s.hi | (1u << (c >> 4)));
    }
    product *= std::popcount(s.lo) * std::popcount(s.hi);
  }
  return product;
}

}  // namespace

MarkerSearch::MarkerSearch(std::vector<std::string> patterns) : patterns_(std::move(patterns)) {
  if (patterns_.empty()) throw std::invalid_argument("MarkerSearch needs at least one pattern");
  std::size_t shortest = patterns_[0].size();
  for (const auto& p : patterns_) {
    if (p.empty()) throw std::invalid_argument("MarkerSearch patterns must not be empty");
    shortest = std::min(shortest, p.size());
  }
  prefix_ = std::min(shortest, kMaxPrefix);
  for (const auto& p : patterns_) longest_ = std::max(longest_, p.size());
  for (const auto& p : patterns_) {
    std::uint64_t head = 0, mask = 0;
    const std::size_t n = std::min<std::size_t>(p.size(), 8);
    std::memcpy(&head, p.data(), n);
    std::memset(&mask, 0xFF, n);
    head_.push_back(head);
    head_mask_.push_back(mask);
  }

  // Patterns whose prefixes differ only in letter case start in one group:
  // their nibble sets coincide, so sharing a bucket costs nothing.
  std::map<std::string, Group> by_prefix;
  for (std::uint32_t i = 0; i < patterns_.size(); ++i) {
    std::string key = patterns_[i].substr(0, prefix_);
    std::transform(key.begin(), key.end(), key.begin(), ascii::ToLower);
    by_prefix[key].push_back(i);
  }
  std::vector<Group> groups;
  for (auto& [key, g] : by_prefix) groups.push_back(std::move(g));

  // Merge the pair that adds the fewest admitted strings until eight remain.
  while (groups.size() > kBuckets) {
    std::size_t best_a = 0, best_b = 1;
    double best_cost = -1;
    for (std::size_t a = 0; a < groups.size(); ++a) {
      const double ca = Admitted(patterns_, groups[a], prefix_);
      for (std::size_t b = a + 1; b < groups.size(); ++b) {
        Group merged = groups[a];
        merged.insert(merged.end(), groups[b].begin(), groups[b].end());
        const double cost =
            Admitted(patterns_, merged, prefix_) - ca - Admitted(patterns_, groups[b], prefix_);
        if (best_cost < 0 || cost < best_cost) {
          best_cost = cost;
          best_a = a;
          best_b = b;
        }
      }
    }
    groups[best_a].insert(groups[best_a].end(), groups[best_b].begin(), groups[best_b].end());
    groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(best_b));
  }
  for (std::size_t b = 0; b < groups.size(); ++b) bucket_patterns_[b] = std::move(groups[b]);
  for (std::size_t b = 0; b < kBuckets; ++b) {
    if (!bucket_patterns_[b].empty()) all_live_ = static_cast<std::uint8_t>(all_live_ | (1u << b));
  }
  FillTables(initial_, all_live_, std::vector<std::size_t>(patterns_.size(), npos));
}

void MarkerSearch::FillTables(Tables& tables, std::uint8_t live,
                              const std::vector<std::size_t>& first) const {
  for (std::size_t k = 0; k < prefix_; ++k) {
    tables.bytes[k].fill(0);
    tables.lo[k].fill(0);
    tables.hi[k].fill(0);
  }
  for (std::size_t b = 0; b < kBuckets; ++b) {
    if (!(live & (1u << b))) continue;
    const auto bit = static_cast<std::uint8_t>(1u << b);
    for (auto i : bucket_patterns_[b]) {
      if (first[i] != npos) continue;
      for (std::size_t k = 0; k < prefix_; ++k) {
        const auto c = static_cast<unsigned char>(patterns_[i][k]);
        tables.bytes[k][c] |= bit;
        for (std::size_t lane = 0; lane < 64; lane += 16) {
          tables.lo[k][lane + (c & 15)] |= bit;
          tables.hi[k][lane + (c >> 4)] |= bit;
        }
      }
    }
  }
}

#if defined(VX_HAVE_AVX2_PATH)
namespace {
// The filter over the 32 bytes at `t`: nonzero where some pattern's first
// Prefix bytes may start. (A lambda would not inherit the target.)
template <std::size_t Prefix>
__attribute__((target("avx2"), always_inline)) inline __m256i FilterBlock(const unsigned char* t,
                                                                          const __m256i* lo,
                                                                          const __m256i* hi) {
  const __m256i low_nibble = _mm256_set1_epi8(0x0F);
  __m256i acc = _mm256_set1_epi8(-1);
#pragma GCC unroll 8
  for (std::size_t k = 0; k < Prefix; ++k) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k));
    const __m256i l = _mm256_and_si256(c, low_nibble);
    const __m256i h = _mm256_and_si256(_mm256_srli_epi16(c, 4), low_nibble);
    acc = _mm256_and_si256(
        acc, _mm256_and_si256(_mm256_shuffle_epi8(lo[k], l), _mm256_shuffle_epi8(hi[k], h)));
  }
  return acc;
}

// The same over the 64 bytes at `t`, with AVX-512.
template <std::size_t Prefix>
__attribute__((target("avx512f,avx512bw"), always_inline)) inline __m512i FilterBlock64(
    const unsigned char* t, const __m512i* lo, const __m512i* hi) {
  const __m512i low_nibble = _mm512_set1_epi8(0x0F);
  __m512i acc = _mm512_set1_epi8(-1);
#pragma GCC unroll 8
  for (std::size_t k = 0; k < Prefix; ++k) {
    const __m512i c = _mm512_loadu_si512(t + k);
    const __m512i l = _mm512_and_si512(c, low_nibble);
    const __m512i h = _mm512_and_si512(_mm512_srli_epi16(c, 4), low_nibble);
    // acc & lo & hi in one instruction.
    acc = _mm512_ternarylogic_epi32(acc, _mm512_shuffle_epi8(lo[k], l),
                                    _mm512_shuffle_epi8(hi[k], h), 0x80);
  }
  return acc;
}
}  // namespace
#endif

// The state of one search: what is still missing, and the filter tables for
// the buckets that still have missing patterns.
struct MarkerSearch::Scan {
  const MarkerSearch& self;
  std::string_view text;
  std::vector<std::size_t> first;
  std::vector<Occurrence> found;
  std::vector<std::uint32_t> fresh;  // patterns the last Verify found
  std::size_t missing = 0;
  // Places finds, counting only up to each one rather than along the
  // filter: most pages lack most patterns, and counting the whole page would
  // cost the filter a fifth of its speed.
  PositionCounter counter;
  // Set by another scan that makes this one needless.
  const std::atomic<bool>* give_up = nullptr;
  // Set for ForEach: every occurrence goes there, and no pattern ever
  // leaves the tables.
  const std::function<void(std::size_t, std::uint32_t)>* every = nullptr;
  std::uint8_t live = 0;  // buckets with missing patterns
  Tables tables;

  Scan(const MarkerSearch& s, std::string_view t)
      : self(s),
        text(t),
        first(s.patterns_.size(), npos),
        found(s.patterns_.size()),
        missing(s.patterns_.size()),
        counter(t),
        live(s.all_live_),
        tables(s.initial_) {}

  // Compares up to eight bytes in one go; for patterns no longer than that
  // (with eight bytes of text left) this is the whole comparison.
  bool Matches(std::size_t pos, std::uint32_t pattern) const {
    const std::string& p = self.patterns_[pattern];
    const std::size_t left = text.size() - pos;
    if (left >= 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + pos, 8);
      if ((word & self.head_mask_[pattern]) != self.head_[pattern]) return false;
      if (p.size() <= 8) return true;
      // The text may be a view into a longer buffer: never read past its end.
      if (p.size() > left) return false;
      return std::memcmp(text.data() + pos + 8, p.data() + 8, p.size() - 8) == 0;
    }
    return p.size() <= left && std::memcmp(text.data() + pos, p.data(), p.size()) == 0;
  }

  // Compares the candidate buckets' missing patterns at pos (for ForEach,
  // all of them, none ever found for good). Returns true when the filter
  // tables changed (a bucket is complete).
  bool Verify(std::size_t pos, unsigned buckets) {
    bool changed = false;
    fresh.clear();
    buckets &= live;
    while (buckets != 0) {
      const unsigned b = static_cast<unsigned>(std::countr_zero(buckets));
      buckets &= buckets - 1;
      bool bucket_done = every == nullptr;
      for (auto i : self.bucket_patterns_[b]) {
        if (first[i] != npos) continue;
        if (Matches(pos, i)) {
          fresh.push_back(i);
          if (every != nullptr) continue;
          first[i] = pos;
          --missing;
        } else {
          bucket_done = false;
        }
      }
      if (bucket_done) {
        live = static_cast<std::uint8_t>(live & ~(1u << b));
        changed = true;
      }
    }
    if (changed) self.FillTables(tables, live, first);
    return changed;
  }

  // Places the patterns the last Verify found at pos.
  void Record(std::size_t pos) {
    if (fresh.empty()) return;
    if (every != nullptr) {
      std::sort(fresh.begin(), fresh.end());
      for (auto i : fresh) (*every)(pos, i);
      return;
    }
    const PositionCounter::Place place = counter.At(pos);
    for (auto i : fresh) found[i] = {pos, place.chars, place.line, place.column};
  }

  // Portable filter for positions [from, end).
  void RunBytes(std::size_t from) {
    const std::size_t n = text.size();
    if (n < self.prefix_) return;
    if (give_up != nullptr && give_up->load(std::memory_order_relaxed)) return;
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t last = n - self.prefix_;
    for (std::size_t p = from; p <= last && missing != 0; ++p) {
      if ((p & 0xFFFF) == 0 && give_up != nullptr && give_up->load(std::memory_order_relaxed)) {
        break;
      }
      unsigned m = tables.bytes[0][t[p]];
      for (std::size_t k = 1; k < self.prefix_ && m != 0; ++k) m &= tables.bytes[k][t[p + k]];
      if (m != 0) {
        Verify(p, m);
        Record(p);
      }
    }
  }

#if defined(VX_HAVE_AVX2_PATH)
  // The filter's tables into registers, at the start and when a bucket is
  // complete. (Functions of their own: a lambda would not inherit the target.)
  template <std::size_t Prefix>
  __attribute__((target("avx2"), always_inline)) inline void LoadTables32(__m256i* lo,
                                                                          __m256i* hi) const {
    for (std::size_t k = 0; k < Prefix; ++k) {
      lo[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.lo[k].data()));
      hi[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.hi[k].data()));
    }
  }
  // Returns the first position the vector loop did not cover.
  template <std::size_t Prefix>
  __attribute__((target("avx2,popcnt"))) std::size_t RunAvx2() {
    const std::size_t n = text.size();
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo[Prefix], hi[Prefix];
    LoadTables32<Prefix>(lo, hi);
    constexpr std::size_t kReach = Prefix - 1;
    unsigned rounds = 0;
    std::size_t i = 0;
    // Each block reads 32 bytes at i, i+1, ... i+kReach.
    for (; i + kReach + 32 <= n && missing != 0; i += 32) {
      if (++rounds == 2048) {
        rounds = 0;
        if (give_up != nullptr && give_up->load(std::memory_order_relaxed)) {
          i += 32;
          break;
        }
      }
      const __m256i acc = FilterBlock<Prefix>(t + i, lo, hi);
      auto hits = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(acc, zero)));
      if (hits == 0) {
        // A quiet stretch: two blocks a test, the loop's bookkeeping paid
        // once per 64 bytes, until a candidate shows. (Not for a half of a
        // split search, which must look at its give-up flag as it goes.)
        if (give_up == nullptr) {
          std::size_t j = i + 32;
          while (j + kReach + 64 <= n) {
            const __m256i x = FilterBlock<Prefix>(t + j, lo, hi),
                          y = FilterBlock<Prefix>(t + j + 32, lo, hi);
            const __m256i any = _mm256_or_si256(x, y);
            if (_mm256_testz_si256(any, any) == 0) break;
            j += 64;
          }
          i = j - 32;  // the loop's step brings it to j
        }
        continue;
      }
      alignas(32) std::uint8_t masks[32];
      _mm256_store_si256(reinterpret_cast<__m256i*>(masks), acc);
      while (hits != 0) {
        const unsigned j = static_cast<unsigned>(std::countr_zero(hits));
        hits &= hits - 1;
        const bool changed = Verify(i + j, masks[j]);
        Record(i + j);
        if (changed) {
          if (missing == 0) return n;
          LoadTables32<Prefix>(lo, hi);
        }
      }
    }
    return i;
  }

  template <std::size_t Prefix>
  __attribute__((target("avx512f,avx512bw"), always_inline)) inline void LoadTables64(
      __m512i* lo, __m512i* hi) const {
    for (std::size_t k = 0; k < Prefix; ++k) {
      lo[k] = _mm512_load_si512(tables.lo[k].data());
      hi[k] = _mm512_load_si512(tables.hi[k].data());
    }
  }

  // The AVX2 loop's twin, 64 bytes a block; returns the first position it
  // did not cover. (Twins, not one template: each body is compiled for its
  // own instruction set, and the AVX2 one must run where AVX-512 does not.)
  template <std::size_t Prefix>
  __attribute__((target("avx512f,avx512bw,popcnt,bmi"))) std::size_t RunAvx512() {
    const std::size_t n = text.size();
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    __m512i lo[Prefix], hi[Prefix];
    LoadTables64<Prefix>(lo, hi);
    constexpr std::size_t kReach = Prefix - 1;
    unsigned rounds = 0;
    std::size_t i = 0;
    for (; i + kReach + 64 <= n && missing != 0; i += 64) {
      if (++rounds == 1024) {
        rounds = 0;
        if (give_up != nullptr && give_up->load(std::memory_order_relaxed)) {
          i += 64;
          break;
        }
      }
      const __m512i acc = FilterBlock64<Prefix>(t + i, lo, hi);
      std::uint64_t hits = _mm512_test_epi8_mask(acc, acc);
      if (hits == 0) {
        // A quiet stretch, two blocks a test (not for a half of a split
        // search, which must look at its give-up flag as it goes).
        if (give_up == nullptr) {
          std::size_t j = i + 64;
          while (j + kReach + 128 <= n) {
            const __m512i x = FilterBlock64<Prefix>(t + j, lo, hi),
                          y = FilterBlock64<Prefix>(t + j + 64, lo, hi);
            if (_mm512_test_epi8_mask(x, x) != 0 || _mm512_test_epi8_mask(y, y) != 0) break;
            j += 128;
          }
          i = j - 64;  // the loop's step brings it to j
        }
        continue;
      }
      alignas(64) std::uint8_t masks[64];
      _mm512_store_si512(masks, acc);
      while (hits != 0) {
        const auto j = static_cast<unsigned>(std::countr_zero(hits));
        hits &= hits - 1;
        const bool changed = Verify(i + j, masks[j]);
        Record(i + j);
        if (changed) {
          if (missing == 0) return n;
          LoadTables64<Prefix>(lo, hi);
        }
      }
    }
    return i;
  }
#endif

  void Run(Filter filter) {
#if defined(VX_HAVE_AVX2_PATH)
    const bool wide = filter == Filter::Widest && __builtin_cpu_supports("avx512bw");
    if (filter != Filter::Bytes && __builtin_cpu_supports("avx2")) {
      switch (self.prefix_) {
        case 1:
          return RunBytes(wide ? RunAvx512<1>() : RunAvx2<1>());
        case 2:
          return RunBytes(wide ? RunAvx512<2>() : RunAvx2<2>());
        case 3:
          return RunBytes(wide ? RunAvx512<3>() : RunAvx2<3>());
        case 4:
          return RunBytes(wide ? RunAvx512<4>() : RunAvx2<4>());
        default:
          return RunBytes(wide ? RunAvx512<5>() : RunAvx2<5>());
      }
    }
#else
    (void)filter;
#endif
    RunBytes(0);
  }
};

std::vector<MarkerSearch::Occurrence> MarkerSearch::Find(std::string_view text,
                                                         Filter filter) const {
  if (text.size() >= kSplitBytes && std::thread::hardware_concurrency() > 1) {
    try {
      return FindInHalves(text, filter);
    } catch (const std::system_error&) {
      // No second thread: one pass does it.
    }
  }
  return FindInOnePass(text, filter);
}

std::vector<MarkerSearch::Occurrence> MarkerSearch::FindInOnePass(std::string_view text,
                                                                  Filter filter) const {
  Scan scan(*this, text);
  scan.Run(filter);
  return std::move(scan.found);
}

std::vector<MarkerSearch::Occurrence> MarkerSearch::FindInHalves(std::string_view text,
                                                                 Filter filter) const {
  // The first half's scan reaches far enough past the middle to see every
  // occurrence that starts before it; what it finds anywhere is exact, as it
  // counts from the start. The second half's finds count only the patterns the
  // first missed, placed after the first half's counts.
  const std::size_t mid = text.size() / 2;
  // (At least one byte past the middle: a CR just before it looks at the next.)
  const std::size_t view = std::min(text.size(), mid + std::max<std::size_t>(longest_, 2) - 1);
  std::atomic<bool> head_done{false};
  Scan tail(*this, text.substr(mid));
  tail.give_up = &head_done;
  std::thread helper([&] { tail.Run(filter); });
  Scan head(*this, text.substr(0, view));
  try {
    head.Run(filter);
  } catch (...) {
    head_done = true;
    helper.join();
    throw;
  }
  if (head.missing == 0) head_done = true;
  helper.join();
  std::vector<Occurrence> result = std::move(head.found);
  if (head.missing == 0) return result;
  // The middle's place; the head's counter has usually not passed it (unless
  // a find of the head lies past it: then the middle is counted afresh).
  const PositionCounter::Place at_mid =
      head.counter.counted_to() <= mid ? head.counter.At(mid) : PositionCounter(head.text).At(mid);
  for (std::size_t i = 0; i < result.size(); ++i) {
    const Occurrence& t = tail.found[i];
    if (result[i].offset != npos || t.offset == npos) continue;
    // On the tail's first line the middle's column goes on.
    result[i] = {mid + t.offset, at_mid.chars + t.chars, at_mid.line - 1 + t.line,
                 t.line == 1 ? at_mid.column - 1 + t.column : t.column};
  }
  return result;
}

void MarkerSearch::ForEach(std::string_view text,
                           const std::function<void(std::size_t, std::uint32_t)>& found,
                           Filter filter) const {
  Scan scan(*this, text);
  scan.every = &found;
  scan.Run(filter);
}

std::vector<std::size_t> MarkerSearch::FirstOccurrences(std::string_view text,
                                                        Filter filter) const {
  std::vector<std::size_t> offsets;
  for (const Occurrence& o : Find(text, filter)) offsets.push_back(o.offset);
  return offsets;
}

}  // namespace vx::app
