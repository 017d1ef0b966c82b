#include "app/marker_search.h"

#include "app/text_position.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::app {
namespace {

std::vector<std::size_t> Naive(const std::vector<std::string>& patterns, const std::string& text) {
  std::vector<std::size_t> out;
  for (const auto& p : patterns) {
    const auto at = text.find(p);
    out.push_back(at == std::string::npos ? MarkerSearch::npos : at);
  }
  return out;
}

// Every occurrence, overlapping ones too, by offset and then by pattern.
using Hits = std::vector<std::pair<std::size_t, std::uint32_t>>;
Hits NaiveAll(const std::vector<std::string>& patterns, std::string_view text) {
  Hits out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      if (text.substr(at).starts_with(patterns[i])) out.emplace_back(at, i);
    }
  }
  return out;
}

using Filter = MarkerSearch::Filter;

Hits All(const MarkerSearch& search, std::string_view text, Filter f) {
  Hits out;
  search.ForEach(
      text, [&](std::size_t at, std::uint32_t i) { out.emplace_back(at, i); }, f);
  return out;
}
// The 64-byte filter where the processor has it (else the 32-byte one
// again), the 32-byte one and the byte filter.
constexpr Filter kFilters[] = {Filter::Widest, Filter::Avx2, Filter::Bytes};
const char* Name(Filter f) {
  return f == Filter::Widest ? "widest filter" : f == Filter::Avx2 ? "AVX2 filter" : "byte filter";
}

void ExpectFiltersAgree(const std::vector<std::string>& patterns, const std::string& text) {
  const MarkerSearch search(patterns);
  const auto expected = Naive(patterns, text);
  const Hits all = NaiveAll(patterns, text);
  for (const Filter f : kFilters) {
    EXPECT_EQ(search.FirstOccurrences(text, f), expected) << Name(f) << ", text: " << text;
    EXPECT_EQ(All(search, text, f), all) << Name(f) << ", every occurrence, text: " << text;
  }
}

TEST(MarkerSearch, OverlappingNestedAndRepeatedPatterns) {
  const std::vector<std::string> patterns = {"mousedown", "onmousedown", "ONMOUSEDOWN", "<form",
                                             "<form",     "win.focus",   "window.open", "x"};
  ExpectFiltersAgree(patterns, "");
  ExpectFiltersAgree(patterns, "x");
  ExpectFiltersAgree(patterns, "onmousedown");
  ExpectFiltersAgree(patterns, std::string(100, 'a') + "onmousedown<form" + std::string(40, 'b'));
  // Matches right at the end, where the vector loop hands over to the byte loop.
  for (std::size_t pad = 0; pad < 70; ++pad) {
    ExpectFiltersAgree(patterns, std::string(pad, '.') + "win.focus");
    ExpectFiltersAgree(patterns, std::string(pad, '.') + "window.ope");
  }
}

TEST(MarkerSearch, LongPatternCutByTheEndOfAViewIsNoMatch) {
  // The bytes after the view complete the pattern: reading them would match.
  const MarkerSearch search({"application/x-shockwave-flash", "onmousedown"});
  for (std::size_t pad = 0; pad < 40; ++pad) {
    const std::string whole = std::string(pad, '.') + "application/x-shockwave-flash onmousedown";
    for (std::size_t cut = 1; cut < 12; ++cut) {
      const std::string_view view(whole.data(), whole.size() - cut);
      for (const Filter f : kFilters) {
        EXPECT_EQ(search.FirstOccurrences(view, f),
                  (std::vector<std::size_t>{pad, MarkerSearch::npos}))
            << Name(f) << " pad " << pad << " cut " << cut;
        EXPECT_EQ(All(search, view, f), (Hits{{pad, 0}}))
            << Name(f) << " pad " << pad << " cut " << cut;
      }
    }
    const std::string_view flash(whole.data(), pad + 28);
    for (const Filter f : kFilters)
      EXPECT_EQ(search.FirstOccurrences(flash, f)[0], MarkerSearch::npos) << Name(f);
  }
}

TEST(MarkerSearch, ShortPatternsUseShortPrefix) {
  ExpectFiltersAgree({"ab", "b"}, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab");
  ExpectFiltersAgree({"\xff\x80", "\x80"}, std::string(50, '\x7f') + "\xff\x80");
}

TEST(MarkerSearch, RandomTextsAgreeWithPlainSearch) {
  // A small alphabet makes near misses and candidates frequent; many patterns
  // force buckets to be shared.
  std::mt19937 rng(12345);
  const std::string alphabet = "<>onmusedwOMUSEDW.f";
  auto random_string = [&](std::size_t n) {
    std::string s(n, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> patterns;
    const std::size_t count = 1 + rng() % 40;
    for (std::size_t i = 0; i < count; ++i) patterns.push_back(random_string(1 + rng() % 6));
    const std::string text = random_string(rng() % 3000);
    const MarkerSearch search(patterns);
    const auto expected = Naive(patterns, text);
    const Hits all = NaiveAll(patterns, text);
    for (const Filter f : kFilters) {
      ASSERT_EQ(search.FirstOccurrences(text, f), expected) << Name(f) << " round " << round;
      ASSERT_EQ(All(search, text, f), all) << Name(f) << " round " << round;
    }
  }
}

// Long stretches where the filter sees no candidate, read two blocks (of 32
// or 64 bytes) at a time: patterns at every place around those blocks' bounds
// and near the end of the text, alone and in pairs.
TEST(MarkerSearch, QuietStretchesMissNothing) {
  const std::vector<std::string> patterns = {"<script", "cdromCollection", "onmousedown", "<a"};
  for (std::size_t size : {std::size_t{70}, std::size_t{200}, std::size_t{333}, std::size_t{700}}) {
    for (std::size_t at = 0; at + 2 <= size; ++at) {
      std::string text(size, '.');
      text.replace(at, std::min<std::size_t>(7, size - at),
                   std::string("<script").substr(0, size - at));
      ExpectFiltersAgree(patterns, text);
      if (at >= 40) {
        text.replace(at - 40, 2, "<a");
        ExpectFiltersAgree(patterns, text);
      }
    }
  }
}

TEST(MarkerSearch, PlacesEachHitByCharacterAndLine) {
  // Long texts (past the 255-block counter flush) of multi-byte characters and
  // all three kinds of line break, with the patterns planted at random places.
  std::mt19937 rng(99);
  const std::vector<std::string> pieces = {
      "a", "<b>", "\n", "\r\n", "\r", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "   "};
  const std::vector<std::string> patterns = {"<script", "cdromCollection", "\xE2\x82\xAC!", "x\ry"};
  const MarkerSearch search(patterns);
  for (int round = 0; round < 6; ++round) {
    std::string text;
    while (text.size() < 20000 + static_cast<std::size_t>(round) * 9000) {
      text += pieces[rng() % pieces.size()];
      if (rng() % 4000 == 0) text += patterns[rng() % patterns.size()];
    }
    for (const Filter f : kFilters) {
      const auto found = search.Find(text, f);
      for (std::size_t i = 0; i < patterns.size(); ++i) {
        const auto at = text.find(patterns[i]);
        ASSERT_EQ(found[i].offset, at == std::string::npos ? MarkerSearch::npos : at);
        if (at == std::string::npos) continue;
        EXPECT_EQ(found[i].chars, CountChars(std::string_view(text).substr(0, at)));
        EXPECT_EQ(found[i].line, LocateOffsets(text, {at})[0].line) << "round " << round;
        EXPECT_EQ(found[i].column, ColumnAt(text, at)) << "round " << round;
      }
    }
  }
}

TEST(MarkerSearch, RejectsEmptyInput) {
  EXPECT_THROW(MarkerSearch({}), std::invalid_argument);
  EXPECT_THROW(MarkerSearch({"a", ""}), std::invalid_argument);
}

}  // namespace
}  // namespace vx::app
