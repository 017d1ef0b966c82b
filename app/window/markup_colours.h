#pragma once

// Where the parts of the markup are in a piece of a page, for colouring the
// source box: tags, attribute names, attribute values and comments.
//
// Only the piece in view is looked at, after a bounded look-back from which
// the reading starts as if in plain text; so a comment or a script that began
// further back than the look-back can be coloured wrongly. That is why the
// colouring is offered, not on by default.

#include <cstddef>
#include <vector>

#include "app/window/source_text.h"

namespace vx::window {

enum class MarkupKind { Tag, AttributeName, AttributeValue, Comment };

struct MarkupSpan {
  std::size_t begin = 0;  // bytes [begin, end)
  std::size_t end = 0;
  MarkupKind kind = MarkupKind::Tag;
  bool operator==(const MarkupSpan&) const = default;
};

// Bytes read before `begin` to find out where the reading stands.
inline constexpr std::size_t kMarkupLookBack = 4096;

// The spans that meet [begin, end), clipped to it, in order.
std::vector<MarkupSpan> MarkupSpans(const SourceText& text, std::size_t begin, std::size_t end);

}  // namespace vx::window
