// The pieces of the data state read one byte at a time by the tokenizer's
// states, as written in the HTML standard: the reference the reading of
// markup a block at a time (MarkupBlocks) is held to, in tests and fuzzing.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"
#include "app/check/markup_blocks.h"

namespace vx::support::markup_walk {

using app::check::MarkupBlocks;

// The blocks as the context scanner reads with them, and the names of the
// tags they leave to it.
inline const std::span<const std::string_view> kNames = app::check::SkimSwitchNames();
inline const MarkupBlocks& kBlocks = app::check::SkimBlocks();

inline bool Space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
inline bool Letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// After the '<' at `p` (and the '/' of an end tag): the byte after the tag's
// '>', by the tokenizer's tag states; nothing if the page ends first.
inline std::optional<std::size_t> TagEnd(std::string_view t, std::size_t p, bool end_tag) {
  enum {
    kName,
    kBeforeName,
    kAttrName,
    kAfterName,
    kBeforeValue,
    kDq,
    kSq,
    kUnquoted,
    kAfterQuoted,
    kSelfClosing
  } state = kName;
  for (std::size_t i = p + (end_tag ? 2 : 1); i < t.size(); ++i) {
    const char c = t[i];
    switch (state) {
      case kName:
        if (Space(c)) state = kBeforeName;
        if (c == '/') state = kSelfClosing;
        if (c == '>') return i + 1;
        break;
      case kBeforeName:
        if (c == '/' || c == '>') {
          state = kAfterName;
          --i;
        } else if (!Space(c)) {
          state = kAttrName;  // '=' starts a name here
        }
        break;
      case kAttrName:
        if (Space(c) || c == '/' || c == '>') {
          state = kAfterName;
          --i;
        } else if (c == '=') {
          state = kBeforeValue;
        }
        break;
      case kAfterName:
        if (c == '/') state = kSelfClosing;
        if (c == '=') state = kBeforeValue;
        if (c == '>') return i + 1;
        if (!Space(c) && c != '/' && c != '=') state = kAttrName;
        break;
      case kBeforeValue:
        if (c == '"') state = kDq;
        if (c == '\'') state = kSq;
        if (c == '>') return i + 1;
        if (!Space(c) && c != '"' && c != '\'') state = kUnquoted;
        break;
      case kDq:
      case kSq:
        if (c == (state == kDq ? '"' : '\'')) state = kAfterQuoted;
        break;
      case kUnquoted:
        if (Space(c)) state = kBeforeName;
        if (c == '>') return i + 1;
        break;
      case kAfterQuoted:
        if (Space(c)) state = kBeforeName;
        if (c == '/') state = kSelfClosing;
        if (c == '>') return i + 1;
        if (!Space(c) && c != '/' && c != '>') {
          state = kBeforeName;
          --i;
        }
        break;
      case kSelfClosing:
        if (c == '>') return i + 1;
        state = kBeforeName;
        --i;
        break;
    }
  }
  return std::nullopt;
}

// Where character data from `p` ends: the next '<' that opens a tag, a
// comment or a declaration ("</>" is dropped, read over).
inline std::size_t TextEnd(std::string_view t, std::size_t p) {
  for (std::size_t i = t[p] == '<' ? p + 1 : p; i + 1 < t.size(); ++i) {
    if (t[i] != '<') continue;
    const char c = t[i + 1];
    if (c == '/' && i + 2 < t.size() && t[i + 2] == '>') continue;
    if (Letter(c) || c == '!' || c == '?' || (c == '/' && i + 2 < t.size())) return i;
  }
  return t.size();
}

inline bool Switches(std::string_view t, std::size_t name) {
  std::string lowered;
  for (std::size_t i = name; i < t.size() && !Space(t[i]) && t[i] != '/' && t[i] != '>'; ++i)
    lowered += Lower(t[i]);
  for (const std::string_view n : kNames) {
    if (lowered == n) return true;
  }
  return false;
}

struct Boundary {
  std::size_t pos, tags, starts, text_end;
};

// The piece boundaries from `from` up to `limit`, in the data state, until
// a comment, a declaration, a tag that switches the tokenizer or a piece
// that ends past the limit.
inline std::vector<Boundary> Walk(std::string_view t, std::size_t from, std::size_t limit) {
  std::vector<Boundary> walk{{from, 0, 0, MarkupBlocks::kNone}};
  for (Boundary at = walk.back(); at.pos + 2 < t.size();) {
    const std::size_t p = at.pos;
    const bool start = t[p] == '<' && Letter(t[p + 1]);
    const bool end = t[p] == '<' && t[p + 1] == '/' && Letter(t[p + 2]);
    if (start || end) {
      if (start && Switches(t, p + 1)) break;
      const std::optional<std::size_t> e = TagEnd(t, p, end);
      if (!e || *e > limit) break;
      at.pos = *e;
      ++at.tags;
      at.starts += start;
    } else if (t[p] == '<' && (t[p + 1] == '!' || t[p + 1] == '?' || t[p + 1] == '/')) {
      break;
    } else {
      const std::size_t e = TextEnd(t, p);
      if (e > limit) break;
      at.pos = at.text_end = e;
    }
    walk.push_back(at);
  }
  return walk;
}

// Checks a reading of `page` from `from` to `limit` against the walk:
// empty if it agrees, else what differs. With `ordinary` (nothing in the
// page the blocks must leave alone), it must also read to the limit.
inline std::string Disagreement(std::string_view page, std::size_t from, std::size_t limit,
                                const MarkupBlocks::Result& r, const std::vector<Boundary>& walk,
                                bool ordinary) {
  if (r.pos > limit) return "past the limit";
  if (r.stopped < r.pos) return "stopped before its place";
  const Boundary* at = nullptr;
  for (const Boundary& b : walk) {
    if (b.pos == r.pos) at = &b;
  }
  if (at == nullptr) return "stopped at " + std::to_string(r.pos) + ", no boundary";
  if (r.tags_closed != at->tags) return "tags closed: " + std::to_string(r.tags_closed);
  if (r.starts_closed != at->starts) return "start tags closed: " + std::to_string(r.starts_closed);
  if (r.text_end != (at->text_end == r.pos ? r.pos : MarkupBlocks::kNone))
    return "text end: " + std::to_string(r.text_end);
  // A candidate is a start tag whose first letter begins a name.
  if (r.stop == MarkupBlocks::Stop::kCandidate) {
    if (!(page[r.pos] == '<' && Letter(page[r.pos + 1]) && Letter(page[r.pos + 2])))
      return "a candidate that is no start tag";
    bool named = false;
    for (const std::string_view n : kNames) named |= Lower(page[r.pos + 1]) == n[0];
    if (!named) return "a candidate no name begins like";
  }
  if (ordinary) {
    // Nothing to stop at but the names: read to the last boundary in the
    // whole blocks (a tag's '<' right after them is not seen).
    const std::size_t read_to = from + (limit - from) / 64 * 64;
    std::size_t last = from;
    for (const Boundary& b : walk) {
      if (b.pos < read_to || (b.pos == read_to && b.text_end != b.pos)) last = b.pos;
    }
    if (r.stop == MarkupBlocks::Stop::kTrouble) {
      return "trouble at " + std::to_string(r.stopped) + " in ordinary markup";
    }
    if (r.stop == MarkupBlocks::Stop::kLimit && r.pos != last)
      return "read to " + std::to_string(r.pos) + ", not " + std::to_string(last);
  }
  return {};
}

// Reads `page` from `from` to `limit` again, telling where tags open and
// close: empty if the reading is the same as `r` and the marks are the tags
// of the walk before r.pos (and maybe the '<' at r.pos), else what differs.
inline std::string MarksDisagreement(std::string_view page, std::size_t from, std::size_t limit,
                                     MarkupBlocks::Vectors width, const MarkupBlocks::Result& r,
                                     const std::vector<Boundary>& walk) {
  const std::size_t room = (limit - from) / MarkupBlocks::kBlock + 1;
  std::vector<std::uint64_t> opens(room, ~std::uint64_t{0}), closes(room, ~std::uint64_t{0});
  MarkupBlocks::Marks marks{opens.data(), closes.data()};
  const MarkupBlocks::Result again = kBlocks.Read(page.data(), from, limit, width, &marks);
  if (again.pos != r.pos || again.stopped != r.stopped || again.tags_closed != r.tags_closed ||
      again.starts_closed != r.starts_closed || again.text_end != r.text_end ||
      again.stop != r.stop)
    return "read otherwise with marks";
  if (marks.blocks > room) return "marks past the room given";
  if (r.pos - from > marks.blocks * MarkupBlocks::kBlock) return "too few marks";
  const auto bit = [&](const std::vector<std::uint64_t>& m, std::size_t at) {
    const std::size_t i = (at - from) / MarkupBlocks::kBlock;
    return i < marks.blocks && (m[i] >> ((at - from) % MarkupBlocks::kBlock) & 1) != 0;
  };
  std::vector<std::uint64_t> want_opens(marks.blocks), want_closes(marks.blocks);
  const auto set = [&](std::vector<std::uint64_t>& m, std::size_t at) {
    m[(at - from) / MarkupBlocks::kBlock] |= std::uint64_t{1}
                                             << ((at - from) % MarkupBlocks::kBlock);
  };
  for (std::size_t i = 0; i + 1 < walk.size() && walk[i + 1].pos <= r.pos; ++i) {
    const std::size_t p = walk[i].pos;
    if (walk[i + 1].tags == walk[i].tags) continue;  // character data
    if (!bit(opens, p)) return "no open mark at " + std::to_string(p);
    if (!bit(closes, walk[i + 1].pos - 1)) return "no close mark at " + std::to_string(p);
    set(want_opens, p);
    set(want_closes, walk[i + 1].pos - 1);
  }
  if (r.pos < page.size() && page[r.pos] == '<' &&
      r.pos - from < marks.blocks * MarkupBlocks::kBlock && bit(opens, r.pos))
    set(want_opens, r.pos);
  for (std::size_t i = 0; i < marks.blocks; ++i) {
    if (opens[i] != want_opens[i] || closes[i] != want_closes[i])
      return "marks in block " + std::to_string(i) + " that are no tag's";
  }
  return {};
}

// The vector widths this machine reads blocks with.
inline std::vector<MarkupBlocks::Vectors> Widths() {
  std::vector<MarkupBlocks::Vectors> widths;
  if (MarkupBlocks::Available(MarkupBlocks::Vectors::kAvx2))
    widths.push_back(MarkupBlocks::Vectors::kAvx2);
  if (MarkupBlocks::Available(MarkupBlocks::Vectors::kAvx512))
    widths.push_back(MarkupBlocks::Vectors::kAvx512);
  return widths;
}

// Finds the first '<' that may switch the tokenizer in [from, limit) with
// each width, and a few bytes at a time (which leaves it to the byte-by-byte
// reading): empty if every reading finds the same place with the same count
// behind it, no comment's "<!-" and no switching name's first three letters
// (in any case) follow a '<' before it, and the count is that of the '<'
// followed by a letter before it; else what differs.
inline std::string SwitchDisagreement(std::string_view page, std::size_t from, std::size_t limit) {
  std::size_t found = limit, starts = 0;
  for (std::size_t p = from; p < limit;) {
    const std::size_t to = std::min(limit, p + MarkupBlocks::kBlock - 1 - p % 5);
    found = kBlocks.FindSwitch(page.data(), p, to, starts);
    if (found < to) break;
    found = p = to;
  }
  std::size_t want_starts = 0;
  for (std::size_t p = from; p < found; ++p) {
    if (page[p] != '<') continue;
    if (page[p + 1] == '!' && page[p + 2] == '-')
      return "a comment before " + std::to_string(found);
    for (const std::string_view name : kNames) {
      if (Lower(page[p + 1]) == name[0] && Lower(page[p + 2]) == name[1] &&
          Lower(page[p + 3]) == name[2])
        return "<" + std::string(name) + " at " + std::to_string(p) + ", before " +
               std::to_string(found);
    }
    want_starts += Letter(page[p + 1]);
  }
  if (starts != want_starts)
    return "counted " + std::to_string(starts) + " starts, not " + std::to_string(want_starts);
  if (found < limit && page[found] != '<') return "found no '<' at " + std::to_string(found);
  for (const MarkupBlocks::Vectors width : Widths()) {
    std::size_t wide_starts = 0;
    const std::size_t wide = kBlocks.FindSwitch(page.data(), from, limit, wide_starts, width);
    if (wide != found || wide_starts != starts)
      return "width " + std::to_string(static_cast<int>(width)) + " found " + std::to_string(wide) +
             " after " + std::to_string(wide_starts) + " starts, not " + std::to_string(found) +
             " after " + std::to_string(starts);
  }
  return {};
}

}  // namespace vx::support::markup_walk
