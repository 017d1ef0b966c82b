// Element rules: selectors over the start tags of a page, one tokenizer pass
// for all of them, and the origin a tag's URL goes to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/rule_set.h"

namespace vx::app::check {

struct PageOrigin;

// The selectors of an element rule: compounds separated by commas, each an
// element name or "*" and tests [a], [a=v], [a^=v], [a$=v], [a*=v], :not([...])
// and one :has(compound). Throws std::invalid_argument saying what is wrong.
std::vector<Selector> ParseSelectors(std::string_view text);

// Well-known library, font, tag-manager and analytics hosts, lower case.
const std::vector<std::string>& WellKnownOrigins();

// The host of an allow-origins entry ("https://cdn.example.net/" or
// "cdn.example.net"), lower case; "" when it names none.
std::string AllowedHost(std::string_view entry);

struct ElementHit {
  std::size_t rule = 0;  // index into the set
  std::size_t offset = 0, length = 0;
  std::string element;
};

// Every element rule's hits in `text`, in page order. `page` may be null (a
// text without an address: every absolute http(s) URL goes elsewhere).
std::vector<ElementHit> MatchElements(std::string_view text, const RuleSet& set,
                                      const PageOrigin* page, std::size_t only_rule);

// Whether the page was read over `scheme` (lower case), by its address.
bool PageScheme(const PageOrigin* page, std::string_view scheme);

}  // namespace vx::app::check
