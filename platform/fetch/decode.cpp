// Turning page bytes into UTF-8 the way browsers choose a page's encoding.
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/base/ascii.h"
#include "platform/fetch/fetch.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define VX_DECODE_AVX2 1
#endif

namespace vx::net {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

enum class Kind { Utf8, Utf16LE, Utf16BE, Windows1252, Iconv };

struct Encoding {
  Kind kind = Kind::Utf8;
  std::string iconv_name;  // only for Kind::Iconv
};

bool is_space(unsigned char c) {
  return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

std::string lower_trimmed(std::string_view s) {
  while (!s.empty() && is_space(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && is_space(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  std::string out(s);
  for (char& c : out) c = ascii::ToLower(c);
  return out;
}

void append_code_point(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence starting at s[i], or the length of
// its longest ill-formed prefix (at least 1) negated: the "maximal subpart"
// rule, so one U+FFFD replaces exactly what browsers replace.
long utf8_sequence(const unsigned char* s, std::size_t n, std::size_t i) {
  const unsigned char b = s[i];
  int need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  std::size_t j = i + 1;
  for (int k = 0; k < need; ++k, ++j) {
    if (j >= n || s[j] < lo || s[j] > hi) return -static_cast<long>(j - i);
    lo = 0x80;
    hi = 0xBF;
  }
  return static_cast<long>(j - i);
}

#if defined(VX_DECODE_AVX2)
bool have_avx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

// Past the ASCII from s[i] on, a cache line at a time, to the first byte
// that is not: every page is read through here before it is checked, and
// most of it is ASCII with a character of another script here and there.
__attribute__((target("avx2"))) std::size_t skip_ascii_avx2(const unsigned char* s, std::size_t i,
                                                            std::size_t n) {
  while (i + 64 <= n) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
    const std::uint64_t high = static_cast<std::uint32_t>(_mm256_movemask_epi8(a)) |
                               std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))}
                                   << 32;
    // Straight to the first byte that is not ASCII: the bytes before it need
    // no second look.
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctzll(high));
    i += 64;
  }
  return i;
}
#endif

// Index of the first byte that is not part of valid UTF-8 (n when all is
// valid). ASCII, by far the commonest, is checked many bytes at a time.
std::size_t utf8_valid_prefix(std::string_view text, std::size_t from = 0) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = from;
#if defined(VX_DECODE_AVX2)
  const bool avx2 = have_avx2();
#endif
  while (i < n) {
#if defined(VX_DECODE_AVX2)
    if (avx2) i = skip_ascii_avx2(s, i, n);
#endif
    // ASCII a cache line's half at a time: what most pages mostly are.
    while (i + 32 <= n) {
      std::uint64_t words[4];
      std::memcpy(words, s + i, 32);
      if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) break;
      i += 32;
    }
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    // The common two- and three-byte forms without the special-case lead bytes.
    if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
      i += 2;
      continue;
    }
    if (b >= 0xE1 && b <= 0xEF && b != 0xED && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
        (s[i + 2] & 0xC0) == 0x80) {
      i += 3;
      continue;
    }
    const long len = utf8_sequence(s, n, i);
    if (len < 0) return i;
    i += static_cast<std::size_t>(len);
  }
  return n;
}

// Whether text[from..] is valid UTF-8. A large text is checked in two halves
// at once, split where a character starts: in valid UTF-8 no sequence spans
// such a point, and a sequence cut there is invalid in either half.
bool utf8_valid(std::string_view text, std::size_t from = 0) {
  constexpr std::size_t kSplitAt = std::size_t{4} << 20;
  const std::size_t n = text.size();
  if (n - from < kSplitAt || std::thread::hardware_concurrency() < 2) {
    return utf8_valid_prefix(text, from) == n;
  }
  std::size_t mid = from + (n - from) / 2;
  for (int back = 0; back < 3 && (static_cast<unsigned char>(text[mid]) & 0xC0) == 0x80; ++back) {
    --mid;
  }
  bool tail_valid = false;
  std::thread tail;
  try {
    tail = std::thread([&] { tail_valid = utf8_valid_prefix(text.substr(mid)) == n - mid; });
  } catch (const std::system_error&) {
    return utf8_valid_prefix(text, from) == n;  // no thread to spare
  }
  const bool head_valid = utf8_valid_prefix(text.substr(0, mid), from) == mid;
  tail.join();
  return head_valid && tail_valid;
}

void append_utf8_repaired(std::string& out, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t good = utf8_valid_prefix(text, i);
    out.append(text.substr(i, good - i));
    if (good >= n) break;
    const long len = utf8_sequence(s, n, good);
    out += kReplacement;
    i = good + static_cast<std::size_t>(-len);
  }
}

std::string decode_utf16(std::string_view bytes, bool little_endian) {
  std::string out;
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t k) -> std::uint32_t {
    const unsigned a = s[2 * k], b = s[2 * k + 1];
    return little_endian ? (a | (b << 8)) : ((a << 8) | b);
  };
  for (std::size_t k = 0; k < units; ++k) {
    const std::uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const std::uint32_t v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        append_code_point(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacement;  // unpaired surrogate
    } else {
      append_code_point(out, u);
    }
  }
  if (bytes.size() % 2) out += kReplacement;  // a dangling half unit
  return out;
}

// Bytes 0x80..0x9F; the rest of Windows-1252 coincides with Latin-1. The five
// bytes the code page leaves undefined map to the C1 controls, as browsers do.
constexpr std::array<std::uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::size_t windows1252_length(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xA0) return 2;
  const std::uint16_t cp = kWindows1252High[b - 0x80];
  return cp < 0x800 ? 2 : 3;
}

std::string decode_windows1252(std::string_view bytes) {
  // Sized exactly first, so a large page is written once with no regrowth.
  const std::size_t n = bytes.size();
  auto ascii8 = [&](std::size_t i) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    return (word & 0x8080808080808080ULL) == 0;
  };
  std::size_t length = 0;
  for (std::size_t i = 0; i < n;) {
    if (i + 8 <= n && ascii8(i)) {
      length += 8;
      i += 8;
    } else {
      length += windows1252_length(static_cast<unsigned char>(bytes[i++]));
    }
  }
  std::string out(length, '\0');
  char* o = out.data();
  for (std::size_t i = 0; i < n;) {
    if (i + 8 <= n && ascii8(i)) {
      std::memcpy(o, bytes.data() + i, 8);
      o += 8;
      i += 8;
      continue;
    }
    const auto b = static_cast<unsigned char>(bytes[i++]);
    const std::uint32_t cp = b < 0x80 ? b : b < 0xA0 ? kWindows1252High[b - 0x80] : b;
    if (cp < 0x80) {
      *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<char>(0xE0 | (cp >> 12));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// Owns an iconv conversion descriptor: closed however the decoding ends.
struct IconvCloser {
  using pointer = iconv_t;
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvDescriptor = std::unique_ptr<void, IconvCloser>;

[[nodiscard]] std::optional<std::string> decode_iconv(std::string_view bytes,
                                                      const std::string& name) {
  const iconv_t opened = iconv_open("UTF-8", name.c_str());
  if (opened == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const IconvDescriptor owner(opened);
  const iconv_t cd = owner.get();
  std::string out(bytes.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  std::size_t used = 0;
  auto room = [&](std::size_t need) {
    if (out.size() - used < need) out.resize(out.size() * 2 + need);
  };
  auto put = [&](std::string_view s) {
    room(s.size());
    std::memcpy(out.data() + used, s.data(), s.size());
    used += s.size();
  };
  bool flushing = false;
  for (;;) {
    char* dst = out.data() + used;
    std::size_t dst_left = out.size() - used;
    const std::size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &dst_left)
                                   : iconv(cd, &in, &in_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (r != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (errno == E2BIG) {
      room(out.size() + 16);
    } else if (errno == EILSEQ && !flushing && in_left > 0) {
      put(kReplacement);  // skip one byte; what follows is read afresh
      ++in;
      --in_left;
    } else {
      // A sequence cut off by the end of the page, or anything odd.
      put(kReplacement);
      if (flushing) break;
      in_left = 0;
      flushing = true;
    }
  }
  out.resize(used);
  if (utf8_valid_prefix(out) != out.size()) {
    std::string clean;
    append_utf8_repaired(clean, out);
    return clean;
  }
  return out;
}

struct LabelAlias {
  std::string_view label;
  Kind kind;
  std::string_view iconv_name;
};

// Every label browsers know, with the encoding each names. A label outside
// this list is unknown and the next source of the encoding is asked, as
// browsers do: iconv knows many more names (EBCDIC, UTF-32, ...), and decoding
// a page in one of those would turn its markers into other characters.
// Two browser encodings are approximated: x-user-defined (ASCII as it is,
// other bytes to private-use characters) is read as Windows-1252, which keeps
// every ASCII byte; and the labels browsers decode as one replacement
// character (ISO-2022-KR, HZ and the like) count as unknown, so the page's
// source can still be shown and checked.
constexpr LabelAlias kLabels[] = {
    {"unicode-1-1-utf-8", Kind::Utf8, ""},
    {"unicode11utf8", Kind::Utf8, ""},
    {"unicode20utf8", Kind::Utf8, ""},
    {"utf-8", Kind::Utf8, ""},
    {"utf8", Kind::Utf8, ""},
    {"x-unicode20utf8", Kind::Utf8, ""},
    {"csunicode", Kind::Utf16LE, ""},
    {"iso-10646-ucs-2", Kind::Utf16LE, ""},
    {"ucs-2", Kind::Utf16LE, ""},
    {"unicode", Kind::Utf16LE, ""},
    {"unicodefeff", Kind::Utf16LE, ""},
    {"utf-16", Kind::Utf16LE, ""},
    {"utf-16le", Kind::Utf16LE, ""},
    {"unicodefffe", Kind::Utf16BE, ""},
    {"utf-16be", Kind::Utf16BE, ""},
    {"ansi_x3.4-1968", Kind::Windows1252, ""},
    {"ascii", Kind::Windows1252, ""},
    {"cp1252", Kind::Windows1252, ""},
    {"cp819", Kind::Windows1252, ""},
    {"csisolatin1", Kind::Windows1252, ""},
    {"ibm819", Kind::Windows1252, ""},
    {"iso-8859-1", Kind::Windows1252, ""},
    {"iso-ir-100", Kind::Windows1252, ""},
    {"iso8859-1", Kind::Windows1252, ""},
    {"iso88591", Kind::Windows1252, ""},
    {"iso_8859-1", Kind::Windows1252, ""},
    {"iso_8859-1:1987", Kind::Windows1252, ""},
    {"l1", Kind::Windows1252, ""},
    {"latin1", Kind::Windows1252, ""},
    {"us-ascii", Kind::Windows1252, ""},
    {"windows-1252", Kind::Windows1252, ""},
    {"x-cp1252", Kind::Windows1252, ""},
    {"x-user-defined", Kind::Windows1252, ""},
    {"866", Kind::Iconv, "IBM866"},
    {"cp866", Kind::Iconv, "IBM866"},
    {"csibm866", Kind::Iconv, "IBM866"},
    {"ibm866", Kind::Iconv, "IBM866"},
    {"csisolatin2", Kind::Iconv, "ISO-8859-2"},
    {"iso-8859-2", Kind::Iconv, "ISO-8859-2"},
    {"iso-ir-101", Kind::Iconv, "ISO-8859-2"},
    {"iso8859-2", Kind::Iconv, "ISO-8859-2"},
    {"iso88592", Kind::Iconv, "ISO-8859-2"},
    {"iso_8859-2", Kind::Iconv, "ISO-8859-2"},
    {"iso_8859-2:1987", Kind::Iconv, "ISO-8859-2"},
    {"l2", Kind::Iconv, "ISO-8859-2"},
    {"latin2", Kind::Iconv, "ISO-8859-2"},
    {"csisolatin3", Kind::Iconv, "ISO-8859-3"},
    {"iso-8859-3", Kind::Iconv, "ISO-8859-3"},
    {"iso-ir-109", Kind::Iconv, "ISO-8859-3"},
    {"iso8859-3", Kind::Iconv, "ISO-8859-3"},
    {"iso88593", Kind::Iconv, "ISO-8859-3"},
    {"iso_8859-3", Kind::Iconv, "ISO-8859-3"},
    {"iso_8859-3:1988", Kind::Iconv, "ISO-8859-3"},
    {"l3", Kind::Iconv, "ISO-8859-3"},
    {"latin3", Kind::Iconv, "ISO-8859-3"},
    {"csisolatin4", Kind::Iconv, "ISO-8859-4"},
    {"iso-8859-4", Kind::Iconv, "ISO-8859-4"},
    {"iso-ir-110", Kind::Iconv, "ISO-8859-4"},
    {"iso8859-4", Kind::Iconv, "ISO-8859-4"},
    {"iso88594", Kind::Iconv, "ISO-8859-4"},
    {"iso_8859-4", Kind::Iconv, "ISO-8859-4"},
    {"iso_8859-4:1988", Kind::Iconv, "ISO-8859-4"},
    {"l4", Kind::Iconv, "ISO-8859-4"},
    {"latin4", Kind::Iconv, "ISO-8859-4"},
    {"csisolatincyrillic", Kind::Iconv, "ISO-8859-5"},
    {"cyrillic", Kind::Iconv, "ISO-8859-5"},
    {"iso-8859-5", Kind::Iconv, "ISO-8859-5"},
    {"iso-ir-144", Kind::Iconv, "ISO-8859-5"},
    {"iso8859-5", Kind::Iconv, "ISO-8859-5"},
    {"iso88595", Kind::Iconv, "ISO-8859-5"},
    {"iso_8859-5", Kind::Iconv, "ISO-8859-5"},
    {"iso_8859-5:1988", Kind::Iconv, "ISO-8859-5"},
    {"arabic", Kind::Iconv, "ISO-8859-6"},
    {"asmo-708", Kind::Iconv, "ISO-8859-6"},
    {"csiso88596e", Kind::Iconv, "ISO-8859-6"},
    {"csiso88596i", Kind::Iconv, "ISO-8859-6"},
    {"csisolatinarabic", Kind::Iconv, "ISO-8859-6"},
    {"ecma-114", Kind::Iconv, "ISO-8859-6"},
    {"iso-8859-6", Kind::Iconv, "ISO-8859-6"},
    {"iso-8859-6-e", Kind::Iconv, "ISO-8859-6"},
    {"iso-8859-6-i", Kind::Iconv, "ISO-8859-6"},
    {"iso-ir-127", Kind::Iconv, "ISO-8859-6"},
    {"iso8859-6", Kind::Iconv, "ISO-8859-6"},
    {"iso88596", Kind::Iconv, "ISO-8859-6"},
    {"iso_8859-6", Kind::Iconv, "ISO-8859-6"},
    {"iso_8859-6:1987", Kind::Iconv, "ISO-8859-6"},
    {"csisolatingreek", Kind::Iconv, "ISO-8859-7"},
    {"ecma-118", Kind::Iconv, "ISO-8859-7"},
    {"elot_928", Kind::Iconv, "ISO-8859-7"},
    {"greek", Kind::Iconv, "ISO-8859-7"},
    {"greek8", Kind::Iconv, "ISO-8859-7"},
    {"iso-8859-7", Kind::Iconv, "ISO-8859-7"},
    {"iso-ir-126", Kind::Iconv, "ISO-8859-7"},
    {"iso8859-7", Kind::Iconv, "ISO-8859-7"},
    {"iso88597", Kind::Iconv, "ISO-8859-7"},
    {"iso_8859-7", Kind::Iconv, "ISO-8859-7"},
    {"iso_8859-7:1987", Kind::Iconv, "ISO-8859-7"},
    {"sun_eu_greek", Kind::Iconv, "ISO-8859-7"},
    {"csiso88598e", Kind::Iconv, "ISO-8859-8"},
    {"csisolatinhebrew", Kind::Iconv, "ISO-8859-8"},
    {"hebrew", Kind::Iconv, "ISO-8859-8"},
    {"iso-8859-8", Kind::Iconv, "ISO-8859-8"},
    {"iso-8859-8-e", Kind::Iconv, "ISO-8859-8"},
    {"iso-ir-138", Kind::Iconv, "ISO-8859-8"},
    {"iso8859-8", Kind::Iconv, "ISO-8859-8"},
    {"iso88598", Kind::Iconv, "ISO-8859-8"},
    {"iso_8859-8", Kind::Iconv, "ISO-8859-8"},
    {"iso_8859-8:1988", Kind::Iconv, "ISO-8859-8"},
    {"visual", Kind::Iconv, "ISO-8859-8"},
    {"csiso88598i", Kind::Iconv, "ISO-8859-8"},
    {"iso-8859-8-i", Kind::Iconv, "ISO-8859-8"},
    {"logical", Kind::Iconv, "ISO-8859-8"},
    {"csisolatin6", Kind::Iconv, "ISO-8859-10"},
    {"iso-8859-10", Kind::Iconv, "ISO-8859-10"},
    {"iso-ir-157", Kind::Iconv, "ISO-8859-10"},
    {"iso8859-10", Kind::Iconv, "ISO-8859-10"},
    {"iso885910", Kind::Iconv, "ISO-8859-10"},
    {"l6", Kind::Iconv, "ISO-8859-10"},
    {"latin6", Kind::Iconv, "ISO-8859-10"},
    {"iso-8859-13", Kind::Iconv, "ISO-8859-13"},
    {"iso8859-13", Kind::Iconv, "ISO-8859-13"},
    {"iso885913", Kind::Iconv, "ISO-8859-13"},
    {"iso-8859-14", Kind::Iconv, "ISO-8859-14"},
    {"iso8859-14", Kind::Iconv, "ISO-8859-14"},
    {"iso885914", Kind::Iconv, "ISO-8859-14"},
    {"csisolatin9", Kind::Iconv, "ISO-8859-15"},
    {"iso-8859-15", Kind::Iconv, "ISO-8859-15"},
    {"iso8859-15", Kind::Iconv, "ISO-8859-15"},
    {"iso885915", Kind::Iconv, "ISO-8859-15"},
    {"iso_8859-15", Kind::Iconv, "ISO-8859-15"},
    {"l9", Kind::Iconv, "ISO-8859-15"},
    {"iso-8859-16", Kind::Iconv, "ISO-8859-16"},
    {"cskoi8r", Kind::Iconv, "KOI8-R"},
    {"koi", Kind::Iconv, "KOI8-R"},
    {"koi8", Kind::Iconv, "KOI8-R"},
    {"koi8-r", Kind::Iconv, "KOI8-R"},
    {"koi8_r", Kind::Iconv, "KOI8-R"},
    {"koi8-ru", Kind::Iconv, "KOI8-U"},
    {"koi8-u", Kind::Iconv, "KOI8-U"},
    {"csmacintosh", Kind::Iconv, "MACINTOSH"},
    {"mac", Kind::Iconv, "MACINTOSH"},
    {"macintosh", Kind::Iconv, "MACINTOSH"},
    {"x-mac-roman", Kind::Iconv, "MACINTOSH"},
    {"dos-874", Kind::Iconv, "CP874"},
    {"iso-8859-11", Kind::Iconv, "CP874"},
    {"iso8859-11", Kind::Iconv, "CP874"},
    {"iso885911", Kind::Iconv, "CP874"},
    {"tis-620", Kind::Iconv, "CP874"},
    {"windows-874", Kind::Iconv, "CP874"},
    {"cp1250", Kind::Iconv, "CP1250"},
    {"windows-1250", Kind::Iconv, "CP1250"},
    {"x-cp1250", Kind::Iconv, "CP1250"},
    {"cp1251", Kind::Iconv, "CP1251"},
    {"windows-1251", Kind::Iconv, "CP1251"},
    {"x-cp1251", Kind::Iconv, "CP1251"},
    {"cp1253", Kind::Iconv, "CP1253"},
    {"windows-1253", Kind::Iconv, "CP1253"},
    {"x-cp1253", Kind::Iconv, "CP1253"},
    {"cp1254", Kind::Iconv, "CP1254"},
    {"csisolatin5", Kind::Iconv, "CP1254"},
    {"iso-8859-9", Kind::Iconv, "CP1254"},
    {"iso-ir-148", Kind::Iconv, "CP1254"},
    {"iso8859-9", Kind::Iconv, "CP1254"},
    {"iso88599", Kind::Iconv, "CP1254"},
    {"iso_8859-9", Kind::Iconv, "CP1254"},
    {"iso_8859-9:1989", Kind::Iconv, "CP1254"},
    {"l5", Kind::Iconv, "CP1254"},
    {"latin5", Kind::Iconv, "CP1254"},
    {"windows-1254", Kind::Iconv, "CP1254"},
    {"x-cp1254", Kind::Iconv, "CP1254"},
    {"cp1255", Kind::Iconv, "CP1255"},
    {"windows-1255", Kind::Iconv, "CP1255"},
    {"x-cp1255", Kind::Iconv, "CP1255"},
    {"cp1256", Kind::Iconv, "CP1256"},
    {"windows-1256", Kind::Iconv, "CP1256"},
    {"x-cp1256", Kind::Iconv, "CP1256"},
    {"cp1257", Kind::Iconv, "CP1257"},
    {"windows-1257", Kind::Iconv, "CP1257"},
    {"x-cp1257", Kind::Iconv, "CP1257"},
    {"cp1258", Kind::Iconv, "CP1258"},
    {"windows-1258", Kind::Iconv, "CP1258"},
    {"x-cp1258", Kind::Iconv, "CP1258"},
    {"x-mac-cyrillic", Kind::Iconv, "MAC-CYRILLIC"},
    {"x-mac-ukrainian", Kind::Iconv, "MAC-CYRILLIC"},
    {"chinese", Kind::Iconv, "GBK"},
    {"csgb2312", Kind::Iconv, "GBK"},
    {"csiso58gb231280", Kind::Iconv, "GBK"},
    {"gb2312", Kind::Iconv, "GBK"},
    {"gb_2312", Kind::Iconv, "GBK"},
    {"gb_2312-80", Kind::Iconv, "GBK"},
    {"gbk", Kind::Iconv, "GBK"},
    {"iso-ir-58", Kind::Iconv, "GBK"},
    {"x-gbk", Kind::Iconv, "GBK"},
    {"gb18030", Kind::Iconv, "GB18030"},
    {"big5", Kind::Iconv, "BIG5-HKSCS"},
    {"big5-hkscs", Kind::Iconv, "BIG5-HKSCS"},
    {"cn-big5", Kind::Iconv, "BIG5-HKSCS"},
    {"csbig5", Kind::Iconv, "BIG5-HKSCS"},
    {"x-x-big5", Kind::Iconv, "BIG5-HKSCS"},
    {"cseucpkdfmtjapanese", Kind::Iconv, "EUC-JP"},
    {"euc-jp", Kind::Iconv, "EUC-JP"},
    {"x-euc-jp", Kind::Iconv, "EUC-JP"},
    {"csiso2022jp", Kind::Iconv, "ISO-2022-JP"},
    {"iso-2022-jp", Kind::Iconv, "ISO-2022-JP"},
    {"csshiftjis", Kind::Iconv, "CP932"},
    {"ms932", Kind::Iconv, "CP932"},
    {"ms_kanji", Kind::Iconv, "CP932"},
    {"shift-jis", Kind::Iconv, "CP932"},
    {"shift_jis", Kind::Iconv, "CP932"},
    {"sjis", Kind::Iconv, "CP932"},
    {"windows-31j", Kind::Iconv, "CP932"},
    {"x-sjis", Kind::Iconv, "CP932"},
    {"cseuckr", Kind::Iconv, "CP949"},
    {"csksc56011987", Kind::Iconv, "CP949"},
    {"euc-kr", Kind::Iconv, "CP949"},
    {"iso-ir-149", Kind::Iconv, "CP949"},
    {"korean", Kind::Iconv, "CP949"},
    {"ks_c_5601-1987", Kind::Iconv, "CP949"},
    {"ks_c_5601-1989", Kind::Iconv, "CP949"},
    {"ksc5601", Kind::Iconv, "CP949"},
    {"ksc_5601", Kind::Iconv, "CP949"},
    {"windows-949", Kind::Iconv, "CP949"},
};

// The encoding a label names, or nothing when the label is unknown.
std::optional<Encoding> resolve_label(std::string_view raw) {
  const std::string label = lower_trimmed(raw);
  for (const auto& a : kLabels) {
    if (a.label == label) return Encoding{a.kind, std::string(a.iconv_name)};
  }
  return std::nullopt;
}

// The charset parameter of a Content-Type value, unquoted; empty when none.
std::string content_type_charset(std::string_view ct) {
  std::size_t pos = ct.find(';');
  while (pos != std::string_view::npos && pos < ct.size()) {
    ++pos;
    while (pos < ct.size() && is_space(static_cast<unsigned char>(ct[pos]))) ++pos;
    const std::size_t eq = ct.find_first_of("=;", pos);
    if (eq == std::string_view::npos) break;
    if (ct[eq] == ';') {
      pos = eq;
      continue;
    }
    const std::string name = lower_trimmed(ct.substr(pos, eq - pos));
    std::size_t v = eq + 1;
    std::string value;
    if (v < ct.size() && ct[v] == '"') {
      ++v;
      while (v < ct.size() && ct[v] != '"') {
        if (ct[v] == '\\' && v + 1 < ct.size()) ++v;
        value += ct[v++];
      }
      pos = ct.find(';', v);
    } else {
      const std::size_t end = ct.find(';', v);
      value = std::string(ct.substr(v, end == std::string_view::npos ? end : end - v));
      pos = end;
    }
    if (name == "charset") return lower_trimmed(value);
  }
  return {};
}

// The label in a <meta content="..."> value, as browsers extract it.
std::optional<std::string> charset_from_meta_content(std::string_view s) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t at = [&] {
      for (std::size_t i = pos; i + 7 <= s.size(); ++i) {
        if (ascii::StartsWithNoCase(s.substr(i), "charset")) return i;
      }
      return std::string_view::npos;
    }();
    if (at == std::string_view::npos) return std::nullopt;
    pos = at + 7;
    std::size_t p = pos;
    while (p < s.size() && is_space(static_cast<unsigned char>(s[p]))) ++p;
    if (p >= s.size() || s[p] != '=') continue;
    ++p;
    while (p < s.size() && is_space(static_cast<unsigned char>(s[p]))) ++p;
    if (p >= s.size()) return std::nullopt;
    if (s[p] == '"' || s[p] == '\'') {
      const std::size_t close = s.find(s[p], p + 1);
      if (close == std::string_view::npos) return std::nullopt;
      return std::string(s.substr(p + 1, close - p - 1));
    }
    std::size_t end = p;
    while (end < s.size() && !is_space(static_cast<unsigned char>(s[end])) && s[end] != ';') ++end;
    return std::string(s.substr(p, end - p));
  }
}

// The browsers' prescan of a document's head for a <meta> encoding
// declaration.
class Prescan {
 public:
  explicit Prescan(std::string_view head) : s_(head) {}

  std::optional<Encoding> run() {
    while (pos_ < s_.size()) {
      if (starts_with("<!--")) {
        const std::size_t end = s_.find("-->", pos_ + 2);
        if (end == std::string_view::npos) return std::nullopt;
        pos_ = end + 2;
      } else if (starts_with_nocase("<meta") && pos_ + 5 < s_.size() &&
                 (is_space(byte(pos_ + 5)) || s_[pos_ + 5] == '/')) {
        pos_ += 5;
        const auto found = meta();
        if (truncated_) return std::nullopt;
        if (found) return found;
      } else if (s_[pos_] == '<' &&
                 (is_letter_at(pos_ + 1) || (byte(pos_ + 1) == '/' && is_letter_at(pos_ + 2)))) {
        while (pos_ < s_.size() && !is_space(byte(pos_)) && s_[pos_] != '>') ++pos_;
        while (attribute()) {
        }
        if (truncated_) return std::nullopt;
      } else if (starts_with("<!") || starts_with("</") || starts_with("<?")) {
        const std::size_t end = s_.find('>', pos_);
        if (end == std::string_view::npos) return std::nullopt;
        pos_ = end;
      }
      ++pos_;
    }
    return std::nullopt;
  }

 private:
  unsigned char byte(std::size_t i) const {
    return i < s_.size() ? static_cast<unsigned char>(s_[i]) : 0;
  }
  bool is_letter_at(std::size_t i) const { return ascii::IsLetter(static_cast<char>(byte(i))); }
  bool starts_with(std::string_view p) const { return s_.substr(pos_).starts_with(p); }
  bool starts_with_nocase(std::string_view p) const {
    return ascii::StartsWithNoCase(s_.substr(pos_), p);
  }

  std::optional<Encoding> meta() {
    std::string seen[3];  // attribute names already taken; later duplicates are ignored
    bool got_pragma = false;
    std::optional<bool> need_pragma;
    std::optional<std::optional<Encoding>> charset;
    while (attribute()) {
      auto known = [&](std::string_view n) {
        for (auto& s : seen) {
          if (s == n) return true;
        }
        for (auto& s : seen) {
          if (s.empty()) {
            s = n;
            break;
          }
        }
        return false;
      };
      if (name_ == "http-equiv") {
        if (known(name_)) continue;
        if (value_ == "content-type") got_pragma = true;
      } else if (name_ == "content") {
        if (known(name_)) continue;
        if (!charset) {
          if (auto label = charset_from_meta_content(value_)) {
            charset = resolve_label(*label);
            need_pragma = true;
          }
        }
      } else if (name_ == "charset") {
        if (known(name_)) continue;
        charset = resolve_label(value_);
        need_pragma = false;
      }
    }
    if (truncated_ || !need_pragma || !charset) return std::nullopt;
    if (*need_pragma && !got_pragma) return std::nullopt;
    if (!*charset) return std::nullopt;
    Encoding enc = **charset;
    // A page that could be read as ASCII to find this tag is not UTF-16.
    if (enc.kind == Kind::Utf16LE || enc.kind == Kind::Utf16BE) enc = Encoding{Kind::Utf8, {}};
    return enc;
  }

  // Reads the next attribute into name_/value_; false when the tag ends (or
  // the scanned window does, which sets truncated_).
  bool attribute() {
    name_.clear();
    value_.clear();
    while (pos_ < s_.size() && (is_space(byte(pos_)) || s_[pos_] == '/')) ++pos_;
    if (pos_ >= s_.size()) return fail();
    if (s_[pos_] == '>') return false;
    for (;; ++pos_) {
      if (pos_ >= s_.size()) return fail();
      const char c = s_[pos_];
      if (c == '=' && !name_.empty()) {
        ++pos_;
        break;
      }
      if (is_space(static_cast<unsigned char>(c))) {
        while (pos_ < s_.size() && is_space(byte(pos_))) ++pos_;
        if (pos_ >= s_.size()) return fail();
        if (s_[pos_] != '=') return true;
        ++pos_;
        break;
      }
      if (c == '/' || c == '>') return true;
      name_ += ascii::ToLower(c);
    }
    while (pos_ < s_.size() && is_space(byte(pos_))) ++pos_;
    if (pos_ >= s_.size()) return fail();
    const char q = s_[pos_];
    if (q == '"' || q == '\'') {
      for (++pos_;; ++pos_) {
        if (pos_ >= s_.size()) return fail();
        if (s_[pos_] == q) {
          ++pos_;
          return true;
        }
        value_ += ascii::ToLower(s_[pos_]);
      }
    }
    if (q == '>') return true;
    for (;; ++pos_) {
      if (pos_ >= s_.size()) return fail();
      if (is_space(byte(pos_)) || s_[pos_] == '>') return true;
      value_ += ascii::ToLower(s_[pos_]);
    }
  }

  bool fail() {
    truncated_ = true;
    return false;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  bool truncated_ = false;
  std::string name_;
  std::string value_;
};

struct Choice {
  Encoding encoding;
  std::size_t skip = 0;      // byte-order mark length
  bool known_valid = false;  // already checked to be valid UTF-8
};

Choice choose(std::string_view bytes, std::string_view content_type) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return {{Kind::Utf8, {}}, 3, false};
  if (bytes.starts_with("\xFF\xFE")) return {{Kind::Utf16LE, {}}, 2, false};
  if (bytes.starts_with("\xFE\xFF")) return {{Kind::Utf16BE, {}}, 2, false};
  if (auto label = content_type_charset(content_type); !label.empty()) {
    if (auto enc = resolve_label(label)) return {*enc, 0, false};
  }
  if (auto enc = Prescan(bytes.substr(0, 1024)).run()) return {*enc, 0, false};
  if (utf8_valid(bytes)) return {{Kind::Utf8, {}}, 0, true};
  return {{Kind::Windows1252, {}}, 0, false};
}

// Whether the text of `bytes` is the bytes themselves, past a byte-order mark.
bool IsTextAsIs(std::string_view bytes, const Choice& c) {
  return c.known_valid || (c.encoding.kind == Kind::Utf8 && utf8_valid(bytes, c.skip));
}

std::string decode_as(std::string_view bytes, const Encoding& enc) {
  switch (enc.kind) {
    case Kind::Utf8: {
      if (utf8_valid(bytes)) return std::string(bytes);
      std::string out;
      out.reserve(bytes.size() + 16);
      append_utf8_repaired(out, bytes);
      return out;
    }
    case Kind::Utf16LE:
      return decode_utf16(bytes, true);
    case Kind::Utf16BE:
      return decode_utf16(bytes, false);
    case Kind::Windows1252:
      return decode_windows1252(bytes);
    case Kind::Iconv:
      if (auto out = decode_iconv(bytes, enc.iconv_name)) return std::move(*out);
      return decode_windows1252(bytes);
  }
  return decode_windows1252(bytes);
}

}  // namespace

std::string decode_body(std::string_view bytes, std::string_view content_type) {
  const Choice c = choose(bytes, content_type);
  if (c.known_valid) return std::string(bytes);
  return decode_as(bytes.substr(c.skip), c.encoding);
}

std::string decode_body_owned(std::string bytes, std::string_view content_type) {
  const Choice c = choose(bytes, content_type);
  if (IsTextAsIs(bytes, c)) {
    bytes.erase(0, c.skip);
    return bytes;
  }
  return decode_as(std::string_view(bytes).substr(c.skip), c.encoding);
}

std::optional<std::string_view> text_as_is(std::string_view bytes, std::string_view content_type) {
  const Choice c = choose(bytes, content_type);
  if (IsTextAsIs(bytes, c)) return bytes.substr(c.skip);
  return std::nullopt;
}

bool is_valid_utf8(std::string_view text) {
  return utf8_valid(text);
}

}  // namespace vx::net
