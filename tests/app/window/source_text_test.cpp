// The source box's text store against plain models: the line index after
// every edit, character and UTF-16 positions, malformed bytes.

#include "app/window/source_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/text_position.h"
#include "app/window/markup_colours.h"
#include "app/window/source_search.h"

namespace vx::window {
namespace {

std::vector<std::size_t> ModelStarts(const std::string& t) {
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\n' || (t[i] == '\r' && (i + 1 == t.size() || t[i + 1] != '\n'))) {
      starts.push_back(i + 1);
    }
  }
  return starts;
}

// UTF-16 units of well-formed UTF-8.
std::size_t ModelUnits(const std::string& t) {
  std::size_t units = 0;
  for (const char c : t) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

void ExpectSameLines(const SourceText& text, const std::string& model, const std::string& what) {
  const std::vector<std::size_t> starts = ModelStarts(model);
  ASSERT_EQ(text.LineCount(), starts.size()) << what;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    ASSERT_EQ(text.LineStart(k), starts[k]) << what << " line " << k;
    const std::size_t next = k + 1 < starts.size() ? starts[k + 1] : model.size();
    std::size_t end = next;
    if (k + 1 < starts.size())
      end -=
          (next >= 2 && model[next - 2] == '\r' && model[next - 1] == '\n' && next - 2 >= starts[k])
              ? 2
              : 1;
    ASSERT_EQ(text.LineEnd(k), end) << what << " line " << k;
  }
}

TEST(SourceText, LineIndexFollowsEveryKindOfEdit) {
  // Line ends of all kinds appear, join ("\r" + "\n") and split as the edits
  // go; many edits fall on one line so that later lines move lazily.
  const std::vector<std::string> pieces{
      "a", "bc", "\r", "\n", "\r\n", "\xC3\xA9", "\xF0\x9F\x98\x80", "xyz\r"};
  std::mt19937 rng(7);
  std::string model;
  SourceText text;
  for (int i = 0; i < 200; ++i) model += pieces[rng() % pieces.size()];
  text.Assign(model);
  ExpectSameLines(text, model, "assigned");
  auto char_start = [&](std::size_t at) {
    while (at > 0 && at < model.size() && (static_cast<unsigned char>(model[at]) & 0xC0) == 0x80)
      --at;
    return at;
  };
  std::size_t hot = model.size() / 2;
  for (int step = 0; step < 3000; ++step) {
    // Two edits in three near one place (typing), the rest anywhere.
    std::size_t at = rng() % 3 != 0 ? std::min(hot, model.size()) : rng() % (model.size() + 1);
    at = char_start(at);
    std::size_t removed = rng() % 4 == 0 ? rng() % 6 : 0;
    removed = char_start(std::min(model.size(), at + removed)) - at;
    std::string inserted;
    if (rng() % 5 != 0) inserted = pieces[rng() % pieces.size()];
    model.replace(at, removed, inserted);
    text.Replace(at, removed, inserted);
    hot = at + inserted.size();
    ExpectSameLines(text, model, "step " + std::to_string(step));
    const std::size_t probe = rng() % (model.size() + 1);
    const std::vector<std::size_t> starts = ModelStarts(model);
    const auto line = static_cast<std::size_t>(
        std::upper_bound(starts.begin(), starts.end(), probe) - starts.begin() - 1);
    ASSERT_EQ(text.LineOf(probe), line) << "step " << step;
    if (step % 97 == 0) {
      ASSERT_EQ(text.Flat(), model) << "step " << step;
    }
  }
  EXPECT_EQ(text.Flat(), model);
  EXPECT_EQ(text.Copy(3, 40), model.substr(3, 37));
}

TEST(SourceText, CharactersAndUnitsAcrossChunksAndEdits) {
  // Several chunks of the index, with characters of every length, some
  // straddling a chunk's edge.
  std::string model;
  const std::vector<std::string> chars{"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\n"};
  std::mt19937 rng(11);
  while (model.size() < 5 * SourceText::kChunk) model += chars[rng() % chars.size()];
  SourceText text;
  text.Assign(model);
  auto check = [&](const std::string& what) {
    ASSERT_EQ(text.CharCount(), app::CountChars(model)) << what;
    ASSERT_EQ(text.UnitCount(), ModelUnits(model)) << what;
    for (int i = 0; i < 300; ++i) {
      const std::size_t byte = rng() % (model.size() + 1);
      const std::string_view before(model.data(), byte);
      ASSERT_EQ(text.CharsBefore(byte), app::CountChars(before)) << what << " byte " << byte;
      const std::size_t chars = rng() % (text.CharCount() + 2);
      ASSERT_EQ(text.ByteOfChar(chars), app::ByteOffsetOfChar(model, chars)) << what;
      const std::size_t start = text.ByteOfChar(chars);
      ASSERT_EQ(text.ByteOfUnit(text.UnitsBefore(start)), start) << what;
      ASSERT_EQ(text.UnitsBefore(start), ModelUnits(model.substr(0, start))) << what;
    }
  };
  check("assigned");
  // An edit near the start invalidates the whole index, one at the end only
  // its last chunk.
  model.insert(2, "\xF0\x9F\x98\x80xy");
  text.Replace(2, 0, "\xF0\x9F\x98\x80xy");
  check("after an edit at the start");
  model.append("\xC3\xA9z");
  text.Replace(text.size(), 0, "\xC3\xA9z");
  check("after an edit at the end");
  // A unit inside a surrogate pair gives its character.
  const std::size_t emoji = text.Flat().find("\xF0\x9F\x98\x80");
  EXPECT_EQ(text.ByteOfUnit(text.UnitsBefore(emoji) + 1), emoji);
}

TEST(SourceText, MalformedBytesAreKeptAndCountedAsTheCommandLineCounts) {
  // A leading run of continuation bytes, a byte that starts nothing valid, a
  // cut-off sequence, an overlong form, a surrogate, then good characters.
  const std::string bytes =
      "\x80\x80"
      "a\xFF"
      "b\xE2\x82"
      "c\xC0\xAF"
      "d\xED\xA0\x80"
      "\xF0\x9F\x98\x80\xEF\xB7\x90";
  SourceText text;
  text.Assign(bytes);
  EXPECT_EQ(text.Flat(), bytes);
  EXPECT_EQ(text.CharCount(), app::CountChars(bytes));
  for (std::size_t c = 0; c <= text.CharCount() + 1; ++c) {
    EXPECT_EQ(text.ByteOfChar(c), app::ByteOffsetOfChar(bytes, c)) << c;
  }
  // Shown: U+FFFD for the leading run, then each character.
  std::vector<char32_t> shown;
  for (std::size_t i = 0; i < text.size();) {
    const SourceText::Decoded d = text.Decode(i);
    shown.push_back(d.code);
    i += d.length;
  }
  const std::vector<char32_t> expected{0xFFFD, 'a', 0xFFFD, 'b',     0xFFFD, 'c',
                                       0xFFFD, 'd', 0xFFFD, 0x1F600, 0xFDD0};
  EXPECT_EQ(shown, expected);
  // One unit for each shown character, two for the one past the BMP.
  EXPECT_EQ(text.UnitCount(), expected.size() + 1);
  EXPECT_EQ(text.UnitsBefore(2), 1u) << "the leading run is one unit";
  EXPECT_EQ(text.UnitsBefore(1), 0u);
  EXPECT_EQ(text.ByteOfUnit(0), 0u);
  EXPECT_EQ(text.ByteOfUnit(1), 2u);
}

TEST(SourceText, LargeTextIsTakenOverAndEditedInPlace) {
  std::string page(3 << 20, 'x');
  page += "\r\nlast";
  const char* buffer = page.data();
  SourceText text;
  text.Assign(std::move(page));
  EXPECT_EQ(text.Flat().data(), buffer) << "the page's own buffer, not a copy";
  EXPECT_EQ(text.LineCount(), 2u);
  EXPECT_EQ(text.LineEnd(0), std::size_t{3} << 20);
  // Typing at the end of the long line, then at its start.
  for (const char c : std::string("abc")) text.Replace(text.LineEnd(0), 0, std::string(1, c));
  text.Replace(0, 1, "<");
  const std::string& flat = text.Flat();
  EXPECT_EQ(flat.substr(0, 2), "<x");
  EXPECT_EQ(flat.substr((std::size_t{3} << 20) - 1, 6), "xabc\r\n");
  EXPECT_EQ(text.LineStart(1), (std::size_t{3} << 20) + 5);
}

TEST(TextSearch, CaseWordsAndDirections) {
  const std::string text =
      "<Script src=x></script> SCRIPTS scripting \xC3\x89t\xC3\xA9 \xC3\xA9T\xC3\x89 script";
  const TextSearch exact({"script", true, false});
  EXPECT_EQ(exact.Count(text, 10, nullptr), 3u);
  const TextSearch any({"script", false, false});
  std::vector<std::size_t> offsets;
  EXPECT_EQ(any.Count(text, 10, &offsets), 5u);
  EXPECT_EQ(offsets.front(), 1u);
  const TextSearch words({"script", false, true});
  EXPECT_EQ(words.Count(text, 10, nullptr), 3u) << "not SCRIPTS or scripting";
  // Whole words: the needle's own ends decide ("<script" starts with no
  // word character, so what stands before it does not matter).
  EXPECT_EQ(TextSearch({"<script", false, true}).Count("a<script b<scripts", 10, nullptr), 1u);
  // Letters beyond ASCII, without case.
  const TextSearch accented({"\xC3\xA9t\xC3\xA9", false, false});
  EXPECT_EQ(accented.Count(text, 10, nullptr), 2u);
  EXPECT_EQ(TextSearch({"\xC3\xA9t\xC3\xA9", true, false}).Count(text, 10, nullptr), 0u);
  // Next from a place, previous before one, none past the ends.
  EXPECT_EQ(any.Next(text, 2).offset, text.find("script>"));
  EXPECT_EQ(any.Previous(text, text.find("SCRIPTS")).offset, text.find("script>"));
  EXPECT_FALSE(any.Previous(text, 3).found());
  EXPECT_FALSE(exact.Next(text, text.size()).found());
  EXPECT_EQ(words.Previous(text, text.size()).offset, text.rfind("script"));
  // Matches do not overlap.
  EXPECT_EQ(TextSearch({"aa", true, false}).Count("aaaa", 10, nullptr), 2u);
}

// Without case, against a plain model: candidates of either case in every
// order, false starts of both cases just before a match, texts that lack
// one case, matches at the very end and texts shorter than the needle.
TEST(TextSearch, WithoutCaseFindsWhatAPlainScanFinds) {
  auto lower = [](std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
  };
  auto model = [&](const std::string& text, const std::string& needle) {
    std::vector<std::size_t> found;
    const std::string t = lower(text), n = lower(needle);
    for (std::size_t from = 0; (from = t.find(n, from)) != std::string::npos; from += n.size()) {
      found.push_back(from);
    }
    return found;
  };
  std::mt19937 rng(15);
  const std::string alphabet = "dDiIvV<> ";
  for (const std::string needle : {"div", "Div", "<DIV", "d", "dd", "v>"}) {
    const TextSearch search({needle, false, false});
    for (int round = 0; round < 300; ++round) {
      std::string text(rng() % 40, ' ');
      // Some texts lack the capitals (or the small letters) altogether.
      const std::size_t kinds = round % 3 == 0 ? 5 : alphabet.size();
      const std::size_t skip = round % 3 == 0 ? 1 : 0;
      for (char& c : text) c = alphabet[(rng() % kinds + skip) % alphabet.size()];
      std::vector<std::size_t> offsets;
      const std::size_t count = search.Count(text, 1000, &offsets);
      ASSERT_EQ(offsets, model(text, needle)) << needle << " in \"" << text << '"';
      ASSERT_EQ(count, offsets.size());
    }
  }
  // A page full of matches of one case is counted whole (it once took a
  // second per count on ten megabytes).
  std::string page;
  for (int i = 0; i < 20000; ++i) page += "<div>";
  page += "<DIV>";
  EXPECT_EQ(TextSearch({"div", false, false}).Count(page, 10, nullptr), 20001u);
  EXPECT_EQ(TextSearch({"DIV", true, false}).Count(page, 10, nullptr), 1u);
}

TEST(MarkupColours, TagsAttributesValuesAndComments) {
  SourceText text;
  text.Assign("<a href=\"x y\" id=z>t<!-- c > d --><script>if (a<b) x</script>");
  const std::vector<MarkupSpan> spans = MarkupSpans(text, 0, text.size());
  const std::string& t = text.Flat();
  std::vector<std::pair<std::string, MarkupKind>> got;
  for (const MarkupSpan& s : spans) got.emplace_back(t.substr(s.begin, s.end - s.begin), s.kind);
  const std::vector<std::pair<std::string, MarkupKind>> expected{
      {"<a", MarkupKind::Tag},
      {"href", MarkupKind::AttributeName},
      {"\"x y\"", MarkupKind::AttributeValue},
      {"id", MarkupKind::AttributeName},
      {"z", MarkupKind::AttributeValue},
      {">", MarkupKind::Tag},
      {"<!-- c > d -->", MarkupKind::Comment},
      {"<script", MarkupKind::Tag},
      {">", MarkupKind::Tag},
      // "a<b" inside the script is no tag.
      {"</script", MarkupKind::Tag},
      {">", MarkupKind::Tag},
  };
  EXPECT_EQ(got, expected);
  // A piece in the middle gets the spans clipped to it.
  const std::size_t from = t.find("ref");
  const std::vector<MarkupSpan> middle = MarkupSpans(text, from, from + 6);
  ASSERT_EQ(middle.size(), 2u);
  EXPECT_EQ(middle[0], (MarkupSpan{from, from + 3, MarkupKind::AttributeName}));
  EXPECT_EQ(middle[1].kind, MarkupKind::AttributeValue);
}

}  // namespace
}  // namespace vx::window
