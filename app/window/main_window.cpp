#include "app/window/main_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/check/check.h"
#include "app/check/rule_packs.h"
#include "app/cli_input.h"
#include "app/rules.h"
#include "app/text_position.h"
#include "app/version.h"
#include "app/window/findings_accessible.h"
#include "button/qt/input.h"
#include "platform/files/file_writer.h"
#include "platform/gdi/image_io.h"
#include "platform/host/json_property_bag.h"

namespace vx::window {
namespace {

QString ToQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont MakeFont(const FontDef& def, const FontDef& form_font) {
  const FontDef& f = def.is_default ? form_font : def;
  QFont font(ToQ(f.name));
  // Points at the 96 dots per inch the twips of the layout assume.
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.size * 96.0 / 72.0))));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight, 1, 1000)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikethrough);
  return font;
}

QRect Pixels(const std::array<int, 4>& twips) {
  return {TwipsToPixels(twips[0]), TwipsToPixels(twips[1]), TwipsToPixels(twips[2]),
          TwipsToPixels(twips[3])};
}

QPixmap LoadPicture(const FormDefinition& form, const ControlDef& c, const std::string& name) {
  std::string path = name;
  if (!name.starts_with(":/") && !name.starts_with("/")) path = form.base_dir + name;
  // The size from the header first: a small file may declare a huge picture.
  QImageReader reader(ToQ(path));
  const QSize size = reader.size();
  if (size.isValid()) {
    if (auto problem = gdi::PictureSizeProblem(size.width(), size.height()); !problem.empty()) {
      throw FormError(c.name + ": '" + name + "': " + problem);
    }
  }
  QPixmap pixmap = QPixmap::fromImageReader(&reader);
  if (pixmap.isNull()) {
    throw FormError(c.name + ": cannot load the picture '" + name + "'");
  }
  return pixmap;
}

// An image list's icon for the findings rows: only image 1 is used, at the
// list's image size.
QIcon RowIcon(const FormDefinition& form, const ControlDef& c) {
  QIcon icon;
  for (const std::string& name : c.images) {
    QPixmap pixmap = LoadPicture(form, c, name);
    if (pixmap.width() != c.image_width || pixmap.height() != c.image_height) {
      pixmap = pixmap.scaled(c.image_width, c.image_height);
    }
    // A bitmap without transparency is drawn as an image list draws it: the
    // colour of its corner is the background, left out, so the icon does
    // not sit on a square of its own under a dark palette.
    QImage image = pixmap.toImage();
    if (!image.hasAlphaChannel() && !image.isNull()) {
      const QRgb background = image.pixel(0, 0);
      image = image.convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
          if ((row[x] & 0xFFFFFF) == (background & 0xFFFFFF)) row[x] = 0;
        }
      }
      pixmap = QPixmap::fromImage(image);
    }
    if (icon.isNull()) icon = QIcon(pixmap);
  }
  return icon;
}

bool TakesFocus(ControlType t) {
  return t == ControlType::TextBox || t == ControlType::ListView || t == ControlType::TorvelButton;
}

}  // namespace

FormDefinition BuiltInForm() {
  QFile file(QStringLiteral(":/vettrix/form1.json"));
  if (!file.open(QIODevice::ReadOnly)) throw FormError("the built-in form is missing");
  const QByteArray bytes = file.readAll();
  return ParseForm(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                   "built-in form", "");
}

void AddBundledFonts() {
  for (const char* file :
       {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
    if (QFile::exists(QString::fromLatin1(file))) {
      QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
  }
}

MainWindow::MainWindow(const FormDefinition& form, net::FetchOptions fetch_options)
    : qt::FormWidget(form.name), fetcher_(fetch_options) {
  // Before any control exists: assistive technology may ask for a control's
  // interface as soon as it is made.
  InstallFindingsAccessibility();
  RequireWindowControls(form, form.name);
  setWindowTitle(ToQ(form.caption));
  setAccessibleName(ToQ(form.caption));
  setAccessibleDescription(ToQ(app::VersionLine()));
  setFont(MakeFont(form.font, form.font));
  resize(TwipsToPixels(form.client_width), TwipsToPixels(form.client_height) + StatusLine::kHeight);

  Building building;
  for (const ControlDef& c : form.controls) {
    qt::ContainerWidget* container = this;
    if (!c.container.empty()) container = building.frames.at(c.container);
    if (QWidget* w = MakeControl(form, c, *container, building)) {
      SetUpControl(form, c, *w, *container, building);
    }
  }
  ChainTabOrder(building);
  // The address box has the focus when the window opens: what a user types
  // first is an address, and Enter there checks it.
  text1_->setFocus();
  LinkLabels(form);
  status_ = new StatusLine(this);
  // Over the form: in a window smaller than the form it covers what it cuts.
  status_->setAutoFillBackground(true);
  status_->raise();
  status_->setGeometry(0, height() - StatusLine::kHeight, width(), StatusLine::kHeight);
  connect(text2_, &SourceBox::caretMoved, status_, &StatusLine::ShowCaret);
  // The caret's place is told once, in the status line.
  text2_->setPositionShown(false);
  stored_size_ = size();
  FitMinimumToScreen();
  AnchorToEdges(form);
  if (list_->columnCount() > 0) {
    list_stored_width_ = list_->width();
    last_column_stored_width_ = list_->columnWidth(list_->columnCount() - 1);
  }
  BindCheckRun();
  AddWindowKeys();
  // A screen smaller than the form: the window opens as large as it can be.
  if (minimumSize() != stored_size_) resize(stored_size_.boundedTo(minimumSize()));
}

void MainWindow::FitMinimumToScreen() {
  QSize smallest = stored_size_;
  if (const QScreen* s = screen()) {
    // The window manager's frame: at least a title bar's worth, more once
    // the frame is known to be larger.
    QSize frame(8, 32);
    if (isVisible()) frame = frame.expandedTo(frameGeometry().size() - geometry().size());
    smallest = smallest.boundedTo(s->availableGeometry().size() - frame);
  }
  // Below the stored size controls are cut off, but what matters stays.
  smallest = smallest.expandedTo(QSize(200, 120));
  if (smallest != minimumSize()) setMinimumSize(smallest);
}

void MainWindow::showEvent(QShowEvent* event) {
  qt::FormWidget::showEvent(event);
  FitMinimumToScreen();
  if (windowHandle() != nullptr && !screen_watched_) {
    screen_watched_ = true;
    connect(windowHandle(), &QWindow::screenChanged, this, [this] { FitMinimumToScreen(); });
  }
}

QShortcut* MainWindow::Shortcut(const QKeySequence& keys) const {
  for (QShortcut* s : window_keys_) {
    if (s->key() == keys) return s;
  }
  return nullptr;
}

void MainWindow::AddWindowKeys() {
  auto add = [this](const QKeySequence& keys, auto action) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, action);
    window_keys_.push_back(s);
  };
  // The source box's own keys, from wherever the focus is.
  add(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { text2_->openFind(); });
  add(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { text2_->openGoToLine(); });
  // Back to the address, as in a browser.
  add(QKeySequence(Qt::CTRL | Qt::Key_L), [this] {
    text1_->setFocus(Qt::ShortcutFocusReason);
    text1_->selectAll();
  });
  add(QKeySequence(Qt::ALT | Qt::Key_D), [this] {
    text1_->setFocus(Qt::ShortcutFocusReason);
    text1_->selectAll();
  });
  add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
  add(QKeySequence(Qt::Key_F1), [this] { ShowHelp(); });
}

QString MainWindow::HelpText() {
  return tr("<p><b>%1</b></p>"
            "<p>Checks a web page's HTML source for risky markers: type an address (a web "
            "address, a <tt>file:</tt> URL or a path) into \u201cWeb Site:\u201d and press "
            "Enter.</p>"
            "<table>"
            "<tr><td>Ctrl+L</td><td>the address box</td></tr>"
            "<tr><td>Enter</td><td>check the address</td></tr>"
            "<tr><td>Esc</td><td>give up a fetch under way</td></tr>"
            "<tr><td>Ctrl+F, F3</td><td>find in the source</td></tr>"
            "<tr><td>Ctrl+G</td><td>go to a line of the source</td></tr>"
            "<tr><td>Ctrl+C</td><td>copy the selected finding</td></tr>"
            "<tr><td>Menu, right-click</td><td>in the list: copy, save the findings, choose the "
            "rules (classic, modern, all, a rule file)</td></tr>"
            "<tr><td>Ctrl+Q</td><td>quit</td></tr>"
            "</table>"
            "<p>The same check on the command line: <tt>vettrix check ADDRESS</tt>; "
            "<tt>man vettrix</tt> tells more.</p>")
      .arg(ToQ(app::VersionLine()).toHtmlEscaped());
}

void MainWindow::ShowHelp() {
  QMessageBox::about(this, tr("About Vettrix"), HelpText());
}

QWidget* MainWindow::MakeControl(const FormDefinition& form, const ControlDef& c,
                                 qt::ContainerWidget& container, Building& building) {
  switch (c.type) {
    case ControlType::TextBox:
      return MakeTextBox(c, container);
    case ControlType::Label:
      return MakeLabel(c, container);
    case ControlType::Frame: {
      auto* frame =
          new qt::ContainerWidget(*this, c.name, &container == this ? nullptr : &container);
      frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
      building.frames[c.name] = frame;
      return frame;
    }
    case ControlType::Image: {
      auto* image = new QLabel(&container);
      image->setPixmap(LoadPicture(form, c, c.picture));
      image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return image;
    }
    case ControlType::ImageList:
      building.image_lists[c.name] = RowIcon(form, c);
      RegisterControl(c.name, std::nullopt, container);
      return nullptr;
    case ControlType::Inet:
      RegisterControl(c.name, std::nullopt, container);
      return nullptr;
    case ControlType::ListView:
      return MakeListView(c, container, building);
    case ControlType::TorvelButton:
      return MakeButton(c, container);
  }
  return nullptr;
}

QWidget* MainWindow::MakeTextBox(const ControlDef& c, qt::ContainerWidget& container) {
  if (c.multi_line) {
    auto* box = new SourceBox(&container);
    if (!c.vertical_scroll) box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    box->SetText(c.text);
    if (c.name == "Text2") text2_ = box;
    return box;
  }
  auto* box = new LineBox(&container);
  box->SetText(c.text);
  box->setCursorPosition(0);
  if (c.name == "Text1") text1_ = box;
  if (c.name == "Text3") text3_ = box;
  if (c.name == "Text4") text4_ = box;
  return box;
}

QWidget* MainWindow::MakeLabel(const ControlDef& c, qt::ContainerWidget& container) {
  auto* label = new QLabel(&container);
  // Captions and server names are shown as they are, never as markup.
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setText(ToQ(c.text));
  if (c.name == "Label4") label4_ = label;
  return label;
}

QWidget* MainWindow::MakeListView(const ControlDef& c, qt::ContainerWidget& container,
                                  const Building& building) {
  auto* list = new FindingsView(&container);
  QStringList headers;
  for (const ColumnDef& col : c.columns) headers << ToQ(col.text);
  list->setHeaderLabels(headers);
  // Columns keep their stored widths; the last does not fill the rest.
  list->header()->setStretchLastSection(false);
  for (int i = 0; i < static_cast<int>(c.columns.size()); ++i) {
    list->setColumnWidth(i, TwipsToPixels(c.columns[static_cast<std::size_t>(i)].width));
  }
  if (!c.small_icons.empty()) list->SetRowIcon(building.image_lists.at(c.small_icons));
  if (c.name == "ListView1") list_ = list;
  return list;
}

QWidget* MainWindow::MakeButton(const ControlDef& c, qt::ContainerWidget& container) {
  auto* button = new qt::ButtonWidget(container, c.name);
  host::JsonPropertyBag bag(c.properties);
  try {
    button->ReadProperties(bag);
  } catch (const std::exception& e) {
    throw FormError(c.name + ": its stored properties cannot be read: " + e.what());
  }
  if (c.name == "CmdCheck") cmd_check_ = button;
  return button;
}

void MainWindow::SetUpControl(const FormDefinition& form, const ControlDef& c, QWidget& w,
                              qt::ContainerWidget& container, Building& building) {
  w.setObjectName(ToQ(c.name));
  if (c.geometry) w.setGeometry(Pixels(*c.geometry));
  if (c.type != ControlType::Image && c.type != ControlType::TorvelButton) {
    w.setFont(MakeFont(c.font, form.font));
  }
  // Frames and other controls that are their own kind register themselves.
  if (c.type != ControlType::Frame && c.type != ControlType::TorvelButton) {
    RegisterControl(c.name, std::nullopt, container);
  }
  // The button's host names it by its caption, and a label is named by its
  // text as it changes (the server line after a run).
  std::string accessible = c.accessible_name;
  if (accessible.empty() && c.type != ControlType::TorvelButton && c.type != ControlType::Label) {
    accessible = c.name;
  }
  if (!accessible.empty()) w.setAccessibleName(ToQ(accessible));
  if (&w == text3_ || &w == text4_) {
    // Working boxes the list covers: the run and the double-click write
    // them, but nobody can see them, so neither Tab nor a screen reader
    // stops there.
    w.setFocusPolicy(Qt::NoFocus);
    w.hide();
  } else if (TakesFocus(c.type)) {
    if (c.tab_index) {
      building.tab_stops.emplace_back(*c.tab_index, &w);
    } else {
      building.untabbed.push_back(&w);
    }
  } else {
    w.setFocusPolicy(Qt::NoFocus);
  }
  // Later controls are drawn over earlier ones.
  w.raise();
  controls_[c.name] = &w;
}

void MainWindow::ChainTabOrder(Building& building) {
  std::stable_sort(building.tab_stops.begin(), building.tab_stops.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<QWidget*> chain;
  for (const auto& [index, w] : building.tab_stops) chain.push_back(w);
  chain.insert(chain.end(), building.untabbed.begin(), building.untabbed.end());
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void MainWindow::LinkLabels(const FormDefinition& form) {
  // A label whose caption is a control's name labels that control, for
  // assistive technology (labelled-by and label-for).
  for (const ControlDef& c : form.controls) {
    auto* label = qobject_cast<QLabel*>(Control(c.name));
    if (c.type != ControlType::Label || label == nullptr || c.text.empty()) continue;
    for (const auto& [name, w] : controls_) {
      if (w != label && w->parentWidget() == label->parentWidget() &&
          w->accessibleName() == ToQ(c.text)) {
        label->setBuddy(w);
      }
    }
  }
}

void MainWindow::AnchorToEdges(const FormDefinition& form) {
  constexpr int kEdge = 16;  // pixels from the container's edge that count as reaching it
  for (const ControlDef& c : form.controls) {
    QWidget* w = Control(c.name);
    if (w == nullptr || c.type == ControlType::TorvelButton) continue;
    QWidget* container = w->parentWidget();
    const QRect g = w->geometry();
    const QSize box = container == this ? ClientSize() : container->size();
    Anchor a{w, container, g, box};
    const bool right = box.width() - (g.x() + g.width()) < kEdge;
    a.move_x = right && c.type == ControlType::Image;
    a.grow_width = right && !a.move_x;
    a.grow_height = box.height() - (g.y() + g.height()) < kEdge && c.type != ControlType::Image;
    if (a.grow_width || a.grow_height || a.move_x) anchors_.push_back(a);
  }
}

void MainWindow::BindCheckRun() {
  label4_caption_ = std::make_unique<LabelCaption>(*label4_);
  app::CheckControls controls{*text1_, fetcher_, *text2_, *list_, *label4_caption_, *text3_, [] {
                                QCoreApplication::processEvents();
                              }};
  // Another page's findings must never stand under the address typed.
  controls.on_failed_fetch = app::CheckControls::FailedFetch::ClearAndStop;
  checker_ = std::make_unique<app::Checker>(std::move(controls));
  progress_timer_.setInterval(100);
  connect(&progress_timer_, &QTimer::timeout, this, [this] { ShowProgress(); });

  cmd_check_->SetEventHandler("Click", [this](host::EventArgs&) { CmdCheck_Click(); });
  text1_->installEventFilter(this);
  connect(list_, &FindingsView::listDoubleClicked, this, [this] { ListView1_DblClick(); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { HighlightSelectedFinding(); });
  connect(list_, &FindingsView::saveRequested, this, [this] { SaveFindingsAs(); });
  connect(list_, &FindingsView::ruleSetChosen, this, [this](const QString& name) {
    if (name == QLatin1String("file")) {
      ChooseRuleFileFromDialog();
    } else {
      ChooseRuleSet(name);
    }
  });
  // The set chosen last time; one that can no longer be had (a rule file
  // gone or broken since) leaves the twenty, and the status line says why.
  const auto settings = AppSettings();
  const QString kept = settings->value(QString::fromLatin1(kRuleSetKey)).toString();
  if (!kept.isEmpty() && kept != QLatin1String("classic")) {
    ChooseRuleSet(kept, settings->value(QString::fromLatin1(kRuleFileKey)).toString());
  }
  // Only while a check runs: at other times Esc stays with the control that
  // has the focus (the source box's find bar closes with it).
  cancel_key_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  cancel_key_->setContext(Qt::WindowShortcut);
  cancel_key_->setEnabled(false);
  connect(cancel_key_, &QShortcut::activated, this, [this] { CancelFetch(); });
}

MainWindow::~MainWindow() = default;

QSize MainWindow::ClientSize() const {
  return size() - QSize(0, StatusLine::kHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  qt::FormWidget::resizeEvent(event);
  if (status_ != nullptr) {
    status_->setGeometry(0, height() - StatusLine::kHeight, width(), StatusLine::kHeight);
  }
  // Containers come before what they hold, so each sees its container's new
  // size.
  for (const Anchor& a : anchors_) {
    const QSize box = a.container == this ? ClientSize() : a.container->size();
    const int dx = box.width() - a.container_stored.width();
    const int dy = box.height() - a.container_stored.height();
    QRect g = a.stored;
    // Smaller than the form (a small screen), a picture stays where the form
    // puts it rather than sliding over the controls beside it.
    if (a.move_x) g.translate(std::max(0, dx), 0);
    if (a.grow_width) g.setWidth(std::max(0, g.width() + dx));
    if (a.grow_height) g.setHeight(std::max(0, g.height() + dy));
    if (g != a.widget->geometry()) a.widget->setGeometry(g);
  }
  // The header reaches across the list however wide it grows; at the stored
  // size the columns keep their stored widths.
  if (list_ != nullptr && list_stored_width_ > 0) {
    const int last = list_->columnCount() - 1;
    int width = last_column_stored_width_;
    if (list_->width() > list_stored_width_) {
      int others = 0;
      for (int i = 0; i < last; ++i) others += list_->columnWidth(i);
      width = std::max(width, list_->viewport()->width() - others);
    }
    if (list_->columnWidth(last) != width) list_->setColumnWidth(last, width);
  }
}

QWidget* MainWindow::Control(std::string_view name) const {
  const auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::CmdCheck_Click() {
  ++runs_;
  const std::string address = text1_->Text();
  fetching_ = address;
  QElapsedTimer clock;
  clock.start();
  status_->ShowMessage(FetchingText(address, 0), true);
  // The previous page's server is not this one's.
  label4_->setText(QStringLiteral("Web Server: (fetching\u2026)"));
  progress_timer_.start();
  cancel_key_->setEnabled(true);
  const app::RunOutcome outcome = checker_->Run();
  --runs_;
  if (runs_ == 0) cancel_key_->setEnabled(false);
  // A run replaced by a newer one leaves the line to that one.
  if (!outcome.superseded) {
    progress_timer_.stop();
    ShowOutcome(address, outcome, clock.elapsed());
    KeepReport(address, outcome);
  }
  emit runFinished();
}

void MainWindow::CancelFetch() {
  fetcher_.CancelAll();
}

void MainWindow::KeepReport(const std::string& address, const app::RunOutcome& outcome) {
  report_address_ = address;
  app::cli::PageFacts facts;
  try {
    facts.web = app::cli::Classify(address).kind == app::cli::Source::Kind::Web;
  } catch (const std::exception&) {
    facts.web = false;
  }
  const net::FetchResult* r = outcome.fetched ? fetcher_.LastResponse() : fetcher_.LastFailure();
  if (r != nullptr && facts.web) {
    facts.status = r->status;
    facts.final_address = r->final_url;
    facts.server = r->header("server");
  }
  if (!outcome.fetched) {
    report_ = app::cli::MakeFailure(facts, outcome.fetch_error);
    return;
  }
  // What the source box holds is what was checked, as on the command line,
  // with the rules the list shows.
  const std::string& text = text2_->Text();
  app::check::CheckOptions options;
  options.rules = checker_->listed_rules();
  const std::optional<app::check::PageOrigin> page = fetcher_.LastPage();
  if (page) options.page = &*page;
  report_rules_ = options.rules;
  report_ = app::cli::MakeOutcome(facts, text, app::check::Check(text, options));
}

bool MainWindow::SaveFindings(const QString& path, app::cli::Format format,
                              std::string& error) const {
  app::cli::ReportStyle style;
  style.rules = report_rules_;
  const std::unique_ptr<app::cli::ReportWriter> writer = app::cli::MakeReportWriter(format, style);
  std::string out;
  writer->Begin(out);
  writer->Item(out, report_address_, report_);
  app::cli::RunSummary summary;
  summary.exit_status = report_.ok ? 0 : 1;
  writer->End(out, summary);
  // The project's writer: a saved report appears whole, keeping the old
  // file's permissions, and a device or a link stays what it is.
  std::string why;
  if (!files::WriteWholeFile(path.toStdString(), out, &why)) {
    error = "cannot write " + path.toStdString() + ": " + why;
    return false;
  }
  return true;
}

QFileDialog* MainWindow::MakeSaveFindingsDialog() {
  const QString json = tr("JSON lines (*.jsonl *.json)"), csv = tr("CSV (*.csv)");
  auto* dialog = new QFileDialog(this, tr("Save findings"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters({json, csv});
  dialog->setDefaultSuffix(QStringLiteral("jsonl"));
  connect(dialog, &QFileDialog::filterSelected, dialog, [dialog, csv](const QString& filter) {
    dialog->setDefaultSuffix(filter == csv ? QStringLiteral("csv") : QStringLiteral("jsonl"));
  });
  // "example.com-findings.jsonl", "sample-findings.jsonl": the page's name.
  std::string base = report_address_;
  if (const auto scheme = base.find("://"); scheme != std::string::npos) base.erase(0, scheme + 3);
  while (!base.empty() && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  if (report_.web) {
    base = base.substr(0, base.find_first_of("/?#"));
  } else if (const auto slash = base.find_last_of('/'); slash != std::string::npos) {
    base.erase(0, slash + 1);
  }
  if (const auto dot = base.rfind('.'); !report_.web && dot != std::string::npos && dot > 0) {
    base.erase(dot);
  }
  for (char& c : base) {
    if (c == ':' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (base.empty()) base = "vettrix";
  dialog->selectFile(ToQ(base + "-findings.jsonl"));
  return dialog;
}

void MainWindow::SaveFindingsAs() {
  QFileDialog* dialog = MakeSaveFindingsDialog();
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
  const QString path = dialog->selectedFiles().front();
  const bool as_csv = dialog->selectedNameFilter().contains(QStringLiteral("*.csv")) ||
                      path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
  std::string error;
  if (!SaveFindings(path, as_csv ? app::cli::Format::Csv : app::cli::Format::Json, error)) {
    QMessageBox::warning(this, tr("Save findings"), QString::fromStdString(error));
  }
}

bool MainWindow::ChooseRuleSet(const QString& name, const QString& file) {
  app::check::RuleChoice choice;
  std::shared_ptr<const app::check::RuleSet> rules;
  try {
    if (name == QLatin1String("file")) {
      if (file.isEmpty()) throw app::check::RuleChoiceError("no rule file was given");
      choice.files.push_back(file.toStdString());
    } else if (name == QLatin1String("classic") || name == QLatin1String("modern") ||
               name == QLatin1String("all")) {
      choice.sets.push_back(name.toStdString());
    } else {
      throw app::check::RuleChoiceError("\"" + name.toStdString() +
                                        "\" is no rule set: choose classic, modern or all");
    }
    rules = app::check::BuildRuleSet(choice);
  } catch (const std::exception& e) {
    // The old choice stays, in force and in the settings.
    std::string why = e.what();
    // BuildRuleSet speaks of the command line's options; here a file was chosen.
    for (const char* option : {"--rules: ", "--rule-set: "}) {
      if (why.starts_with(option)) why.erase(0, std::string_view(option).size());
    }
    rule_set_error_ = tr("The rules were not changed: %1").arg(ToQ(why));
    status_->ShowMessage(rule_set_error_.toStdString(), false);
    return false;
  }
  checker_->SetRules(std::move(rules));
  rule_set_name_ = name;
  rule_file_ = name == QLatin1String("file") ? file : QString();
  rule_set_error_.clear();
  list_->SetChosenRuleSet(name);
  const auto settings = AppSettings();
  settings->setValue(QString::fromLatin1(kRuleSetKey), rule_set_name_);
  settings->setValue(QString::fromLatin1(kRuleFileKey), rule_file_);
  return true;
}

QFileDialog* MainWindow::MakeRuleFileDialog() {
  auto* dialog = new QFileDialog(this, tr("Rule file"));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilters({tr("Rule files (*.yaml *.yml)"), tr("All files (*)")});
  if (!rule_file_.isEmpty()) dialog->selectFile(rule_file_);
  return dialog;
}

void MainWindow::ChooseRuleFileFromDialog() {
  QFileDialog* dialog = MakeRuleFileDialog();
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
  ChooseRuleSet(QStringLiteral("file"), dialog->selectedFiles().front());
}

void MainWindow::ShowProgress() {
  if (fetcher_.pending() == 0) return;
  status_->ShowMessage(FetchingText(fetching_, fetcher_.BytesReceived()), true);
}

void MainWindow::ShowOutcome(const std::string& address, const app::RunOutcome& outcome,
                             qint64 ms) {
  if (!outcome.fetched) {
    status_->ShowMessage(FailedText(address, outcome.fetch_error, source_address_,
                                    outcome.fetch_error == "cancelled"),
                         false);
    return;
  }
  source_address_ = address;
  CheckSummary s;
  if (const net::FetchResult* r = fetcher_.LastResponse()) {
    s.http_status = r->status;
    // Only a redirect makes the final address worth telling.
    if (r->final_url != address && r->final_url != "http://" + address &&
        r->final_url != address + "/" && r->final_url != "http://" + address + "/") {
      s.final_address = r->final_url;
    }
  }
  s.bytes = text2_->Text().size();
  s.milliseconds = ms;
  s.findings = list_->topLevelItemCount();
  for (int i = 0; i < list_->topLevelItemCount() && checker_->classic(); ++i) {
    // The last rule's check leaves its marker selected in the source box.
    if (FindingsView::RuleOf(list_->topLevelItem(i)) == app::kRuleCount - 1) {
      s.selected_marker = app::kRuleTable[app::kRuleCount - 1].marker;
    }
  }
  status_->ShowMessage(CheckedText(s), false);
}

void MainWindow::Text1_KeyDown(int key_code, int /*shift*/) {
  if (key_code == 13) CmdCheck_Click();
}

void MainWindow::ListView1_DblClick() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  // No selected finding, nothing to copy.
  if (selected.isEmpty()) return;
  text4_->SetText(selected.front()->text(0).toStdString());
}

void MainWindow::find(app::SourceView& source, const std::string& findtext,
                      app::SourceView& display, const std::string& lil_desc,
                      const std::string& description) {
  checker_->Find(source, findtext, display, lil_desc, description);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == text1_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    Text1_KeyDown(qt::VirtualKeyCode(key->key(), key->modifiers()),
                  qt::ShiftState(key->modifiers()));
  }
  return qt::FormWidget::eventFilter(watched, event);
}

void MainWindow::HighlightSelectedFinding() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  const auto rule = selected.isEmpty() ? std::nullopt : FindingsView::RuleOf(selected.front());
  const auto in_set =
      selected.isEmpty() ? std::nullopt : FindingsView::SetIndexOf(selected.front());
  const auto& rules = checker_->listed_rules();
  if (!rule && !(in_set && rules && *in_set < rules->size())) {
    text2_->ClearHighlight();
    return;
  }
  std::vector<app::check::Occurrence> found;
  if (rule) {
    found = app::check::RuleOccurrences(text2_->Text(), *rule);
  } else {
    // A rule of the chosen set: its own occurrences, as the check finds them.
    app::check::CheckOptions options;
    options.rules = rules;
    options.only_rule = *in_set;
    options.want_occurrences = true;
    options.max_occurrences = 100000;
    const std::optional<app::check::PageOrigin> page = fetcher_.LastPage();
    if (page) options.page = &*page;
    const app::check::CheckResult result = app::check::Check(text2_->Text(), options);
    for (const app::check::RuleMatch& m : result.matches) {
      if (m.rule == *in_set) found = m.occurrences;
    }
  }
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const app::check::Occurrence& o : found) ranges.emplace_back(o.offset, o.length);
  text2_->Highlight(ranges);
  // How many, and where in the markup: the row's tooltip and its cells'
  // description.
  const QString where =
      QString::fromStdString(app::check::DescribeCounts(app::check::CountContexts(found)));
  list_->SetSummary(selected.front(), where);
}

}  // namespace vx::window
