#include "app/window/controls.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QMouseEvent>
#include <limits>
#include <stdexcept>

#include "app/cli_input.h"
#include "app/rules.h"

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
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  header()->setSectionsMovable(false);
}

void FindingsView::Clear() {
  clear();
}

void FindingsView::AddRow(const std::string& label, const std::string& description) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, ToQ(label));
  item->setIcon(0, icon_);
  item->setText(1, ToQ(description));
  const std::size_t rule = app::RuleIndexOf(label, description);
  if (rule < app::kRuleCount) item->setData(0, kRuleRole, static_cast<qulonglong>(rule));
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

void LabelCaption::SetCaption(const std::string& caption) {
  label_.setText(ToQ(caption));
}

struct ThreadedFetcher::Request {
  // Written by the worker before `done` is set; read on the window's thread
  // after it is.
  net::FetchResult result;
  std::atomic<bool> done{false};
  // The waiting loop; touched on the window's thread only.
  QEventLoop* loop = nullptr;
};

ThreadedFetcher::ThreadedFetcher(net::FetchOptions options) : options_(std::move(options)) {
  options_.cancel = cancel_;
}

ThreadedFetcher::~ThreadedFetcher() {
  // A window closing during a fetch must not wait for a slow server.
  cancel_->store(true);
  for (std::thread& t : workers_) t.join();
}

std::string ThreadedFetcher::OpenURL(const std::string& address) {
  // Until this request succeeds there is no response to read headers from.
  last_.reset();
  const app::cli::Source source = app::cli::Classify(address);
  if (source.kind == app::cli::Source::Kind::File) {
    std::string text = app::cli::ReadFileText(source.path, options_.max_bytes);
    last_ = net::FetchResult{};
    last_->ok = true;
    return text;
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
  QCoreApplication* app = QCoreApplication::instance();
  // The application outlives this object, which joins its workers first.
  workers_.emplace_back([request, address, options = options_, app] {
    request->result = net::fetch(address, options);
    request->done.store(true);
    if (app != nullptr) {
      QMetaObject::invokeMethod(
          app,
          [request] {
            if (request->loop != nullptr) request->loop->quit();
          },
          Qt::QueuedConnection);
    }
  });
  requests_.push_back(request);

  ++pending_;
  QEventLoop loop;
  request->loop = &loop;
  // The loop ends when the request does, or when the application quits
  // (which ends every loop); then the request is given up.
  if (!request->done.load()) loop.exec();
  request->loop = nullptr;
  --pending_;
  // A run nested in this wait may have set a response meanwhile; this
  // request is the last to return, so its outcome is what counts.
  last_.reset();
  if (!request->done.load()) throw std::runtime_error("the request was abandoned");
  if (!request->result.ok) throw std::runtime_error(request->result.error);
  // The page moves on to the source box: neither the request nor the
  // response kept for its headers holds a second copy of it.
  last_ = std::move(request->result);
  return std::move(last_->text);
}

std::string ThreadedFetcher::GetHeader(const std::string& name) {
  if (!last_) throw std::runtime_error("no response to read a header from");
  return last_->header(name);
}

}  // namespace vx::window
