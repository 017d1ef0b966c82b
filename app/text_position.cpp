#include "app/text_position.h"

#include <algorithm>
#include <numeric>

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define VX_TEXT_AVX2 1
#endif

namespace vx::app {
namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

bool IsBreak(std::string_view text, std::size_t i) {
  return text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
}

// The counting loops keep one byte counter per lane (0xFF per hit is -1, so
// subtracting counts up) and sum them before any can wrap after 255 rounds.

#if defined(__SSE2__)
// 0xFF in each byte that is a UTF-8 continuation byte (0x80..0xBF, as signed
// bytes the ones below -64).
__m128i Continuations16(const char* p) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return _mm_cmplt_epi8(x, _mm_set1_epi8(-64));
}

std::size_t SumBytes(__m128i counters) {
  const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
  return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
}

// Hits of the 16 bytes at p that end a line; reads p[16].
__m128i Breaks16(const char* p) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  const __m128i nl = _mm_set1_epi8('\n');
  return _mm_or_si128(
      _mm_cmpeq_epi8(x, nl),
      _mm_andnot_si128(_mm_cmpeq_epi8(y, nl), _mm_cmpeq_epi8(x, _mm_set1_epi8('\r'))));
}
#endif

#if defined(VX_TEXT_AVX2)
bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

__attribute__((target("avx2"))) std::size_t SumBytes256(__m256i counters) {
  const __m256i sums = _mm256_sad_epu8(counters, _mm256_setzero_si256());
  return static_cast<std::size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                  _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
}

// Continuation bytes among the first blocks * 32 bytes at p.
__attribute__((target("avx2"))) std::size_t Continuations32(const char* p, std::size_t blocks) {
  std::size_t total = 0;
  const __m256i limit = _mm256_set1_epi8(-64);
  while (blocks != 0) {
    const std::size_t rounds = std::min<std::size_t>(blocks, 255);
    __m256i counters = _mm256_setzero_si256();
    for (std::size_t r = 0; r < rounds; ++r, p += 32) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      counters = _mm256_sub_epi8(counters, _mm256_cmpgt_epi8(limit, x));
    }
    total += SumBytes256(counters);
    blocks -= rounds;
  }
  return total;
}

// Line breaks among the first blocks * 32 bytes at p; reads one byte more.
__attribute__((target("avx2"))) std::size_t Breaks32(const char* p, std::size_t blocks) {
  std::size_t total = 0;
  const __m256i nl = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  while (blocks != 0) {
    const std::size_t rounds = std::min<std::size_t>(blocks, 255);
    __m256i counters = _mm256_setzero_si256();
    for (std::size_t r = 0; r < rounds; ++r, p += 32) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
      const __m256i hit =
          _mm256_or_si256(_mm256_cmpeq_epi8(x, nl),
                          _mm256_andnot_si256(_mm256_cmpeq_epi8(y, nl), _mm256_cmpeq_epi8(x, cr)));
      counters = _mm256_sub_epi8(counters, hit);
    }
    total += SumBytes256(counters);
    blocks -= rounds;
  }
  return total;
}
#endif

#if defined(VX_TEXT_AVX2)
bool HaveAvx512() {
  static const bool have = __builtin_cpu_supports("avx512bw");
  return have;
}

struct Counts {
  std::size_t breaks = 0;
  std::size_t continuations = 0;
};

// Line breaks and continuation bytes among the first blocks * 64 bytes at p,
// in one read of them (a long page comes from memory, not the cache); reads
// one byte more.
__attribute__((target("avx512f,avx512bw,popcnt"))) Counts Count64(const char* p,
                                                                  std::size_t blocks) {
  Counts c;
  const __m512i nl = _mm512_set1_epi8('\n');
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i limit = _mm512_set1_epi8(-64);
  for (; blocks != 0; --blocks, p += 64) {
    const __m512i x = _mm512_loadu_si512(p);
    const __m512i y = _mm512_loadu_si512(p + 1);
    const __mmask64 lf = _mm512_cmpeq_epi8_mask(x, nl);
    // A "\r" not followed by "\n".
    const __mmask64 lone_cr = _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(x, cr), y, nl);
    c.breaks += static_cast<std::size_t>(__builtin_popcountll(lf | lone_cr));
    c.continuations +=
        static_cast<std::size_t>(__builtin_popcountll(_mm512_cmplt_epi8_mask(x, limit)));
  }
  return c;
}
#endif

// Continuation bytes in [p, p + n).
std::size_t CountContinuations(const char* p, std::size_t n) {
  std::size_t total = 0, i = 0;
#if defined(VX_TEXT_AVX2)
  if (HaveAvx2()) {
    total += Continuations32(p, n / 32);
    i = n / 32 * 32;
  }
#endif
#if defined(__SSE2__)
  while (i + 16 <= n) {
    __m128i counters = _mm_setzero_si128();
    for (unsigned r = 0; r < 255 && i + 16 <= n; ++r, i += 16) {
      counters = _mm_sub_epi8(counters, Continuations16(p + i));
    }
    total += SumBytes(counters);
  }
#endif
  for (; i < n; ++i) total += IsContinuation(static_cast<unsigned char>(p[i])) ? 1 : 0;
  return total;
}

// Line breaks that end in [from, to).
std::size_t CountBreaks(std::string_view text, std::size_t from, std::size_t to) {
  std::size_t breaks = 0;
  std::size_t i = from;
  // Whole blocks need the byte after them (to tell "\r\n" from a lone "\r").
  const std::size_t end = std::min(to, text.size() - std::min<std::size_t>(text.size(), 1));
#if defined(VX_TEXT_AVX2)
  if (HaveAvx2() && end > i) {
    const std::size_t blocks = (end - i) / 32;
    breaks += Breaks32(text.data() + i, blocks);
    i += blocks * 32;
  }
#endif
#if defined(__SSE2__)
  while (i + 16 <= end) {
    __m128i counters = _mm_setzero_si128();
    for (unsigned r = 0; r < 255 && i + 16 <= end; ++r, i += 16) {
      counters = _mm_sub_epi8(counters, Breaks16(text.data() + i));
    }
    breaks += SumBytes(counters);
  }
#endif
  for (; i < to; ++i) breaks += IsBreak(text, i) ? 1 : 0;
  return breaks;
}

// Position after the last line break that ends in [from, to), or npos.
std::size_t AfterLastBreak(std::string_view text, std::size_t from, std::size_t to) {
  const char* base = text.data();
  const auto* n = static_cast<const char*>(::memrchr(base + from, '\n', to - from));
  // A lone "\r" can only come after the last "\n"; looking no further back
  // keeps this short on files without any "\r".
  std::size_t lo = n ? static_cast<std::size_t>(n - base) + 1 : from;
  for (std::size_t end = to; end > lo;) {
    const auto* r = static_cast<const char*>(::memrchr(base + lo, '\r', end - lo));
    if (!r) break;
    const auto at = static_cast<std::size_t>(r - base);
    if (IsBreak(text, at)) return at + 1;
    end = at;  // the "\r" of a "\r\n" whose "\n" is at `to`
  }
  return n ? lo : std::string_view::npos;
}

}  // namespace

std::size_t CountChars(std::string_view text) {
  return text.size() - CountContinuations(text.data(), text.size());
}

std::size_t ByteOffsetOfChar(std::string_view text, std::size_t chars) {
  std::size_t i = 0;
  std::size_t seen = 0;  // characters started before byte i
  // Whole chunks are skipped while the wanted character starts after them
  // (a chunk of n bytes holds at most n characters).
  for (const std::size_t chunk : {std::size_t{4096}, std::size_t{64}}) {
    while (i + chunk <= text.size() && seen + chunk <= chars) {
      seen += chunk - CountContinuations(text.data() + i, chunk);
      i += chunk;
    }
  }
  for (; i < text.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (seen == chars) return i;
      ++seen;
    }
  }
  return text.size();
}

std::size_t ColumnAt(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  const std::size_t after = AfterLastBreak(text, 0, offset);
  const std::size_t start = after == std::string_view::npos ? 0 : after;
  return CountChars(text.substr(start, offset - start)) + 1;
}

std::vector<LineColumn> LocateOffsets(std::string_view text,
                                      const std::vector<std::size_t>& offsets) {
  std::vector<std::size_t> order(offsets.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return offsets[a] < offsets[b]; });
  std::vector<LineColumn> out(offsets.size());
  PositionCounter counter(text);
  for (std::size_t k : order) {
    const PositionCounter::Place place = counter.At(std::min(offsets[k], text.size()));
    out[k] = {place.line, place.column};
  }
  return out;
}

PositionCounter::Place PositionCounter::At(std::size_t offset) {
  const std::size_t to = std::min(offset, text_.size());
#if defined(VX_TEXT_AVX2)
  // Whole blocks need the byte after them (to tell "\r\n" from a lone "\r").
  const std::size_t end = std::min(to, text_.size() - std::min<std::size_t>(text_.size(), 1));
  if (end > pos_ && end - pos_ >= 256 && HaveAvx512()) {
    // Breaks and continuation bytes counted together; the characters before
    // the last line's start are what the whole stretch has less its last line's.
    const std::size_t blocks = (end - pos_) / 64;
    const std::size_t mid = pos_ + blocks * 64;
    const Counts c = Count64(text_.data() + pos_, blocks);
    const std::size_t breaks = c.breaks + CountBreaks(text_, mid, to);
    const std::size_t continuations =
        c.continuations + CountContinuations(text_.data() + mid, to - mid);
    const std::size_t after =
        breaks != 0 ? AfterLastBreak(text_, pos_, to) : std::string_view::npos;
    if (after != std::string_view::npos) {
      line_start_chars_ = after - (continuations_ + continuations -
                                   CountContinuations(text_.data() + after, to - after));
    }
    breaks_ += breaks;
    continuations_ += continuations;
    pos_ = to;
  }
#endif
  if (to > pos_) {
    breaks_ += CountBreaks(text_, pos_, to);
    const std::size_t after = AfterLastBreak(text_, pos_, to);
    if (after != std::string_view::npos) {
      continuations_ += CountContinuations(text_.data() + pos_, after - pos_);
      line_start_chars_ = after - continuations_;
      pos_ = after;
    }
    continuations_ += CountContinuations(text_.data() + pos_, to - pos_);
    pos_ = to;
  }
  const std::size_t chars = pos_ - continuations_;
  return {breaks_ + 1, chars - line_start_chars_ + 1, chars};
}

}  // namespace vx::app
