// The Designer plugin as Qt Designer and form loaders use it: loaded with
// QPluginLoader from the build, creating buttons through its interface, with
// Designer's own form editor core, and the forms it saves read back by
// QUiLoader at run time.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QMessageBox>
#include <QPluginLoader>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUiLoader>
#include <QtDesigner/QDesignerActionEditorInterface>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowCursorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QDesignerObjectInspectorInterface>
#include <QtDesigner/QDesignerPropertyEditorInterface>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QDesignerWidgetBoxInterface>
#include <QtDesigner/QExtensionManager>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/message_catcher.h"
#include "torvelbutton/torvelbuttonwidget.h"

namespace {

using Json = nlohmann::json;

const char* const kPlatformMessage =
    "This option is not available on the following operating systems.\n\n - Win NT 4 and "
    "lower\n - Windows 95 and earlier";

QApplication& App() {
  static int argc = 1;
  static char name[] = "designer_plugin_test";
  static char* argv[] = {name, nullptr};
  // Never deleted: Designer's core, a child of the application, must not
  // go down with the program's static objects.
  static QApplication* app = nullptr;
  if (app == nullptr) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Designer's core finds the plugin where Designer looks: a "designer"
    // folder under Qt's plugin paths.
    const QDir plugins = QFileInfo(QStringLiteral(TORVELBUTTON_PLUGIN)).dir();
    setenv("QT_PLUGIN_PATH",
           QDir::cleanPath(plugins.absoluteFilePath(QStringLiteral(".."))).toUtf8().constData(), 1);
    app = new QApplication(argc, argv);
  }
  return *app;
}

using vx::support::MessageCatcher;

QDesignerCustomWidgetInterface* Plugin() {
  static QPluginLoader loader(QStringLiteral(TORVELBUTTON_PLUGIN));
  QObject* instance = loader.instance();
  EXPECT_NE(instance, nullptr) << loader.errorString().toStdString();
  return qobject_cast<QDesignerCustomWidgetInterface*>(instance);
}

QString Read(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return QString::fromUtf8(f.readAll());
}

// Designer's own core with a property editor, as the Designer program makes
// it.
QDesignerFormEditorInterface* Core() {
  static QDesignerFormEditorInterface* core = [] {
    QDesignerComponents::initializeResources();
    QDesignerFormEditorInterface* c = QDesignerComponents::createFormEditor(qApp);
    QDesignerComponents::initializePlugins(c);
    c->setPropertyEditor(QDesignerComponents::createPropertyEditor(c, nullptr));
    c->setWidgetBox(QDesignerComponents::createWidgetBox(c, nullptr));
    c->setObjectInspector(QDesignerComponents::createObjectInspector(c, nullptr));
    c->setActionEditor(QDesignerComponents::createActionEditor(c, nullptr));
    new QDesignerIntegration(c, qApp);
    return c;
  }();
  return core;
}

// An empty form in Designer's form editor, inside a window as Designer shows
// its forms.
class DesignerForm {
 public:
  DesignerForm() {
    workbench_.resize(400, 300);
    forms_ = Core()->formWindowManager();
    fw_ = forms_->createFormWindow(&workbench_);
    forms_->addFormWindow(fw_);
    fw_->setContents(QStringLiteral(
        "<ui version=\"4.0\"><class>Form</class><widget class=\"QWidget\" name=\"Form\">"
        "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>300</width>"
        "<height>200</height></rect></property></widget></ui>"));
    fw_->resize(300, 200);
  }
  ~DesignerForm() { forms_->removeFormWindow(fw_); }
  QWidget* Container() const { return fw_->mainContainer(); }
  void Show() {
    workbench_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&workbench_));
  }

 private:
  QWidget workbench_;
  QDesignerFormWindowManagerInterface* forms_;
  QDesignerFormWindowInterface* fw_;
};

class DesignerPlugin : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
  void TearDown() override { QCoreApplication::processEvents(); }
};

TEST_F(DesignerPlugin, DescribesTheButtonForTheWidgetBox) {
  QDesignerCustomWidgetInterface* p = Plugin();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name(), QStringLiteral("TorvelButtonWidget"));
  EXPECT_EQ(p->group(), QStringLiteral("Vettrix"));
  EXPECT_FALSE(p->icon().isNull());
  EXPECT_EQ(p->includeFile(), QStringLiteral("torvelbutton/torvelbuttonwidget.h"));
  EXPECT_FALSE(p->isContainer());
  EXPECT_TRUE(p->domXml().contains(QStringLiteral("class=\"TorvelButtonWidget\"")));
  EXPECT_FALSE(p->toolTip().isEmpty());
}

TEST_F(DesignerPlugin, DesignTimeRulesInDesignersCore) {
  QDesignerCustomWidgetInterface* p = Plugin();
  ASSERT_NE(p, nullptr);
  p->initialize(Core());
  ASSERT_TRUE(p->isInitialized());

  // A button dropped on a form: design mode, its name as the caption.
  DesignerForm form;
  auto* b = qobject_cast<TorvelButtonWidget*>(p->createWidget(form.Container()));
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->designMode());
  b->setObjectName(QStringLiteral("torvelButton_2"));
  b->setGeometry(10, 10, 100, 30);
  form.Show();
  EXPECT_EQ(b->caption(), QStringLiteral("torvelButton_2"));

  // The stored keys of an assignment, in the order the rules give them.
  QSignalSpy keys(b, &TorvelButtonWidget::storedPropertyChanged);
  b->setBackColor(QColor(0x10, 0x20, 0x30));
  std::vector<std::string> got;
  for (const auto& args : keys) got.push_back(args[0].toString().toStdString());
  EXPECT_EQ(got, (std::vector<std::string>{"COLTYPE", "FCOL", "FCOLO", "BCOL"}));
  EXPECT_EQ(b->colorScheme(), TorvelButtonWidget::CustomColors);

  // A gradient colour on a look without gradients is refused with a message.
  b->setButtonType(TorvelButtonWidget::WindowsXP);
  {
    MessageCatcher catcher;
    b->setGradientStartColor(QColor(1, 2, 3));
    EXPECT_EQ(catcher.texts,
              std::vector<std::string>{"This option is not available for Windowx XP or Machintosh "
                                       "style buttons"});
  }
  EXPECT_EQ(b->gradientStartColor(), QColor(0, 0, 0));
}

TEST_F(DesignerPlugin, RefusedSchemeChangeOnAnOldPlatformShowsTheMessage) {
  QDesignerCustomWidgetInterface* p = Plugin();
  ASSERT_NE(p, nullptr);
  p->initialize(Core());
  setenv("TORVELBUTTON_PLATFORM_VERSION", "2.4.0", 1);
  DesignerForm form;
  auto* b = qobject_cast<TorvelButtonWidget*>(p->createWidget(form.Container()));
  unsetenv("TORVELBUTTON_PLATFORM_VERSION");
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->designMode());
  form.Show();
  QSignalSpy keys(b, &TorvelButtonWidget::storedPropertyChanged);
  MessageCatcher catcher;
  for (const auto scheme : {TorvelButtonWidget::CustomColors, TorvelButtonWidget::FixedGrey}) {
    ASSERT_TRUE(b->setProperty("colorScheme", QVariant::fromValue(scheme)));
  }
  EXPECT_EQ(catcher.texts, (std::vector<std::string>{kPlatformMessage, kPlatformMessage}));
  EXPECT_EQ(b->colorScheme(), TorvelButtonWidget::SystemColors);
  EXPECT_EQ(keys.size(), 0);
}

TEST_F(DesignerPlugin, FormEditedInDesignerLoadsAtRunTimeWithEveryProperty) {
  QDesignerCustomWidgetInterface* p = Plugin();
  ASSERT_NE(p, nullptr);
  p->initialize(Core());
  QDesignerFormWindowManagerInterface* forms = Core()->formWindowManager();
  // Designer shows its forms inside its own window.
  QWidget workbench;
  workbench.resize(400, 300);
  QDesignerFormWindowInterface* fw = forms->createFormWindow(&workbench);
  ASSERT_NE(fw, nullptr);
  forms->addFormWindow(fw);
  const QString data = QStringLiteral(VETTRIX_SOURCE_DIR "/tests/button/designer/data");
  fw->setFileName(data + QStringLiteral("/button.ui"));
  ASSERT_TRUE(fw->setContents(Read(data + QStringLiteral("/button.ui"))));
  fw->setDirty(false);
  fw->resize(400, 300);
  workbench.show();
  auto* b = fw->mainContainer()->findChild<TorvelButtonWidget*>(QStringLiteral("checkButton"));
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&workbench));
  EXPECT_TRUE(b->designMode());
  // Loaded as stored, not through the assignments' rules.
  EXPECT_EQ(b->buttonType(), TorvelButtonWidget::Etched);
  EXPECT_EQ(b->colorScheme(), TorvelButtonWidget::CustomColors);
  EXPECT_FALSE(fw->isDirty());

  // An edit through Designer's cursor (as the property editor makes it):
  // the rules switch the scheme and the form is modified.
  fw->selectWidget(b, true);
  fw->cursor()->setProperty(QStringLiteral("gradientStopColor"), QColor(0, 0, 200));
  EXPECT_TRUE(fw->isDirty());
  EXPECT_EQ(b->colorScheme(), TorvelButtonWidget::CustomGradient);
  // A refused value springs back.
  fw->cursor()->setProperty(QStringLiteral("iconSize"), 9);
  EXPECT_EQ(b->iconSize(), TorvelButtonWidget::Icon24);

  // The form Designer saves holds every stored property; a program that
  // loads it gets exactly that button.
  const QString saved = fw->contents();
  // Also the values no edit touched, so that the form never depends on
  // defaults that may change.
  for (const char* name : {"optionButton", "value", "gradientStartColor", "buttonStyle"}) {
    EXPECT_TRUE(saved.contains(QStringLiteral("name=\"%1\"").arg(QLatin1String(name)))) << name;
  }
  const QByteArray designed = b->storedProperties();
  QUiLoader loader;
  loader.clearPluginPaths();
  loader.addPluginPath(QFileInfo(QStringLiteral(TORVELBUTTON_PLUGIN)).absolutePath());
  loader.setWorkingDirectory(QDir(data));
  QByteArray bytes = saved.toUtf8();
  QBuffer buffer(&bytes);
  std::unique_ptr<QWidget> loaded(loader.load(&buffer));
  ASSERT_NE(loaded, nullptr) << loader.errorString().toStdString();
  auto* run = loaded->findChild<TorvelButtonWidget*>(QStringLiteral("checkButton"));
  ASSERT_NE(run, nullptr);
  EXPECT_FALSE(run->designMode());
  EXPECT_EQ(Json::parse(run->storedProperties().toStdString()),
            Json::parse(designed.toStdString()));
  EXPECT_EQ(run->colorScheme(), TorvelButtonWidget::CustomGradient);
  EXPECT_FALSE(run->icon().isNull());
  forms->removeFormWindow(fw);
}

TEST_F(DesignerPlugin, UiLoaderGivesEveryPropertyOfTheFile) {
  QUiLoader loader;
  loader.clearPluginPaths();
  loader.addPluginPath(QFileInfo(QStringLiteral(TORVELBUTTON_PLUGIN)).absolutePath());
  const QString data = QStringLiteral(VETTRIX_SOURCE_DIR "/tests/button/designer/data");
  loader.setWorkingDirectory(QDir(data));
  QFile file(data + QStringLiteral("/button.ui"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::unique_ptr<QWidget> form(loader.load(&file));
  ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
  auto* b = form->findChild<TorvelButtonWidget*>(QStringLiteral("checkButton"));
  ASSERT_NE(b, nullptr);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

  Json stored = Json::parse(b->storedProperties().toStdString());
  ASSERT_TRUE(stored.contains("btnicon"));
  stored.erase("btnicon");
  const Json expected = Json::parse(Read(data + QStringLiteral("/button.json")).toStdString());
  EXPECT_EQ(stored, expected);
  QImage icon(data + QStringLiteral("/icon.png"));
  EXPECT_EQ(b->icon().toImage().convertToFormat(QImage::Format_ARGB32),
            icon.convertToFormat(QImage::Format_ARGB32));
  EXPECT_EQ(b->x(), 10);
  EXPECT_EQ(b->width(), 120);

  // A form without captionSmoothing (the one above) has the default; one
  // that names it gets it.
  EXPECT_EQ(b->captionSmoothing(), TorvelButtonWidget::Standard);
  QString ui = Read(data + QStringLiteral("/button.ui"));
  const QString anchor = QStringLiteral("<property name=\"captionStyle\">");
  ASSERT_TRUE(ui.contains(anchor));
  ui.replace(anchor, QStringLiteral("<property name=\"captionSmoothing\">"
                                    "<enum>TorvelButtonWidget::Full</enum></property>") +
                         anchor);
  QByteArray bytes = ui.toUtf8();
  QBuffer buffer(&bytes);
  std::unique_ptr<QWidget> full(loader.load(&buffer));
  ASSERT_NE(full, nullptr) << loader.errorString().toStdString();
  auto* fb = full->findChild<TorvelButtonWidget*>(QStringLiteral("checkButton"));
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(fb->captionSmoothing(), TorvelButtonWidget::Full);
  EXPECT_EQ(Json::parse(fb->storedProperties().toStdString())["captionsmoothing"], 2);
}

}  // namespace
