#include "app/window/controls.h"

#include <QAccessible>
#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include "app/cli_input.h"
#include "app/rules.h"
#include "app/window/findings_accessible.h"

namespace vx::window {
namespace {

QString ToQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// UTF-16 index of character (code point) number `chars` of `s`, clamped.
int Utf16Index(const QString& s, std::size_t chars) {
  qsizetype i = 0;
  for (std::size_t c = 0; c < chars && i < s.size(); ++c) {
    i += (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) ? 2 : 1;
  }
  return static_cast<int>(i);
}

// The reason a fetch that threw failed. Throws nothing itself: when even
// the words do not fit, "out of memory" needs no allocation.
std::string FetchFailure(const std::exception_ptr& error) noexcept {
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
      return "out of memory while fetching the page";
    } catch (const std::exception& e) {
      return std::string("the fetch failed: ") + e.what();
    } catch (...) {
      return "the fetch failed";
    }
  } catch (...) {
    return std::string("out of memory");
  }
}

}  // namespace

LineBox::LineBox(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(std::numeric_limits<int>::max());
  connect(this, &QLineEdit::textChanged, this, [this](const QString& t) {
    if (setting_) return;
    text_ = t.toStdString();
    ++revision_;
  });
}

void LineBox::SetText(std::string text) {
  setting_ = true;
  setText(ToQ(text));
  setting_ = false;
  // What the box holds is what reads back: characters, not raw bytes.
  text_ = this->text().toStdString();
  ++revision_;
}

void LineBox::SetSelStart(std::size_t chars) {
  setCursorPosition(Utf16Index(text(), chars));
}

void LineBox::SetSelLength(std::size_t chars) {
  const int start = hasSelectedText() ? selectionStart() : cursorPosition();
  const QString rest = text().mid(start);
  setSelection(start, Utf16Index(rest, chars));
}

std::string LineBox::SelText() const {
  return selectedText().toStdString();
}

FindingsView::FindingsView(QWidget* parent) : QTreeWidget(parent) {
  InstallFindingsAccessibility();
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  header()->setSectionsMovable(false);
}

void FindingsView::SetSummary(const QTreeWidgetItem* item, QString summary) {
  summary_item_ = item;
  summary_ = std::move(summary);
}

QString FindingsView::SummaryOf(const QTreeWidgetItem* item) const {
  return item != nullptr && item == summary_item_ ? summary_ : QString();
}

bool FindingsView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = SummaryOf(itemAt(help->pos()));
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport());
    }
    return true;
  }
  return QTreeWidget::viewportEvent(event);
}

void FindingsView::Clear() {
  SetSummary(nullptr, {});
  const int rows = topLevelItemCount();
  // Sent whether or not assistive technology listens: the list holds a few
  // rows, and the toolkit drops the events when nobody does.
  const bool tell = rows > 0;
  if (tell) TellCells(0, rows, QAccessible::ObjectDestroyed);
  clear();
  if (tell) {
    // A screen reader hears that the old findings went.
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::RowsRemoved);
    event.setFirstRow(0);
    event.setLastRow(rows - 1);
    QAccessible::updateAccessibility(&event);
  }
}

void FindingsView::TellCells(int first, int end, QAccessible::Event what) {
  // The platform bridge may pass table changes on as they are or not at all
  // (Qt 6.4's AT-SPI bridge drops them); cells made and gone reach it as
  // children added to and removed from the table either way.
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(this);
  QAccessibleTableInterface* cells = table != nullptr ? table->tableInterface() : nullptr;
  if (cells == nullptr) return;
  for (int row = first; row < end; ++row) {
    for (int column = 0; column < columnCount(); ++column) {
      if (QAccessibleInterface* cell = cells->cellAt(row, column)) {
        QAccessibleEvent event(cell, what);
        QAccessible::updateAccessibility(&event);
      }
    }
  }
}

void FindingsView::AddRow(std::size_t rule, const std::string& label,
                          const std::string& description) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, ToQ(label));
  item->setIcon(0, icon_);
  item->setText(1, ToQ(description));
  if (rule < app::kRuleCount) item->setData(0, kRuleRole, static_cast<qulonglong>(rule));
  Join(item);
}

void FindingsView::Join(QTreeWidgetItem* item) {
  addTopLevelItem(item);
  // ... and of each new one as the check finds it.
  const int row = topLevelItemCount() - 1;
  QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::RowsInserted);
  event.setFirstRow(row);
  event.setLastRow(row);
  QAccessible::updateAccessibility(&event);
  TellCells(row, row + 1, QAccessible::ObjectCreated);
}

void FindingsView::AddRatedRow(std::size_t rule, std::size_t in_set, const std::string& label,
                               const std::string& description, app::check::Severity severity) {
  // The data before the row joins the list: assistive technology, told of
  // the new row, reads its severity at once.
  auto* item = new QTreeWidgetItem;
  item->setText(0, ToQ(label));
  item->setIcon(0, SeverityIcon(severity, iconSize().isValid() ? iconSize() : QSize(16, 16)));
  item->setText(1, ToQ(description));
  if (rule < app::kRuleCount) item->setData(0, kRuleRole, static_cast<qulonglong>(rule));
  const std::string_view name = app::check::SeverityName(severity);
  item->setData(0, kSeverityRole,
                QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  item->setData(0, kSetIndexRole, static_cast<qulonglong>(in_set));
  Join(item);
}

QString FindingsView::SeverityOf(const QTreeWidgetItem* item) {
  return item == nullptr ? QString() : item->data(0, kSeverityRole).toString();
}

std::optional<std::size_t> FindingsView::SetIndexOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return std::nullopt;
  const QVariant v = item->data(0, kSetIndexRole);
  if (!v.isValid()) return std::nullopt;
  return static_cast<std::size_t>(v.toULongLong());
}

QIcon FindingsView::SeverityIcon(app::check::Severity severity, QSize size) {
  // Bars rising left to right, as many as the severity's rank (info one,
  // critical five), drawn in a colour that deepens with it, over a faint
  // track of the bars it lacks.
  static const QColor kColours[] = {QColor(0x60, 0x70, 0x80), QColor(0x20, 0x60, 0xB0),
                                    QColor(0xB0, 0x70, 0x00), QColor(0xD0, 0x40, 0x00),
                                    QColor(0xB0, 0x00, 0x20)};
  const int rank = static_cast<int>(severity) + 1;
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  const int w = size.width(), h = size.height();
  const int bar = std::max(1, (w - 6) / 5);  // five bars, a pixel apart
  const int left = std::max(0, (w - (5 * bar + 4)) / 2);
  for (int i = 0; i < 5; ++i) {
    const int x = left + i * (bar + 1);
    const int top = h - 2 - (h - 4) * (i + 1) / 5;
    const QRect r(x, top, bar, h - 2 - top);
    if (i < rank) {
      painter.fillRect(r, kColours[rank - 1]);
    } else {
      painter.fillRect(QRect(x, h - 3, bar, 1), QColor(0x90, 0x90, 0x90));
    }
  }
  painter.end();
  return QIcon(pixmap);
}

std::optional<std::size_t> FindingsView::RuleOf(const QTreeWidgetItem* item) {
  if (item == nullptr) return std::nullopt;
  const QVariant v = item->data(0, kRuleRole);
  if (!v.isValid()) return std::nullopt;
  return static_cast<std::size_t>(v.toULongLong());
}

void FindingsView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  emit listDoubleClicked();
}

void FindingsView::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      !selectedItems().isEmpty()) {
    emit listDoubleClicked();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    CopySelected();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

QString FindingsView::RowsText(bool all) const {
  QString text;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (!all && !item->isSelected()) continue;
    text += item->text(0) + QLatin1Char('\t') + item->text(1) + QLatin1Char('\n');
  }
  return text;
}

void FindingsView::CopySelected() const {
  const QString text = RowsText(false);
  // Nothing selected leaves the clipboard as it was.
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

void FindingsView::CopyAll() const {
  const QString text = RowsText(true);
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

QMenu* FindingsView::MakeContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QAction* copy = menu->addAction(tr("&Copy"), this, [this] { CopySelected(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(!selectedItems().isEmpty());
  QAction* all = menu->addAction(tr("Copy &all"), this, [this] { CopyAll(); });
  all->setEnabled(topLevelItemCount() > 0);
  menu->addSeparator();
  menu->addAction(tr("&Save findings\u2026"), this, [this] { emit saveRequested(); });
  menu->addSeparator();
  // The rule set the next checks apply; the window keeps the choice.
  QMenu* rules = menu->addMenu(tr("&Rules"));
  auto* group = new QActionGroup(rules);
  const QString texts[] = {tr("&Classic (the twenty)"), tr("&Modern"), tr("&All"),
                           tr("Rule &file\u2026")};
  for (std::size_t i = 0; i < std::size(kRuleSetNames); ++i) {
    const QString name = QString::fromLatin1(kRuleSetNames[i]);
    QAction* a = rules->addAction(texts[i], this, [this, name] { emit ruleSetChosen(name); });
    a->setCheckable(true);
    a->setChecked(name == chosen_rule_set_);
    a->setData(name);
    group->addAction(a);
  }
  return menu;
}

void FindingsView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = MakeContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void LabelCaption::SetCaption(const std::string& caption) {
  label_.setText(ToQ(caption));
}

struct ThreadedFetcher::Request {
  // Written by the worker before `done` is set; read on the window's thread
  // after it is.
  net::FetchResult result;
  std::atomic<bool> done{false};
  // Its own, so that cancelling one run's fetch leaves a later one alone.
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<std::uint64_t>> received =
      std::make_shared<std::atomic<std::uint64_t>>(0);
  // Touched on the window's thread only: the waiting loop, and whether the
  // user gave the request up.
  QEventLoop* loop = nullptr;
  bool abandoned = false;
};

ThreadedFetcher::ThreadedFetcher(net::FetchOptions options) : options_(std::move(options)) {}

ThreadedFetcher::~ThreadedFetcher() {
  // A window closing during a fetch must not wait for a slow server.
  for (const auto& r : requests_) r->cancel->store(true);
  for (std::thread& t : workers_) t.join();
}

std::uint64_t ThreadedFetcher::BytesReceived() const {
  for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
    if ((*it)->loop != nullptr) return (*it)->received->load(std::memory_order_relaxed);
  }
  return 0;
}

void ThreadedFetcher::CancelAll() {
  for (const auto& r : requests_) {
    if (r->loop == nullptr) continue;
    r->cancel->store(true);
    r->abandoned = true;
    r->loop->quit();
  }
}

std::string ThreadedFetcher::OpenURL(const std::string& address) {
  // Until this request succeeds there is no response to read headers from.
  last_.reset();
  failed_.reset();
  const app::cli::Source source = app::cli::Classify(address);
  const bool local = source.kind == app::cli::Source::Kind::File;
  if (local) {
    std::error_code error;
    if (std::filesystem::is_directory(source.path, error)) {
      // The command line checks the pages under a folder; the window shows one.
      throw std::runtime_error(
          "it is a folder, and the window checks one page at a time (vettrix "
          "check " +
          address + " checks every page under it)");
    }
  }
  if (source.kind == app::cli::Source::Kind::Stdin) {
    throw std::runtime_error("the window has no standard input to read");
  }

  // Threads of requests that have ended are joined here rather than left.
  for (std::size_t i = 0; i < workers_.size();) {
    if (requests_[i]->done.load()) {
      workers_[i].join();
      workers_.erase(workers_.begin() + static_cast<std::ptrdiff_t>(i));
      requests_.erase(requests_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }

  auto request = std::make_shared<Request>();
  net::FetchOptions options = options_;
  options.cancel = request->cancel;
  options.received = request->received;
  QCoreApplication* app = QCoreApplication::instance();
  // The application outlives this object, which joins its workers first.
  // A local file is read on the worker too: a FIFO may wait for its writer
  // (up to the fetch time-out), and Esc must still cancel it.
  workers_.emplace_back(
      [request, address, path = source.path, local, options = std::move(options), app] {
        // Nothing may leave this thread (that ends the program): whatever the
        // fetch or the read throws is its failure, shown like any other.
        try {
          if (local) {
            try {
              request->result.text = app::cli::ReadFileText(path, options.max_bytes,
                                                            options.timeout, options.cancel.get());
              request->result.ok = true;
            } catch (const std::bad_alloc&) {
              throw;
            } catch (const std::exception& e) {
              // The reader's own words, as the command line gives them.
              request->result.error = e.what();
            }
          } else {
            request->result = net::fetch(address, options);
          }
        } catch (...) {
          request->result = net::FetchResult{};
          request->result.error = FetchFailure(std::current_exception());
        }
        request->done.store(true);
        if (app == nullptr) return;
        // The wait ends on this call only; memory that is short now may not be
        // in a moment.
        for (int attempt = 0; attempt < 50; ++attempt) {
          try {
            QMetaObject::invokeMethod(
                app,
                [request] {
                  if (request->loop != nullptr) request->loop->quit();
                },
                Qt::QueuedConnection);
            return;
          } catch (...) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }
      });
  requests_.push_back(request);

  ++pending_;
  QEventLoop loop;
  request->loop = &loop;
  // The loop ends when the request does, when the user cancels it, or when
  // the application quits (which ends every loop); then the request is given
  // up.
  if (!request->done.load()) loop.exec();
  request->loop = nullptr;
  --pending_;
  // A run nested in this wait may have set a response meanwhile; this
  // request is the last to return, so its outcome is what counts.
  last_.reset();
  failed_.reset();
  if (request->abandoned) throw std::runtime_error("cancelled");
  if (!request->done.load()) throw std::runtime_error("the request was abandoned");
  if (local) {
    // Told in the command line's words; no response to read headers from.
    if (!request->result.ok) throw std::runtime_error(request->result.error);
    last_ = net::FetchResult{};
    last_->ok = true;
    return std::move(request->result.text);
  }
  if (!request->result.ok) {
    failed_ = std::move(request->result);
    failed_->text.clear();
    throw std::runtime_error(app::cli::WebFailureReason(*failed_, source.could_be_file, address));
  }
  // The page moves on to the source box: neither the request nor the
  // response kept for its headers holds a second copy of it.
  last_ = std::move(request->result);
  return std::move(last_->text);
}

std::string ThreadedFetcher::GetHeader(const std::string& name) {
  if (!last_) throw std::runtime_error("no response to read a header from");
  return last_->header(name);
}

std::optional<app::check::PageOrigin> ThreadedFetcher::LastPage() const {
  // A local file's result carries no status: it has neither origin nor headers.
  if (!last_ || last_->status <= 0) return std::nullopt;
  app::check::PageOrigin page;
  page.address = last_->final_url;
  page.fetched = true;
  page.headers = last_->headers;
  return page;
}

}  // namespace vx::window
