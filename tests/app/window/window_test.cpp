// The main window as a user meets it: built from the bundled form on the
// offscreen platform, checking pages served by a loopback HTTP server.

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/check/check.h"
#include "app/rules.h"
#include "app/window/main_window.h"
#include "app/window/source_bars.h"
#include "platform/fetch/fetch.h"
#include "tests/app/window/window_app.h"
#include "tests/support/python_server.h"
#include "tests/support/run.h"
#include "tests/support/sanitizers.h"
#include "tests/support/untimed.h"

namespace vx::window {
namespace {

using namespace std::chrono_literals;

// Pages: /a has scripting, a form, onmousedown and cdromCollection; /b only
// an applet; /slow answers /a's page after 600 ms, from another server name.
const std::string kPageA =
    "<html><head><script>var x;</script></head>\n<body onmousedown=\"f()\">\n"
    "<form action=\"/go\"></form>\n<SCRIPT>cdromCollection</SCRIPT>\n</body></html>\n";
const std::string kPageB = "<html><applet code=\"x\"></applet></html>";
const std::string kPageSlow = "<html><embed src=\"x\"><object></object></html>";
// A scripted page with an in-browser miner: the classic rules see the script,
// the modern pack the miner (high).
const std::string kPageMiner =
    "<html><head><script src=\"/lib.js\"></script>\n"
    "<script>var m = new CoinHive.Anonymous('site-key'); m.start();</script>\n"
    "</head><body><p>Welcome</p></body></html>\n";

class Server {
 public:
  Server() {
    server_.Get("/a", [](const httplib::Request&, httplib::Response& r) {
      r.set_header("Server", "Alpha/1.0");
      r.set_content(kPageA, "text/html");
    });
    server_.Get("/b", [](const httplib::Request&, httplib::Response& r) {
      r.set_header("Server", "Beta/2.0");
      r.set_content(kPageB, "text/html");
    });
    server_.Get("/miner", [](const httplib::Request&, httplib::Response& r) {
      r.set_header("Server", "Gamma/1.0");
      // A careful server's headers: only the page's own content is found.
      r.set_header("Content-Security-Policy", "default-src 'self'");
      r.set_header("X-Content-Type-Options", "nosniff");
      r.set_header("Referrer-Policy", "no-referrer");
      r.set_header("X-Frame-Options", "DENY");
      r.set_content(kPageMiner, "text/html");
    });
    server_.Get("/plain", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<p>nothing risky</p>", "text/html");
    });
    server_.Get("/missing", [](const httplib::Request&, httplib::Response& r) {
      r.status = 404;
      r.set_content("<html><script>lost()</script></html>", "text/html");
    });
    server_.Get("/moved",
                [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/b"); });
    // 3000 bytes at once, then nothing for a while, then the rest. (Of a
    // type the server does not compress: that would hold the first part back.)
    server_.Get("/drip", [](const httplib::Request&, httplib::Response& r) {
      r.set_chunked_content_provider("application/octet-stream",
                                     [](std::size_t offset, httplib::DataSink& sink) {
                                       if (offset == 0) {
                                         const std::string part(3000, 'x');
                                         sink.write(part.data(), part.size());
                                         return true;
                                       }
                                       std::this_thread::sleep_for(700ms);
                                       sink.write("<applet></applet>", 17);
                                       sink.done();
                                       return true;
                                     });
    });
    server_.Get("/slow", [](const httplib::Request&, httplib::Response& r) {
      std::this_thread::sleep_for(600ms);
      r.set_header("Server", "Slow/3.0");
      r.set_content(kPageSlow, "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    const auto give_up = std::chrono::steady_clock::now() + 5s;
    while (!server_.is_running()) {
      if (std::chrono::steady_clock::now() > give_up) throw std::runtime_error("server not up");
      std::this_thread::sleep_for(1ms);
    }
  }
  ~Server() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// What `vettrix check ARGS` writes to its standard output.
std::string CommandLine(const std::string& args) {
  const std::string cmd = std::string(VETTRIX_BIN_DIR) + "/vettrix check " + args + " 2>/dev/null";
  return vx::support::RunCommand(cmd).out;
}

// A loopback port that was bound a moment ago and is closed now: nothing
// listens there.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    throw std::runtime_error("cannot bind a loopback port");
  }
  ::close(fd);
  return ntohs(a.sin_port);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::App();
    net::FetchOptions options;
    options.timeout = 10s;
    window_ = std::make_unique<MainWindow>(BuiltInForm(), options);
    window_->show();
    QApplication::processEvents();
  }
  void TearDown() override { window_.reset(); }

  MainWindow& w() { return *window_; }

  std::vector<std::string> Labels() {
    std::vector<std::string> out;
    for (int i = 0; i < w().ListView1().topLevelItemCount(); ++i) {
      out.push_back(w().ListView1().topLevelItem(i)->text(0).toStdString());
    }
    return out;
  }
  // The labels the rules give a page, in table order.
  static std::vector<std::string> LabelsFor(const std::string& page) {
    std::vector<std::string> out;
    for (const auto& rule : app::kRuleTable) {
      std::string upper(rule.marker), lower(rule.marker);
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const bool hit =
          rule.test == app::RuleTest::Scan
              ? page.find(upper) != std::string::npos || page.find(lower) != std::string::npos
              : page.find(rule.marker) != std::string::npos;
      if (hit) out.emplace_back(rule.label);
    }
    return out;
  }
  void Check(const std::string& address) {
    w().Text1().SetText(address);
    w().CmdCheck().Press();
  }
  void DoubleClickRow(int row) {
    QTreeWidget& list = w().ListView1();
    const QRect r = list.visualItemRect(list.topLevelItem(row));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, r.center());
  }

  Server server_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowTest, ControlsStandWhereTheFormPutsThem) {
  EXPECT_EQ(w().windowTitle(), QStringLiteral("Vettrix"));
  // The form's client area is what it always was; the status line sits under
  // it, as wide as the window.
  EXPECT_EQ(w().size(), QSize(598, 510 + StatusLine::kHeight));
  EXPECT_EQ(w().Status().geometry(), QRect(0, 510, 598, StatusLine::kHeight));
  const std::map<std::string, QRect> expected{
      {"Text4", {16, 320, 137, 19}},   {"Text3", {440, 312, 145, 19}},
      {"Frame1", {8, 0, 585, 97}},     {"Text1", {8, 32, 289, 19}},
      {"CmdCheck", {312, 32, 89, 19}}, {"Image1", {528, 16, 48, 48}},
      {"Label4", {8, 56, 569, 33}},    {"Label2", {8, 16, 161, 17}},
      {"Text2", {8, 368, 585, 137}},   {"ListView1", {8, 120, 585, 225}},
      {"Label3", {8, 352, 161, 17}},   {"Label1", {8, 104, 161, 17}},
  };
  for (const auto& [name, rect] : expected) {
    QWidget* c = w().Control(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->geometry(), rect) << name;
  }
  EXPECT_EQ(w().Control("Text1")->parentWidget(), w().Control("Frame1"));
  EXPECT_EQ(w().Control("ImageList1"), nullptr) << "no window";

  // Texts and captions.
  EXPECT_EQ(w().Text4().Text(), "Text4");
  EXPECT_EQ(w().Text3().Text(), "Text3");
  EXPECT_EQ(w().Text1().Text(), "");
  EXPECT_EQ(w().Text2().Text(), "");
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Not Checked."));
  EXPECT_EQ(static_cast<QLabel*>(w().Control("Label2"))->text(), QStringLiteral("Web Site:"));
  EXPECT_EQ(static_cast<QLabel*>(w().Control("Label3"))->text(),
            QStringLiteral("Web Site Source Code:"));
  EXPECT_EQ(static_cast<QLabel*>(w().Control("Label1"))->text(),
            QStringLiteral("Web Site Description:"));

  // Fonts: Tahoma 8.25 pt (11 pixels), bold on the three captions.
  for (const char* name : {"Text1", "Text2", "ListView1", "Label4"}) {
    const QFont f = w().Control(name)->font();
    EXPECT_EQ(f.family(), QStringLiteral("Tahoma")) << name;
    EXPECT_EQ(f.pixelSize(), 11) << name;
    EXPECT_EQ(f.weight(), QFont::Normal) << name;
  }
  for (const char* name : {"Label1", "Label2", "Label3"}) {
    EXPECT_EQ(w().Control(name)->font().weight(), QFont::Bold) << name;
  }
  EXPECT_EQ(w().Text4().font().family(), w().font().family()) << "the form's font";
  EXPECT_TRUE(QFontInfo(w().Text1().font()).family().contains("Tahoma"))
      << "Tahoma is installed (fonts-wine) and used";

  // The list: report view, two columns, rows with the 16x16 icon.
  QTreeWidget& list = w().ListView1();
  ASSERT_EQ(list.columnCount(), 2);
  EXPECT_EQ(list.headerItem()->text(0), QStringLiteral("Detected"));
  EXPECT_EQ(list.headerItem()->text(1), QStringLiteral("Description"));
  EXPECT_EQ(list.columnWidth(0), 107);
  EXPECT_EQ(list.columnWidth(1), 469);
  const QPixmap picture = static_cast<QLabel*>(w().Control("Image1"))->pixmap();
  EXPECT_EQ(picture.size(), QSize(48, 48));

  // The button, restored from its stored set.
  const auto& button = w().CmdCheck().button();
  EXPECT_EQ(button.Caption(), "Check Source");
  EXPECT_EQ(button.ButtonType(), 4);

  // Drawing order: the list lies over Text3 and Text4.
  for (QWidget* hidden : {w().Control("Text3"), w().Control("Text4")}) {
    const QPoint centre = hidden->geometry().center();
    QWidget* top = w().childAt(centre);
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top == &list || list.isAncestorOf(top)) << hidden->objectName().toStdString();
  }
}

TEST_F(WindowTest, LargerWindowGivesTheListAndTheSourceTheRoom) {
  const QSize stored = w().size();
  EXPECT_EQ(w().minimumSize(), stored) << "smaller would cut controls off";
  const QRect text2 = w().Text2().geometry(), list = w().ListView1().geometry(),
              button = w().CmdCheck().geometry(), image = w().Control("Image1")->geometry(),
              label1 = w().Control("Label1")->geometry();
  w().resize(stored + QSize(200, 100));
  QApplication::processEvents();
  EXPECT_EQ(w().Text2().geometry(), text2.adjusted(0, 0, 200, 100));
  EXPECT_EQ(w().ListView1().geometry(), list.adjusted(0, 0, 200, 0));
  EXPECT_EQ(w().Control("Frame1")->width(), 585 + 200);
  EXPECT_EQ(w().Control("Image1")->geometry(), image.translated(200, 0));
  EXPECT_EQ(w().CmdCheck().geometry(), button);
  EXPECT_EQ(w().Control("Label1")->geometry(), label1);
  EXPECT_EQ(w().Status().geometry(), QRect(0, stored.height() + 100 - StatusLine::kHeight,
                                           stored.width() + 200, StatusLine::kHeight));
  w().resize(stored);
  QApplication::processEvents();
  EXPECT_EQ(w().Text2().geometry(), text2);
  EXPECT_EQ(w().Control("Image1")->geometry(), image);
}

// Wider than the form, the last column takes the room, so the header reaches
// the list's right edge; at the form's size the stored widths stand.
TEST_F(WindowTest, TheListHeaderStretchesWithTheWindow) {
  QTreeWidget& list = w().ListView1();
  const int viewport = list.viewport()->width();
  w().resize(w().size() + QSize(400, 0));
  QApplication::processEvents();
  EXPECT_EQ(list.columnWidth(0), 107);
  EXPECT_GE(list.columnWidth(1), 469 + 400);
  EXPECT_EQ(list.header()->length(), list.viewport()->width());
  EXPECT_EQ(list.viewport()->width(), viewport + 400);
  w().resize(w().minimumSize().expandedTo(QSize(598, 532)));
  QApplication::processEvents();
  EXPECT_EQ(list.columnWidth(1), 469);
}

// The caret's line and column are told once, in the status line, clear of
// the window's edge.
TEST_F(WindowTest, LineAndColumnAreShownOnce) {
  int shown = 0;
  for (const QLabel* label : w().findChildren<QLabel*>()) {
    if (label->isVisible() && label->text().startsWith(QStringLiteral("Ln "))) ++shown;
  }
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(w().Text2().positionShown());
  const auto* caret = w().Status().findChild<QLabel*>("CaretPosition");
  ASSERT_NE(caret, nullptr);
  const QPoint right = caret->mapTo(&w(), caret->contentsRect().topRight());
  EXPECT_LE(right.x(), w().width() - 6);
}

// Find, go to line, the address box and quit answer wherever the focus is.
TEST_F(WindowTest, WindowKeysWorkFromEveryControl) {
  Check(server_.Url("/a"));
  QApplication::setActiveWindow(&w());
  std::vector<QWidget*> places = {&w().Text1(), &w().CmdCheck(), &w().ListView1(), &w().Text2()};
  for (QWidget* place : places) {
    SCOPED_TRACE(place->objectName().toStdString());
    place->setFocus();
    QApplication::processEvents();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(w().Text2().findBar().isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(w().Text2().findBar().isVisible());
    place->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(w().Text2().goToLineBar().isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    place->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &w().Text1());
    EXPECT_EQ(w().Text1().selectedText(), QString::fromStdString(server_.Url("/a")));
  }
  ASSERT_NE(w().Shortcut(QKeySequence(Qt::Key_F1)), nullptr);
  EXPECT_TRUE(MainWindow::HelpText().contains(QStringLiteral("Ctrl+L")));
  w().ListView1().setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(w().isVisible());
}

// While a page loads, the server line does not name the previous page's
// server.
TEST_F(WindowTest, ServerLineForgetsTheLastServerWhileAPageLoads) {
  Check(server_.Url("/a"));
  ASSERT_EQ(w().Label4().text(), QStringLiteral("Web Server: Alpha/1.0"));
  QString during;
  // Read while the fetch is under way, however long it takes to start.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &w(), [&] {
    if (w().Inet1().pending() == 0) return;
    during = w().Label4().text();
    watch.stop();
  });
  watch.start(5);
  Check(server_.Url("/slow"));
  EXPECT_EQ(during, QStringLiteral("Web Server: (fetching\u2026)"));
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Slow/3.0"));
}

// The row icon's background is left out: under a dark palette it does not
// stand on a white square.
TEST_F(WindowTest, RowIconsHaveNoBackgroundSquare) {
  Check(server_.Url("/b"));
  ASSERT_EQ(w().ListView1().topLevelItemCount(), 1);
  const QImage icon =
      w().ListView1().topLevelItem(0)->icon(0).pixmap(16, 16).toImage().convertToFormat(
          QImage::Format_ARGB32);
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(icon.pixel(15, 0)), 0);
  EXPECT_GT(qAlpha(icon.pixel(8, 8)), 0);  // the sign itself
}

// The page that matches every rule leaves "cdromCollection" selected in the
// source box: the status line says so.
TEST_F(WindowTest, TheLastRulesSelectionIsExplained) {
  Check(server_.Url("/a"));
  EXPECT_TRUE(w().Status().message().endsWith(
      QStringLiteral(" \u00b7 \u201ccdromCollection\u201d selected in the source")))
      << w().Status().message().toStdString();
  Check(server_.Url("/b"));
  EXPECT_FALSE(w().Status().message().contains(QStringLiteral("selected")));
}

// "Save findings…" offers a name made from the page, and adds the chosen
// format's extension to a name typed without one.
TEST_F(WindowTest, SaveDialogSuggestsANameAndAddsTheExtension) {
  Check(server_.Url("/a"));
  std::unique_ptr<QFileDialog> dialog(w().MakeSaveFindingsDialog());
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  const auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->text(),
            QStringLiteral("127.0.0.1_") +
                QString::number(QUrl(QString::fromStdString(server_.Url("/"))).port()) +
                QStringLiteral("-findings.jsonl"));
  EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("jsonl"));
  dialog->selectNameFilter(dialog->nameFilters().at(1));
  emit dialog->filterSelected(dialog->nameFilters().at(1));
  EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("csv"));

  Check(std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html");
  dialog.reset(w().MakeSaveFindingsDialog());
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(),
            QStringLiteral("sample-findings.jsonl"));
}

// A folder is the command line's to check; the window says so plainly, and
// an empty address asks for one.
TEST_F(WindowTest, FoldersAndEmptyAddressesAreToldPlainly) {
  Check(std::string(VETTRIX_SOURCE_DIR) + "/samples");
  EXPECT_TRUE(w().Status().message().contains(QStringLiteral("it is a folder")))
      << w().Status().message().toStdString();
  EXPECT_TRUE(w().Status().message().contains(QStringLiteral("vettrix check")))
      << w().Status().message().toStdString();
  Check("");
  EXPECT_TRUE(w().Status().message().startsWith(
      QStringLiteral("No address to fetch: type one into \u201cWeb Site:\u201d")))
      << w().Status().message().toStdString();
}

// Access keys of a context menu are each one item's.
TEST_F(WindowTest, ContextMenusGiveEachItemItsOwnAccessKey) {
  Check(server_.Url("/a"));
  std::unique_ptr<QMenu> list(w().ListView1().MakeContextMenu(nullptr));
  std::unique_ptr<QMenu> source(w().Text2().createContextMenu());
  std::unique_ptr<QMenu> address(w().Text1().createStandardContextMenu());
  for (QMenu* menu : {list.get(), source.get(), address.get()}) {
    std::set<QChar> keys;
    for (const QAction* a : menu->actions()) {
      const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
      if (a->isSeparator() || amp < 0) continue;
      EXPECT_TRUE(keys.insert(a->text().at(amp + 1).toLower()).second) << a->text().toStdString();
    }
  }
}

// On a small screen (a high scale factor) the window may be smaller than the
// form, so the status line stays on the screen; where the screen has room,
// the form's size is the smallest. (Run also with QT_SCALE_FACTOR=2.)
TEST_F(WindowTest, TheWindowFitsTheScreen) {
  const QSize room = w().screen()->availableGeometry().size();
  const QSize stored(598, 510 + StatusLine::kHeight);
  EXPECT_LE(w().minimumHeight(), std::max(120, room.height() - 32));
  EXPECT_LE(w().minimumWidth(), std::max(200, room.width() - 8));
  EXPECT_EQ(w().minimumSize(), stored.boundedTo(room - QSize(8, 32)).expandedTo(QSize(200, 120)));
  // It opens no larger than the screen has room for.
  if (room.height() - 32 < stored.height() || room.width() - 8 < stored.width()) {
    EXPECT_LE(w().height(), std::max(120, room.height() - 32));
    EXPECT_LE(w().width(), std::max(200, room.width() - 8));
  } else {
    EXPECT_EQ(w().size(), stored);
  }
  w().resize(w().minimumSize());
  QApplication::processEvents();
  // The status line stays at the window's bottom, whole.
  EXPECT_EQ(w().Status().geometry().bottom(), w().height() - 1);
  EXPECT_EQ(w().Status().width(), w().width());
  EXPECT_GE(w().Text2().height(), 0);
}

// The address box has the focus at start-up, so what a user types first is
// an address. Tab follows the tab indices but skips Text3 and Text4, which
// the list covers; they are hidden, so no screen reader shows them either.
TEST_F(WindowTest, TabOrderFollowsTabIndicesAndText1HasTheFocus) {
  QApplication::setActiveWindow(&w());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  EXPECT_EQ(QApplication::focusWidget(), &w().Text1());
  // Typing right away goes into the address box, and Enter checks it.
  QSignalSpy runs(&w(), &MainWindow::runFinished);
  w().Text1().SetText("");
  QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(server_.Url("/b")));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(runs.count(), 1);
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
  ASSERT_EQ(QApplication::focusWidget(), &w().Text1());
  // Text1 (5), CmdCheck (7), Text2 (0), ListView1 (1), and round again.
  const std::vector<QWidget*> order{&w().CmdCheck(), &w().Text2(), &w().ListView1(), &w().Text1(),
                                    &w().CmdCheck()};
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), &w().Text1());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), &w().ListView1());
  for (const char* name :
       {"Label1", "Label2", "Label3", "Label4", "Frame1", "Image1", "Text3", "Text4"}) {
    EXPECT_EQ(w().Control(name)->focusPolicy(), Qt::NoFocus) << name;
  }
  for (QWidget* hidden :
       {static_cast<QWidget*>(&w().Text3()), static_cast<QWidget*>(&w().Text4())}) {
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(hidden)->state().invisible);
  }
  // The boxes behind the list still do their work.
  Check(server_.Url("/a"));
  EXPECT_EQ(w().Text3().Text(), "cdromCollection");
}

TEST_F(WindowTest, EveryControlHasAnAccessibleName) {
  for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Frame1", "Image1", "Label1",
                           "Label2", "Label3", "Label4", "ListView1", "CmdCheck"}) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w().Control(name));
    ASSERT_NE(a, nullptr) << name;
    EXPECT_FALSE(a->text(QAccessible::Name).isEmpty()) << name;
  }
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(&w().CmdCheck());
  EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("Check Source"));
}

TEST_F(WindowTest, AccessibleDescriptionTellsTheVersions) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&w());
  ASSERT_NE(a, nullptr);
  const QString want = QStringLiteral("Vettrix %1 with libcurl %2")
                           .arg(QString::fromUtf8(VETTRIX_CMAKE_VERSION),
                                QString::fromStdString(vx::net::library_version()));
  EXPECT_EQ(a->text(QAccessible::Description), want);
  // The title stays the caption alone.
  EXPECT_EQ(w().windowTitle(), QStringLiteral("Vettrix"));
}

TEST_F(WindowTest, ClickFillsTheListTheSourceAndTheServerLine) {
  Check(server_.Url("/a"));
  EXPECT_EQ(w().Text2().Text(), kPageA);
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Alpha/1.0"));
  const std::vector<std::string> expected{"Scripting", "Forms", "MouseDown", "MouseDown", "Cd-Rom"};
  ASSERT_EQ(LabelsFor(kPageA), expected) << "the page is what the test thinks";
  EXPECT_EQ(Labels(), expected);
  QTreeWidgetItem* row = w().ListView1().topLevelItem(0);
  EXPECT_EQ(row->text(1).toStdString(), std::string(app::kRuleTable[0].description));
  EXPECT_FALSE(row->icon(0).isNull());
  // Rule 20 selected its marker in the source and copied it into Text3.
  EXPECT_EQ(w().Text3().Text(), "cdromCollection");
  EXPECT_EQ(w().Text2().SelText(), "cdromCollection");

  // A second page replaces everything.
  Check(server_.Url("/b"));
  EXPECT_EQ(w().Text2().Text(), kPageB);
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Beta/2.0"));
  // Screen readers hear the server line as it is now.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&w().Label4())->text(QAccessible::Name),
            QStringLiteral("Web Server: Beta/2.0"));
  // A page without a server header shows the words alone.
  Check(server_.Url("/plain"));
  EXPECT_TRUE(Labels().empty());
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: "));
}

TEST_F(WindowTest, EnterInTheAddressBoxRunsACheckOtherKeysDoNot) {
  QSignalSpy runs(&w(), &MainWindow::runFinished);
  w().Text1().setFocus();
  QTest::keyClicks(&w().Text1(), QString::fromStdString(server_.Url("/b")));
  EXPECT_EQ(runs.count(), 0);
  QTest::keyClick(&w().Text1(), Qt::Key_Return);
  EXPECT_EQ(runs.count(), 1);
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
  QTest::keyClick(&w().Text1(), Qt::Key_Enter);  // the keypad's Enter is key 13 too
  EXPECT_EQ(runs.count(), 2);
  QTest::keyClick(&w().Text1(), Qt::Key_Tab);
  QTest::keyClick(&w().Text1(), Qt::Key_Space);
  EXPECT_EQ(runs.count(), 2);

  // An empty address runs too: the fetch fails, and the list, which would
  // show the old page's findings under it, is cleared.
  w().Text1().SetText("");
  w().Text1().setFocus();
  QTest::keyClick(&w().Text1(), Qt::Key_Return);
  EXPECT_EQ(runs.count(), 3);
  EXPECT_EQ(w().Text2().Text(), kPageB);
  EXPECT_TRUE(Labels().empty());
}

// A failed fetch is told as one: no other page's findings or server stand
// under the address, the source box keeps its text and the status line says
// whose it is; the reason is the command line's, word for word (but for the
// time a refused connection took).
TEST_F(WindowTest, FailedFetchClearsTheListAndSaysWhy) {
  const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
  const std::string good = server_.Url("/a");
  for (const std::string& address : {dead, std::string("http://exa mple.com:99999/"),
                                     std::string(""), std::string("file:///nonexistent/x.html")}) {
    SCOPED_TRACE(address);
    Check(good);
    ASSERT_EQ(Labels(), LabelsFor(kPageA));
    w().ListView1().setCurrentItem(w().ListView1().topLevelItem(0));
    ASSERT_FALSE(w().Text2().highlightedRanges().empty());

    Check(address);
    EXPECT_EQ(w().Text2().Text(), kPageA);
    EXPECT_TRUE(Labels().empty());
    EXPECT_TRUE(w().Text2().highlightedRanges().empty());
    EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: (fetch failed)"));
    const nlohmann::json cli = nlohmann::json::parse(CommandLine("--json '" + address + "'"));
    ASSERT_FALSE(cli["ok"].get<bool>()) << cli.dump();
    const std::string reason = cli["error"].get<std::string>();
    const std::string said = address.empty()
                                 ? "No address to fetch: type one into \u201cWeb Site:\u201d"
                                 : "Could not fetch " + address + ": " + reason;
    EXPECT_EQ(support::WithoutTimings(w().Status().message().toStdString()),
              support::WithoutTimings(said + " \u00b7 the source shown is from " + good));
    EXPECT_FALSE(w().Status().busy());
  }
  // Before any page was fetched there is no earlier address to name.
  window_ = std::make_unique<MainWindow>(BuiltInForm());
  Check(dead);
  EXPECT_EQ(w().Status().message().toStdString().find("Could not fetch " + dead + ": "), 0u);
  EXPECT_EQ(w().Status().message().toStdString().find("the source shown"), std::string::npos);
}

// At the form's size a failure's line is longer than the window: it is cut
// with "…" before the part that says whose source is shown, and the whole
// text stays the tooltip and what a screen reader reads.
TEST_F(WindowTest, StatusLineCutsALongMessageButKeepsItReachable) {
  const std::string good = server_.Url("/a");
  const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/" +
                           std::string(60, 'p') + "/index.html";
  Check(good);
  Check(dead);
  auto* label = w().Status().findChild<QLabel*>("StatusText");
  ASSERT_NE(label, nullptr);
  const QString whole = w().Status().message();
  const QString tail = QString::fromStdString(" \u00b7 the source shown is from " + good);
  ASSERT_TRUE(whole.endsWith(tail)) << whole.toStdString();
  const QString shown = w().Status().shownMessage();
  EXPECT_NE(shown, whole);
  EXPECT_TRUE(shown.endsWith(tail)) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Could not fetch http://"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  EXPECT_EQ(label->toolTip(), whole);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), whole);

  // With room for it the whole line shows; without room even for the tail,
  // the tail is what shows, shortened in its middle.
  w().resize(3000, w().height());
  QApplication::processEvents();
  EXPECT_EQ(w().Status().shownMessage(), whole);
  const QFontMetrics metrics = label->fontMetrics();
  const QString narrow = ElidedStatus(whole, metrics, metrics.horizontalAdvance(tail) / 2);
  EXPECT_TRUE(narrow.startsWith(QStringLiteral("the source"))) << narrow.toStdString();
  EXPECT_LE(metrics.horizontalAdvance(narrow), metrics.horizontalAdvance(tail) / 2);
  // A message without that part is cut at its end.
  const QString plain =
      ElidedStatus(QStringLiteral("Fetching ") + QString(300, QChar('x')), metrics, 200);
  EXPECT_TRUE(plain.startsWith(QStringLiteral("Fetching x"))) << plain.toStdString();
  EXPECT_TRUE(plain.endsWith(QChar(0x2026)));
}

TEST_F(WindowTest, StatusLineTellsStatusSizeTimeAndFindings) {
  const std::string dot = " \u00b7 ";
  const std::regex checked("HTTP 200" + dot + "([0-9,]+) bytes" + dot + "[0-9]+ ms" + dot +
                           "5 findings" + dot +
                           "\u201ccdromCollection\u201d selected in the source");
  Check(server_.Url("/a"));
  std::smatch m;
  const std::string line = w().Status().message().toStdString();
  ASSERT_TRUE(std::regex_match(line, m, checked)) << line;
  EXPECT_EQ(m[1].str(), std::to_string(kPageA.size()));
  // Screen readers read the line as it is now.
  QAccessibleInterface* text =
      QAccessible::queryAccessibleInterface(w().Status().findChild<QLabel*>("StatusText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(QAccessible::Name), w().Status().message());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&w().Status())->role(), QAccessible::StatusBar);

  Check(server_.Url("/plain"));
  EXPECT_TRUE(w().Status().message().endsWith(QStringLiteral("No risky markers found")))
      << w().Status().message().toStdString();
  // An error status is told, and the page the server sent is still checked.
  Check(server_.Url("/missing"));
  EXPECT_TRUE(w().Status().message().startsWith(QStringLiteral("HTTP 404 error \u00b7 ")))
      << w().Status().message().toStdString();
  EXPECT_EQ(Labels(), std::vector<std::string>{"Scripting"});
  // After redirects, the address the page came from.
  Check(server_.Url("/moved"));
  EXPECT_TRUE(w().Status().message().startsWith(
      QString::fromStdString("HTTP 200 from " + server_.Url("/b") + " \u00b7 ")))
      << w().Status().message().toStdString();
  // A local file has no HTTP status.
  Check(std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html");
  EXPECT_TRUE(w().Status().message().startsWith(QStringLiteral("Local file \u00b7 ")))
      << w().Status().message().toStdString();
}

TEST_F(WindowTest, StatusLineShowsAFetchUnderWayWithTheBytesSoFar) {
  std::vector<QString> seen;
  bool busy_seen = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (w().Inet1().pending() == 0) return;
    busy_seen = busy_seen || w().Status().busy();
    if (seen.empty() || seen.back() != w().Status().message()) {
      seen.push_back(w().Status().message());
    }
  });
  timer.start(20);
  const std::string address = server_.Url("/drip");
  Check(address);
  timer.stop();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().toStdString(), "Fetching " + address + "\u2026");
  EXPECT_TRUE(busy_seen);
  EXPECT_NE(
      std::find(seen.begin(), seen.end(),
                QString::fromStdString("Fetching " + address + "\u2026 3,000 bytes received")),
      seen.end())
      << seen.back().toStdString() << " (" << seen.size() << " texts)";
  EXPECT_FALSE(w().Status().busy());
  EXPECT_TRUE(w().Status().message().startsWith(QStringLiteral("HTTP 200 \u00b7 3,017 bytes")));
}

TEST_F(WindowTest, StatusLineFollowsTheSourceCaret) {
  Check(server_.Url("/a"));
  w().Text2().GoToLine(3, 5);
  EXPECT_EQ(w().Status().caret(), QStringLiteral("Ln 3, Col 5"));
}

TEST_F(WindowTest, DoubleClickCopiesTheSelectedLabelOnly) {
  // Nothing listed, nothing selected: nothing happens.
  QTest::mouseDClick(w().ListView1().viewport(), Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_EQ(w().Text4().Text(), "Text4");

  Check(server_.Url("/a"));
  DoubleClickRow(2);
  EXPECT_EQ(w().Text4().Text(), "MouseDown");
  DoubleClickRow(0);
  EXPECT_EQ(w().Text4().Text(), "Scripting") << "the label, not the description";

  // Rows but none selected: still nothing.
  w().ListView1().clearSelection();
  w().Text4().SetText("kept");
  QTest::mouseDClick(w().ListView1().viewport(), Qt::LeftButton, {},
                     QPoint(50, w().ListView1().viewport()->height() - 5));
  EXPECT_EQ(w().Text4().Text(), "kept");
}

TEST_F(WindowTest, EnterOnAFindingDoesWhatADoubleClickDoes) {
  Check(server_.Url("/a"));
  QTreeWidget& list = w().ListView1();
  list.setFocus();
  // Nothing selected: Enter copies nothing.
  list.clearSelection();
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(w().Text4().Text(), "Text4");
  list.setCurrentItem(list.topLevelItem(0));
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(w().Text4().Text(), "Forms");
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(w().Text4().Text(), "MouseDown");
}

TEST_F(WindowTest, CopyAndCopyAllPutRowsOnTheClipboard) {
  Check(server_.Url("/a"));
  FindingsView& list = w().ListView1();
  QClipboard& clipboard = *QGuiApplication::clipboard();
  clipboard.setText(QStringLiteral("before"));
  list.setFocus();
  list.clearSelection();
  QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard.text(), QStringLiteral("before")) << "nothing selected, nothing copied";
  list.setCurrentItem(list.topLevelItem(1));
  QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
  const auto line = [](std::size_t rule) {
    const app::DetectionRule& r = app::kRuleTable[rule];
    return QString::fromUtf8(r.label.data(), static_cast<qsizetype>(r.label.size())) +
           QLatin1Char('\t') +
           QString::fromUtf8(r.description.data(), static_cast<qsizetype>(r.description.size())) +
           QLatin1Char('\n');
  };
  const std::size_t forms = FindingsView::RuleOf(list.topLevelItem(1)).value_or(app::kRuleCount);
  ASSERT_EQ(forms, 4u);
  EXPECT_EQ(clipboard.text(), line(forms));

  std::unique_ptr<QMenu> menu(list.MakeContextMenu(&w()));
  const QList<QAction*> actions = menu->actions();
  // Copy, Copy all, a separator, Save findings…, a separator, Rules.
  ASSERT_EQ(actions.size(), 6);
  EXPECT_EQ(actions[0]->text(), QStringLiteral("&Copy"));
  EXPECT_EQ(actions[1]->text(), QStringLiteral("Copy &all"));
  EXPECT_EQ(actions[3]->text(), QStringLiteral("&Save findings\u2026"));
  EXPECT_EQ(actions[5]->text(), QStringLiteral("&Rules"));
  EXPECT_NE(actions[5]->menu(), nullptr);
  actions[1]->trigger();
  QString all;
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    all += list.topLevelItem(i)->text(0) + QLatin1Char('\t') + list.topLevelItem(i)->text(1) +
           QLatin1Char('\n');
  }
  EXPECT_EQ(clipboard.text(), all);
  EXPECT_EQ(all.count(QLatin1Char('\n')), 5);
  // Without findings, Copy and Copy all have nothing to offer.
  Check(server_.Url("/plain"));
  menu.reset(list.MakeContextMenu(&w()));
  EXPECT_FALSE(menu->actions()[0]->isEnabled());
  EXPECT_FALSE(menu->actions()[1]->isEnabled());
  EXPECT_TRUE(menu->actions()[3]->isEnabled());
}

// "Save findings…" writes what `vettrix check --format json|csv` writes for
// the same address, byte for byte, failures included (but for the time a
// refused connection took).
TEST_F(WindowTest, SavedFindingsAreTheCommandLinesReport) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string local = std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html";
  const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
  for (const std::string& address : {server_.Url("/a"), server_.Url("/moved"), local, dead}) {
    Check(address);
    for (const auto& [format, name] :
         {std::pair{app::cli::Format::Json, "json"}, std::pair{app::cli::Format::Csv, "csv"}}) {
      SCOPED_TRACE(address + " as " + name);
      const auto path = dir / (std::string("window_test_findings.") + name);
      std::string error;
      ASSERT_TRUE(w().SaveFindings(QString::fromStdString(path.string()), format, error)) << error;
      std::ifstream in(path, std::ios::binary);
      const std::string saved((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      std::filesystem::remove(path);
      EXPECT_EQ(support::WithoutTimings(saved),
                support::WithoutTimings(
                    CommandLine(std::string("--format ") + name + " '" + address + "'")));
    }
  }
  std::string error;
  EXPECT_FALSE(
      w().SaveFindings(QStringLiteral("/nonexistent/dir/x.json"), app::cli::Format::Json, error));
  EXPECT_NE(error.find("/nonexistent/dir/x.json"), std::string::npos) << error;
}

// Esc gives up a fetch under way; the run ends at once, as a failure.
TEST_F(WindowTest, EscCancelsAFetchUnderWay) {
  Check(server_.Url("/b"));
  QTimer::singleShot(100, &w(), [&] {
    EXPECT_EQ(w().Inet1().pending(), 1);
    QTest::keyClick(&w().Text1(), Qt::Key_Escape);
  });
  const auto start = std::chrono::steady_clock::now();
  Check(server_.Url("/slow"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, 550ms) << "the run waited for the page";
  EXPECT_TRUE(w().Status().message().startsWith(QStringLiteral("Cancelled")))
      << w().Status().message().toStdString();
  EXPECT_FALSE(w().Status().busy());
  EXPECT_EQ(w().Text2().Text(), kPageB);
  EXPECT_TRUE(Labels().empty());
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: (fetch failed)"));
  // Esc with nothing under way changes nothing; the next check works.
  QTest::keyClick(&w().Text1(), Qt::Key_Escape);
  Check(server_.Url("/slow"));
  EXPECT_EQ(w().Text2().Text(), kPageSlow);
  EXPECT_EQ(Labels(), LabelsFor(kPageSlow));
}

// A fetch that runs out of memory, or would have, is a failed fetch like any
// other: the window says why and goes on. The hostile server's /huge claims
// a body of 10^15 bytes; /interim/1 once cost about 780 MB (a 90 kB address
// and 300 kB of interim answers), here under a data limit well below that.
TEST_F(WindowTest, FetchesThatRunOutOfMemoryAreFailedFetches) {
  VX_SKIP_WHERE_ALLOCATIONS_CANNOT_FAIL();
  support::PythonServer hostile(VETTRIX_PYTHON,
                                std::string(VETTRIX_SOURCE_DIR) + "/tests/app/hostile_server.py");
  const std::string base = "http://127.0.0.1:" + std::to_string(hostile.port());
  net::FetchOptions any_size;
  any_size.timeout = 10s;
  any_size.max_bytes = UINT64_MAX;
  window_ = std::make_unique<MainWindow>(BuiltInForm(), any_size);
  window_->show();
  const std::string good = server_.Url("/a");
  Check(good);
  ASSERT_EQ(Labels(), LabelsFor(kPageA));

  Check(base + "/huge");
  EXPECT_EQ(w().Status().message().toStdString().find(
                "Could not fetch " + base + "/huge: out of memory while reading the response"),
            0u)
      << w().Status().message().toStdString();
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: (fetch failed)"));

  {
    // What this process holds now, and 600 MB more.
    std::ifstream status("/proc/self/status");
    long data_kb = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmData:", 0) == 0) data_kb = std::stol(line.substr(7));
    }
    ASSERT_GT(data_kb, 0);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_DATA, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = static_cast<rlim_t>(data_kb + 600 * 1024) * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_DATA, &limited), 0);
    Check(base + "/interim/1");
    ::setrlimit(RLIMIT_DATA, &old);
  }
  EXPECT_EQ(w().Status().message().toStdString().find("Could not fetch " + base +
                                                      "/interim/1: response header too large"),
            0u)
      << w().Status().message().toStdString();

  Check(good);
  EXPECT_EQ(Labels(), LabelsFor(kPageA));
  EXPECT_EQ(w().Text2().Text(), kPageA);
}

// A held Space on "Check Source" as X delivers it (release and press pairs
// marked auto-repeat) checks once, when the key is let go.
TEST_F(WindowTest, HeldSpaceOnTheButtonChecksOnce) {
  QSignalSpy runs(&w(), &MainWindow::runFinished);
  w().Text1().SetText(server_.Url("/b"));
  w().CmdCheck().setFocus(Qt::TabFocusReason);
  auto send = [&](QEvent::Type type, bool repeat) {
    QKeyEvent e(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), repeat);
    QApplication::sendEvent(&w().CmdCheck(), &e);
  };
  send(QEvent::KeyPress, false);
  for (int i = 0; i < 40; ++i) {
    send(QEvent::KeyRelease, true);
    send(QEvent::KeyPress, true);
  }
  EXPECT_EQ(runs.count(), 0);
  send(QEvent::KeyRelease, false);
  EXPECT_EQ(runs.count(), 1);
  // Back and Forward buttons do not click it.
  const QPoint middle = w().CmdCheck().rect().center();
  for (Qt::MouseButton b : {Qt::BackButton, Qt::ForwardButton}) {
    QTest::mouseClick(&w().CmdCheck(), b, {}, middle);
  }
  EXPECT_EQ(runs.count(), 1);
  QTest::mouseClick(&w().CmdCheck(), Qt::LeftButton, {}, middle);
  EXPECT_EQ(runs.count(), 2);
}

// What assistive technology is told of the window's parts.
TEST_F(WindowTest, AssistiveTechnologyReadsTheFormAsItIs) {
  // The frame groups the address controls; it is no window.
  QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(w().Control("Frame1"));
  EXPECT_EQ(frame->role(), QAccessible::Grouping);
  EXPECT_EQ(frame->text(QAccessible::Name), QStringLiteral("Web site"));
  // Each label names its control, both ways.
  for (const auto& [label, control] :
       {std::pair{"Label2", "Text1"}, std::pair{"Label1", "ListView1"},
        std::pair{"Label3", "Text2"}}) {
    SCOPED_TRACE(control);
    QAccessibleInterface* c = QAccessible::queryAccessibleInterface(w().Control(control));
    QAccessibleInterface* l = QAccessible::queryAccessibleInterface(w().Control(label));
    const auto by = c->relations(QAccessible::Label);
    ASSERT_EQ(by.size(), 1);
    EXPECT_EQ(by[0].first, l);
    const auto of = l->relations(QAccessible::Labelled);
    ASSERT_EQ(of.size(), 1);
    EXPECT_EQ(of[0].first, c);
  }
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(w().Control("Label4"))
                  ->relations(QAccessible::Labelled)
                  .isEmpty())
      << "the server line labels nothing";
}

// The events of rows arriving and going need the platform's bridge to be
// seen: the AT-SPI test (atspi_test.py) listens for them on a real display.
TEST_F(WindowTest, TheListIsATableOfFindings) {
  Check(server_.Url("/b"));
  QAccessibleTableInterface* before =
      QAccessible::queryAccessibleInterface(&w().ListView1())->tableInterface();
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(before->rowCount(), 1);
  QAccessibleInterface* old_cell = before->cellAt(0, 1);
  ASSERT_NE(old_cell, nullptr);
  EXPECT_EQ(old_cell->text(QAccessible::Name), w().ListView1().topLevelItem(0)->text(1));
  Check(server_.Url("/a"));
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&w().ListView1());
  ASSERT_EQ(list->role(), QAccessible::Table);
  QAccessibleTableInterface* table = list->tableInterface();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 5);
  ASSERT_EQ(table->columnCount(), 2);
  EXPECT_EQ(table->columnDescription(0), QStringLiteral("Detected"));
  // The headings, then the rows.
  EXPECT_EQ(list->childCount(), 12);
  EXPECT_EQ(list->child(0)->role(), QAccessible::ColumnHeader);
  EXPECT_EQ(list->child(1)->text(QAccessible::Name), QStringLiteral("Description"));
  EXPECT_EQ(list->indexOfChild(list->child(1)), 1);
  for (int row = 0; row < 5; ++row) {
    QAccessibleInterface* cell = table->cellAt(row, 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), w().ListView1().topLevelItem(row)->text(0));
    EXPECT_EQ(cell->tableCellInterface()->rowIndex(), row);
    EXPECT_EQ(cell->tableCellInterface()->columnHeaderCells(), QList{list->child(0)});
    EXPECT_EQ(list->indexOfChild(cell), (row + 1) * 2);
    EXPECT_EQ(list->child((row + 1) * 2 + 1)->text(QAccessible::Name),
              w().ListView1().topLevelItem(row)->text(1));
  }
  EXPECT_EQ(table->cellAt(5, 0), nullptr);

  // Selecting through the table is selecting a finding: the highlight, and
  // the source box's reading position on its first occurrence.
  QAccessibleInterface* source = QAccessible::queryAccessibleInterface(&w().Text2());
  const int caret = source->textInterface()->cursorPosition();
  ASSERT_TRUE(table->selectRow(4));  // Cd-Rom
  EXPECT_EQ(table->selectedRows(), QList<int>{4});
  EXPECT_TRUE(table->isRowSelected(4));
  EXPECT_TRUE(table->cellAt(4, 1)->state().selected);
  EXPECT_FALSE(w().Text2().highlightedRanges().empty());
  const int at = static_cast<int>(kPageA.find("cdromCollection"));
  EXPECT_EQ(source->textInterface()->cursorPosition(), at);
  int start = 0, end = 0;
  EXPECT_TRUE(source->textInterface()
                  ->attributes(at + 2, &start, &end)
                  .contains(QStringLiteral("text-highlight:true")));
  EXPECT_EQ(start, at);
  EXPECT_EQ(end, at + 15);
  EXPECT_TRUE(source->textInterface()->attributes(0, &start, &end).isEmpty());
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, at);
  // The real caret has not moved; moving it takes the reading position along.
  EXPECT_NE(caret, at);
  w().Text2().Select(0, 0);
  EXPECT_EQ(source->textInterface()->cursorPosition(), 0);
  ASSERT_TRUE(table->unselectRow(4));
  EXPECT_TRUE(table->selectedRows().isEmpty());

  // A cell is focused only while the list has the keyboard.
  table->selectRow(1);
  w().Text1().setFocus();
  QApplication::setActiveWindow(&w());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  w().Text1().setFocus();
  EXPECT_FALSE(table->cellAt(1, 0)->state().focused);
  EXPECT_EQ(list->focusChild(), nullptr);
  w().ListView1().setFocus();
  EXPECT_TRUE(table->cellAt(1, 0)->state().focused);
  EXPECT_FALSE(table->cellAt(1, 1)->state().focused);
  EXPECT_EQ(list->focusChild(), table->cellAt(1, 0));
}

TEST_F(WindowTest, SelectingAFindingHighlightsWhereItsRuleMatched) {
  Check(server_.Url("/a"));
  const auto selection_before = w().Text2().SelectedBytes();
  w().ListView1().setCurrentItem(w().ListView1().topLevelItem(0));  // Scripting
  const auto& ranges = w().Text2().highlightedRanges();
  // "<script" once and "<SCRIPT" once.
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].first, kPageA.find("<script"));
  EXPECT_EQ(ranges[1].first, kPageA.find("<SCRIPT"));
  EXPECT_EQ(ranges[1].second - ranges[1].first, 7u);
  EXPECT_EQ(w().Text2().SelectedBytes(), selection_before) << "a highlight, not a selection";

  // The second MouseDown row (rule 12, "onmousedown") marks only that form.
  w().ListView1().setCurrentItem(w().ListView1().topLevelItem(3));
  ASSERT_EQ(w().Text2().highlightedRanges().size(), 1u);
  EXPECT_EQ(w().Text2().highlightedRanges()[0].first, kPageA.find("onmousedown"));

  // How many, and where: the row's tooltip, and its cells' description to
  // assistive technology.
  EXPECT_EQ(w().ListView1().SummaryOf(w().ListView1().topLevelItem(3)).toStdString(),
            "1 occurrence, in an attribute name");
  w().ListView1().setCurrentItem(w().ListView1().topLevelItem(0));
  EXPECT_EQ(w().ListView1().SummaryOf(w().ListView1().topLevelItem(0)).toStdString(),
            "2 occurrences, all in tags");
  // Only the selected row has one.
  EXPECT_TRUE(w().ListView1().SummaryOf(w().ListView1().topLevelItem(3)).isEmpty());
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&w().ListView1());
  ASSERT_NE(list, nullptr);
  QAccessibleTableInterface* table = list->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->cellAt(0, 1)->text(QAccessible::Description).toStdString(),
            "2 occurrences, all in tags");

  w().ListView1().clearSelection();
  EXPECT_TRUE(w().Text2().highlightedRanges().empty());
}

// Every finding of the test pages, as `vettrix check --json` places it, is
// where the source box's caret says it is, and going to that line and
// column puts the caret on it.
TEST_F(WindowTest, LinesAndColumnsAreTheCommandLines) {
  const std::string corpus = std::string(VETTRIX_SOURCE_DIR) + "/tests/app/window/data/corpus";
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() == ".html") files.push_back(entry.path().string());
  }
  files.push_back(std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html");
  ASSERT_GE(files.size(), 7u) << "the test pages are missing from " << corpus;
  std::size_t findings = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string cmd =
        std::string(VETTRIX_BIN_DIR) + "/vettrix check --json --occurrences=1000 '" + file + "'";
    const std::string out = vx::support::RunCommand(cmd).out;
    const nlohmann::json report = nlohmann::json::parse(out);
    ASSERT_TRUE(report["ok"].get<bool>()) << out;

    Check(file);
    SourceBox& box = w().Text2();
    const std::string& text = box.Text();
    ASSERT_EQ(text.size(), report["bytes"].get<std::size_t>());
    ASSERT_FALSE(report["findings"].empty());
    for (const auto& f : report["findings"]) {
      const auto rule = f["rule"].get<std::size_t>() - 1;
      const std::vector<app::check::Occurrence> first = app::check::RuleOccurrences(text, rule, 1);
      ASSERT_EQ(first.size(), 1u) << f.dump();
      const std::pair<std::size_t, std::size_t> at{f["line"].get<std::size_t>(),
                                                   f["column"].get<std::size_t>()};
      box.Select(first[0].offset, first[0].offset);
      EXPECT_EQ(box.CaretLineColumn(), at) << f.dump();
      box.Select(0, 0);
      box.GoToLine(at.first, at.second);
      EXPECT_EQ(box.Caret(), first[0].offset) << f.dump();
      // Selecting the finding highlights every occurrence the command line
      // lists, and its tooltip counts them by context as the listing does.
      QTreeWidgetItem* row = nullptr;
      for (int i = 0; i < w().ListView1().topLevelItemCount(); ++i) {
        if (FindingsView::RuleOf(w().ListView1().topLevelItem(i)) == rule) {
          row = w().ListView1().topLevelItem(i);
        }
      }
      ASSERT_NE(row, nullptr) << f.dump();
      w().ListView1().setCurrentItem(row);
      const auto& ranges = box.highlightedRanges();
      ASSERT_EQ(ranges.size(), f["occurrences"].size()) << f.dump();
      app::check::ContextCounts counts;
      counts.total = ranges.size();
      for (std::size_t k = 0; k < ranges.size(); ++k) {
        EXPECT_EQ(ranges[k].first, f["occurrences"][k]["offset"].get<std::size_t>());
        const auto context =
            app::check::ContextFromName(f["occurrences"][k]["context"].get<std::string>());
        ASSERT_TRUE(context.has_value());
        ++counts.in[static_cast<std::size_t>(*context)];
      }
      EXPECT_EQ(w().ListView1().SummaryOf(row).toStdString(), app::check::DescribeCounts(counts));
      ++findings;
    }
  }
  EXPECT_GT(findings, 30u);
}

TEST_F(WindowTest, TheLastRuleSelectsItsMarkerInView) {
  // The marker far down a long page: the check run's selection scrolls the
  // source box to it, as setting a text box's SelStart does.
  std::string page;
  for (int i = 0; i < 3000; ++i) page += "<p>row " + std::to_string(i) + "</p>\r\n";
  page += "<object>cdromCollection</object>\r\n";
  const auto path = std::filesystem::temp_directory_path() / "window_test_last_rule.html";
  std::ofstream(path, std::ios::binary) << page;
  Check(path.string());
  std::filesystem::remove(path);
  EXPECT_EQ(w().Text2().SelText(), "cdromCollection");
  EXPECT_EQ(w().Text3().Text(), "cdromCollection");
  EXPECT_FALSE(w().Text2().caretRect(w().Text2().Caret()).isEmpty());
  EXPECT_EQ(w().Text2().CaretLineColumn(), (std::pair<std::size_t, std::size_t>{3001, 24}));
}

TEST_F(WindowTest, WindowKeepsWorkingWhileAFetchIsUnderWay) {
  int ticks_during_fetch = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (w().Inet1().pending() > 0) {
      ++ticks_during_fetch;
      w().repaint();
    }
  });
  timer.start(20);
  Check(server_.Url("/slow"));
  timer.stop();
  EXPECT_GE(ticks_during_fetch, 5);
  EXPECT_EQ(w().Text2().Text(), kPageSlow);
}

TEST_F(WindowTest, RunStartedWhileAnotherFetchesReplacesIt) {
  // The outer run waits for /slow; a click on /b comes in meanwhile and runs
  // to its end first. The user's newer request stands: the outer run ends
  // when its page arrives, without touching the window.
  QTimer::singleShot(150, &w(), [&] {
    EXPECT_EQ(w().runsUnderWay(), 1);
    Check(server_.Url("/b"));
    EXPECT_EQ(w().Text2().Text(), kPageB);
    EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
  });
  Check(server_.Url("/slow"));
  EXPECT_EQ(w().runsUnderWay(), 0);
  EXPECT_EQ(w().Text2().Text(), kPageB);
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Beta/2.0"));
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
}

TEST_F(WindowTest, RunStartedWhileAnotherYieldsReplacesIt) {
  // When the outer run (on /a) has added its first row and yields, a click
  // on /slow starts a nested run: it replaces the source and the list, and
  // the outer run adds nothing more (no rows twice).
  bool started = false;
  QObject::connect(w().ListView1().model(), &QAbstractItemModel::rowsInserted, &w(), [&] {
    if (started) return;
    started = true;
    QTimer::singleShot(0, &w(), [&] { Check(server_.Url("/slow")); });
  });
  Check(server_.Url("/a"));
  EXPECT_TRUE(started);
  EXPECT_EQ(w().Text2().Text(), kPageSlow);
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Slow/3.0"));
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Object", "Embedding"}));
  EXPECT_EQ(Labels(), LabelsFor(kPageSlow));
}

TEST_F(WindowTest, LocalFilesAreCheckedToo) {
  const std::string path = std::string(VETTRIX_SOURCE_DIR) + "/samples/sample.html";
  Check(path);
  EXPECT_FALSE(w().Text2().Text().empty());
  EXPECT_FALSE(Labels().empty());
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: "));
}

// A FIFO with no writer is read on the worker: the window goes on taking
// keys, and Esc gives the read up. One whose writer comes is checked.
TEST_F(WindowTest, AFifoWithoutAWriterIsCancelledByEsc) {
  char folder[] = "/tmp/vx-window-fifo-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string fifo = std::string(folder) + "/page.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  bool pressed = false;
  QTimer::singleShot(100, &w(), [&] {
    EXPECT_EQ(w().Inet1().pending(), 1);
    QTest::keyClick(&w().Text1(), Qt::Key_Escape);
    pressed = true;
  });
  Check(fifo);
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(w().Status().message().startsWith(QStringLiteral("Cancelled")))
      << w().Status().message().toStdString();
  EXPECT_FALSE(w().Status().busy());

  // Another FIFO: the cancelled read may still hold the first one open.
  const std::string fed = std::string(folder) + "/fed.fifo";
  ASSERT_EQ(::mkfifo(fed.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fed) << "<applet>"; });
  Check(fed);
  writer.join();
  EXPECT_EQ(w().Text2().Text(), "<applet>");
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
  std::filesystem::remove_all(folder);
}

// The rule set chosen in the findings list's context menu. Each case starts
// from the twenty and leaves the settings as it found them, so that cases
// run in one process do not see each other's choice.
class RuleSetTest : public WindowTest {
 protected:
  void SetUp() override {
    testing::App();
    ForgetChoice();
    WindowTest::SetUp();
  }
  void TearDown() override {
    WindowTest::TearDown();
    ForgetChoice();
  }
  static void ForgetChoice() {
    QSettings settings;
    settings.remove(QString::fromLatin1(MainWindow::kRuleSetKey));
    settings.remove(QString::fromLatin1(MainWindow::kRuleFileKey));
  }
  // Picks a set the way a user does: the list's context menu, Rules.
  void ChooseInMenu(const QString& name) {
    std::unique_ptr<QMenu> menu(w().ListView1().MakeContextMenu(nullptr));
    QMenu* rules = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->menu() != nullptr && a->text() == QStringLiteral("&Rules")) rules = a->menu();
    }
    ASSERT_NE(rules, nullptr);
    for (QAction* a : rules->actions()) {
      if (a->data().toString() == name) {
        a->trigger();
        return;
      }
    }
    FAIL() << "no menu item for " << name.toStdString();
  }
  QString CheckedInMenu() {
    std::unique_ptr<QMenu> menu(w().ListView1().MakeContextMenu(nullptr));
    for (QAction* a : menu->actions()) {
      if (a->menu() == nullptr) continue;
      for (QAction* item : a->menu()->actions()) {
        if (item->isChecked()) return item->data().toString();
      }
    }
    return {};
  }
  static QImage ImageOf(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  }
  QString Description(int row, int column) {
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(&w().ListView1())->tableInterface();
    QAccessibleInterface* cell = table == nullptr ? nullptr : table->cellAt(row, column);
    return cell == nullptr ? QStringLiteral("(no cell)") : cell->text(QAccessible::Description);
  }
  // A file of this case's own.
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = dir_.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path) << text;
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(RuleSetTest, ModernShowsItsFindingsWithTheirSeverityIconAndText) {
  EXPECT_EQ(CheckedInMenu(), QStringLiteral("classic"));
  ChooseInMenu(QStringLiteral("modern"));
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("modern"));
  EXPECT_EQ(CheckedInMenu(), QStringLiteral("modern"));
  Check(server_.Url("/miner"));
  // The modern pack's finding, not the twenty's "Scripting".
  ASSERT_EQ(Labels(), std::vector<std::string>{"Miner"});
  const QTreeWidgetItem* row = w().ListView1().topLevelItem(0);
  EXPECT_EQ(row->text(1).toStdString(), "A crypto-currency miner runs in the visitor's browser.");
  EXPECT_EQ(FindingsView::SeverityOf(row), QStringLiteral("high"));
  EXPECT_EQ(ImageOf(row->icon(0)),
            ImageOf(FindingsView::SeverityIcon(app::check::Severity::High, QSize(16, 16))));
  // Assistive technology hears the severity on either cell of the row.
  EXPECT_EQ(Description(0, 0), QStringLiteral("high"));
  EXPECT_EQ(Description(0, 1), QStringLiteral("high"));
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Gamma/1.0"));
  EXPECT_TRUE(w().Status().message().contains(QStringLiteral("1 finding")))
      << w().Status().message().toStdString();

  // Selecting it highlights the miner in the source and tells where it is.
  w().ListView1().setCurrentItem(w().ListView1().topLevelItem(0));
  EXPECT_TRUE(Description(0, 0).startsWith(QStringLiteral("high; 1 occurrence")))
      << Description(0, 0).toStdString();
}

TEST_F(RuleSetTest, SavedFindingsAreTheCommandLinesWithTheChosenSet) {
  ChooseInMenu(QStringLiteral("modern"));
  Check(server_.Url("/miner"));
  const auto path = std::filesystem::path(dir_.path().toStdString()) / "findings.json";
  std::string error;
  ASSERT_TRUE(
      w().SaveFindings(QString::fromStdString(path.string()), app::cli::Format::Json, error))
      << error;
  std::ifstream in(path, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("\"miner\""), std::string::npos) << saved;
  EXPECT_EQ(support::WithoutTimings(saved),
            support::WithoutTimings(
                CommandLine("--format json --rule-set modern '" + server_.Url("/miner") + "'")));
}

TEST_F(RuleSetTest, TheFiveSeverityIconsDifferEvenWithoutColour) {
  // Reduced to what a colour-blind eye or a monochrome screen keeps, the
  // dark pixels: each severity has more of them than the one below, and the
  // faint track of the missing bars is no part of them.
  std::set<std::vector<bool>> shapes;
  int previous = 0;
  for (const auto severity :
       {app::check::Severity::Info, app::check::Severity::Low, app::check::Severity::Medium,
        app::check::Severity::High, app::check::Severity::Critical}) {
    SCOPED_TRACE(static_cast<int>(severity));
    const QImage image = ImageOf(FindingsView::SeverityIcon(severity, QSize(16, 16)));
    std::vector<bool> shape;
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const bool d = qGray(image.pixel(x, y)) < 130 && qAlpha(image.pixel(x, y)) > 0;
        shape.push_back(d);
        dark += d;
      }
    }
    EXPECT_GT(dark, previous);
    previous = dark;
    shapes.insert(shape);
  }
  EXPECT_EQ(shapes.size(), 5u);
}

TEST_F(RuleSetTest, AllListsTheTwentyThenTheModernPackOnALocalFile) {
  ChooseInMenu(QStringLiteral("all"));
  const std::string page = WriteFile("miner.html", kPageMiner);
  Check(page);
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Scripting", "Miner"}));
  // The classic rule, here one of a set with severities, is told as info.
  EXPECT_EQ(FindingsView::SeverityOf(w().ListView1().topLevelItem(0)), QStringLiteral("info"));
  EXPECT_EQ(Description(1, 0), QStringLiteral("high"));
  // Its row still highlights where the rule matched: both scripts.
  w().ListView1().setCurrentItem(w().ListView1().topLevelItem(0));
  EXPECT_TRUE(Description(0, 1).startsWith(QStringLiteral("info; 2 occurrences")))
      << Description(0, 1).toStdString();
}

TEST_F(RuleSetTest, TheChoiceIsRememberedAcrossARestart) {
  ChooseInMenu(QStringLiteral("modern"));
  window_.reset();
  window_ = std::make_unique<MainWindow>(BuiltInForm());
  window_->show();
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("modern"));
  EXPECT_EQ(CheckedInMenu(), QStringLiteral("modern"));
  Check(server_.Url("/miner"));
  EXPECT_EQ(Labels(), std::vector<std::string>{"Miner"});

  // A rule file too, by its path.
  const std::string rules = WriteFile("own.yaml", R"(rules:
  - id: welcome-text
    label: Welcome
    description: The page greets its visitor.
    severity: low
    match:
      literal: Welcome
)");
  ASSERT_TRUE(w().ChooseRuleSet(QStringLiteral("file"), QString::fromStdString(rules)))
      << w().ruleSetError().toStdString();
  window_.reset();
  window_ = std::make_unique<MainWindow>(BuiltInForm());
  window_->show();
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("file"));
  EXPECT_EQ(w().ruleFile().toStdString(), rules);
  Check(server_.Url("/miner"));
  // As `vettrix check --rules FILE`: the twenty, then the file's rules.
  ASSERT_EQ(Labels(), (std::vector<std::string>{"Scripting", "Welcome"}));
  EXPECT_EQ(Description(0, 0), QStringLiteral("info"));
  EXPECT_EQ(Description(1, 0), QStringLiteral("low"));

  // Back to the twenty, and so after the next start.
  ChooseInMenu(QStringLiteral("classic"));
  window_.reset();
  window_ = std::make_unique<MainWindow>(BuiltInForm());
  window_->show();
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("classic"));
}

TEST_F(RuleSetTest, ABrokenRuleFileLeavesTheOldSetAndSaysWhy) {
  ChooseInMenu(QStringLiteral("modern"));
  const std::string broken = WriteFile("broken.yaml", R"(rules:
  - id: no-label
    severity: high
    match:
      literal: x
)");
  EXPECT_FALSE(w().ChooseRuleSet(QStringLiteral("file"), QString::fromStdString(broken)));
  const std::string message = w().Status().message().toStdString();
  EXPECT_NE(message.find("The rules were not changed"), std::string::npos) << message;
  EXPECT_NE(message.find(broken + ":2"), std::string::npos) << message;  // file and line
  EXPECT_NE(message.find("label"), std::string::npos) << message;        // the field
  EXPECT_EQ(message.find("--rules"), std::string::npos) << message;
  EXPECT_EQ(w().ruleSetError().toStdString(), message);
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("modern"));
  EXPECT_EQ(CheckedInMenu(), QStringLiteral("modern"));
  Check(server_.Url("/miner"));
  EXPECT_EQ(Labels(), std::vector<std::string>{"Miner"});
  // Nor is the broken choice remembered.
  EXPECT_EQ(QSettings().value(QString::fromLatin1(MainWindow::kRuleSetKey)).toString(),
            QStringLiteral("modern"));

  // A file that is gone by the next start leaves the twenty, and says so.
  ASSERT_TRUE(w().ChooseRuleSet(QStringLiteral("file"),
                                QString::fromStdString(WriteFile("gone.yaml", R"(rules:
  - id: gone
    label: Gone
    severity: info
    match:
      literal: Welcome
)"))));
  std::filesystem::remove(dir_.filePath(QStringLiteral("gone.yaml")).toStdString());
  window_.reset();
  window_ = std::make_unique<MainWindow>(BuiltInForm());
  window_->show();
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("classic"));
  EXPECT_TRUE(w().Status().message().contains(QStringLiteral("gone.yaml")))
      << w().Status().message().toStdString();
}

TEST_F(RuleSetTest, TheClassicDefaultLooksAsItAlwaysDid) {
  EXPECT_EQ(w().ruleSetName(), QStringLiteral("classic"));
  Check(server_.Url("/a"));
  EXPECT_EQ(Labels(), LabelsFor(kPageA));
  // The form's row icon on every row, no severity, and nothing more read out.
  const QImage form_icon = ImageOf(w().ListView1().topLevelItem(0)->icon(0));
  for (int i = 0; i < w().ListView1().topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = w().ListView1().topLevelItem(i);
    EXPECT_EQ(ImageOf(row->icon(0)), form_icon) << i;
    EXPECT_TRUE(FindingsView::SeverityOf(row).isEmpty()) << i;
    EXPECT_EQ(Description(i, 0), QString()) << i;
  }
  // The form's icon is the image list's, not a severity's.
  EXPECT_NE(form_icon,
            ImageOf(FindingsView::SeverityIcon(app::check::Severity::Info, QSize(16, 16))));
  // The last rule's marker is still selected and copied into Text3.
  EXPECT_EQ(w().Text3().Text(), "cdromCollection");
  EXPECT_TRUE(w().Status().message().contains(QStringLiteral("selected")))
      << w().Status().message().toStdString();

  // Modern and back: the twenty as before.
  ChooseInMenu(QStringLiteral("modern"));
  ChooseInMenu(QStringLiteral("classic"));
  w().Text3().SetText("");
  Check(server_.Url("/a"));
  EXPECT_EQ(Labels(), LabelsFor(kPageA));
  EXPECT_EQ(ImageOf(w().ListView1().topLevelItem(0)->icon(0)), form_icon);
  EXPECT_EQ(w().Text3().Text(), "cdromCollection");
}

TEST(WindowForm, PicturesThatCannotBeLoadedAreFormErrors) {
  testing::App();
  FormDefinition form = BuiltInForm();
  for (auto& c : form.controls) {
    if (c.name == "Image1") c.picture = "missing.png";
  }
  form.base_dir = "/nonexistent/";
  try {
    MainWindow w(form);
    FAIL() << "no error";
  } catch (const FormError& e) {
    EXPECT_NE(std::string(e.what()).find("Image1: cannot load the picture 'missing.png'"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace vx::window
