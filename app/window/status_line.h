#pragma once

// The status line under the form: what the window is doing and what became of
// the last check, and where the source box's caret stands. Assistive
// technology reads it as a status bar; its message label's name is its text,
// so a change is announced as a name change.

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vx::window {

// What a finished check tells the user.
struct CheckSummary {
  std::optional<long> http_status;  // unset for a local file
  std::string final_address;        // after redirects; "" when it is the address typed
  std::size_t bytes = 0;
  std::int64_t milliseconds = 0;
  int findings = 0;
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

class StatusLine : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kHeight = 22;

  explicit StatusLine(QWidget* parent);

  void ShowMessage(const std::string& text, bool busy);
  void ShowCaret(qint64 line, qint64 column);

  QString message() const { return text_->text(); }
  QString caret() const { return caret_->text(); }
  bool busy() const { return !busy_->isHidden(); }

 private:
  QLabel* text_;
  QProgressBar* busy_;
  QLabel* caret_;
};

}  // namespace vx::window
