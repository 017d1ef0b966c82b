#include "app/check/markup_blocks.h"

#include <algorithm>
#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#define VX_MARKUP_BLOCKS 1
#endif

namespace vx::app::check {
namespace {

#if defined(VX_MARKUP_BLOCKS)

// The instructions every reading needs: AVX2 for the masks' bytes, carry-less
// multiplication for their running parities.
#define VX_BLOCK_TARGET "avx2,pclmul,popcnt"

// One bit a byte of the block.
struct Masks {
  std::uint64_t gt, dq, eq;
  std::uint64_t nonname;  // white space, '/', '>', '=' and '"': what ends a name
  // A '<' followed by: a letter (a start tag); "/" and a letter (an end
  // tag); '!', '?', or '/' without a letter (a comment, a declaration, a bogus
  // comment, a dropped "</>"); and a start tag's '<' whose name's first
  // three letters may be those of one of the names.
  std::uint64_t open_start, open_end, hazard, candidate;
  std::uint64_t dq_parity;  // bit i: an odd number of '"' at i or before, in the block
};

// x ^ (x << 1) ^ (x << 2) ^ ...: bit i is set where an odd number of x's bits
// are at i or below.
__attribute__((target(VX_BLOCK_TARGET), always_inline)) inline std::uint64_t PrefixXor(
    std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)),
                                               _mm_set1_epi8(static_cast<char>(0xFF)), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

[[gnu::always_inline]] inline unsigned Highest(std::uint64_t x) {
  return 63u - static_cast<unsigned>(__builtin_clzll(x));
}

// The tokenizer's view of a run of blocks. Under the assumptions the masks
// are checked against (every quote in a tag opens or closes an attribute's
// value, and every tag's end is a '>' outside those), a tag runs from a '<'
// that opens one to the next '>' outside quotes, and character data from
// there to the next such '<'. The first byte that breaks an assumption stops
// the reading: what comes before it is read as the tokenizer reads it, since
// each mask at a byte depends on the bytes before it alone.
// `kMarks`: where the tags open and close is written to marks as well.
template <bool kMarks>
class Reader {
 public:
  Reader(const char* t, std::size_t from, MarkupBlocks::Marks* marks)
      : t_(t), marks_(marks), from_(from) {
    result_.pos = result_.stopped = from;
  }

  // The block at `b`. False where the reading stops.
  __attribute__((target(VX_BLOCK_TARGET), always_inline)) bool Block(const Masks& m,
                                                                     std::size_t b) {
    const std::uint64_t quoted = m.dq_parity ^ in_quote_;
    const std::uint64_t open_end = m.open_end & ~quoted;
    const std::uint64_t opens = (m.open_start & ~quoted) | open_end;
    const std::uint64_t closes = m.gt & ~quoted;
    // Set from a tag's '<' on, clear again from its '>'.
    const std::uint64_t tag = PrefixXor(opens | closes) ^ in_tag_;
    const std::uint64_t markup = tag & ~quoted;

    // A '<' inside a tag, a '>' in the text, and in the text a comment, a
    // declaration, a bogus comment or a dropped "</>".
    std::uint64_t bad = ((opens | m.hazard) & ~tag) | (closes & tag);
    // Every '=' in a tag comes right after a name and right before the
    // opening quote of its value, and every opening quote right after one.
    // So no apostrophe opens a value (none follows an '='), and no quote in
    // the text counts as one (none follows an '=' in a tag).
    const std::uint64_t eq = m.eq & markup;
    bad |= (m.dq & quoted) ^ ((eq << 1) | eq_carry_);
    const std::uint64_t name = ~m.nonname | (open_end << 1) | end_carry_;  // an end tag's '/' too
    bad |= eq & ~((name << 1) | name_carry_);
    // The tag's name runs from its '<' (and an end tag's '/') to the first
    // space, '/' or '>': adding the '<' to the run carries past its end. A
    // name that ends at '=' goes on past it (one that ends at a quote fails
    // the quote's check).
    std::uint64_t sum = 0;
    const bool carried = __builtin_add_overflow(name, opens, &sum);
    const bool carried_in = __builtin_add_overflow(sum, sum_carry_, &sum);
    const std::uint64_t name_end = (sum ^ name) & ~name;
    bad |= name_end & m.eq;

    const std::uint64_t candidates = opens & m.candidate & ~bad;
    if (__builtin_expect((bad | candidates) == 0, 1)) {
      // The whole block read: every '<' that opens a tag is one (none is
      // bad), and the boundaries are kept for the end.
      Passed(b, opens, closes, m.open_start);
      in_quote_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(quoted) >> 63);
      in_tag_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(tag) >> 63);
      eq_carry_ = eq >> 63;
      end_carry_ = open_end >> 63;
      name_carry_ = name >> 63;
      sum_carry_ = carried || carried_in ? 1 : 0;
      return true;
    }
    // Up to the first stop: the tags that start there or before, and those
    // that end before it.
    const std::uint64_t stops = bad | candidates;
    const auto f = static_cast<unsigned>(__builtin_ctzll(stops));
    const std::uint64_t below = (std::uint64_t{1} << f) - 1;
    Passed(b, opens & tag & (below | std::uint64_t{1} << f), closes & below, m.open_start);
    result_.stopped = b + f;
    result_.stop =
        (bad >> f & 1) != 0 ? MarkupBlocks::Stop::kTrouble : MarkupBlocks::Stop::kCandidate;
    return false;
  }

  // `read_to`: where the blocks were read to, if to the limit.
  MarkupBlocks::Result Finish(std::size_t read_to = MarkupBlocks::kNone) {
    if (read_to != MarkupBlocks::kNone) result_.stopped = read_to;
    if (last_ != MarkupBlocks::kNone) {
      const int last_start = starts_ != 0 ? static_cast<int>(Highest(starts_)) : -1;
      const int last_end = ends_ != 0 ? static_cast<int>(Highest(ends_)) + 1 : -1;
      result_.pos = last_ + static_cast<std::size_t>(std::max(last_start, last_end));
      if (last_start >= last_end) {
        // A start tag there was counted, but is read again from there.
        if ((start_tags_ >> last_start & 1) != 0) --started_;
        // Character data ends there unless a tag does (a '>' in the text
        // stops the blocks, so one right before it ends a tag).
        if (result_.pos > from_ && t_[result_.pos - 1] != '>') result_.text_end = result_.pos;
      }
    }
    result_.starts_closed = started_;
    return result_;
  }

 private:
  // Tags that start (`starts`) and end (`ends`, at their '>') in the block
  // at `b`, all before the reading stops.
  [[gnu::always_inline]] void Passed(std::size_t b, std::uint64_t starts, std::uint64_t ends,
                                     std::uint64_t start_tags) {
    if constexpr (kMarks) {
      const std::size_t i = (b - from_) / MarkupBlocks::kBlock;
      marks_->opens[i] = starts;
      marks_->closes[i] = ends;
      marks_->blocks = i + 1;
    }
    result_.tags_closed += static_cast<std::size_t>(__builtin_popcountll(ends));
    started_ += static_cast<std::size_t>(__builtin_popcountll(starts & start_tags));
    if ((starts | ends) != 0) {
      last_ = b;
      starts_ = starts;
      ends_ = ends;
      start_tags_ = start_tags;
    }
  }

  MarkupBlocks::Result result_;
  const char* t_;
  MarkupBlocks::Marks* marks_;
  std::size_t from_;
  std::size_t started_ = 0;
  // The last block with a boundary and the one with character data's end.
  std::size_t last_ = MarkupBlocks::kNone;
  std::uint64_t starts_ = 0, ends_ = 0, start_tags_ = 0;
  // From the last block: all ones or none.
  std::uint64_t in_quote_ = 0, in_tag_ = 0;
  // Bit 63 of the last block's masks, as bit 0.
  std::uint64_t eq_carry_ = 0, end_carry_ = 0, name_carry_ = 0, sum_carry_ = 0;
};

// The white space bytes by low nibble (' ', '\t', '\n', '\f', '\r' have
// different ones); other nibbles hold a byte with another low nibble. Four
// times over, for each 128-bit lane.
alignas(64) constexpr std::array<std::uint8_t, 64> kSpaces = [] {
  std::array<std::uint8_t, 64> t{};
  for (std::size_t i = 0; i < 64; ++i) t[i] = static_cast<std::uint8_t>(i % 16 + 1);
  for (const unsigned char c : {' ', '\t', '\n', '\f', '\r'}) {
    for (std::size_t lane = 0; lane < 64; lane += 16) t[lane + c % 16] = c;
  }
  return t;
}();

// ---- 32 bytes at a time ----
// The constants the blocks are classed with, made once a reading.
struct Tables256 {
  __m256i lt, gt, dq, eq, slash, bang, question, x20, x10, a, last;
  __m256i space, letters[3][2];
  __m256i dash;  // FindSwitch's alone: a comment's "<!-"
};

// Letters' groups (MarkupBlocks::letters_) in the lanes of a vector.
using Letters = std::uint8_t[3][2][64];

__attribute__((target("avx2"), always_inline)) inline std::uint64_t Bit32(__m256i v) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
}

// The group bits of lowered letters, looked up by low nibble in the table of
// their high one (a shuffle reads the low nibble alone).
__attribute__((target("avx2"), always_inline)) inline __m256i Groups(const Tables256& k,
                                                                     __m256i lowered, int i) {
  const __m256i high = _mm256_cmpeq_epi8(_mm256_and_si256(lowered, k.x10), k.x10);
  return _mm256_blendv_epi8(_mm256_shuffle_epi8(k.letters[i][0], lowered),
                            _mm256_shuffle_epi8(k.letters[i][1], lowered), high);
}

__attribute__((target("avx2"), always_inline)) inline __m256i AreLetters(const Tables256& k,
                                                                         __m256i lowered) {
  const __m256i from_a = _mm256_sub_epi8(lowered, k.a);
  return _mm256_cmpeq_epi8(_mm256_min_epu8(from_a, k.last), from_a);
}

// Half a block's masks, into bits [shift, shift + 32).
__attribute__((target("avx2"), always_inline)) inline void ClassifyHalf(const Tables256& k,
                                                                        const char* q,
                                                                        unsigned shift, Masks& m) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
  const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
  const __m256i l1 = _mm256_or_si256(x1, k.x20);
  const __m256i l2 =
      _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 2)), k.x20);
  const __m256i gt = _mm256_cmpeq_epi8(x, k.gt);
  const __m256i dq = _mm256_cmpeq_epi8(x, k.dq);
  const __m256i eq = _mm256_cmpeq_epi8(x, k.eq);
  m.gt |= Bit32(gt) << shift;
  m.dq |= Bit32(dq) << shift;
  m.eq |= Bit32(eq) << shift;
  const __m256i space = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(k.space, x), x);
  m.nonname |= Bit32(_mm256_or_si256(_mm256_or_si256(space, _mm256_cmpeq_epi8(x, k.slash)),
                                     _mm256_or_si256(gt, _mm256_or_si256(eq, dq))))
               << shift;
  const __m256i lt = _mm256_cmpeq_epi8(x, k.lt);
  const __m256i letter2 = AreLetters(k, l2);
  const __m256i slash1 = _mm256_cmpeq_epi8(x1, k.slash);
  const __m256i bang1 =
      _mm256_or_si256(_mm256_cmpeq_epi8(x1, k.bang), _mm256_cmpeq_epi8(x1, k.question));
  const __m256i open_start = _mm256_and_si256(lt, AreLetters(k, l1));
  m.open_start |= Bit32(open_start) << shift;
  m.open_end |= Bit32(_mm256_and_si256(lt, _mm256_and_si256(slash1, letter2))) << shift;
  m.hazard |=
      Bit32(_mm256_and_si256(lt, _mm256_or_si256(bang1, _mm256_andnot_si256(letter2, slash1))))
      << shift;
  const __m256i l3 =
      _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 3)), k.x20);
  const __m256i all =
      _mm256_and_si256(_mm256_and_si256(Groups(k, l1, 0), Groups(k, l2, 1)), Groups(k, l3, 2));
  m.candidate |= Bit32(_mm256_andnot_si256(_mm256_cmpeq_epi8(all, _mm256_setzero_si256()),
                                           _mm256_and_si256(open_start, letter2)))
                 << shift;
}

template <bool kMarks>
__attribute__((target(VX_BLOCK_TARGET))) MarkupBlocks::Result ReadAvx2(const Letters& letters,
                                                                       const char* t,
                                                                       std::size_t from,
                                                                       std::size_t limit,
                                                                       MarkupBlocks::Marks* marks) {
  Tables256 k{_mm256_set1_epi8('<'),
              _mm256_set1_epi8('>'),
              _mm256_set1_epi8('"'),
              _mm256_set1_epi8('='),
              _mm256_set1_epi8('/'),
              _mm256_set1_epi8('!'),
              _mm256_set1_epi8('?'),
              _mm256_set1_epi8(0x20),
              _mm256_set1_epi8(0x10),
              _mm256_set1_epi8('a'),
              _mm256_set1_epi8(25),
              _mm256_load_si256(reinterpret_cast<const __m256i*>(kSpaces.data())),
              {},
              _mm256_set1_epi8('-')};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j)
      k.letters[i][j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(letters[i][j]));
  }
  Reader<kMarks> reader(t, from, marks);
  std::size_t b = from;
  for (; b <= limit - MarkupBlocks::kBlock; b += MarkupBlocks::kBlock) {
    Masks m{};
    ClassifyHalf(k, t + b, 0, m);
    ClassifyHalf(k, t + b + 32, 32, m);
    m.dq_parity = PrefixXor(m.dq);
    if (!reader.Block(m, b)) return reader.Finish();
  }
  return reader.Finish(b);
}

// Of a block: whether a '<' in it may switch the tokenizer (`found`); the
// '<' followed by a letter (`opens`) before the first such one, or all of
// them, counted into `starts`.
[[gnu::always_inline]] inline bool SwitchIn(std::uint64_t found, std::uint64_t opens,
                                            std::size_t& starts) {
  const std::uint64_t before = found == 0 ? ~std::uint64_t{0} : (found & -found) - 1;
  starts += static_cast<std::size_t>(__builtin_popcountll(opens & before));
  return found != 0;
}

// The '<' that may switch the tokenizer (MarkupBlocks::FindSwitch) in the
// 32 bytes at q, and those followed by a letter.
__attribute__((target("avx2"), always_inline)) inline void SwitchesHalf(const Tables256& k,
                                                                        const char* q,
                                                                        std::uint32_t& found,
                                                                        std::uint32_t& starts) {
  const __m256i lt =
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q)), k.lt);
  const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
  const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 2));
  const __m256i l1 = _mm256_or_si256(x1, k.x20);
  const __m256i l2 = _mm256_or_si256(x2, k.x20);
  const __m256i l3 =
      _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 3)), k.x20);
  const __m256i comment =
      _mm256_and_si256(_mm256_cmpeq_epi8(x1, k.bang), _mm256_cmpeq_epi8(x2, k.dash));
  const __m256i all =
      _mm256_and_si256(_mm256_and_si256(Groups(k, l1, 0), Groups(k, l2, 1)), Groups(k, l3, 2));
  const __m256i named =
      _mm256_andnot_si256(_mm256_cmpeq_epi8(all, _mm256_setzero_si256()), _mm256_set1_epi8(-1));
  found = static_cast<std::uint32_t>(Bit32(_mm256_and_si256(lt, _mm256_or_si256(comment, named))));
  starts = static_cast<std::uint32_t>(Bit32(_mm256_and_si256(lt, AreLetters(k, l1))));
}

__attribute__((target(VX_BLOCK_TARGET))) std::size_t FindSwitchAvx2(const Letters& letters,
                                                                    const char* t, std::size_t from,
                                                                    std::size_t limit,
                                                                    std::size_t& starts) {
  Tables256 k{};
  k.lt = _mm256_set1_epi8('<');
  k.bang = _mm256_set1_epi8('!');
  k.dash = _mm256_set1_epi8('-');
  k.x20 = _mm256_set1_epi8(0x20);
  k.x10 = _mm256_set1_epi8(0x10);
  k.a = _mm256_set1_epi8('a');
  k.last = _mm256_set1_epi8(25);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j)
      k.letters[i][j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(letters[i][j]));
  }
  std::size_t b = from;
  for (; b + MarkupBlocks::kBlock <= limit; b += MarkupBlocks::kBlock) {
    std::uint32_t found_low = 0, found_high = 0, starts_low = 0, starts_high = 0;
    SwitchesHalf(k, t + b, found_low, starts_low);
    SwitchesHalf(k, t + b + 32, found_high, starts_high);
    const std::uint64_t found = found_low | std::uint64_t{found_high} << 32;
    const std::uint64_t opens = starts_low | std::uint64_t{starts_high} << 32;
    if (SwitchIn(found, opens, starts)) return b + static_cast<unsigned>(__builtin_ctzll(found));
  }
  return b;
}

// ---- 64 bytes at a time ----
#define VX_WIDE_TARGET VX_BLOCK_TARGET ",avx512f,avx512bw"

struct Tables512 {
  __m512i lt, gt, dq, eq, slash, bang, question, x20, x10, a, last;
  __m512i space, letters[3][2];
  __m512i dash;  // FindSwitch's alone: a comment's "<!-"
};

__attribute__((target(VX_WIDE_TARGET), always_inline)) inline __m512i Groups512(const Tables512& k,
                                                                                __m512i lowered,
                                                                                int i) {
  return _mm512_mask_blend_epi8(_mm512_test_epi8_mask(lowered, k.x10),
                                _mm512_shuffle_epi8(k.letters[i][0], lowered),
                                _mm512_shuffle_epi8(k.letters[i][1], lowered));
}

__attribute__((target(VX_WIDE_TARGET), always_inline)) inline Masks Classify512(const Tables512& k,
                                                                                const char* p) {
  const __m512i x = _mm512_loadu_si512(p);
  const __m512i x1 = _mm512_loadu_si512(p + 1);
  const __m512i l1 = _mm512_or_si512(x1, k.x20);
  const __m512i l2 = _mm512_or_si512(_mm512_loadu_si512(p + 2), k.x20);
  Masks m{};
  m.gt = _mm512_cmpeq_epi8_mask(x, k.gt);
  m.dq = _mm512_cmpeq_epi8_mask(x, k.dq);
  m.eq = _mm512_cmpeq_epi8_mask(x, k.eq);
  m.nonname = _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(k.space, x), x) |
              _mm512_cmpeq_epi8_mask(x, k.slash) | m.gt | m.eq | m.dq;
  const std::uint64_t lt = _mm512_cmpeq_epi8_mask(x, k.lt);
  const std::uint64_t letter2 = _mm512_cmple_epu8_mask(_mm512_sub_epi8(l2, k.a), k.last);
  const std::uint64_t slash1 = _mm512_cmpeq_epi8_mask(x1, k.slash);
  const std::uint64_t bang1 =
      _mm512_cmpeq_epi8_mask(x1, k.bang) | _mm512_cmpeq_epi8_mask(x1, k.question);
  m.open_start = lt & _mm512_cmple_epu8_mask(_mm512_sub_epi8(l1, k.a), k.last);
  m.open_end = lt & slash1 & letter2;
  m.hazard = lt & (bang1 | (slash1 & ~letter2));
  const __m512i l3 = _mm512_or_si512(_mm512_loadu_si512(p + 3), k.x20);
  m.candidate = m.open_start & letter2 &
                _mm512_test_epi8_mask(_mm512_and_si512(Groups512(k, l1, 0), Groups512(k, l2, 1)),
                                      Groups512(k, l3, 2));
  m.dq_parity = PrefixXor(m.dq);
  return m;
}

template <bool kMarks>
__attribute__((target(VX_WIDE_TARGET))) MarkupBlocks::Result ReadAvx512(
    const Letters& letters, const char* t, std::size_t from, std::size_t limit,
    MarkupBlocks::Marks* marks) {
  Tables512 k{_mm512_set1_epi8('<'),
              _mm512_set1_epi8('>'),
              _mm512_set1_epi8('"'),
              _mm512_set1_epi8('='),
              _mm512_set1_epi8('/'),
              _mm512_set1_epi8('!'),
              _mm512_set1_epi8('?'),
              _mm512_set1_epi8(0x20),
              _mm512_set1_epi8(0x10),
              _mm512_set1_epi8('a'),
              _mm512_set1_epi8(25),
              _mm512_load_si512(kSpaces.data()),
              {},
              _mm512_set1_epi8('-')};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j) k.letters[i][j] = _mm512_load_si512(letters[i][j]);
  }
  Reader<kMarks> reader(t, from, marks);
  std::size_t b = from;
  for (; b <= limit - MarkupBlocks::kBlock; b += MarkupBlocks::kBlock) {
    if (!reader.Block(Classify512(k, t + b), b)) return reader.Finish();
  }
  return reader.Finish(b);
}

__attribute__((target(VX_WIDE_TARGET))) std::size_t FindSwitchAvx512(const Letters& letters,
                                                                     const char* t,
                                                                     std::size_t from,
                                                                     std::size_t limit,
                                                                     std::size_t& starts) {
  Tables512 k{};
  k.lt = _mm512_set1_epi8('<');
  k.bang = _mm512_set1_epi8('!');
  k.dash = _mm512_set1_epi8('-');
  k.x20 = _mm512_set1_epi8(0x20);
  k.x10 = _mm512_set1_epi8(0x10);
  k.a = _mm512_set1_epi8('a');
  k.last = _mm512_set1_epi8(25);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j) k.letters[i][j] = _mm512_load_si512(letters[i][j]);
  }
  std::size_t b = from;
  for (; b + MarkupBlocks::kBlock <= limit; b += MarkupBlocks::kBlock) {
    const char* p = t + b;
    const std::uint64_t lt = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p), k.lt);
    const __m512i x1 = _mm512_loadu_si512(p + 1);
    const __m512i x2 = _mm512_loadu_si512(p + 2);
    const __m512i l1 = _mm512_or_si512(x1, k.x20);
    const __m512i l2 = _mm512_or_si512(x2, k.x20);
    const __m512i l3 = _mm512_or_si512(_mm512_loadu_si512(p + 3), k.x20);
    const std::uint64_t comment =
        _mm512_mask_cmpeq_epi8_mask(_mm512_mask_cmpeq_epi8_mask(lt, x1, k.bang), x2, k.dash);
    const std::uint64_t named = _mm512_mask_test_epi8_mask(
        lt, _mm512_and_si512(Groups512(k, l1, 0), Groups512(k, l2, 1)), Groups512(k, l3, 2));
    const std::uint64_t opens = _mm512_mask_cmple_epu8_mask(lt, _mm512_sub_epi8(l1, k.a), k.last);
    const std::uint64_t found = comment | named;
    if (SwitchIn(found, opens, starts)) return b + static_cast<unsigned>(__builtin_ctzll(found));
  }
  return b;
}

#endif

}  // namespace

bool MarkupBlocks::Available(Vectors vectors) {
#if defined(VX_MARKUP_BLOCKS)
  static const bool narrow = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul") &&
                             __builtin_cpu_supports("popcnt");
  static const bool wide =
      narrow && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return vectors == Vectors::kAvx512 ? wide : narrow;
#else
  (void)vectors;
  return false;
#endif
}

MarkupBlocks::Result MarkupBlocks::Read(const char* t, std::size_t from, std::size_t limit,
                                        Vectors vectors, Marks* marks) const {
  Result none;
  none.pos = none.stopped = from;
  if (marks != nullptr) marks->blocks = 0;
#if defined(VX_MARKUP_BLOCKS)
  if (limit >= from + kBlock && Available(Vectors::kAvx2)) {
    const bool wide = vectors != Vectors::kAvx2 && Available(Vectors::kAvx512);
    if (marks != nullptr) {
      return wide ? ReadAvx512<true>(letters_, t, from, limit, marks)
                  : ReadAvx2<true>(letters_, t, from, limit, marks);
    }
    return wide ? ReadAvx512<false>(letters_, t, from, limit, marks)
                : ReadAvx2<false>(letters_, t, from, limit, marks);
  }
#else
  (void)t;
  (void)limit;
  (void)vectors;
  (void)marks;
#endif
  return none;
}

std::size_t MarkupBlocks::FindSwitch(const char* t, std::size_t from, std::size_t limit,
                                     std::size_t& starts, Vectors vectors) const {
  std::size_t p = from;
#if defined(VX_MARKUP_BLOCKS)
  if (limit >= from + kBlock && Available(Vectors::kAvx2)) {
    const bool wide = vectors != Vectors::kAvx2 && Available(Vectors::kAvx512);
    p = wide ? FindSwitchAvx512(letters_, t, from, limit, starts)
             : FindSwitchAvx2(letters_, t, from, limit, starts);
  }
#else
  (void)vectors;
#endif
  // The rest a byte at a time, by the same tests.
  for (; p < limit; ++p) {
    if (t[p] != '<') continue;
    const char c = t[p + 1];
    if ((c == '!' && t[p + 2] == '-') ||
        (Groups(0, c) & Groups(1, t[p + 2]) & Groups(2, t[p + 3])) != 0)
      return p;
    const auto lowered = static_cast<unsigned char>(c | 0x20);
    if (lowered >= 'a' && lowered <= 'z') ++starts;
  }
  return limit;
}

}  // namespace vx::app::check
