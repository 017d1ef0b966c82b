// The source box as a user and assistive technology meet it, on the
// offscreen platform: exact text, selections in characters, keys, mouse,
// wrapping, find, go to line, highlights.

#include "app/window/source_box.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextBoundaryFinder>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "app/text_position.h"
#include "app/window/source_bars.h"
#include "tests/app/window/window_app.h"

namespace vx::window {
namespace {

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Pages whose text is easy to get wrong: line ends of every kind, characters
// outside the BMP, the two characters a plain-text editor takes for frame
// marks, combining marks, and a line of 5 MiB.
std::vector<std::pair<std::string, std::string>> Pages() {
  std::string long_line;
  while (long_line.size() < (std::size_t{5} << 20)) {
    long_line += "<div class=\"row\"><a href=\"/x\">caf\xC3\xA9 \xF0\x9F\x98\x80</a></div>";
  }
  return {
      {"crlf", "<html>\r\n<body>\r\n<p>one</p>\r\n\r\n<p>two</p>\r\n</body></html>\r\n"},
      {"lone cr", "<html>\r<p>old</p>\r\r<p>mac</p>\rend"},
      {"non-BMP", "\xF0\x9F\x98\x80<p>\xF0\x90\x8D\x88 \xF0\x9D\x84\x9E</p>\n\xF0\x9F\x98\x80"},
      {"frame marks",
       "a\xEF\xB7\x90"
       "b\xEF\xB7\x91"
       "c\n\xEF\xB7\x90\r\n\xEF\xB7\x91"},
      {"combining", "e\xCC\x81 a\xCC\x88\xCC\x81 \xE0\xA4\x95\xE0\xA5\x8D\xE0\xA4\xB7"},
      {"5 MiB line", "<html>" + long_line + "MARK</html>"},
  };
}

class SourceBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::App();
    QSettings().clear();
    box_ = std::make_unique<SourceBox>();
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    box_->setFont(font);
    box_->resize(585, 137);
    box_->show();
    QApplication::processEvents();
  }
  void TearDown() override { box_.reset(); }

  SourceBox& box() { return *box_; }
  QAccessibleTextInterface& Reader() {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box_.get());
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a->textInterface(), nullptr);
    return *a->textInterface();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(box_.get(), key, mods);
  }
  // Selects `what` (the first occurrence from `from`) through SelStart and
  // SelLength, in characters, and returns what the box says is selected.
  std::string SelectAndRead(const std::string& what, std::size_t from = 0) {
    const std::size_t at = box().Text().find(what, from);
    EXPECT_NE(at, std::string::npos) << what;
    box().SetSelStart(app::CountChars(std::string_view(box().Text()).substr(0, at)));
    box().SetSelLength(app::CountChars(what));
    return box().SelText();
  }
  std::unique_ptr<SourceBox> box_;
};

TEST_F(SourceBoxTest, AssistiveTechnologyAndCopyGetExactlyThePage) {
  for (const auto& [name, page] : Pages()) {
    SCOPED_TRACE(name);
    box().SetText(page);
    EXPECT_EQ(box().Text(), page);
    const QString whole = Q(page);
    QAccessibleTextInterface& reader = Reader();
    ASSERT_EQ(reader.characterCount(), whole.size());
    ASSERT_TRUE(reader.text(0, reader.characterCount()) == whole);
    // Ranges anywhere, never cutting a pair.
    for (const double f : {0.0, 0.13, 0.5, 0.77, 0.999}) {
      int a = static_cast<int>(f * whole.size());
      if (a > 0 && whole[a].isLowSurrogate()) --a;
      int b = std::min<int>(static_cast<int>(whole.size()), a + 37);
      if (b < whole.size() && whole[b].isLowSurrogate()) ++b;
      EXPECT_EQ(reader.text(a, b), whole.mid(a, b - a)) << a;
    }
    // Copying everything gives the page byte for byte.
    box().selectAll();
    box().copy();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), page);
  }
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&box());
  EXPECT_EQ(a->role(), QAccessible::EditableText);
  EXPECT_TRUE(a->state().multiLine);
  EXPECT_TRUE(a->state().editable);
}

TEST_F(SourceBoxTest, SelectionsCountCharactersAndReadBackAsUnits) {
  for (const auto& [name, page] : Pages()) {
    SCOPED_TRACE(name);
    box().SetText(page);
    const QString whole = Q(page);
    // Targets after the characters that make counting hard.
    for (const char* target : {"<p>", "p>", "\r\n<p>two", "\r\r<p>", "\xEF\xB7\x91", "b",
                               "\xF0\x9D\x84\x9E</p>", "a\xCC\x88", "MARK</html>", "end"}) {
      if (page.find(target) == std::string::npos) continue;
      EXPECT_EQ(SelectAndRead(target), target);
      // Assistive technology sees the same characters selected, in units.
      int start = -1, end = -1;
      Reader().selection(0, &start, &end);
      const std::size_t at = page.find(target);
      EXPECT_EQ(start, Q(page.substr(0, at)).size()) << target;
      EXPECT_EQ(Reader().text(start, end), Q(target));
      EXPECT_EQ(Reader().cursorPosition(), end);
      // And selecting through it selects the same bytes.
      Reader().setSelection(0, start, end);
      EXPECT_EQ(box().SelText(), target);
    }
    // Past the end: the caret at the end, the length limited to the text.
    box().SetSelStart(page.size() + 10);
    EXPECT_EQ(box().Caret(), page.size());
    box().SetSelStart(0);
    box().SetSelLength(page.size() * 2);
    EXPECT_EQ(box().SelText(), page);
  }
}

TEST_F(SourceBoxTest, MalformedBytesShowAsReplacementAndStayInTheText) {
  const std::string bytes =
      "a\xFF"
      "b\xE2\x82"
      "c";
  box().SetText(bytes);
  EXPECT_EQ(box().Text(), bytes) << "the text keeps its bytes";
  EXPECT_EQ(Reader().text(0, Reader().characterCount()), QStringLiteral("a\uFFFDb\uFFFDc"));
  EXPECT_EQ(SelectAndRead("b"), "b");
  EXPECT_EQ(SelectAndRead("c"), "c");
  Key(Qt::Key_Home);
  Key(Qt::Key_Right);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(box().SelText(), "\xFF") << "one malformed byte is one character";
}

TEST_F(SourceBoxTest, CaretKeysStepOverWholeCharactersAndLineEnds) {
  // An emoji, a letter with a combining mark, a frame-mark character, a
  // CRLF, then words on wrapped rows.
  const std::string text =
      "\xF0\x9F\x98\x80"
      "e\xCC\x81"
      "\xEF\xB7\x90"
      "\r\nalpha beta_gamma, delta\nlast";
  box().SetText(text);
  EXPECT_EQ(box().Caret(), 0u);
  std::vector<std::size_t> stops;
  for (int i = 0; i < 5; ++i) {
    Key(Qt::Key_Right);
    stops.push_back(box().Caret());
  }
  EXPECT_EQ(stops, (std::vector<std::size_t>{4, 7, 10, 12, 13}))
      << "emoji, e+mark, U+FDD0, CRLF, a";
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  EXPECT_EQ(box().Caret(), 10u) << "back over the CRLF as one";
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{1, 5}));
  Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(box().SelText(), "\r\n");
  Key(Qt::Key_Right);  // a selection collapses to its end
  EXPECT_EQ(box().Caret(), 12u);
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{2, 1}));
  // Words: Ctrl+Right to the start of the next word, Ctrl+Shift+Left back.
  Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(text.substr(box().Caret(), 4), "beta");
  Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(text.substr(box().Caret(), 2), ", ") << "beta_gamma is one word";
  Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(box().SelText(), "beta_gamma");
  // Home, End, the document's ends, and lines up and down.
  Key(Qt::Key_End);
  EXPECT_EQ(box().Caret(), text.find("\nlast"));
  Key(Qt::Key_Home);
  EXPECT_EQ(box().Caret(), 12u);
  Key(Qt::Key_Down);
  EXPECT_EQ(box().CaretLineColumn().first, 3u);
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  EXPECT_EQ(box().CaretLineColumn().first, 1u);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(box().Caret(), text.size());
  Key(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(box().SelText(), text);
}

TEST_F(SourceBoxTest, TypingDeletingUndoRedoCutAndPaste) {
  const std::string text = "<p>one</p>\r\n<p>two</p>";
  box().SetText(text);
  std::uint64_t revision = box().TextRevision();
  auto changed = [&] {
    const bool c = box().TextRevision() != revision;
    revision = box().TextRevision();
    return c;
  };
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  // A key that types a letter beyond ASCII, an emoji from an input method.
  QKeyEvent e_acute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QStringLiteral("\u00E9"));
  QApplication::sendEvent(&box(), &e_acute);
  QInputMethodEvent emoji;
  emoji.setCommitString(QStringLiteral("\U0001F600"));
  QApplication::sendEvent(&box(), &emoji);
  QTest::keyClicks(&box(), QStringLiteral("x"));
  EXPECT_TRUE(changed());
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9\xF0\x9F\x98\x80xone</p>\r\n<p>two</p>");
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace);
  EXPECT_TRUE(changed());
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9one</p>\r\n<p>two</p>") << "one character per Backspace";
  // A new line ends as the page's lines do.
  Key(Qt::Key_Return);
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9\r\none</p>\r\n<p>two</p>");
  EXPECT_EQ(box().LineCount(), 3u);
  // Undo takes back the line end, then the deletions, then the typing.
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9one</p>\r\n<p>two</p>");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9\xF0\x9F\x98\x80xone</p>\r\n<p>two</p>");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), text);
  EXPECT_TRUE(changed());
  EXPECT_FALSE(box().canUndo());
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "<p>\xC3\xA9\xF0\x9F\x98\x80xone</p>\r\n<p>two</p>");
  Key(Qt::Key_Z, Qt::ControlModifier);
  // Cut a selection across the line end, paste it at the end.
  box().Select(text.find("one"), text.find("two"));
  Key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_TRUE(changed());
  EXPECT_EQ(box().Text(), "<p>two</p>");
  Key(Qt::Key_End, Qt::ControlModifier);
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "<p>two</p>one</p>\r\n<p>");
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{2, 4}));
  // Delete takes a whole grapheme; select-all and typing replace everything.
  box().SetText("e\xCC\x81z");
  Key(Qt::Key_Delete);
  EXPECT_EQ(box().Text(), "z");
  Key(Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(&box(), QStringLiteral("new"));
  EXPECT_EQ(box().Text(), "new");
  // Setting the text is no step to undo.
  box().SetText("set");
  EXPECT_FALSE(box().canUndo());
  // An empty text is one empty row.
  box().SetText("");
  EXPECT_EQ(box().rows().SegmentAt(0).Rows(), 1);
  EXPECT_FALSE(box().caretRect(0).isEmpty());
}

TEST_F(SourceBoxTest, TabMovesOnAndCtrlTabTypesATab) {
  QWidget form;
  auto* source = new SourceBox(&form);
  auto* next = new QLineEdit(&form);
  QWidget::setTabOrder(source, next);
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  source->setFocus();
  source->SetText("ab");
  QTest::keyClick(source, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(source->Text(), "\tab");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), next);
  EXPECT_EQ(source->Text(), "\tab");
}

TEST_F(SourceBoxTest, MouseSelectsByDraggingAndByWords) {
  box().SetText("first line\nsecond line with words\nthird");
  QWidget* vp = box().viewport();
  const std::size_t second = box().Text().find("second");
  const QRect at = box().caretRect(second);
  ASSERT_FALSE(at.isEmpty());
  QTest::mouseClick(vp, Qt::LeftButton, {}, at.center() + QPoint(1, 0));
  EXPECT_EQ(box().Caret(), second);
  // Drag to the start of "with".
  const std::size_t with = box().Text().find("with");
  QTest::mousePress(vp, Qt::LeftButton, {}, at.center() + QPoint(1, 0));
  QMouseEvent move(QEvent::MouseMove, box().caretRect(with).center() + QPoint(1, 0),
                   vp->mapToGlobal(box().caretRect(with).center() + QPoint(1, 0)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(vp, &move);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, box().caretRect(with).center() + QPoint(1, 0));
  EXPECT_EQ(box().SelText(), "second line ");
  // A double click picks the word under it.
  QTest::mouseDClick(vp, Qt::LeftButton, {}, box().caretRect(with + 2).center());
  EXPECT_EQ(box().SelText(), "with");
  // Shift+click extends the selection.
  QTest::mouseClick(vp, Qt::LeftButton, {}, box().caretRect(second).center() + QPoint(1, 0));
  QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier,
                    box().caretRect(with + 4).center() + QPoint(1, 0));
  EXPECT_EQ(box().SelText(), "second line with");
}

TEST_F(SourceBoxTest, SoftWrapNeverSplitsACharacterOrAGrapheme) {
  // One line of 60 000 bytes: letters with combining marks, emoji with
  // skin tones and joiners, CJK, Devanagari conjuncts, no spaces, so that
  // rows end wherever the width runs out.
  std::string line;
  const std::vector<std::string> parts{
      "e\xCC\x81",
      "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7",
      "\xE6\xBC\xA2",
      "\xE0\xA4\x95\xE0\xA5\x8D\xE0\xA4\xB7",
      "a\xCC\x88\xCC\x81",
      "x"};
  for (std::size_t i = 0; line.size() < 60000; ++i) line += parts[(i * 7 + i / 3) % parts.size()];
  const std::string page = "<p>\n" + line + "\n</p>";
  box().SetText(page);
  ASSERT_TRUE(box().wrapsLines());

  // Grapheme boundaries of the whole line, as byte offsets.
  const QString shown = Q(line);
  std::vector<std::size_t> unit_bytes;
  for (std::size_t i = 0; i < line.size();) {
    const auto c = static_cast<unsigned char>(line[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    unit_bytes.push_back(i);
    if (n == 4) unit_bytes.push_back(i);
    i += n;
  }
  unit_bytes.push_back(line.size());
  std::set<std::size_t> boundaries;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, shown);
  for (qsizetype u = 0; u >= 0; u = finder.toNextBoundary()) {
    boundaries.insert(unit_bytes[static_cast<std::size_t>(u)]);
  }

  // Every row of the line, from its first to its last.
  SourceRows& rows = box().rows();
  const std::size_t begin = 4, end = 4 + line.size();
  SourceRows::Row row = rows.RowOf(begin);
  std::size_t expected_start = begin;
  int count = 0;
  for (;;) {
    const std::size_t start = rows.Start(row), stop = rows.End(row);
    ASSERT_EQ(start, expected_start) << "rows follow each other without gap or overlap";
    ASSERT_TRUE(boundaries.count(start - begin)) << "row " << count << " starts inside a grapheme";
    ASSERT_GT(stop, start);
    expected_start = stop;
    ++count;
    if (stop == end) break;
    const auto next = rows.Next(row);
    ASSERT_TRUE(next.has_value());
    row = *next;
  }
  EXPECT_GT(count, 100) << "the line wrapped";
  EXPECT_LE(rows.CachedSegments(), 64u) << "layouts kept are bounded";
  EXPECT_EQ(box().Text(), page) << "wrapping added nothing";
  EXPECT_EQ(Reader().characterCount(), Q(page).size());
}

TEST_F(SourceBoxTest, WrappingTurnsOffFromTheMenuAndIsRemembered) {
  std::string page = "short\n" + std::string(100000, 'w') + "END\nshort";
  box().SetText(page);
  EXPECT_TRUE(box().wrapsLines()) << "on by default";
  std::unique_ptr<QMenu> menu(box().createContextMenu());
  QAction* wrap = menu->findChild<QAction*>(QStringLiteral("wrapLines"));
  ASSERT_NE(wrap, nullptr);
  EXPECT_TRUE(wrap->isChecked());
  wrap->trigger();
  EXPECT_FALSE(box().wrapsLines());
  EXPECT_EQ(QSettings().value(QString::fromLatin1(SourceBox::kWrapKey)).toBool(), false);
  // Each line is one row now; the end of the long one scrolls into view.
  EXPECT_EQ(box().rows().Next(box().rows().RowOf(0))->segment, box().rows().SegmentBounds(6).first);
  box().Select(page.find("END") + 3, page.find("END") + 3);
  EXPECT_FALSE(box().caretRect(box().Caret()).isEmpty()) << "scrolled sideways to the caret";
  EXPECT_GT(box().horizontalScrollBar()->value(), 0);
  // Home and End go to the line's ends, far beyond what is in view.
  Key(Qt::Key_Home);
  EXPECT_EQ(box().Caret(), 6u);
  EXPECT_EQ(box().horizontalScrollBar()->value(), 0);
  Key(Qt::Key_End);
  EXPECT_EQ(box().Caret(), page.find("END") + 3);
  QApplication::processEvents();
  EXPECT_TRUE(box().horizontalScrollBar()->isVisible());
  // A new box starts as the last one was left.
  SourceBox other;
  EXPECT_FALSE(other.wrapsLines());
  other.setWrapsLines(true);
  EXPECT_TRUE(SourceBox().wrapsLines());
}

TEST_F(SourceBoxTest, FindBarFindsCountsAndSteps) {
  QApplication::setActiveWindow(&box());
  box().setFocus();
  const std::string page =
      "<script>a</script>\n<SCRIPT>b</SCRIPT>\n<p>scripting</p>\n<script>c</script>";
  box().SetText(page);
  Key(Qt::Key_F, Qt::ControlModifier);
  FindBar& bar = box().findBar();
  ASSERT_TRUE(bar.isVisible());
  EXPECT_TRUE(bar.field().hasFocus());
  QTest::keyClicks(&bar.field(), QStringLiteral("<script"));
  // Found as typed, without regard to case by default: "<script" at 0, 19
  // ("<SCRIPT") and 55.
  EXPECT_EQ(box().SelectedBytes(), (std::pair<std::size_t, std::size_t>{0, 7}));
  EXPECT_EQ(bar.countText(), QStringLiteral("1 of 3"));
  Key(Qt::Key_F3);
  EXPECT_EQ(box().SelText(), "<SCRIPT");
  EXPECT_EQ(bar.countText(), QStringLiteral("2 of 3"));
  Key(Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(box().SelectedBytes().first, 0u);
  Key(Qt::Key_F3, Qt::ShiftModifier);  // round to the last
  EXPECT_EQ(box().SelectedBytes().first, 55u);
  // Match case leaves the capitals out.
  bar.matchCaseBox().setChecked(true);
  EXPECT_EQ(bar.countText(), QStringLiteral("2 of 2"));
  bar.matchCaseBox().setChecked(false);
  // "script" is in every tag and in "scripting"; as a whole word it is not.
  bar.field().setText(QStringLiteral("script"));
  EXPECT_EQ(bar.countText(), QStringLiteral("6 of 7"));
  bar.wholeWordBox().setChecked(true);
  EXPECT_EQ(bar.countText(), QStringLiteral("5 of 6"));
  bar.field().setText(QStringLiteral("nowhere"));
  EXPECT_EQ(bar.countText(), QStringLiteral("No matches"));
  // Enter in the field finds on; Escape closes and gives the box the focus.
  bar.field().setText(QStringLiteral("scripting"));
  QTest::keyClick(&bar.field(), Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_TRUE(box().hasFocus());
  EXPECT_EQ(box().SelText(), "scripting");
  // F3 goes on finding with the bar closed, round from the end.
  bar.wholeWordBox().setChecked(false);
  Key(Qt::Key_F3);
  EXPECT_EQ(box().SelText(), "scripting");
  EXPECT_FALSE(bar.isVisible());
}

TEST_F(SourceBoxTest, FindBarCountsAgainOnceTypingPauses) {
  const std::string page = "<p>a</p>\n<P>b</p>\n";
  box().SetText(page);
  box().openFind();
  FindBar& bar = box().findBar();
  bar.setNeedle(QStringLiteral("<p>"));
  EXPECT_EQ(bar.countText(), QStringLiteral("1 of 2"));
  box().setFocus();
  box().Select(page.size(), page.size());
  QTest::keyClicks(&box(), QStringLiteral("<p><p"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar.countText() == QStringLiteral("3 matches"); },
                              10 * SourceBox::kRecountDelayMs))
      << bar.countText().toStdString();
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace);
  EXPECT_TRUE(QTest::qWaitFor([&] { return bar.countText() == QStringLiteral("2 matches"); },
                              10 * SourceBox::kRecountDelayMs))
      << bar.countText().toStdString();
  EXPECT_EQ(box().Text(), page + "<p");
}

TEST_F(SourceBoxTest, GoToLineAndTheCaretsLineAndColumn) {
  box().SetText("one\r\ntwo\rthree \xF0\x9F\x98\x80x\nfour");
  QSignalSpy moved(&box(), &SourceBox::caretMoved);
  Key(Qt::Key_G, Qt::ControlModifier);
  GoToLineBar& bar = box().goToLineBar();
  ASSERT_TRUE(bar.isVisible());
  EXPECT_EQ(bar.message(), QStringLiteral("(1\u20134)"));
  bar.field().setText(QStringLiteral("3:8"));
  QTest::keyClick(&bar.field(), Qt::Key_Return);
  EXPECT_FALSE(bar.isVisible());
  // Column 8 of "three 😀x" is the "x": the emoji is one character.
  EXPECT_EQ(box().Text().substr(box().Caret(), 1), "x");
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{3, 8}));
  ASSERT_FALSE(moved.isEmpty());
  EXPECT_EQ(moved.back().at(0).toLongLong(), 3);
  EXPECT_EQ(moved.back().at(1).toLongLong(), 8);
  EXPECT_EQ(box().positionLabel()->text(), QStringLiteral("Ln 3, Col 8"));
  // Past the end of a line or of the text: its end.
  box().GoToLine(2, 99);
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{2, 4}));
  box().GoToLine(99);
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{4, 1}));
  // What is not a line number is said so.
  Key(Qt::Key_G, Qt::ControlModifier);
  bar.field().setText(QStringLiteral("two"));
  QTest::keyClick(&bar.field(), Qt::Key_Return);
  EXPECT_TRUE(bar.isVisible());
  EXPECT_NE(bar.message().indexOf(QStringLiteral("from 1 to 4")), -1);
  QTest::keyClick(&bar.field(), Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisible());
  EXPECT_EQ(GoToLineBar::Parse(QStringLiteral(" 12 , 5 ")),
            (std::optional<std::pair<std::size_t, std::size_t>>{{12, 5}}));
  EXPECT_FALSE(GoToLineBar::Parse(QStringLiteral("0")).has_value());
  // The corner's label can give way to a status line.
  box().setPositionShown(false);
  EXPECT_FALSE(box().positionLabel()->isVisible());
}

// Counts pixels of a colour in what the box shows.
template <typename Test>
int PixelsWhere(SourceBox& box, Test test) {
  const QImage image = box.viewport()->grab().toImage();
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += test(image.pixelColor(x, y)) ? 1 : 0;
  }
  return n;
}

int Pixels(SourceBox& box, const QColor& colour) {
  return PixelsWhere(box, [&](const QColor& c) { return c == colour; });
}

TEST_F(SourceBoxTest, HighlightsEveryRangeWithoutMovingTheSelection) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "filler line " + std::to_string(i) + "\n";
  const std::size_t first = text.size();
  text += "<script>a</script>\n";
  for (int i = 0; i < 50; ++i) text += "more\n";
  const std::size_t second = text.size();
  text += "<SCRIPT>b</SCRIPT>\n";
  box().SetText(text);
  box().SetSelStart(3);
  box().SetSelLength(4);
  const QColor mark(255, 214, 92);
  EXPECT_EQ(Pixels(box(), mark), 0);

  box().Highlight({{second, 7}, {first, 7}});
  ASSERT_EQ(box().highlightedRanges().size(), 2u);
  EXPECT_EQ(box().highlightedRanges()[0], (std::pair<std::size_t, std::size_t>{first, first + 7}));
  // The selection stays; the view has moved to the first highlight, which
  // is painted.
  EXPECT_EQ(box().SelText(), "ler ");
  EXPECT_FALSE(box().caretRect(first).isEmpty());
  EXPECT_GT(Pixels(box(), mark), 20);

  // Editing drops the highlights: they marked the old text.
  box().insert("x");
  EXPECT_TRUE(box().highlightedRanges().empty());
  EXPECT_EQ(Pixels(box(), mark), 0);
}

TEST_F(SourceBoxTest, MarkupColouringIsOfferedOffByDefault) {
  box().SetText("<a href=\"x\">text</a><!-- note -->");
  // Purple, the tags' colour, in the glyphs' smoothed edges too.
  auto purple = [](const QColor& c) {
    return c.red() > c.green() + 40 && c.blue() > c.green() + 40;
  };
  EXPECT_FALSE(box().coloursMarkup());
  EXPECT_EQ(PixelsWhere(box(), purple), 0);
  std::unique_ptr<QMenu> menu(box().createContextMenu());
  QAction* colour = menu->findChild<QAction*>(QStringLiteral("colourMarkup"));
  ASSERT_NE(colour, nullptr);
  colour->trigger();
  EXPECT_TRUE(box().coloursMarkup());
  EXPECT_GT(PixelsWhere(box(), purple), 20);
  EXPECT_TRUE(QSettings().value(QString::fromLatin1(SourceBox::kColourKey)).toBool());
  box().setColoursMarkup(false);
}

TEST_F(SourceBoxTest, AMegabytesLongLineEditsAtItsEnd) {
  std::string page(std::size_t{6} << 20, 'x');
  for (std::size_t i = 100; i < page.size(); i += 97) page[i] = '>';
  page += "\xC3\xA9";
  box().SetText(page);
  QApplication::setActiveWindow(&box());
  box().setFocus();
  Key(Qt::Key_End, Qt::ControlModifier);
  Key(Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(box().SelText(), "\xC3\xA9");
  EXPECT_FALSE(box().caretRect(box().Caret()).isEmpty()) << "the end is in view";
  Key(Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(&box(), QStringLiteral("abc"));
  Key(Qt::Key_Backspace);
  EXPECT_EQ(box().Text().size(), page.size() + 2);
  EXPECT_EQ(box().Text().substr(box().Text().size() - 4),
            "\xC3\xA9"
            "ab");
  EXPECT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{1, page.size() + 2}));
  EXPECT_EQ(Reader().cursorPosition(), Reader().characterCount());
  EXPECT_EQ(Reader().text(Reader().characterCount() - 3, Reader().characterCount()),
            QStringLiteral("\u00E9ab"));
  // The view never lays out the whole line.
  EXPECT_LE(box().rows().CachedSegments(), 64u);
  box().repaint();
}

}  // namespace
}  // namespace vx::window

namespace vx::window {
namespace {

TEST_F(SourceBoxTest, AssistiveTechnologyReadsByCharacterWordAndLineAndEdits) {
  box().SetText("first line\r\nsecond \xF0\x9F\x98\x80 word\rthird");
  QAccessibleTextInterface& reader = Reader();
  int start = -1, end = -1;
  // A line with its line end, as the page has it.
  EXPECT_EQ(reader.textAtOffset(3, QAccessible::LineBoundary, &start, &end),
            QStringLiteral("first line\r\n"));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(reader.textAfterOffset(3, QAccessible::LineBoundary, &start, &end),
            QStringLiteral("second \U0001F600 word\r"));
  EXPECT_EQ(reader.textBeforeOffset(end, QAccessible::LineBoundary, &start, &end),
            QStringLiteral("second \U0001F600 word\r"));
  // The emoji is one character of two units.
  const int emoji = static_cast<int>(QStringLiteral("first line\r\nsecond ").size());
  EXPECT_EQ(reader.textAtOffset(emoji, QAccessible::CharBoundary, &start, &end),
            QStringLiteral("\U0001F600"));
  EXPECT_EQ(end - start, 2);
  EXPECT_EQ(reader.textAtOffset(emoji + 5, QAccessible::WordBoundary, &start, &end),
            QStringLiteral("word"));
  EXPECT_EQ(reader.textAtOffset(0, QAccessible::NoBoundary, &start, &end),
            reader.text(0, reader.characterCount()));
  // Where characters are on the screen, and back.
  const QRect r = reader.characterRect(2);
  ASSERT_FALSE(r.isEmpty());
  EXPECT_GT(r.width(), 1);
  EXPECT_EQ(reader.offsetAtPoint(r.center() - QPoint(r.width() / 4, 0)), 2);
  // Editing through the interface edits the page.
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&box());
  QAccessibleEditableTextInterface* editor = a->editableTextInterface();
  ASSERT_NE(editor, nullptr);
  editor->replaceText(0, 5, QStringLiteral("1st"));
  editor->insertText(reader.characterCount(), QStringLiteral("!"));
  editor->deleteText(emoji - 4, emoji - 2);  // "d " before the emoji ("1st" is two shorter)
  EXPECT_EQ(box().Text(), "1st line\r\nsecon\xF0\x9F\x98\x80 word\rthird!");
  reader.setCursorPosition(3);
  EXPECT_EQ(box().Caret(), 3u);
  EXPECT_EQ(reader.selectionCount(), 0);
}

TEST_F(SourceBoxTest, ScrollingMovesByRowsAndReachesTheEnd) {
  std::string page;
  for (int i = 0; i < 1000; ++i) page += "line " + std::to_string(i) + "\n";
  page += "last";
  box().SetText(page);
  const int rows = (box().viewport()->height() - 3) / box().rows().RowHeight();
  ASSERT_GT(rows, 3);
  auto top_line = [&] { return box().store().LineOf(box().topByte()); };
  // The scroll bar's arrow scrolls one row, its page one page less a row.
  box().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(top_line(), 1u);
  box().verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(top_line(), 1u + static_cast<std::size_t>(rows - 1));
  box().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(top_line(), static_cast<std::size_t>(rows - 1));
  // The wheel: three rows a notch.
  QWheelEvent wheel(QPointF(10, 10), box().viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(box().viewport(), &wheel);
  EXPECT_EQ(top_line(), static_cast<std::size_t>(rows + 2));
  // Dragging the thumb to the end shows the last line as the last row.
  box().verticalScrollBar()->setValue(box().verticalScrollBar()->maximum());
  EXPECT_EQ(top_line(), 1000u - static_cast<std::size_t>(rows - 1));
  box().verticalScrollBar()->setValue(0);
  EXPECT_EQ(box().topByte(), 0u);
  // Page Down moves the caret and the view alike; Ctrl+End shows the end.
  Key(Qt::Key_PageDown);
  EXPECT_EQ(box().CaretLineColumn().first, static_cast<std::size_t>(rows));
  EXPECT_EQ(top_line(), static_cast<std::size_t>(rows - 1));
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_FALSE(box().caretRect(box().Caret()).isEmpty());
  EXPECT_EQ(box().verticalScrollBar()->value(), box().verticalScrollBar()->maximum());
}

TEST_F(SourceBoxTest, RowsOfALongLineAreTheSameGoingDownAndUp) {
  // A minified line of 200 KiB: many segments, each wrapping into rows.
  std::string line;
  for (int i = 0; line.size() < 200 * 1024; ++i) {
    line += "<td class=\"c\">" + std::to_string(i) + "</td>";
  }
  box().SetText("<html>\n" + line + "\n</html>");
  SourceRows& rows = box().rows();
  std::vector<std::size_t> down;
  SourceRows::Row row = rows.RowOf(0);
  for (;;) {
    down.push_back(rows.Start(row));
    const auto next = rows.Next(row);
    if (!next) break;
    row = *next;
  }
  ASSERT_GT(down.size(), 500u);
  std::vector<std::size_t> up;
  for (std::optional<SourceRows::Row> r = row; r; r = rows.Previous(*r))
    up.push_back(rows.Start(*r));
  std::reverse(up.begin(), up.end());
  EXPECT_EQ(up, down);
  // Each row starts where a position in it says it does.
  for (std::size_t i = 0; i + 1 < down.size(); i += 37) {
    const std::size_t inside = (down[i] + down[i + 1]) / 2;
    EXPECT_EQ(rows.Start(rows.RowOf(inside)), down[i]) << i;
  }
  // Scrolling through the line by the scroll bar's arrow row by row.
  for (int i = 0; i < 300; ++i) {
    box().verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  }
  EXPECT_EQ(box().topByte(), down[300]);
}

TEST_F(SourceBoxTest, TypingJoinsOneUndoStepUntilTheCaretMoves) {
  box().SetText("x");
  Key(Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(&box(), QStringLiteral("abc"));
  Key(Qt::Key_Left);
  QTest::keyClicks(&box(), QStringLiteral("de"));
  EXPECT_EQ(box().Text(), "xabdec");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "xabc");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "x");
  Key(Qt::Key_Z, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(box().Text(), "xabc");
  // Typing after an undo starts afresh: there is nothing left to redo.
  QTest::keyClicks(&box(), QStringLiteral("!"));
  EXPECT_FALSE(box().canRedo());
}

}  // namespace
}  // namespace vx::window

namespace vx::window {
namespace {

// Keys at random over a text of every kind of line end and character: the
// text, what assistive technology reads, the caret's line and column and the
// rows in view stay in step, and undoing everything gives the page back.
TEST_F(SourceBoxTest, RandomKeysKeepTextCaretAndRowsInStep) {
  std::string page;
  const std::vector<std::string> parts{
      "<p>",         "word ", "\r\n", "\r", "\n", "\t", "\xC3\xA9", "e\xCC\x81", "\xF0\x9F\x98\x80",
      "\xEF\xB7\x90"};
  std::mt19937 rng(5);
  for (int i = 0; i < 400; ++i) page += parts[rng() % parts.size()];
  page += std::string(3000, 'm');  // a line that wraps
  box().SetText(page);
  QApplication::setActiveWindow(&box());
  box().setFocus();
  const std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys{
      {Qt::Key_Right, {}},
      {Qt::Key_Left, {}},
      {Qt::Key_Up, {}},
      {Qt::Key_Down, {}},
      {Qt::Key_Right, Qt::ShiftModifier},
      {Qt::Key_Down, Qt::ShiftModifier},
      {Qt::Key_Right, Qt::ControlModifier},
      {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier},
      {Qt::Key_Home, {}},
      {Qt::Key_End, {}},
      {Qt::Key_PageDown, {}},
      {Qt::Key_PageUp, {}},
      {Qt::Key_Backspace, {}},
      {Qt::Key_Delete, {}},
      {Qt::Key_Return, {}},
      {Qt::Key_A, {}},
      {Qt::Key_Space, {}},
      {Qt::Key_Z, Qt::ControlModifier},
      {Qt::Key_Y, Qt::ControlModifier},
      {Qt::Key_Backspace, Qt::ControlModifier},
  };
  for (int step = 0; step < 600; ++step) {
    const auto& [key, mods] = keys[rng() % keys.size()];
    Key(key, mods);
    if (step % 150 == 149) box().setWrapsLines(!box().wrapsLines());
    const std::string& text = box().Text();
    const std::size_t caret = box().Caret();
    ASSERT_LE(caret, text.size());
    ASSERT_TRUE(caret == text.size() || (static_cast<unsigned char>(text[caret]) & 0xC0) != 0x80)
        << "step " << step << ": the caret inside a character";
    const app::LineColumn at = app::LocateOffsets(text, {caret}).front();
    ASSERT_EQ(box().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{at.line, at.column}))
        << "step " << step;
    if (step % 20 == 0) {
      ASSERT_TRUE(Reader().text(0, Reader().characterCount()) == Q(text)) << "step " << step;
      box().repaint();
      ASSERT_FALSE(box().caretRect(caret).isEmpty()) << "step " << step << ": caret out of view";
    }
  }
  box().setWrapsLines(true);
  while (box().canUndo()) box().undo();
  EXPECT_EQ(box().Text(), page);
}

}  // namespace
}  // namespace vx::window
