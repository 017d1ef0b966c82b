#pragma once

// The bars the source box opens over its top edge: find (Ctrl+F) and go to
// line (Ctrl+G).

#include <QFrame>
#include <cstddef>
#include <optional>
#include <utility>

#include "app/window/source_search.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vx::window {

class FindBar : public QFrame {
  Q_OBJECT

 public:
  explicit FindBar(QWidget* parent = nullptr);

  SearchQuery query() const;
  void setNeedle(const QString& needle);
  void setMatchCase(bool on);
  void setWholeWord(bool on);
  // "3 of 12", "No matches" and the like.
  void setCountText(const QString& text);
  QString countText() const;
  QLineEdit& field() const { return *field_; }
  QCheckBox& matchCaseBox() const { return *case_; }
  QCheckBox& wholeWordBox() const { return *word_; }

 signals:
  void queryChanged();
  void nextRequested(bool backward);
  void closeRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* field_;
  QCheckBox* case_;
  QCheckBox* word_;
  QToolButton* previous_;
  QToolButton* next_;
  QLabel* count_;
  QToolButton* close_;
};

class GoToLineBar : public QFrame {
  Q_OBJECT

 public:
  explicit GoToLineBar(QWidget* parent = nullptr);

  // Shows the range of lines the text has.
  void setLineCount(std::size_t lines);
  QLineEdit& field() const { return *field_; }
  QString message() const;

  // "12" or "12:5" (also "12,5" and "12 5"): a line and perhaps a column.
  static std::optional<std::pair<std::size_t, std::size_t>> Parse(const QString& text);

 signals:
  void goRequested(std::size_t line, std::size_t column);
  void closeRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Submit();

  QLineEdit* field_;
  QLabel* range_;
  QToolButton* close_;
  std::size_t lines_ = 1;
};

}  // namespace vx::window
