#pragma once

// The source box (Text2): a multi-line text box that stays quick with pages of
// many megabytes, minified ones on a single line included.
//
// A plain-text editor lays out a paragraph as a whole, so a 10 MiB line would
// take many seconds. The box therefore shows the text in blocks of bounded
// size: a line longer than a block goes on in the next block (a "soft" break,
// which is no character of the text), and on large pages runs of short lines
// share one block, joined by line separators. The text itself, as the check
// run reads it, is kept aside as UTF-8, exactly as it was set; after the user
// edits the box it is rebuilt from the blocks when next asked for.

#include <QPlainTextEdit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/check_ports.h"

namespace vx::window {

class SourceBox : public QPlainTextEdit, public app::SourceView {
  Q_OBJECT

 public:
  // Longest block, in UTF-16 units, before a soft break.
  static constexpr int kMaxBlock = 4096;
  // Texts above this many bytes put runs of short lines into shared blocks.
  static constexpr std::size_t kBatchAbove = 256 * 1024;

  explicit SourceBox(QWidget* parent = nullptr);

  // SourceView. Positions count characters (code points) of the UTF-8 text.
  const std::string& Text() const override;
  void SetText(std::string text) override;
  std::uint64_t TextRevision() const override { return revision_; }
  void SetSelStart(std::size_t chars) override;
  void SetSelLength(std::size_t chars) override;
  std::string SelText() const override;

  // The selection as byte offsets into Text().
  std::pair<std::size_t, std::size_t> SelectedBytes() const;

  // Highlights byte ranges of Text() (sorted by offset) without touching the
  // selection, and scrolls the first into view. Only the highlights in and
  // near the visible part are handed to the editor at any time, so a page
  // with a hundred thousand of them stays quick. Editing the text drops them.
  void Highlight(const std::vector<std::pair<std::size_t, std::size_t>>& byte_ranges);
  void ClearHighlight();
  // All highlighted ranges, as document positions [start, end).
  const std::vector<std::pair<int, int>>& highlightedRanges() const { return highlights_; }

  // Document position of a byte offset of Text(), and back.
  int DocPosition(std::size_t byte) const;
  std::size_t ByteAt(int doc_position) const;

 protected:
  // Copying gives the text's own characters: no soft breaks, the original
  // line ends.
  QMimeData* createMimeDataFromSelection() const override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Rebuild() const;
  void OnContentsChange();
  void UpdateVisibleHighlights();
  // Document positions of sorted byte offsets, in one walk.
  std::vector<int> DocPositions(const std::vector<std::size_t>& sorted_bytes) const;

  mutable std::string text_;
  // Byte offset in text_ at which each block (by number) starts.
  mutable std::vector<std::size_t> block_bytes_;
  mutable bool dirty_ = false;
  bool batched_ = false;  // blocks hold line separators for line ends
  bool setting_ = false;
  std::uint64_t revision_ = 0;
  std::vector<std::pair<int, int>> highlights_;
  std::pair<int, int> shown_range_{-1, -1};  // document range whose highlights are set
};

}  // namespace vx::window
