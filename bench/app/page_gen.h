#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::bench {

// A web page of exactly `bytes` bytes (UTF-8) that reads like a long news or
// shop page: headings, paragraphs, links, lists, tables and inline styles,
// with words that come close to the check's markers ("<em>", "<footer",
// "online", "mouse", "window", "function") but few markers themselves. Of the
// twenty rules, "<form" appears once near a third, "onclick" once near two
// thirds, and "window.open", "<SCRIPT" and "cdromCollection" once each near the
// end; the others never.
std::string MakePage(std::size_t bytes, std::uint32_t seed = 1);

// The pages of the HTML manual Debian's python3.11-doc ships, in path order,
// read once; empty when the package is missing.
const std::vector<std::string>& ManualPages();

}  // namespace vx::bench
