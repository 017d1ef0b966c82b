#include "app/window/source_bars.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>

namespace vx::window {
namespace {

QToolButton* Button(QWidget* parent, const QString& text, const QString& name, const QString& tip) {
  auto* b = new QToolButton(parent);
  b->setText(text);
  b->setAccessibleName(name);
  b->setToolTip(tip);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

void FrameUp(QFrame& bar) {
  bar.setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  bar.setAutoFillBackground(true);
  bar.setBackgroundRole(QPalette::Window);
  bar.hide();
}

}  // namespace

FindBar::FindBar(QWidget* parent) : QFrame(parent) {
  FrameUp(*this);
  setAccessibleName(QStringLiteral("Find"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(3, 1, 1, 1);
  row->setSpacing(3);
  field_ = new QLineEdit(this);
  field_->setPlaceholderText(QStringLiteral("Find"));
  field_->setAccessibleName(QStringLiteral("Find"));
  field_->setClearButtonEnabled(false);
  field_->setMinimumWidth(120);
  case_ = new QCheckBox(QStringLiteral("Match case"), this);
  word_ = new QCheckBox(QStringLiteral("Whole word"), this);
  previous_ = Button(this, QStringLiteral("\u25B2"), QStringLiteral("Previous match"),
                     QStringLiteral("Previous match (Shift+F3)"));
  next_ = Button(this, QStringLiteral("\u25BC"), QStringLiteral("Next match"),
                 QStringLiteral("Next match (F3)"));
  count_ = new QLabel(this);
  count_->setMinimumWidth(60);
  close_ = Button(this, QStringLiteral("\u00D7"), QStringLiteral("Close find"),
                  QStringLiteral("Close (Esc)"));
  for (QWidget* w :
       {static_cast<QWidget*>(field_), static_cast<QWidget*>(case_), static_cast<QWidget*>(word_),
        static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_),
        static_cast<QWidget*>(count_), static_cast<QWidget*>(close_)}) {
    row->addWidget(w);
  }
  field_->installEventFilter(this);
  connect(field_, &QLineEdit::textChanged, this, &FindBar::queryChanged);
  connect(case_, &QCheckBox::toggled, this, &FindBar::queryChanged);
  connect(word_, &QCheckBox::toggled, this, &FindBar::queryChanged);
  connect(previous_, &QToolButton::clicked, this, [this] { emit nextRequested(true); });
  connect(next_, &QToolButton::clicked, this, [this] { emit nextRequested(false); });
  connect(close_, &QToolButton::clicked, this, &FindBar::closeRequested);
}

SearchQuery FindBar::query() const {
  return {field_->text().toStdString(), case_->isChecked(), word_->isChecked()};
}

void FindBar::setNeedle(const QString& needle) {
  field_->setText(needle);
}

void FindBar::setMatchCase(bool on) {
  case_->setChecked(on);
}

void FindBar::setWholeWord(bool on) {
  word_->setChecked(on);
}

void FindBar::setCountText(const QString& text) {
  count_->setText(text);
  count_->setAccessibleName(text);
}

QString FindBar::countText() const {
  return count_->text();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_F3) {
      emit nextRequested(shift);
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      emit closeRequested();
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

GoToLineBar::GoToLineBar(QWidget* parent) : QFrame(parent) {
  FrameUp(*this);
  setAccessibleName(QStringLiteral("Go to line"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(3, 1, 1, 1);
  row->setSpacing(3);
  auto* label = new QLabel(QStringLiteral("Go to line:"), this);
  field_ = new QLineEdit(this);
  field_->setAccessibleName(QStringLiteral("Go to line"));
  field_->setPlaceholderText(QStringLiteral("line or line:column"));
  field_->setMinimumWidth(110);
  label->setBuddy(field_);
  range_ = new QLabel(this);
  close_ = Button(this, QStringLiteral("\u00D7"), QStringLiteral("Close go to line"),
                  QStringLiteral("Close (Esc)"));
  row->addWidget(label);
  row->addWidget(field_);
  row->addWidget(range_);
  row->addWidget(close_);
  field_->installEventFilter(this);
  connect(close_, &QToolButton::clicked, this, &GoToLineBar::closeRequested);
}

void GoToLineBar::setLineCount(std::size_t lines) {
  lines_ = std::max<std::size_t>(lines, 1);
  range_->setText(QStringLiteral("(1\u2013%1)").arg(lines_));
}

QString GoToLineBar::message() const {
  return range_->text();
}

std::optional<std::pair<std::size_t, std::size_t>> GoToLineBar::Parse(const QString& text) {
  static const QRegularExpression form(
      QStringLiteral("^\\s*(\\d{1,18})(?:\\s*[:, ]\\s*(\\d{1,18}))?\\s*$"));
  const QRegularExpressionMatch m = form.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const std::size_t line = m.captured(1).toULongLong();
  const std::size_t column = m.captured(2).isEmpty() ? 1 : m.captured(2).toULongLong();
  if (line == 0 || column == 0) return std::nullopt;
  return std::pair{line, column};
}

void GoToLineBar::Submit() {
  const auto at = Parse(field_->text());
  if (!at) {
    range_->setText(QStringLiteral("Type a line from 1 to %1, or line:column").arg(lines_));
    return;
  }
  setLineCount(lines_);
  emit goRequested(at->first, at->second);
}

bool GoToLineBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Submit();
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      emit closeRequested();
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace vx::window
