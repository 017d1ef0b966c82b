#include "app/window/status_line.h"

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
  return text;
}

std::string FailedText(const std::string& address, const std::string& reason,
                       const std::optional<std::string>& previous, bool cancelled) {
  std::string text = cancelled ? "Cancelled: " + address + " was not fetched"
                               : "Could not fetch " + address + ": " + reason;
  if (previous) text += " \u00b7 the source shown is from " + *previous;
  return text;
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
  // Never markup, and never wider than the window: a long address is cut off
  // on screen, its whole text stays in the accessible name.
  text_->setTextFormat(Qt::PlainText);
  text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  text_->setObjectName(QStringLiteral("StatusText"));
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
  addPermanentWidget(caret_);
  ShowCaret(1, 1);
  for (QWidget* w : {static_cast<QWidget*>(text_), static_cast<QWidget*>(busy_),
                     static_cast<QWidget*>(caret_)}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
}

void StatusLine::ShowMessage(const std::string& text, bool busy) {
  text_->setText(ToQ(text));
  busy_->setVisible(busy);
}

void StatusLine::ShowCaret(qint64 line, qint64 column) {
  caret_->setText(QStringLiteral("Ln %1, Col %2").arg(line).arg(column));
}

}  // namespace vx::window
