#include "app/window/source_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMimeData>
#include <QTextBlock>
#include <string>

#include "app/text_position.h"
#include "tests/app/window/window_app.h"

namespace vx::window {
namespace {

// Copying is the editor's own business; the test calls it directly.
class CopyableBox : public SourceBox {
 public:
  using SourceBox::createMimeDataFromSelection;
};

class SourceBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::App(); }
  // Selects `what`'s first occurrence after `from` through the text box's own
  // operations and returns what the box reports selected.
  std::string SelectAndRead(SourceBox& box, const std::string& what, std::size_t from = 0) {
    const std::size_t at = box.Text().find(what, from);
    EXPECT_NE(at, std::string::npos) << what;
    box.SetSelStart(app::CountChars(std::string_view(box.Text()).substr(0, at)));
    box.SetSelLength(app::CountChars(what));
    return box.SelText();
  }
};

TEST_F(SourceBoxTest, TextComesBackExactlyAndSelectionsLandOnTheRightCharacters) {
  // Line ends of every kind, characters outside the BMP, a paragraph
  // separator, the two characters the editor keeps for frame marks, and a
  // line far longer than a block.
  const std::string long_line(SourceBox::kMaxBlock * 3 + 17, 'x');
  const std::string text =
      "one\r\ntwo\rthree\n\xEF\xB7\x90"
      "frame\xEF\xB7\x91marks\n\xF0\x9F\x98\x80 smile \xE2\x80\xA9para\n" +
      long_line + "MARK" + long_line + "\r\nend \xC3\xA9t\xC3\xA9";
  CopyableBox box;
  box.SetText(text);
  EXPECT_EQ(box.Text(), text);
  EXPECT_GT(box.document()->blockCount(), 8) << "the long line is cut into blocks";

  EXPECT_EQ(SelectAndRead(box, "MARK"), "MARK");
  // What the editor shows selected is the same characters.
  EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("MARK"));
  EXPECT_EQ(SelectAndRead(box, "smile"), "smile");
  EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("smile"));
  EXPECT_EQ(SelectAndRead(box, "\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(SelectAndRead(box, "para\nxx"), "para\nxx");
  EXPECT_EQ(SelectAndRead(box, "two\rthree"), "two\rthree");
  EXPECT_EQ(SelectAndRead(box, "frame\xEF\xB7\x91m"), "frame\xEF\xB7\x91m");
  EXPECT_EQ(SelectAndRead(box, "marks"), "marks");
  EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("marks"));

  // A selection across soft breaks copies the text's own characters.
  box.SetSelStart(app::CountChars(std::string_view(text).substr(0, text.find("MARK") - 5000)));
  box.SetSelLength(10004);
  const std::string across = std::string(5000, 'x') + "MARK" + std::string(5000, 'x');
  EXPECT_EQ(box.SelText(), across);
  const std::unique_ptr<QMimeData> copied(box.createMimeDataFromSelection());
  EXPECT_EQ(copied->text().toStdString(), across);
}

TEST_F(SourceBoxTest, LargePagesShareBlocksAndStillMapExactly) {
  std::string text;
  int n = 0;
  while (text.size() <= SourceBox::kBatchAbove + 1000) {
    text += "<p>line " + std::to_string(n++) + "</p>\r\n";
  }
  text += "<SCRIPT>last</SCRIPT>\n";
  SourceBox box;
  box.SetText(text);
  EXPECT_EQ(box.Text(), text);
  EXPECT_LT(box.document()->blockCount(), n / 10) << "short lines share blocks";
  EXPECT_EQ(SelectAndRead(box, "line 12345</p>\r\n<p>"), "line 12345</p>\r\n<p>");
  EXPECT_EQ(SelectAndRead(box, "<SCRIPT>last"), "<SCRIPT>last");
  EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("<SCRIPT>last"));
  // Byte offsets and document positions map both ways.
  for (std::size_t byte : {std::size_t{0}, text.find("line 777"), text.find("<SCRIPT>")}) {
    EXPECT_EQ(box.ByteAt(box.DocPosition(byte)), byte);
  }
}

TEST_F(SourceBoxTest, EditsReachTheTextWithoutSoftBreaks) {
  const std::string text = std::string(SourceBox::kMaxBlock * 2, 'a') + "\nb";
  SourceBox box;
  box.SetText(text);
  const auto before = box.TextRevision();
  QTextCursor c(box.document());
  c.setPosition(box.DocPosition(SourceBox::kMaxBlock + 10));
  c.insertText(QStringLiteral("XY"));
  EXPECT_NE(box.TextRevision(), before);
  std::string expected = text;
  expected.insert(SourceBox::kMaxBlock + 10, "XY");
  EXPECT_EQ(box.Text(), expected);

  // A new line typed at a block boundary is a line end of the text.
  c.setPosition(box.document()->findBlockByNumber(1).position());
  c.insertText(QStringLiteral("\n"));
  // One character by iterator: GCC 12 at -O3 misreads insert(pos, "\n") as an
  // overlapping copy (-Wrestrict).
  expected.insert(expected.begin() + SourceBox::kMaxBlock, '\n');
  EXPECT_EQ(box.Text(), expected);
}

TEST_F(SourceBoxTest, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  SourceBox box;
  box.SetText(
      "a\xFF"
      "b");
  EXPECT_EQ(box.Text(),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(SelectAndRead(box, "b"), "b");
}

TEST_F(SourceBoxTest, HighlightsEveryRangeWithoutMovingTheSelection) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "filler line " + std::to_string(i) + "\n";
  const std::size_t first = text.size();
  text += "<script>a</script>\n";
  for (int i = 0; i < 50; ++i) text += "more\n";
  const std::size_t second = text.size();
  text += "<SCRIPT>b</SCRIPT>\n";
  SourceBox box;
  box.resize(585, 137);
  box.show();
  box.SetText(text);
  box.SetSelStart(3);
  box.SetSelLength(4);
  QApplication::processEvents();

  box.Highlight({{first, 7}, {second, 7}});
  ASSERT_EQ(box.highlightedRanges().size(), 2u);
  EXPECT_EQ(box.highlightedRanges()[0].first, box.DocPosition(first));
  // The selection stays; the view has moved to the first highlight.
  EXPECT_EQ(box.SelText(), "ler ");
  QTextCursor at(box.document());
  at.setPosition(box.DocPosition(first));
  EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect(at).center()));
  // Only what is in view is handed to the editor.
  ASSERT_FALSE(box.extraSelections().isEmpty());
  EXPECT_EQ(box.extraSelections().front().cursor.selectedText(), QStringLiteral("<script"));

  // Editing drops the highlights: they marked the old text.
  QTextCursor edit(box.document());
  edit.insertText(QStringLiteral("x"));
  EXPECT_TRUE(box.highlightedRanges().empty());
  EXPECT_TRUE(box.extraSelections().isEmpty());
}

}  // namespace
}  // namespace vx::window
