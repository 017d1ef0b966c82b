// The context scanner against gumbo's parse tree over real pages: the
// Python 3.11 documentation Debian ships (python3.11-doc, some 500 pages).
// At every marker occurrence, every '<' and a sample of other bytes the two
// must name the same context and the same element, except where a documented
// exception (tests/support/context_diff.h) applies; those are counted and
// held to small bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/context_diff.h"

namespace {

namespace fs = std::filesystem;
using vx::support::ContextException;
using vx::support::ContextTally;

const fs::path kCorpus = "/usr/share/doc/python3.11/html";

std::vector<fs::path> CorpusPages() {
  std::vector<fs::path> pages;
  if (!fs::is_directory(kCorpus)) return pages;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
    if (entry.is_regular_file() && entry.path().extension() == ".html") {
      pages.push_back(entry.path());
    }
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The pages whose open p, template and raw text elements the scanner
// counts or keeps by name rather than by walking its open elements: gumbo
// reads every byte of them the same way.
TEST(HtmlContextGumbo, AgreesWhereOpenElementsAreCounted) {
  for (const std::string_view page :
       {"<p><button><div>A</button>B<div>C</div>D", "<b><p>A</b>B<div>C</div>D",
        "<form><p><span>A</form>B<div>C</div>D", "<p><span><em>A</p>B<div>C</div>D",
        "<template><p>A</template>B<div>C</div>D", "<P>A<UL>B</UL>C<Ul>x</uL>D",
        "<svg><template>A</template></svg>B<div>C</div>D",
        "<TITLE>Q1<b>Q2</TITLE>Q3<style>Q4</style><div>Q5<TextArea>Q6</div>Q7</textAREA>Q8"
        "<script>Q9</style>Q10</ScRiPt>Q11",
        "<div><p>a<table><tr><td><p>b</td></tr></table>c<p>d</div>e",
        // Runs of plain tags broken by those that change how tags are read.
        "<div><span>a<table><span>b</span><tr><td><em>c</em></td></tr></table>d</span>e</div>f",
        "<div><select><option>a<span>b</span><optgroup>c</select><em>d</em></div>e",
        "<template><div><td>a</td><span>b</span></div></template><em>c</em>d",
        "<div><svg><g><span>a</span></g><desc><em>b</em>c</desc></svg><em>d</em></div>e",
        "<table><colgroup><col><span>a</span></colgroup></table>b",
        "<div>a</body><span>b</span></html><em>c</em>d", "<SPAN>a<B>b</b></Span>c<DIV>d</DIV>e"}) {
    const ContextTally tally =
        vx::support::CompareContexts(page, vx::support::InterestingOffsets(page, 1));
    for (const auto& fault : tally.faults) ADD_FAILURE() << vx::support::Describe(page, fault);
    EXPECT_EQ(tally.fault_count, 0u) << page;
    EXPECT_TRUE(tally.tag_faults.empty()) << page << ": first at " << tally.tag_faults.front();
    EXPECT_TRUE(tally.far_faults.empty()) << page << ": first at " << tally.far_faults.front();
    EXPECT_GT(tally.compared, 0u) << page;
  }
}

TEST(HtmlContextGumbo, AgreesOnTheRealPageCorpus) {
  const std::vector<fs::path> pages = CorpusPages();
  ASSERT_GE(pages.size(), 400u) << "the page corpus is missing: install python3.11-doc "
                                   "(scripts/deps.sh) to get "
                                << kCorpus;
  ContextTally total;
  std::size_t bytes = 0;
  for (const fs::path& path : pages) {
    const std::string page = Slurp(path);
    bytes += page.size();
    const ContextTally tally =
        vx::support::CompareContexts(page, vx::support::InterestingOffsets(page, 61));
    for (const auto& fault : tally.faults) {
      ADD_FAILURE() << path << " " << vx::support::Describe(page, fault);
    }
    for (const std::size_t at : tally.tag_faults) {
      ADD_FAILURE() << path << " at " << at << ": told apart from the tree, a tag's place differs";
    }
    for (const std::size_t at : tally.far_faults) {
      ADD_FAILURE() << path << " at " << at << ": asked far apart with the tree, the place differs";
    }
    total.Add(tally);
  }
  std::cout << pages.size() << " pages, " << bytes << " bytes; " << total.asked
            << " offsets asked, " << total.compared << " compared; context agrees at "
            << total.context_agree << ", element at " << total.element_agree << "; exceptions:";
  for (std::size_t i = 1; i < vx::support::kExceptionKinds; ++i) {
    std::cout << " " << vx::support::ExceptionName(static_cast<ContextException>(i)) << " "
              << total.exceptions[i];
  }
  std::cout << "; tags told without the tree at " << total.tag_told << " of " << total.tag_places
            << "\n";
  EXPECT_EQ(total.fault_count, 0u);
  // No page of the manual has an svg, math or select start tag: every tag is
  // told by the tokenizer alone.
  EXPECT_EQ(total.tag_told, total.tag_places);
  // The documented exceptions on this corpus (python3.11-doc 3.11.2), in
  // offsets compared: the white space before the search forms' "</form>"
  // (290), and six bytes of search.html, whose noscript holds a warning in
  // markup. Nothing else.
  const auto count = [&](ContextException e) { return total.exceptions[static_cast<int>(e)]; };
  EXPECT_LE(count(ContextException::kBeforeFormEnd), 290u);
  EXPECT_LE(count(ContextException::kNoscript), 6u);
  EXPECT_EQ(count(ContextException::kMoved), 0u);
  EXPECT_EQ(count(ContextException::kDeep), 0u);
  EXPECT_EQ(count(ContextException::kUnknownEndTag), 0u);
  EXPECT_EQ(count(ContextException::kLongName), 0u);
  EXPECT_EQ(count(ContextException::kStrayBody), 0u);
  EXPECT_EQ(count(ContextException::kFrameset), 0u);
  EXPECT_EQ(count(ContextException::kTemplate), 0u);
  EXPECT_GT(total.compared, 1000000u) << "too few offsets compared to mean anything";
}

}  // namespace
