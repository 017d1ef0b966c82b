#include "app/window/markup_colours.h"

#include <algorithm>

namespace vx::window {
namespace {

bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

unsigned char Lower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Whether the text at `at` reads `word` (ASCII, any case).
bool ReadsAt(const SourceText& text, std::size_t at, const char* word) {
  for (std::size_t i = 0; word[i] != '\0'; ++i) {
    if (at + i >= text.size() || Lower(text.At(at + i)) != static_cast<unsigned char>(word[i])) {
      return false;
    }
  }
  return true;
}

class Reader {
 public:
  Reader(const SourceText& text, std::size_t begin, std::size_t end)
      : t_(text), begin_(begin), end_(end) {}

  std::vector<MarkupSpan> Run(std::size_t from) {
    std::size_t i = from;
    while (i < end_) {
      const unsigned char c = t_.At(i);
      if (c != '<') {
        ++i;
        continue;
      }
      if (ReadsAt(t_, i, "<!--")) {
        i = Comment(i);
      } else if (i + 1 < t_.size() && (IsNameStart(t_.At(i + 1)) || t_.At(i + 1) == '/' ||
                                       t_.At(i + 1) == '!' || t_.At(i + 1) == '?')) {
        i = Tag(i);
      } else {
        ++i;
      }
    }
    return std::move(out_);
  }

 private:
  void Add(std::size_t b, std::size_t e, MarkupKind kind) {
    b = std::max(b, begin_);
    e = std::min(e, end_);
    if (b < e) out_.push_back({b, e, kind});
  }

  std::size_t Comment(std::size_t at) {
    std::size_t i = at + 4;
    while (i < t_.size() && i < end_ + 3 && !ReadsAt(t_, i, "-->")) ++i;
    i = std::min(i + 3, t_.size());
    Add(at, i, MarkupKind::Comment);
    return i;
  }

  // A tag from its '<' to its '>'. After <script> and <style> the reading
  // skips to their end tag: what is between is no markup.
  std::size_t Tag(std::size_t at) {
    std::size_t i = at + 1;
    if (i < t_.size() && (t_.At(i) == '/' || t_.At(i) == '!' || t_.At(i) == '?')) ++i;
    const std::size_t name_at = i;
    while (i < t_.size() && !IsSpace(t_.At(i)) && t_.At(i) != '>' && t_.At(i) != '/') ++i;
    const bool closing = t_.At(at + 1) == '/';
    const char* raw_end = nullptr;
    if (!closing && i - name_at == 6 && ReadsAt(t_, name_at, "script")) raw_end = "</script";
    if (!closing && i - name_at == 5 && ReadsAt(t_, name_at, "style")) raw_end = "</style";
    Add(at, i, MarkupKind::Tag);
    while (i < t_.size() && i < end_) {
      const unsigned char c = t_.At(i);
      if (c == '>') {
        Add(i, i + 1, MarkupKind::Tag);
        ++i;
        break;
      }
      if (IsSpace(c) || c == '/') {
        if (c == '/') Add(i, i + 1, MarkupKind::Tag);
        ++i;
        continue;
      }
      // An attribute: name, then perhaps '=' and a value.
      const std::size_t name = i;
      while (i < t_.size() && !IsSpace(t_.At(i)) && t_.At(i) != '=' && t_.At(i) != '>') ++i;
      Add(name, i, MarkupKind::AttributeName);
      std::size_t j = i;
      while (j < t_.size() && IsSpace(t_.At(j))) ++j;
      if (j >= t_.size() || t_.At(j) != '=') continue;
      i = j + 1;
      while (i < t_.size() && IsSpace(t_.At(i))) ++i;
      const std::size_t value = i;
      if (i < t_.size() && (t_.At(i) == '"' || t_.At(i) == '\'')) {
        const unsigned char quote = t_.At(i);
        ++i;
        while (i < t_.size() && i < end_ && t_.At(i) != quote) ++i;
        if (i < t_.size() && t_.At(i) == quote) ++i;
      } else {
        while (i < t_.size() && !IsSpace(t_.At(i)) && t_.At(i) != '>') ++i;
      }
      Add(value, i, MarkupKind::AttributeValue);
    }
    if (raw_end != nullptr) {
      while (i < t_.size() && i < end_ && !ReadsAt(t_, i, raw_end)) ++i;
    }
    return i;
  }

  const SourceText& t_;
  std::size_t begin_;
  std::size_t end_;
  std::vector<MarkupSpan> out_;
};

}  // namespace

std::vector<MarkupSpan> MarkupSpans(const SourceText& text, std::size_t begin, std::size_t end) {
  end = std::min(end, text.size());
  begin = std::min(begin, end);
  const std::size_t from = begin > kMarkupLookBack ? begin - kMarkupLookBack : 0;
  return Reader(text, begin, end).Run(from);
}

}  // namespace vx::window
