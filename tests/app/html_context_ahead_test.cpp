// The context scanner helped by a reader ahead: the same answers as alone at
// every offset, whether the helper's guess at the state half way through is
// right, wrong at first or never right; and, where it is right, the scanner
// jumps over what the helper read.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"

namespace {

using vx::app::check::ContextName;
using vx::app::check::ContextScanner;
using vx::app::check::Place;

std::string Say(const Place& p) {
  return std::string(ContextName(p.context)) + "/" + p.element;
}

// The scanner's answers at `offsets` (ascending), with a helper as `ahead`
// says; how much the scanner read itself into `read`.
std::vector<std::string> Helped(std::string_view page, const std::vector<std::size_t>& offsets,
                                const ContextScanner::Ahead& ahead, std::size_t* read = nullptr) {
  ContextScanner scanner(page, ahead);
  std::vector<std::string> out;
  for (std::size_t o : offsets) out.push_back(Say(scanner.At(o)));
  if (read) *read = scanner.bytes_read();
  return out;
}

// The same alone.
std::vector<std::string> Alone(std::string_view page, const std::vector<std::size_t>& offsets) {
  return Helped(page, offsets, ContextScanner::Ahead{});
}

// Markup whose elements close again: after any of its pieces the open
// elements are those of a body, as the helper guesses.
std::string FlatBody(std::size_t bytes, unsigned seed) {
  const std::vector<std::string> pieces = {
      "<p class=a>text &amp; more</p>\n",
      "<a href=\"/x?a=1&b=2\" onclick='go(\"<b>\")'>link</a>\r\n",
      "<!-- a <script> in a comment -->",
      "<script>var s = '</scr' + 'ipt>'; if (a < b) {} <!-- x --></script>",
      "<script><!--<script> </script> still --></script>",
      "<style>p > b { color: red }</style>",
      "<table><tr><td>1</td><td>2</td></tr></table>",
      "<svg><title>t</title><![CDATA[<x>]]></svg>",
      "<textarea><b>not a tag</b></textarea>",
      "<title>in the body</title>",
      "<ul><li>one<li>two</ul>",
      "<img src=x alt=\"y > z\" />",
      "<div><p>open p closed by div end</div>",
      "text\rwith lone CR\n",
      "<form><input name=q></form>",
      "<math><mi>x</mi></math>",
      "<br/><hr>",
      "caf\xC3\xA9 ",
  };
  std::mt19937 random(seed);
  std::string body;
  while (body.size() < bytes) body += pieces[random() % pieces.size()];
  return body;
}

constexpr std::string_view kHead = "<!DOCTYPE html><html><head><title>t</title></head><body>\n";
constexpr std::string_view kFoot = "</body></html>";

std::string FlatPage(std::size_t bytes, unsigned seed) {
  return std::string(kHead) + FlatBody(bytes, seed) + std::string(kFoot);
}

// The same, but for its start, inside an element that stays open.
std::string WrappedPage(std::size_t bytes, unsigned seed) {
  return std::string(kHead) + FlatBody(bytes / 10, seed) + "<div id=page>" +
         FlatBody(bytes - bytes / 10, seed + 1) + std::string(kFoot);
}

// Pieces that leave the tree builder in states a body's guess does not
// match: tables, templates, foreign content, formatting elements.
std::string TrickyPage(std::size_t bytes, unsigned seed) {
  const std::vector<std::string> pieces = {
      "<table><t>A<td>B",
      "<form><p>A</form>B",
      "<table><tr><td><select><option>A<td>B",
      "<svg><mn><p>A</p>B",
      "<ul><li><svg><title>A<li>B</ul>C",
      "<template>A<p>B</template>C",
      "<a>A<a>B</a>C",
      "<a><table><a></a>X",
      "<svg><g></><g>A</g>B",
      "<table><col></c><?",
      "<div>",
      "</div>",
      "</table>",
      "</svg>",
      "<plaintext",
      "<!-- unclosed",
      "<script>",
      "</script>",
      "<xmp><p></xmp>",
      "</body>",
      "<frameset>",
      "</body><!--after-->",
      "</html>X",
      "text ",
      "\r\n",
  };
  std::mt19937 random(seed);
  std::string page;
  while (page.size() < bytes) {
    const std::string& piece = pieces[random() % pieces.size()];
    // The rarest, which end all markup, only now and then.
    if ((piece == "<plaintext" || piece == "<!-- unclosed") && random() % 64 != 0) continue;
    page += piece;
  }
  return page;
}

std::vector<std::size_t> Every(std::size_t size, std::size_t stride, std::size_t first = 0) {
  std::vector<std::size_t> out;
  for (std::size_t i = first; i < size; i += stride) out.push_back(i);
  return out;
}

TEST(ContextScannerAhead, AnswersAsAloneWhereverTheHelperStarts) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    for (const std::string& page :
         {FlatPage(30000, seed), TrickyPage(30000, seed), WrappedPage(30000, seed)}) {
      // Every offset, and sparse ones, which let the scanner jump.
      for (std::size_t stride : {std::size_t{1}, std::size_t{97}, std::size_t{4099}}) {
        const std::vector<std::size_t> offsets = Every(page.size() + 3, stride, seed);
        const std::vector<std::string> alone = Alone(page, offsets);
        for (std::size_t from : {std::size_t{0}, page.size() / 3, page.size() / 2, page.size() - 5,
                                 std::size_t{12345}}) {
          for (std::size_t every : {std::size_t{1}, std::size_t{61}, std::size_t{5000}}) {
            SCOPED_TRACE(testing::Message()
                         << "seed " << seed << " size " << page.size() << " stride " << stride
                         << " from " << from << " every " << every);
            ContextScanner::Ahead ahead;
            ahead.from = from;
            ahead.every = every;
            ahead.on_thread = false;
            const std::vector<std::string> helped = Helped(page, offsets, ahead);
            ASSERT_EQ(helped.size(), alone.size());
            for (std::size_t i = 0; i < alone.size(); ++i)
              ASSERT_EQ(helped[i], alone[i]) << "at " << offsets[i];
          }
        }
      }
    }
  }
}

TEST(ContextScannerAhead, JumpsOnlyWhereTheGuessWasRight) {
  const std::string flat = FlatPage(200000, 7);
  const std::vector<std::size_t> tail = {10, flat.size() - 40, flat.size() - 2};
  ContextScanner::Ahead ahead;
  ahead.from = flat.size() / 2;
  ahead.every = 1024;
  ahead.on_thread = false;
  std::size_t read = 0;
  EXPECT_EQ(Helped(flat, tail, ahead, &read), Alone(flat, tail));
  // Half the page and what lies between the first place the states agreed
  // and the helper's next copy, give or take a piece.
  EXPECT_LT(read, flat.size() / 2 + 4096);
  EXPECT_GE(read, flat.size() / 2);

  // Most of it inside an element the helper never saw open: the states
  // never agree, and the scanner reads every byte itself.
  const std::string wrapped = WrappedPage(200000, 7);
  const std::vector<std::size_t> near_end = {10, wrapped.size() - 60};
  ahead.from = wrapped.size() / 2;
  EXPECT_EQ(Helped(wrapped, near_end, ahead, &read), Alone(wrapped, near_end));
  EXPECT_GE(read, wrapped.size() - 100);

  // The same elements open, but past the body's end, where comments go to
  // the html element: no agreement either.
  std::string after = std::string(kHead) + FlatBody(20000, 7) + "</body>";
  for (int i = 0; i < 3000; ++i) after += "<!--x-->";
  const std::vector<std::size_t> comment = {10, after.size() - 4};
  ahead.from = after.size() / 2;
  EXPECT_EQ(Helped(after, comment, ahead, &read), Alone(after, comment));
  EXPECT_EQ(Alone(after, comment).back(), "comment/html");
}

TEST(ContextScannerAhead, OnAThreadOfItsOwn) {
  // Timing decides how far the helper has come when the scanner meets it;
  // the answers never depend on it.
  const std::string page = FlatPage(std::size_t{3} << 20, 11);
  const std::vector<std::size_t> offsets = Every(page.size(), 65537, 3);
  const std::vector<std::string> alone = Alone(page, offsets);
  for (int round = 0; round < 4; ++round) {
    ContextScanner::Ahead ahead;
    ahead.from = page.size() / 2;
    std::size_t read = 0;
    EXPECT_EQ(Helped(page, offsets, ahead, &read), alone) << round;
    EXPECT_LE(read, page.size());
  }
  // A scanner that ends early stops its helper.
  ContextScanner::Ahead ahead;
  ahead.from = page.size() / 2;
  ContextScanner early(page, ahead);
  EXPECT_EQ(Say(early.At(5)), Alone(page, {5}).front());
}

}  // namespace
