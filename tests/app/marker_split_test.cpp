// The search on two threads finds what the one-pass search finds, placed the
// same, wherever the middle of the text falls.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/marker_search.h"
#include "app/text_position.h"

namespace vx::app {
namespace {

const std::vector<std::string> kPatterns = {
    "<script",         "<SCRIPT", "onmousedown", "mousedown", "application/x-shockwave-flash",
    "cdromCollection", "x"};

void ExpectSameAsOnePass(const std::string& text, const std::string& what) {
  const MarkerSearch search(kPatterns);
  using Filter = MarkerSearch::Filter;
  for (const Filter f : {Filter::Widest, Filter::Avx2, Filter::Bytes}) {
    const auto one = search.FindInOnePass(text, f);
    const auto halves = search.FindInHalves(text, f);
    ASSERT_EQ(one.size(), halves.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
      EXPECT_EQ(one[i].offset, halves[i].offset) << what << " pattern " << kPatterns[i];
      EXPECT_EQ(one[i].chars, halves[i].chars) << what << " pattern " << kPatterns[i];
      EXPECT_EQ(one[i].line, halves[i].line) << what << " pattern " << kPatterns[i];
      EXPECT_EQ(one[i].column, halves[i].column) << what << " pattern " << kPatterns[i];
    }
  }
}

TEST(MarkerSplit, MatchesAcrossAndAroundTheMiddle) {
  const std::string marker = "application/x-shockwave-flash";
  // The long marker starting at every position around the middle.
  for (std::size_t before = 60; before < 140; ++before) {
    std::string text(before, '.');
    text += marker;
    text.resize(200, '.');
    ExpectSameAsOnePass(text, "marker at " + std::to_string(before));
  }
  // Only in the second half, after lines and characters the first counts.
  std::string text = "caf\xC3\xA9\r\nline\rtwo\n";
  text += std::string(300, 'y') + "\xE2\x82\xAC\n<SCRIPT onmousedown cdromCollection";
  ExpectSameAsOnePass(text, "second half only");
  // A CR LF pair split by the middle counts once.
  for (std::size_t at = 40; at < 60; ++at) {
    std::string split(100, 'a');
    split[at] = '\r';
    split[at + 1] = '\n';
    split += "<script";
    ExpectSameAsOnePass(split, "crlf at " + std::to_string(at));
  }
  ExpectSameAsOnePass("", "empty");
  ExpectSameAsOnePass("x", "one byte");
  ExpectSameAsOnePass(std::string(1000, '\xC3'), "all bad bytes");
}

TEST(MarkerSplit, RandomTexts) {
  std::mt19937 rng(16);
  const std::vector<std::string> pieces = {
      "<script",  "<SCRIPT",      "mousedown", "onmouse",    "\r\n", "\r",  "\n",
      "\xC3\xA9", "\xE2\x82\xAC", "cdrom",     "Collection", "x",    "abc", "flash"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int parts = std::uniform_int_distribution<int>(0, 200)(rng);
    for (int i = 0; i < parts; ++i) {
      text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
      text += std::string(std::uniform_int_distribution<std::size_t>(0, 40)(rng), '-');
    }
    ExpectSameAsOnePass(text, "round " + std::to_string(round));
  }
}

TEST(MarkerSplit, LargeTextsSplitOnTheirOwn) {
  // Above the size where Find splits: compared with the byte filter's pass,
  // which FirstOccurrences on a view below the size confirms piecewise.
  std::string text(MarkerSearch::kSplitBytes + 1000, 'z');
  text.replace(10, 7, "<script");
  text.replace(text.size() / 2 - 3, 9, "mousedown");
  text.replace(text.size() - 20, 15, "cdromCollection");
  for (std::size_t i = 1000; i < text.size(); i += 4096) {
    if (text[i] == 'z') text[i] = '\n';
  }
  const MarkerSearch search(kPatterns);
  const auto found = search.Find(text);
  // The one-thread pass a busy caller asks for finds and places the same.
  const auto alone = search.FindInOnePass(text);
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(alone[i].offset, found[i].offset) << kPatterns[i];
    EXPECT_EQ(alone[i].line, found[i].line) << kPatterns[i];
    EXPECT_EQ(alone[i].column, found[i].column) << kPatterns[i];
  }
  EXPECT_EQ(found[0].offset, 10u);
  EXPECT_EQ(found[3].offset, text.size() / 2 - 3);
  EXPECT_EQ(found[5].offset, text.size() - 20);
  EXPECT_EQ(found[2].offset, MarkerSearch::npos);
  const std::size_t at = text.size() - 20;
  const auto breaks =
      std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  EXPECT_EQ(found[5].line, static_cast<std::size_t>(breaks) + 1);
  EXPECT_EQ(found[5].chars, at);
  EXPECT_EQ(found[5].column, ColumnAt(text, at));
  EXPECT_EQ(found[3].column, ColumnAt(text, text.size() / 2 - 3));
  EXPECT_EQ(
      found[3].line,
      static_cast<std::size_t>(std::count(
          text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.size() / 2 - 3), '\n')) +
          1);
}

}  // namespace
}  // namespace vx::app
