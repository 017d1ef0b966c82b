#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vx::window {

// Where a rule's marker shows in a text: every occurrence of each form the
// rule looks for (a scanned rule's all-capital and all-small forms, a found
// rule's marker as written), as byte offsets in ascending order, with the
// length in bytes of the form found there. Occurrences of different forms may
// overlap only when the forms are equal, and then are listed once.
struct Occurrence {
  std::size_t offset = 0;
  std::size_t length = 0;
  bool operator==(const Occurrence&) const = default;
};

// `rule` is 0-based; an index past the table gives nothing. At most `limit`
// occurrences, the first ones.
std::vector<Occurrence> RuleOccurrences(std::string_view text, std::size_t rule,
                                        std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace vx::window
