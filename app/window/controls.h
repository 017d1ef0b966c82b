#pragma once

// The window's controls as the check run sees them: the single-line text
// boxes, the findings list, the server line and the transfer control.

#include <QAccessible>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/window/check_ports.h"
#include "platform/fetch/fetch.h"

namespace vx::window {

// A single-line text box (Text1, Text3, Text4).
class LineBox : public QLineEdit, public app::SourceView {
  Q_OBJECT

 public:
  explicit LineBox(QWidget* parent = nullptr);

  const std::string& Text() const override { return text_; }
  void SetText(std::string text) override;
  std::uint64_t TextRevision() const override { return revision_; }
  void SetSelStart(std::size_t chars) override;
  void SetSelLength(std::size_t chars) override;
  std::string SelText() const override;

 private:
  std::string text_;
  std::uint64_t revision_ = 0;
  bool setting_ = false;
};

// The findings list (ListView1) in report view. Each row remembers the rule
// it stands for, so that selecting it can show where the rule matched.
class FindingsView : public QTreeWidget, public app::FindingsList {
  Q_OBJECT

 public:
  static constexpr int kRuleRole = Qt::UserRole + 1;
  // A rated row's severity (its name, "high") and its rule's index in the set.
  static constexpr int kSeverityRole = Qt::UserRole + 2;
  static constexpr int kSetIndexRole = Qt::UserRole + 3;

  explicit FindingsView(QWidget* parent = nullptr);

  void SetRowIcon(QIcon icon) { icon_ = std::move(icon); }

  void Clear() override;
  void AddRow(std::size_t rule, const std::string& label, const std::string& description) override;
  void AddRatedRow(std::size_t rule, std::size_t in_set, const std::string& label,
                   const std::string& description, app::check::Severity severity) override;

  // The rule (0-based) of a row, or nullopt for a row no rule added.
  static std::optional<std::size_t> RuleOf(const QTreeWidgetItem* item);
  // A rated row's severity name and its rule's index in the chosen set.
  static QString SeverityOf(const QTreeWidgetItem* item);
  static std::optional<std::size_t> SetIndexOf(const QTreeWidgetItem* item);
  // The row icon of a severity: one to five bars, so that the five differ in
  // shape as well as in colour.
  static QIcon SeverityIcon(app::check::Severity severity, QSize size);

  // The rule sets the context menu offers, by the names the window keeps.
  static constexpr const char* kRuleSetNames[] = {"classic", "modern", "all", "file"};
  // The one the menu marks as chosen.
  void SetChosenRuleSet(const QString& name) { chosen_rule_set_ = name; }

  // What a row's tooltip says of its finding's occurrences ("3 occurrences:
  // ..."), and what assistive technology reads as its cells' description.
  // Kept beside the rows, not in them: changing a row's data would tell
  // assistive technology of a changed row while it follows the selection.
  void SetSummary(const QTreeWidgetItem* item, QString summary);
  QString SummaryOf(const QTreeWidgetItem* item) const;

  // Rows as "label<TAB>description" lines, each ended by a line break: the
  // selected ones, or all.
  QString RowsText(bool all) const;
  // Ctrl+C and the context menu's Copy: the selected rows to the clipboard.
  void CopySelected() const;
  void CopyAll() const;
  // The context menu: Copy, Copy all, Save findings…, Rules (the rule set).
  QMenu* MakeContextMenu(QWidget* parent);

 signals:
  // A rule set was chosen in the context menu: one of kRuleSetNames ("file":
  // the user is to pick a rule file).
  void ruleSetChosen(const QString& name);
  // A double-click anywhere in the list, after the list has handled it, and
  // Enter on a selected row (the keyboard's double-click).
  void listDoubleClicked();
  // "Save findings…" was chosen.
  void saveRequested();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  // Tells assistive technology of the cells of rows [first, end).
  void TellCells(int first, int end, QAccessible::Event what);
  // Adds a filled-in row at the end and tells assistive technology of it.
  void Join(QTreeWidgetItem* item);

  QIcon icon_;
  QString chosen_rule_set_ = QStringLiteral("classic");
  const QTreeWidgetItem* summary_item_ = nullptr;
  QString summary_;
};

// The server line (Label4). Shows text as it is: a header is never markup.
class LabelCaption : public app::CaptionView {
 public:
  explicit LabelCaption(QLabel& label) : label_(label) {}
  void SetCaption(const std::string& caption) override;

 private:
  QLabel& label_;
};

// The transfer control (Inet1). OpenURL fetches on a worker thread and waits
// in a local event loop, so the window keeps repainting and taking input;
// each request has its own result, so a request that ends while another run
// waits cannot land in that run. GetHeader answers from the response of the
// last OpenURL that returned, and fails when that request failed. Local files
// ("file:" addresses and paths) are read as the command line reads them, on
// the worker too (a FIFO may wait for its writer, bounded by the fetch
// time-out and cancelled like a fetch), and a failure is told in the command
// line's words.
class ThreadedFetcher : public app::PageFetcher {
 public:
  explicit ThreadedFetcher(net::FetchOptions options = {});
  // Waits for requests still under way (bounded by the fetch time-out).
  ~ThreadedFetcher() override;

  std::string OpenURL(const std::string& address) override;
  std::string GetHeader(const std::string& name) override;
  std::optional<app::check::PageOrigin> LastPage() const override;

  // Requests started and not yet returned to their caller.
  int pending() const { return pending_; }
  // Body bytes the newest request under way has received so far (0 when none
  // is under way).
  std::uint64_t BytesReceived() const;
  // Gives up every request under way at once: each OpenURL waiting for one
  // fails with "cancelled". Their transfers end on their threads soon after.
  void CancelAll();
  // The response of the last OpenURL that returned a web page; nullptr after
  // a failure or for a local file. Its text has moved on to the caller.
  const net::FetchResult* LastResponse() const {
    return last_ && last_->status > 0 ? &*last_ : nullptr;
  }
  // The web request of the last OpenURL that failed, for what it did reach
  // (a status, the address it ended at); nullptr when it was no web request.
  const net::FetchResult* LastFailure() const { return failed_ ? &*failed_ : nullptr; }

 private:
  struct Request;

  net::FetchOptions options_;
  std::optional<net::FetchResult> last_;  // nullopt: the last request failed
  std::optional<net::FetchResult> failed_;
  std::vector<std::thread> workers_;
  std::vector<std::shared_ptr<Request>> requests_;
  int pending_ = 0;
};

}  // namespace vx::window
