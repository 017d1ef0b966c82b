// The main window as a user meets it: built from the bundled form on the
// offscreen platform, checking pages served by a loopback HTTP server.

#include <gtest/gtest.h>
#include <httplib.h>

#include <QAccessible>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/rules.h"
#include "app/window/main_window.h"
#include "app/window/occurrences.h"
#include "platform/fetch/fetch.h"
#include "tests/app/window/window_app.h"

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
    server_.Get("/plain", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<p>nothing risky</p>", "text/html");
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
  EXPECT_EQ(w().size(), QSize(598, 510));
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
  w().resize(stored);
  QApplication::processEvents();
  EXPECT_EQ(w().Text2().geometry(), text2);
  EXPECT_EQ(w().Control("Image1")->geometry(), image);
}

TEST_F(WindowTest, TabOrderFollowsTabIndicesAndText2HasTheFocus) {
  QApplication::setActiveWindow(&w());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  EXPECT_EQ(QApplication::focusWidget(), &w().Text2());
  // Text2 (0), ListView1 (1), Text1 (5), CmdCheck (7), Text3 (9), Text4 (10),
  // and round again.
  const std::vector<QWidget*> order{&w().ListView1(), &w().Text1(), &w().CmdCheck(),
                                    &w().Text3(),     &w().Text4(), &w().Text2()};
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), &w().Text4());
  for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Frame1", "Image1"}) {
    EXPECT_EQ(w().Control(name)->focusPolicy(), Qt::NoFocus) << name;
  }
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

  // An empty address runs too: the fetch fails, the list is rebuilt from the
  // source the box still holds.
  w().Text1().SetText("");
  w().Text1().setFocus();
  w().ListView1().clear();
  QTest::keyClick(&w().Text1(), Qt::Key_Return);
  EXPECT_EQ(runs.count(), 3);
  EXPECT_EQ(w().Text2().Text(), kPageB);
  EXPECT_EQ(Labels(), std::vector<std::string>{"Applet"});
}

TEST_F(WindowTest, FailedFetchKeepsTheSourceAndTheServerLine) {
  Check(server_.Url("/a"));
  // Nothing listens on port 1 of the loopback address.
  Check("http://127.0.0.1:1/");
  EXPECT_EQ(w().Text2().Text(), kPageA);
  EXPECT_EQ(w().Label4().text(), QStringLiteral("Web Server: Alpha/1.0"));
  EXPECT_EQ(Labels(), LabelsFor(kPageA));
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
    const std::string cmd = std::string(VETTRIX_BIN_DIR) + "/vettrix check --json '" + file + "'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    std::array<char, 4096> buf{};
    for (std::size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) out.append(buf.data(), n);
    pclose(p);
    const nlohmann::json report = nlohmann::json::parse(out);
    ASSERT_TRUE(report["ok"].get<bool>()) << out;

    Check(file);
    SourceBox& box = w().Text2();
    const std::string& text = box.Text();
    ASSERT_EQ(text.size(), report["bytes"].get<std::size_t>());
    ASSERT_FALSE(report["findings"].empty());
    for (const auto& f : report["findings"]) {
      const auto rule = f["rule"].get<std::size_t>() - 1;
      const std::vector<Occurrence> first = RuleOccurrences(text, rule, 1);
      ASSERT_EQ(first.size(), 1u) << f.dump();
      const std::pair<std::size_t, std::size_t> at{f["line"].get<std::size_t>(),
                                                   f["column"].get<std::size_t>()};
      box.Select(first[0].offset, first[0].offset);
      EXPECT_EQ(box.CaretLineColumn(), at) << f.dump();
      box.Select(0, 0);
      box.GoToLine(at.first, at.second);
      EXPECT_EQ(box.Caret(), first[0].offset) << f.dump();
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
