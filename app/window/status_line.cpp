#include "app/window/status_line.h"

#include <QEvent>
#include <QSizePolicy>

namespace vx::window {
namespace {

QString ToQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Bytes(std::uint64_t n) {
  return GroupedNumber(n) + (n == 1 ? " byte" : " bytes");
}

std::string Duration(std::int64_t ms) {
  if (ms < 10000) return std::to_string(ms) + " ms";
  const std::int64_t tenths = (ms + 50) / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace

std::string GroupedNumber(std::uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string FetchingText(const std::string& address, std::uint64_t bytes_received) {
  std::string text = "Fetching " + address + "\u2026";
  if (bytes_received > 0) text += " " + Bytes(bytes_received) + " received";
  return text;
}

std::string CheckedText(const CheckSummary& s) {
  std::string text;
  if (s.http_status) {
    text = "HTTP " + std::to_string(*s.http_status);
    // The server's error page is checked like any page, but it is not the
    // page the address names.
    if (*s.http_status >= 400) text += " error";
    if (!s.final_address.empty()) text += " from " + s.final_address;
  } else {
    text = "Local file";
  }
  text += " \u00b7 " + Bytes(s.bytes) + " \u00b7 " + Duration(s.milliseconds) + " \u00b7 ";
  if (s.findings == 0) {
    text += "No risky markers found";
  } else {
    text += std::to_string(s.findings) + (s.findings == 1 ? " finding" : " findings");
  }
  // Otherwise the selection in the source box seems to come from nowhere.
  if (!s.selected_marker.empty()) {
    text += " \u00b7 \u201c" + std::string(s.selected_marker) + "\u201d selected in the source";
  }
  return text;
}

std::string FailedText(const std::string& address, const std::string& reason,
                       const std::optional<std::string>& previous, bool cancelled) {
  std::string text = cancelled         ? "Cancelled: " + address + " was not fetched"
                     : address.empty() ? "No address to fetch: type one into \u201cWeb Site:\u201d"
                                       : "Could not fetch " + address + ": " + reason;
  if (previous) text += kSourceShownFrom + *previous;
  return text;
}

QString ElidedStatus(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const qsizetype tail_at = text.indexOf(QString::fromUtf8(kSourceShownFrom));
  if (tail_at > 0) {
    const QString tail = text.mid(tail_at);
    const int room = width - metrics.horizontalAdvance(tail);
    const QString head = metrics.elidedText(text.left(tail_at), Qt::ElideRight, room);
    // Below a few characters of the head it says nothing: the tail alone.
    if (room > 0 && head.size() > 1) return head + tail;
    return metrics.elidedText(tail.mid(3), Qt::ElideMiddle, width);
  }
  return metrics.elidedText(text, Qt::ElideRight, width);
}

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent),
      text_(new QLabel(this)),
      busy_(new QProgressBar(this)),
      caret_(new QLabel(this)) {
  setObjectName(QStringLiteral("StatusLine"));
  setAccessibleName(QStringLiteral("Status"));
  setSizeGripEnabled(false);
  setFixedHeight(kHeight);
  // Never markup, and never wider than the window: a long message is cut
  // with "…" on screen, its whole text is the tooltip and the accessible name.
  text_->setTextFormat(Qt::PlainText);
  text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  text_->setObjectName(QStringLiteral("StatusText"));
  text_->installEventFilter(this);
  addWidget(text_, 1);
  // A busy indicator: no end is known while a page arrives.
  busy_->setRange(0, 0);
  busy_->setTextVisible(false);
  busy_->setFixedWidth(80);
  busy_->setAccessibleName(QStringLiteral("Fetching"));
  busy_->hide();
  addPermanentWidget(busy_);
  caret_->setTextFormat(Qt::PlainText);
  caret_->setObjectName(QStringLiteral("CaretPosition"));
  caret_->setAccessibleName(QStringLiteral("Line and column"));
  // Clear of the window's edge, as the message is of its left one.
  caret_->setContentsMargins(0, 0, 6, 0);
  addPermanentWidget(caret_);
  ShowCaret(1, 1);
  for (QWidget* w : {static_cast<QWidget*>(text_), static_cast<QWidget*>(busy_),
                     static_cast<QWidget*>(caret_)}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
}

void StatusLine::ShowMessage(const std::string& text, bool busy) {
  message_ = ToQ(text);
  text_->setToolTip(message_);
  text_->setAccessibleName(message_);
  busy_->setVisible(busy);
  Elide();
}

bool StatusLine::eventFilter(QObject* watched, QEvent* event) {
  // The room left changes with the window and with the busy indicator.
  if (watched == text_ && event->type() == QEvent::Resize) Elide();
  return QStatusBar::eventFilter(watched, event);
}

void StatusLine::Elide() {
  const int width = text_->contentsRect().width();
  text_->setText(width > 0 ? ElidedStatus(message_, text_->fontMetrics(), width) : message_);
}

void StatusLine::ShowCaret(qint64 line, qint64 column) {
  caret_->setText(QStringLiteral("Ln %1, Col %2").arg(line).arg(column));
}

}  // namespace vx::window
