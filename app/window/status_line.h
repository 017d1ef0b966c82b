#pragma once

// The status line under the form: what the window is doing and what became of
// the last check, and where the source box's caret stands. Assistive
// technology reads it as a status bar; its message label's name is its text,
// so a change is announced as a name change.

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::window {

// What a finished check tells the user.
struct CheckSummary {
  std::optional<long> http_status;  // unset for a local file
  std::string final_address;        // after redirects; "" when it is the address typed
  std::size_t bytes = 0;
  std::int64_t milliseconds = 0;
  int findings = 0;
  // A marker the check left selected in the source box ("" when none).
  std::string_view selected_marker;
};

// The texts, in the words the user reads.
std::string FetchingText(const std::string& address, std::uint64_t bytes_received);
std::string CheckedText(const CheckSummary& s);
// `previous`: the address the source box's text came from (nullopt when it
// holds no fetched page); `cancelled` when the user gave the fetch up.
std::string FailedText(const std::string& address, const std::string& reason,
                       const std::optional<std::string>& previous, bool cancelled);
// 1234567 -> "1,234,567".
std::string GroupedNumber(std::uint64_t n);

// What a failure adds when the source box still shows an earlier page. When
// the line is too narrow the part before it is cut, never this part.
inline constexpr const char* kSourceShownFrom = " \u00b7 the source shown is from ";

// `text` shortened with "…" to fit `width` pixels of `metrics`. From
// kSourceShownFrom on, the text is kept whole as long as it fits alone; the
// part before it is cut first.
QString ElidedStatus(const QString& text, const QFontMetrics& metrics, int width);

class StatusLine : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kHeight = 22;

  explicit StatusLine(QWidget* parent);

  void ShowMessage(const std::string& text, bool busy);
  void ShowCaret(qint64 line, qint64 column);

  // The whole message, however much of it the line has room for.
  QString message() const { return message_; }
  // What the line shows of it.
  QString shownMessage() const { return text_->text(); }
  QString caret() const { return caret_->text(); }
  bool busy() const { return !busy_->isHidden(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Elide();

  QString message_;
  QLabel* text_;
  QProgressBar* busy_;
  QLabel* caret_;
};

}  // namespace vx::window
