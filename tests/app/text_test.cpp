#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/text_position.h"
#include "app/window/text_buffer.h"

namespace vx::app {
namespace {

const std::string kEuro = "\xE2\x82\xAC";       // 3 bytes, 1 character
const std::string kSmile = "\xF0\x9F\x98\x80";  // 4 bytes, 1 character

TEST(TextPosition, CharactersAndOffsetsAcrossBlocks) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "a" + kEuro + kSmile;  // 60 characters
  EXPECT_EQ(CountChars(text), 60u);
  EXPECT_EQ(ByteOffsetOfChar(text, 0), 0u);
  EXPECT_EQ(ByteOffsetOfChar(text, 1), 1u);
  EXPECT_EQ(ByteOffsetOfChar(text, 2), 4u);
  EXPECT_EQ(ByteOffsetOfChar(text, 3 * 7 + 2), 8u * 7 + 4);
  EXPECT_EQ(ByteOffsetOfChar(text, 60), text.size());
  EXPECT_EQ(ByteOffsetOfChar(text, 1000), text.size());
}

TEST(TextPosition, LinesAndColumns) {
  // Line breaks of all three kinds, and a long line so whole blocks are counted.
  const std::string long_line(40, 'x');
  const std::string text = "a\nb\r\nc\rd" + kEuro + "X\n" + long_line + kSmile + "Y\r\n\r\nZ";
  const std::vector<std::size_t> offsets = {
      text.find('Y'), 0,          text.find('X'), text.find('c'), text.find('Z'),
      text.find('b'), text.size()};
  const auto at = LocateOffsets(text, offsets);
  ASSERT_EQ(at.size(), offsets.size());
  EXPECT_EQ(at[0].line, 5u);
  EXPECT_EQ(at[0].column, 42u);
  EXPECT_EQ(at[1].line, 1u);
  EXPECT_EQ(at[1].column, 1u);
  EXPECT_EQ(at[2].line, 4u);
  EXPECT_EQ(at[2].column, 3u);
  EXPECT_EQ(at[3].line, 3u);
  EXPECT_EQ(at[4].line, 7u);
  EXPECT_EQ(at[4].column, 1u);
  EXPECT_EQ(at[5].line, 2u);
  EXPECT_EQ(at[6].line, 7u);
  EXPECT_EQ(at[6].column, 2u);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    EXPECT_EQ(ColumnAt(text, offsets[i]), at[i].column) << offsets[i];
  }
  // Between the "\r" and "\n" of a pair the line has not ended yet.
  EXPECT_EQ(ColumnAt("ab\r\ncd", 3), 4u);
}

TEST(TextPosition, BreaksCountedTheSameInBlocksAndTail) {
  // A "\r" at every position relative to the 16-byte blocks, with and without "\n".
  for (std::size_t pad = 0; pad < 40; ++pad) {
    const std::string text =
        std::string(pad, '.') + "\r\n" + std::string(20, '.') + "\r" + std::string(20, '.') + "@";
    const auto at = LocateOffsets(text, {text.find('@')});
    EXPECT_EQ(at[0].line, 3u) << pad;
    EXPECT_EQ(at[0].column, 21u) << pad;
  }
}

// Offsets asked in order, near and far apart (long stretches are counted many
// bytes at a time, short ones byte by byte), against a count byte by byte.
TEST(TextPosition, CounterAgreesWithAPlainCount) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {
      "a", "bc", "\n", "\r\n", "\r", kEuro, kSmile, "\xC3\xA9", std::string(90, 'x'), "\r\r\n\n"};
  for (int round = 0; round < 40; ++round) {
    std::string text;
    const std::size_t size = 1 + rng() % 5000;
    while (text.size() < size) text += pieces[rng() % (round % 2 == 0 ? 4 : pieces.size())];
    PositionCounter counter(text);
    std::size_t line = 1, column = 1, chars = 0, at = 0;
    while (at <= text.size()) {
      const PositionCounter::Place place = counter.At(at);
      ASSERT_EQ(place.line, line) << "round " << round << " offset " << at;
      ASSERT_EQ(place.column, column) << "round " << round << " offset " << at;
      ASSERT_EQ(place.chars, chars) << "round " << round << " offset " << at;
      const std::size_t next = at + (rng() % 3 == 0 ? rng() % 900 : rng() % 4);
      for (; at < next && at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        const bool cr_lf = c == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
        if (c == '\n' || (c == '\r' && !cr_lf)) {
          ++line;
          column = 1;
          ++chars;
        } else if ((c & 0xC0) != 0x80) {
          ++chars;
          ++column;
        }
      }
      if (next > text.size()) break;
      at = next;
    }
  }
}

TEST(TextBuffer, SelectionCountsCharacters) {
  TextBuffer box("ab" + kEuro + "cd" + kSmile + "e");
  const auto revision = box.TextRevision();
  box.SetSelStart(2);
  box.SetSelLength(3);
  EXPECT_EQ(box.SelText(), kEuro + "cd");
  box.SetSelLength(100);  // limited to what follows
  EXPECT_EQ(box.SelLength(), 5u);
  EXPECT_EQ(box.SelText(), kEuro + "cd" + kSmile + "e");
  box.SetSelStart(100);  // past the end: caret at the end
  EXPECT_EQ(box.SelStart(), 7u);
  EXPECT_EQ(box.SelText(), "");
  EXPECT_EQ(box.TextRevision(), revision);
  box.SetText("new");
  EXPECT_NE(box.TextRevision(), revision);
  EXPECT_EQ(box.SelStart(), 0u);
}

}  // namespace
}  // namespace vx::app
