// Markup read a block at a time on random pages, from the page's start and
// from a boundary the input picks, to a limit it picks: with every vector
// width the machine has, the reading stops at a boundary the tokenizer's own
// states reach byte by byte, with the same counts behind it, and never reads
// past the bytes it may read after the limit; where it tells the tags' ends
// apart, those are the walk's. The first place that may switch the
// tokenizer is found alike by every width and byte by byte.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/markup_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::support::markup_walk;
  if (size < 4) return 0;
  // The first two bytes choose; the page is the rest, in a buffer of its own
  // size so that a read past the end is caught.
  const std::vector<char> bytes(data + 2, data + size);
  const std::string_view page(bytes.data(), bytes.size());
  if (page.size() < MarkupBlocks::kAfter) return 0;
  const std::size_t end = page.size() - MarkupBlocks::kAfter;
  // The first place that may switch the tokenizer, from anywhere.
  const std::size_t at = data[0] * 13 % (end + 1);
  if (const std::string wrong = SwitchDisagreement(page, at, end); !wrong.empty()) {
    std::fprintf(stderr, "from %zu to %zu: %s\n", at, end, wrong.c_str());
    std::abort();
  }
  if (end < MarkupBlocks::kBlock) return 0;
  const std::vector<Boundary> walk = Walk(page, 0, end);
  const std::size_t from = walk[data[0] % walk.size()].pos;
  if (from + MarkupBlocks::kBlock > end) return 0;
  const std::size_t room = end - from - MarkupBlocks::kBlock;
  const std::size_t limit =
      from + MarkupBlocks::kBlock + (room == 0 ? 0 : data[1] * 7 % (room + 1));
  const std::vector<Boundary> from_there = Walk(page, from, limit);
  for (const MarkupBlocks::Vectors width : Widths()) {
    const MarkupBlocks::Result r = kBlocks.Read(page.data(), from, limit, width);
    std::string wrong = Disagreement(page, from, limit, r, from_there, false);
    if (wrong.empty()) wrong = MarksDisagreement(page, from, limit, width, r, from_there);
    if (!wrong.empty()) {
      std::fprintf(stderr, "from %zu to %zu, width %d: %s\n", from, limit, static_cast<int>(width),
                   wrong.c_str());
      std::abort();
    }
  }
  return 0;
}
