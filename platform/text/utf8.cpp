#include "platform/text/utf8.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace vx::text {
namespace {

// 0x80..0x9F of Windows-1252; 0xFFFD marks the five undefined bytes.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

char32_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

int UnicodeToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == cp && cp != 0xFFFD) return static_cast<int>(0x80 + i);
  }
  return -1;
}

namespace {

// Length of the well-formed sequence at s[i], or 0 when s[i] starts none.
std::size_t SequenceAt(const unsigned char* s, std::size_t n, std::size_t i, char32_t& cp) {
  const unsigned char b = s[i];
  std::size_t len = 0;
  char32_t min = 0;
  if (b < 0x80) {
    cp = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  }
  if (len == 0 || i + len > n) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if (!IsContinuation(s[i + k])) return 0;
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  char32_t cp = 0;
  for (std::size_t i = 0; i < text.size();) {
    // Pages are mostly ASCII: eight bytes at a time while they are.
    std::uint64_t word;
    if (i + 8 <= text.size() &&
        (std::memcpy(&word, s + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
      continue;
    }
    const std::size_t len = SequenceAt(s, text.size(), i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string ToValidUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (char32_t cp : DecodeUtf8(text)) AppendUtf8(out, cp);
  return out;
}

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  char32_t cp = 0;
  for (std::size_t i = 0; i < n;) {
    const std::size_t len = SequenceAt(s, n, i, cp);
    out.push_back(len > 0 ? cp : Cp1252ToUnicode(s[i]));
    i += len > 0 ? len : 1;
  }
  return out;
}

bool IsBidiControl(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
         cp == 0x200F || cp == 0x061C;
}

std::string EscapeForDisplay(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = SequenceAt(s, text.size(), i, cp);
    if (len == 0) {
      out += "\\x";
      out += kHex[s[i] >> 4];
      out += kHex[s[i] & 15];
      ++i;
      continue;
    }
    const bool control = (cp < 0x20 && cp != '\t') || (cp >= 0x7F && cp <= 0x9F);
    if (!control && !IsBidiControl(cp)) {
      out.append(text, i, len);
    } else if (cp == 0x1B) {
      out += "\\e";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp < 0x80) {
      out += "\\x";
      out += kHex[cp >> 4];
      out += kHex[cp & 15];
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 15];
    }
    i += len;
  }
  return out;
}

}  // namespace vx::text
