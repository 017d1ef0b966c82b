// Markup read a block at a time against a reader of the tokenizer's states
// written out byte by byte: wherever the blocks stop, they stop at a piece
// boundary the tokenizer reaches, with the same tags, start tags and end of
// character data behind them; over ordinary markup they read to the limit.
#include "app/check/markup_blocks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/markup_walk.h"

namespace vx::app::check {
namespace {

using namespace vx::support::markup_walk;

// What ordinary pages are made of: every quote in a tag delimits a value.
const std::vector<std::string> kOrdinary = {"<a href=\"x\">",
                                            "</a>",
                                            "text ",
                                            "<span class=\"pre\">",
                                            "</span>",
                                            "<br/>",
                                            "<img src=\"a>b\" alt=\"c'd <e> /f=g\">",
                                            "<p>",
                                            "\n",
                                            "  ",
                                            "<div\nid=\"x\"\n>",
                                            "<input disabled>",
                                            "<a b>",
                                            "<x-y z=\"\">",
                                            "</p >",
                                            "<A HREF=\"X\">",
                                            "&amp;",
                                            "<td\tclass=\"c\">",
                                            "<a b/c=\"d\">",
                                            "<s>",
                                            "<section id=\"s\">",
                                            "<sp>",
                                            "x<3 y",
                                            "<strong>",
                                            "</strong>",
                                            "</section>",
                                            "<li\r\nclass=\"l\"/>",
                                            std::string(70, 'w'),
                                            "<a title=\"" + std::string(90, 't') + "\">",
                                            "<" + std::string(80, 'n') + ">",
                                            "</a b=\"c\" d>",
                                            "<a b=\"\"c=\"d\">",
                                            "<i>\xc3\xa9</i>",
                                            std::string("<a b=\"\0\">", 9)};
// And what the blocks must leave to the tokenizer, or read exactly.
const std::vector<std::string> kOther = {"it's",
                                         "say \"hi\"",
                                         "a > b",
                                         "<!-- c <a> -->",
                                         "<!doctype html>",
                                         "<?pi?>",
                                         "</>",
                                         "</ x>",
                                         "<a b=c>",
                                         "<a b=c=\"d e=\"f>\">",
                                         "<a x\"\" y=\"z>\">",
                                         "<a=\"x>\">",
                                         "</a=\"x>\">",
                                         "<a b =\"x>\">",
                                         "<a b= \"x>\">",
                                         "<a b='x>'>",
                                         "<a b=\"x'>",
                                         "<a b<c>",
                                         "<a<b>",
                                         "<a \"b=\"c>\">",
                                         "<a b=\"c\"d=\"e>\">",
                                         "<a b=\"c\"\"d>\">",
                                         "<a =\"b>\">",
                                         "<script>var a = '<b>';</script>",
                                         "<style>p>a{}</style>",
                                         "<SCRIPT>x</SCRIPT>",
                                         "<title>a<b></title>",
                                         "<textarea><a></textarea>",
                                         "<svg><a/></svg>",
                                         "<Style>",
                                         "<a b=\"c>",
                                         "<a b=\"c\" d='e' f=\"g>\">",
                                         "<a/=\"b>\">",
                                         "<a b==\"c>\">",
                                         "<a<b <c d=\"e\">",
                                         "a \"<b>\" c",
                                         "x \" y"};

std::string MakePage(std::mt19937& random, std::size_t pieces, bool ordinary_only) {
  std::string page;
  while (pieces-- > 0) {
    const bool other = !ordinary_only && random() % 8 == 0;
    const auto& from = other ? kOther : kOrdinary;
    page += from[random() % from.size()];
  }
  return page;
}

// Reads `page` from `from` to `limit` with each width, each held to the walk.
void ExpectReadAsWalked(std::string_view page, std::size_t from, std::size_t limit, bool ordinary) {
  const std::vector<Boundary> walk = Walk(page, from, limit);
  for (const MarkupBlocks::Vectors width : Widths()) {
    const MarkupBlocks::Result r = kBlocks.Read(page.data(), from, limit, width);
    ASSERT_EQ(Disagreement(page, from, limit, r, walk, ordinary), "")
        << "from " << from << " to " << limit << ", width " << static_cast<int>(width) << ", of "
        << page;
    ASSERT_EQ(MarksDisagreement(page, from, limit, width, r, walk), "")
        << "from " << from << " to " << limit << ", width " << static_cast<int>(width) << ", of "
        << page;
  }
}

TEST(MarkupBlocks, TheMachineHasTheInstructionsTestsNeed) {
#if defined(__x86_64__)
  // On x86-64 the reading by blocks is what the tests hold to the walk.
  EXPECT_FALSE(Widths().empty()) << "no AVX2: the blocks are not read on this machine";
#endif
}

TEST(MarkupBlocks, StopWhereTheTokenizerWouldAndCountWhatItPassed) {
  std::mt19937 random(26);
  for (int round = 0; round < 3000; ++round) {
    const bool ordinary = round % 3 == 0;
    const std::string page = MakePage(random, 8 + random() % 60, ordinary);
    if (page.size() < 70) continue;
    // From the page's start or a later boundary, to a limit the bytes read
    // after which are in the page.
    const std::size_t end = page.size() - MarkupBlocks::kAfter;
    const std::vector<Boundary> walk = Walk(page, 0, end);
    const std::size_t from = walk[random() % walk.size()].pos;
    if (from + 64 > end) continue;
    const std::size_t limit = from + 64 + random() % (end - from - 63);
    ExpectReadAsWalked(page, from, limit, ordinary);
    if (HasFatalFailure()) return;
  }
}

TEST(MarkupBlocks, EachTroubleStopsTheBlocksBeforeIt) {
  // Every piece the blocks must not read through, at every place in a block
  // around its edges, after ordinary markup.
  for (const std::string& other : kOther) {
    for (std::size_t pad = 0; pad < 140; ++pad) {
      const std::string page = "<a href=\"x\">" + std::string(pad, 'p') + "<b c=\"d\">" + other +
                               "<i j=\"k\">" + std::string(150, 'q') + "</i>";
      ExpectReadAsWalked(page, 0, page.size() - MarkupBlocks::kAfter, false);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(MarkupBlocks, FindTheFirstPlaceThatMaySwitchTheTokenizer) {
  // Ordinary pieces, with the names that switch and the comments among
  // them, and names that share their first letters.
  std::vector<std::string> pieces = kOrdinary;
  for (const std::string_view name : kNames) pieces.push_back("<" + std::string(name) + ">");
  for (const char* piece :
       {"<!-- c -->", "<!-x>", "<!doctype html>", "<SCRIPT>", "<sTyLe a>", "<scr>", "<sc>",
        "<sel/>", "<ma", "<3 svg", "< svg>", "</script>", "<x", "<", "<s\xc3\xa9>", "<!", "<Z>"})
    pieces.emplace_back(piece);
  std::mt19937 random(28);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    const std::size_t count = 4 + random() % 80;
    const bool rare = round % 2 == 0;  // the switching ones now and then
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t k = random() % pieces.size();
      if (rare && k >= kOrdinary.size() && random() % 6 != 0) continue;
      page += pieces[k];
    }
    page += std::string(MarkupBlocks::kAfter, ' ');
    const std::size_t end = page.size() - MarkupBlocks::kAfter;
    const std::size_t from = random() % (end + 1);
    const std::size_t limit = from + random() % (end - from + 1);
    ASSERT_EQ(SwitchDisagreement(page, from, limit), "")
        << "from " << from << " to " << limit << " of " << page;
  }
}

}  // namespace
}  // namespace vx::app::check
