#include "app/window/source_text.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/text_position.h"

namespace vx::window {
namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Room a new gap gets beyond what an edit needs: enough that typing seldom
// moves the text, little against the text itself.
std::size_t GapFor(std::size_t text_size) {
  return std::clamp<std::size_t>(text_size / 16, 4096, std::size_t{16} << 20);
}

// Whether a byte of at least 0xF0 (one that starts a character of four
// bytes) is among these.
bool HasHigh(std::string_view s) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i floor = _mm_set1_epi8(static_cast<char>(0xF0));
  for (; i + 16 <= s.size(); i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(x, floor), x)) != 0) return true;
  }
#endif
  for (; i < s.size(); ++i) {
    if (static_cast<unsigned char>(s[i]) >= 0xF0) return true;
  }
  return false;
}

}  // namespace

SourceText::SourceText() : starts_{0}, index_{Counts{}} {}

void SourceText::Assign(std::string text) {
  if (text.size() > kMaxSize) throw std::length_error("the text is too long for the source box");
  buf_ = std::move(text);
  gap_ = buf_.size();
  gap_len_ = 0;
  shift_from_ = 0;
  shift_by_ = 0;
  index_.assign(1, Counts{});
  valid_ = 1;

  // One pass over the text for its line index.
  starts_.assign(1, 0);
  const char* const base = buf_.data();
  const char* const end = base + buf_.size();
  const char* nl = static_cast<const char*>(std::memchr(base, '\n', buf_.size()));
  const char* cr = static_cast<const char*>(std::memchr(base, '\r', buf_.size()));
  for (;;) {
    const char* p = nl == nullptr ? cr : (cr == nullptr || nl < cr ? nl : cr);
    if (p == nullptr) break;
    if (p == cr && p + 1 < end && p[1] == '\n') p += 1;  // "\r\n" ends at its "\n"
    starts_.push_back(static_cast<Offset>(p + 1 - base));
    const auto rest = static_cast<std::size_t>(end - (p + 1));
    if (nl != nullptr && nl <= p) nl = static_cast<const char*>(std::memchr(p + 1, '\n', rest));
    if (cr != nullptr && cr <= p) cr = static_cast<const char*>(std::memchr(p + 1, '\r', rest));
  }
}

const std::string& SourceText::Flat() {
  if (gap_len_ != 0) {
    MoveGap(size());
    // The gap stays as the string's spare capacity.
    buf_.resize(size());
    gap_len_ = 0;
  }
  return buf_;
}

void SourceText::MoveGap(std::size_t to) {
  if (to == gap_) return;
  char* b = buf_.data();
  if (to < gap_) {
    std::memmove(b + to + gap_len_, b + to, gap_ - to);
  } else {
    std::memmove(b + gap_, b + gap_ + gap_len_, to - gap_);
  }
  gap_ = to;
}

void SourceText::OpenGap(std::size_t need) {
  if (gap_len_ >= need) return;
  const std::size_t n = size();
  const std::size_t want = need + GapFor(n);  // the gap's new length
  const std::size_t extra = want - gap_len_;
  const std::size_t tail = n - gap_;
  if (buf_.capacity() >= buf_.size() + extra) {
    // The room is already there behind the text.
    buf_.resize(buf_.size() + extra);
    std::memmove(buf_.data() + gap_ + want, buf_.data() + gap_ + gap_len_, tail);
    gap_len_ = want;
    return;
  }
  std::string grown;
  grown.reserve(n + want);
  grown.append(buf_.data(), gap_);
  grown.append(want, '\0');
  grown.append(buf_.data() + gap_ + gap_len_, tail);
  buf_.swap(grown);
  gap_len_ = want;
}

void SourceText::Replace(std::size_t at, std::size_t removed, std::string_view inserted) {
  at = std::min(at, size());
  removed = std::min(removed, size() - at);
  if (removed == 0 && inserted.empty()) return;
  if (inserted.size() > kMaxSize - (size() - removed)) {
    throw std::length_error("the text would be too long for the source box");
  }
  if (gap_len_ == 0) gap_ = size();
  MoveGap(at);
  gap_len_ += removed;  // the removed bytes join the gap
  OpenGap(inserted.size());
  if (!inserted.empty()) std::memcpy(buf_.data() + gap_, inserted.data(), inserted.size());
  gap_ += inserted.size();
  gap_len_ -= inserted.size();
  valid_ = std::min(valid_, at / kChunk + 1);
  UpdateLines(at, removed, inserted.size());
}

bool SourceText::IsBreakAt(std::size_t i) const {
  const unsigned char c = At(i);
  return c == '\n' || (c == '\r' && (i + 1 >= size() || At(i + 1) != '\n'));
}

void SourceText::ApplyShiftUpTo(std::size_t end_index) {
  end_index = std::min(end_index, starts_.size());
  if (shift_by_ == 0) {
    shift_from_ = std::max(shift_from_, end_index);
    return;
  }
  for (std::size_t k = shift_from_; k < end_index; ++k) starts_[k] += shift_by_;
  shift_from_ = std::max(shift_from_, end_index);
}

void SourceText::UpdateLines(std::size_t at, std::size_t removed, std::size_t inserted) {
  // Whether byte i ends a line depends on bytes i and i + 1, so the edit can
  // change the line starts s (after the break at s - 1) in [at, at + removed]
  // of the old text; those after it only move.
  const std::size_t lo_value = std::max<std::size_t>(at, 1);
  auto first_at_least = [&](std::size_t value) {
    std::size_t lo = 1, hi = starts_.size();
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (LineStart(mid) < value) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  const std::size_t lo = first_at_least(lo_value);
  const std::size_t hi = first_at_least(at + removed + 1);

  std::vector<Offset> fresh;
  const std::size_t last = at + inserted;  // new starts lie in [lo_value, last]
  for (std::size_t s = lo_value; s <= last && s <= size(); ++s) {
    if (IsBreakAt(s - 1)) fresh.push_back(static_cast<Offset>(s));
  }
  const auto delta = static_cast<Offset>(inserted - removed);  // modulo 2^32

  if (fresh.size() == hi - lo) {
    // The usual case (typing, deleting within a line): the same number of
    // starts, rewritten in place; later ones move by a shared amount.
    ApplyShiftUpTo(hi);
    std::copy(fresh.begin(), fresh.end(), starts_.begin() + static_cast<std::ptrdiff_t>(lo));
    if (shift_by_ != 0 && shift_from_ > hi) {
      // Lines between this edit and the last one's lazily shifted ones.
      for (std::size_t k = hi; k < shift_from_; ++k) starts_[k] -= shift_by_;
    }
    shift_from_ = hi;
    shift_by_ += delta;
    return;
  }
  ApplyShiftUpTo(starts_.size());
  starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(lo),
                starts_.begin() + static_cast<std::ptrdiff_t>(hi));
  starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(lo), fresh.begin(), fresh.end());
  shift_from_ = lo + fresh.size();
  shift_by_ = delta;
}

std::size_t SourceText::LineEnd(std::size_t line) const {
  if (line + 1 >= starts_.size()) return size();
  const std::size_t next = LineStart(line + 1);
  if (next >= 2 && At(next - 1) == '\n' && At(next - 2) == '\r' && next - 2 >= LineStart(line)) {
    return next - 2;
  }
  return next - 1;
}

std::size_t SourceText::LineOf(std::size_t byte) const {
  std::size_t lo = 0, hi = starts_.size();
  // The last line whose start is at or before the byte; a byte of a break
  // lies before the next line's start.
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (LineStart(mid) <= byte) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

std::size_t SourceText::LongestLine() const {
  std::size_t longest = 0;
  for (std::size_t k = 0; k < starts_.size(); ++k) {
    longest = std::max(longest, LineEnd(k) - LineStart(k));
  }
  return longest;
}

SourceText::Pieces SourceText::View(std::size_t from, std::size_t to) const {
  to = std::min(to, size());
  from = std::min(from, to);
  const char* b = buf_.data();
  if (to <= gap_) return {{b + from, to - from}, {}};
  if (from >= gap_) return {{b + from + gap_len_, to - from}, {}};
  return {{b + from, gap_ - from}, {b + gap_ + gap_len_, to - gap_}};
}

std::string SourceText::Copy(std::size_t from, std::size_t to) const {
  const Pieces p = View(from, to);
  std::string out;
  out.reserve(p.first.size() + p.second.size());
  out.append(p.first);
  out.append(p.second);
  return out;
}

SourceText::Decoded SourceText::Decode(std::size_t byte) const {
  const std::size_t n = size();
  if (byte >= n) return {};
  const unsigned char c = At(byte);
  std::size_t end = byte + 1;
  while (end < n && IsContinuation(At(end))) ++end;
  const std::size_t length = end - byte;
  if (IsContinuation(c)) return {0xFFFD, length};  // a leading run at the start
  if (c < 0x80) return {length == 1 ? char32_t{c} : char32_t{0xFFFD}, length};
  std::size_t want;
  char32_t code;
  char32_t least;
  if (c >= 0xC2 && c <= 0xDF) {
    want = 2, code = c & 0x1F, least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    want = 3, code = c & 0x0F, least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    want = 4, code = c & 0x07, least = 0x10000;
  } else {
    return {0xFFFD, length};
  }
  if (length != want) return {0xFFFD, length};
  for (std::size_t i = 1; i < want; ++i) code = (code << 6) | (At(byte + i) & 0x3F);
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return {0xFFFD, length};
  }
  return {code, length};
}

std::size_t SourceText::CharStart(std::size_t byte) const {
  byte = std::min(byte, size());
  while (byte > 0 && byte < size() && IsContinuation(At(byte))) --byte;
  return byte;
}

std::size_t SourceText::NextChar(std::size_t byte) const {
  const std::size_t n = size();
  if (byte >= n) return n;
  ++byte;
  while (byte < n && IsContinuation(At(byte))) ++byte;
  return byte;
}

SourceText::Counts SourceText::CountRange(std::size_t from, std::size_t to) const {
  Counts c;
  const Pieces p = View(from, to);
  for (const std::string_view piece : {p.first, p.second}) {
    if (piece.empty()) continue;
    c.chars += app::CountChars(piece);
    // A lead byte of four bytes is two UTF-16 units when well-formed.
    if (HasHigh(piece)) {
      const std::size_t base = piece.data() == p.first.data() ? from : from + p.first.size();
      for (std::size_t i = 0; i < piece.size(); ++i) {
        if (static_cast<unsigned char>(piece[i]) >= 0xF0 && Decode(base + i).code >= 0x10000) {
          ++c.units;
        }
      }
    }
  }
  c.units += c.chars;
  // A leading run of continuation bytes is shown as one character.
  if (from == 0 && to > 0 && IsContinuation(At(0))) c.units += 1;
  return c;
}

void SourceText::ExtendIndex(std::size_t chunks) const {
  const std::size_t n = size();
  const std::size_t most = n / kChunk + 1;
  chunks = std::min(chunks, most);
  if (index_.size() < chunks) index_.resize(chunks);
  for (; valid_ < chunks; ++valid_) {
    const Counts c = CountRange((valid_ - 1) * kChunk, valid_ * kChunk);
    index_[valid_] = {index_[valid_ - 1].chars + c.chars, index_[valid_ - 1].units + c.units};
  }
}

std::size_t SourceText::CharsBefore(std::size_t byte) const {
  byte = std::min(byte, size());
  const std::size_t k = byte / kChunk;
  ExtendIndex(k + 1);
  return index_[k].chars + CountRange(k * kChunk, byte).chars;
}

std::size_t SourceText::UnitsBefore(std::size_t byte) const {
  byte = std::min(byte, size());
  const std::size_t k = byte / kChunk;
  ExtendIndex(k + 1);
  std::size_t units = index_[k].units + CountRange(k * kChunk, byte).units;
  // A byte inside a leading run of continuation bytes is before its U+FFFD.
  if (byte > 0 && byte < size() && k == 0 && IsContinuation(At(byte)) && CharStart(byte) == 0 &&
      IsContinuation(At(0))) {
    units -= 1;
  }
  return units;
}

std::size_t SourceText::ByteOfChar(std::size_t chars) const {
  ExtendIndex(size() / kChunk + 1);
  // The last chunk that starts at or before the wanted character.
  const auto it =
      std::upper_bound(index_.begin(), index_.begin() + static_cast<std::ptrdiff_t>(valid_), chars,
                       [](std::size_t v, const Counts& c) { return v < c.chars; });
  const auto k = static_cast<std::size_t>(it - index_.begin()) - 1;
  std::size_t seen = index_[k].chars;
  const std::size_t n = size();
  for (std::size_t i = k * kChunk; i < n; ++i) {
    if (!IsContinuation(At(i))) {
      if (seen == chars) return i;
      ++seen;
    }
  }
  return n;
}

std::size_t SourceText::ByteOfUnit(std::size_t units) const {
  ExtendIndex(size() / kChunk + 1);
  const auto it =
      std::upper_bound(index_.begin(), index_.begin() + static_cast<std::ptrdiff_t>(valid_), units,
                       [](std::size_t v, const Counts& c) { return v < c.units; });
  const auto k = static_cast<std::size_t>(it - index_.begin()) - 1;
  std::size_t seen = index_[k].units;
  const std::size_t n = size();
  std::size_t i = k * kChunk;
  if (i == 0 && n > 0 && IsContinuation(At(0))) {
    // The leading run is one unit.
    if (units == 0) return 0;
    seen = 1;
    i = NextChar(0);
  } else {
    i = CharStart(i) == i ? i : NextChar(i);
  }
  while (i < n) {
    const Decoded d = Decode(i);
    const std::size_t width = d.code >= 0x10000 ? 2 : 1;
    if (units < seen + width) return i;
    seen += width;
    i += d.length;
  }
  return n;
}

}  // namespace vx::window
