#include "app/window/source_search.h"

#include <QChar>
#include <algorithm>
#include <cstring>

namespace vx::window {
namespace {

unsigned char AsciiLower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

struct Code {
  char32_t code = 0;
  std::size_t length = 1;
};

// The code point at `at` (U+FFFD for malformed bytes, one byte long).
Code DecodeAt(std::string_view s, std::size_t at) {
  const auto c = static_cast<unsigned char>(s[at]);
  if (c < 0x80) return {c, 1};
  std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
  if (n == 0 || at + n > s.size()) return {0xFFFD, 1};
  char32_t code = c & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    const auto d = static_cast<unsigned char>(s[at + i]);
    if ((d & 0xC0) != 0x80) return {0xFFFD, 1};
    code = (code << 6) | (d & 0x3F);
  }
  return {code, n};
}

// The start of the character before `at`.
std::size_t CharBefore(std::string_view s, std::size_t at) {
  std::size_t i = at - 1;
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80 && at - i < 4) --i;
  return i;
}

}  // namespace

bool IsWordCharacter(char32_t code) {
  return code == '_' || QChar::isLetterOrNumber(code) || QChar::isMark(code);
}

TextSearch::TextSearch(SearchQuery query) : query_(std::move(query)) {
  const std::string& n = query_.needle;
  for (const char c : n) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii_ = false;
  }
  if (!n.empty()) {
    word_start_ = IsWordCharacter(DecodeAt(n, 0).code);
    word_end_ = IsWordCharacter(DecodeAt(n, CharBefore(n, n.size())).code);
  }
  if (query_.match_case) return;
  if (ascii_) {
    folded_ = n;
    for (char& c : folded_) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
  } else {
    for (std::size_t i = 0; i < n.size();) {
      const Code c = DecodeAt(n, i);
      folded_code_.push_back(QChar::toCaseFolded(c.code));
      i += c.length;
    }
  }
}

std::size_t TextSearch::MatchAt(std::string_view text, std::size_t at) const {
  std::size_t i = at;
  for (const char32_t want : folded_code_) {
    if (i >= text.size()) return 0;
    const Code c = DecodeAt(text, i);
    if (QChar::toCaseFolded(c.code) != want) return 0;
    i += c.length;
  }
  return i - at;
}

SearchMatch TextSearch::Raw(std::string_view text, std::size_t from) const {
  const std::string& n = query_.needle;
  if (n.empty() || from > text.size()) return {};
  if (query_.match_case) {
    const std::size_t at = text.find(n, from);
    return at == std::string_view::npos ? SearchMatch{} : SearchMatch{at, n.size()};
  }
  if (ascii_) {
    // memchr finds the first byte in each case; the other case is looked for
    // only up to where the one found stands, so that a case the text lacks
    // is not sought to the end again for every match (quadratic on a page
    // full of matches).
    const unsigned char first = static_cast<unsigned char>(folded_[0]);
    const unsigned char upper =
        first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 'a' + 'A') : first;
    if (text.size() < n.size()) return {};
    const std::size_t last = text.size() - n.size();  // the last possible start
    // The first `c` in [start, end), or npos.
    auto find = [&](unsigned char c, std::size_t start, std::size_t end) -> std::size_t {
      if (start >= end) return std::string_view::npos;
      const void* p = std::memchr(text.data() + start, c, end - start);
      return p ? static_cast<std::size_t>(static_cast<const char*>(p) - text.data())
               : std::string_view::npos;
    };
    for (std::size_t start = from; start <= last;) {
      const std::size_t a = find(first, start, last + 1);
      const std::size_t b = upper == first
                                ? std::string_view::npos
                                : find(upper, start, a == std::string_view::npos ? last + 1 : a);
      const std::size_t at = b != std::string_view::npos ? b : a;
      if (at == std::string_view::npos) return {};
      bool same = true;
      for (std::size_t i = 1; i < n.size() && same; ++i) {
        same = AsciiLower(static_cast<unsigned char>(text[at + i])) ==
               static_cast<unsigned char>(folded_[i]);
      }
      if (same) return {at, n.size()};
      start = at + 1;
    }
    return {};
  }
  for (std::size_t i = from; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (const std::size_t length = MatchAt(text, i); length != 0) return {i, length};
  }
  return {};
}

bool TextSearch::WordBounded(std::string_view text, std::size_t at, std::size_t length) const {
  if (word_start_ && at > 0 && IsWordCharacter(DecodeAt(text, CharBefore(text, at)).code)) {
    return false;
  }
  if (word_end_ && at + length < text.size() && IsWordCharacter(DecodeAt(text, at + length).code)) {
    return false;
  }
  return true;
}

SearchMatch TextSearch::Next(std::string_view text, std::size_t from) const {
  for (;;) {
    const SearchMatch m = Raw(text, from);
    if (!m.found() || !query_.whole_word || WordBounded(text, m.offset, m.length)) return m;
    from = m.offset + 1;
  }
}

SearchMatch TextSearch::Previous(std::string_view text, std::size_t before) const {
  const std::string& n = query_.needle;
  before = std::min(before, text.size());
  if (n.empty()) return {};
  // Candidates from the last possible start back to the first.
  std::size_t at = before;
  for (;;) {
    SearchMatch m;
    if (query_.match_case) {
      if (before < n.size()) return {};
      const std::size_t last = std::min(at, before - n.size());
      const std::size_t found = text.substr(0, last + n.size()).rfind(n);
      if (found != std::string_view::npos) m = {found, n.size()};
    } else if (ascii_) {
      if (before < n.size()) return {};
      for (std::size_t i = std::min(at, before - n.size()) + 1; i-- > 0;) {
        bool same = true;
        for (std::size_t j = 0; j < n.size() && same; ++j) {
          same = AsciiLower(static_cast<unsigned char>(text[i + j])) ==
                 static_cast<unsigned char>(folded_[j]);
        }
        if (same) {
          m = {i, n.size()};
          break;
        }
      }
    } else {
      for (std::size_t i = std::min(at, before) + 1; i-- > 0;) {
        if (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        const std::size_t length = i < text.size() ? MatchAt(text, i) : 0;
        if (length != 0 && i + length <= before) {
          m = {i, length};
          break;
        }
      }
    }
    if (!m.found() || !query_.whole_word || WordBounded(text, m.offset, m.length)) return m;
    if (m.offset == 0) return {};
    at = m.offset - 1;
  }
}

std::size_t TextSearch::Count(std::string_view text, std::size_t keep,
                              std::vector<std::size_t>* offsets) const {
  std::size_t count = 0;
  for (std::size_t from = 0;;) {
    const SearchMatch m = Next(text, from);
    if (!m.found()) return count;
    if (offsets != nullptr && count < keep) offsets->push_back(m.offset);
    ++count;
    from = m.offset + std::max<std::size_t>(m.length, 1);
  }
}

}  // namespace vx::window
