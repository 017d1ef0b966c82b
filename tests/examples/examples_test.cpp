// The examples against the installed package: install into a temporary
// prefix, configure each example with CMAKE_PREFIX_PATH only, build it, run
// it offscreen, and compare what it shows with the golden picture.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/examples/example_build.h"

namespace {

using vx::examples::Execute;
using vx::examples::Outcome;

const QString kSource = QStringLiteral(VETTRIX_SOURCE_DIR);

class Examples : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    ASSERT_TRUE(dir_->isValid());
    env_ = new QProcessEnvironment(vx::examples::ExampleEnvironment());
    for (const char* component :
         {"libtorvelbutton", "libtorvelbutton-dev", "torvelbutton-designer"}) {
      const Outcome install =
          Execute(QStringLiteral(VETTRIX_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(VETTRIX_BUILD_DIR),
                   QStringLiteral("--prefix"), Prefix(), QStringLiteral("--component"),
                   QString::fromLatin1(component)},
                  *env_);
      ASSERT_EQ(install.status, 0) << install.output << install.errors;
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete env_;
  }
  static QString Prefix() { return dir_->filePath(QStringLiteral("prefix")); }

  // Configures and builds examples/`name`; returns the program.
  static QString Build(const QString& name) {
    return vx::examples::BuildExample(name, Prefix(),
                                      dir_->filePath(QStringLiteral("build-") + name), *env_,
                                      QStringLiteral(VETTRIX_EXAMPLE_LINK_FLAGS));
  }

  static QTemporaryDir* dir_;
  static QProcessEnvironment* env_;
};

QTemporaryDir* Examples::dir_ = nullptr;
QProcessEnvironment* Examples::env_ = nullptr;

TEST_F(Examples, PackageHoldsLibraryHeadersCMakeAndPkgConfigFiles) {
  const QDir prefix(Prefix());
  const QStringList libs = QDir(Prefix()).entryList({QStringLiteral("lib*")}, QDir::Dirs);
  ASSERT_FALSE(libs.isEmpty());
  EXPECT_TRUE(prefix.exists(QStringLiteral("include/torvelbutton/torvelbuttonwidget.h")));
  EXPECT_TRUE(prefix.exists(QStringLiteral("include/torvelbutton/version.h")));
  // No header of the inside goes with it.
  EXPECT_FALSE(prefix.exists(QStringLiteral("include/button")));
  QProcess find;
  find.start(QStringLiteral("find"), {Prefix(), QStringLiteral("-name"), QStringLiteral("*")});
  ASSERT_TRUE(find.waitForFinished());
  const QString files = QString::fromUtf8(find.readAll());
  EXPECT_TRUE(files.contains(QStringLiteral("/libtorvelbutton.so.1\n"))) << files.toStdString();
  EXPECT_TRUE(files.contains(QStringLiteral("/libtorvelbutton.so\n")));
  EXPECT_TRUE(files.contains(QStringLiteral("/cmake/TorvelButton/TorvelButtonConfig.cmake\n")));
  EXPECT_TRUE(
      files.contains(QStringLiteral("/cmake/TorvelButton/TorvelButtonConfigVersion.cmake\n")));
  EXPECT_TRUE(
      files.contains(QStringLiteral("/qt6/plugins/designer/libtorvelbutton_designer.so\n")));
  EXPECT_TRUE(files.contains(QStringLiteral("/pkgconfig/torvelbutton.pc\n")));

  // pkg-config finds the package from its place.
  const qsizetype at = files.indexOf(QStringLiteral("/pkgconfig/torvelbutton.pc"));
  const QString pc_dir = files.left(at + 10).section(QLatin1Char('\n'), -1);
  vx::examples::ExpectPkgConfigFindsPrefix(pc_dir, Prefix(), *env_);
}

TEST_F(Examples, MinimalExampleShowsTheGoldenPicture) {
  vx::examples::ExpectMinimalShowsGoldenPicture(
      Build(QStringLiteral("minimal")), dir_->filePath(QStringLiteral("minimal.png")), *env_,
      QStringLiteral(VETTRIX_BUILD_DIR "/minimal-actual.png"));
}

TEST_F(Examples, FormCompiledByUicGivesTheButtonOfTheForm) {
  const QString program = Build(QStringLiteral("designer_form"));
  const Outcome run = Execute(program, {QStringLiteral("--properties")}, *env_);
  ASSERT_EQ(run.status, 0) << run.output << run.errors;
  const auto got = nlohmann::json::parse(run.output, nullptr, false);
  ASSERT_FALSE(got.is_discarded()) << run.output;
  QFile f(kSource + QStringLiteral("/tests/examples/data/designer_form.json"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(got, nlohmann::json::parse(f.readAll().toStdString()));
}

// The README's program and its CMakeLists.txt, copied out as a reader copies
// them, build against the installed package.
TEST_F(Examples, ReadmeProgramBuildsWithTheReadmesCMakeLists) {
  QFile readme(kSource + QStringLiteral("/README.md"));
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(readme.readAll());
  const qsizetype section = text.indexOf(QStringLiteral("## Using the button in your program"));
  ASSERT_GE(section, 0);
  const auto block = [&](const QString& fence) {
    const QString open = QStringLiteral("```") + fence + QLatin1Char('\n');
    const qsizetype start = text.indexOf(open, section);
    if (start < 0) return QString();
    const qsizetype body = start + open.size();
    const qsizetype end = text.indexOf(QStringLiteral("\n```"), body);
    return end < 0 ? QString() : text.mid(body, end - body + 1);
  };
  const QString program = block(QStringLiteral("cpp"));
  const QString lists = block(QStringLiteral("cmake"));
  ASSERT_TRUE(program.contains(QStringLiteral("int main"))) << program.toStdString();
  ASSERT_TRUE(lists.contains(QStringLiteral("project("))) << lists.toStdString();

  const QString source = dir_->filePath(QStringLiteral("readme"));
  ASSERT_TRUE(QDir().mkpath(source));
  for (const auto& [name, body] : {std::pair{QStringLiteral("main.cpp"), program},
                                   std::pair{QStringLiteral("CMakeLists.txt"), lists}}) {
    QFile f(source + QLatin1Char('/') + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(body.toUtf8());
  }
  const QString build = dir_->filePath(QStringLiteral("build-readme"));
  QStringList configure{QStringLiteral("-S"),
                        source,
                        QStringLiteral("-B"),
                        build,
                        QStringLiteral("-G"),
                        QStringLiteral("Ninja"),
                        QStringLiteral("-DCMAKE_PREFIX_PATH=") + Prefix()};
  if (!QStringLiteral(VETTRIX_EXAMPLE_LINK_FLAGS).isEmpty()) {
    configure << QStringLiteral("-DCMAKE_EXE_LINKER_FLAGS=" VETTRIX_EXAMPLE_LINK_FLAGS);
  }
  const Outcome c = Execute(QStringLiteral(VETTRIX_CMAKE), configure, *env_);
  ASSERT_EQ(c.status, 0) << c.output << c.errors;
  const Outcome b =
      Execute(QStringLiteral(VETTRIX_CMAKE), {QStringLiteral("--build"), build}, *env_);
  ASSERT_EQ(b.status, 0) << b.output << b.errors;
  EXPECT_TRUE(QFile::exists(build + QStringLiteral("/hello")));

  // The plugin folder the README tells Designer of holds the installed plugin.
  const QString key = QStringLiteral("QT_PLUGIN_PATH=PREFIX/");
  const qsizetype at = text.indexOf(key, section);
  ASSERT_GE(at, 0);
  const QString folder = text.mid(at + key.size()).section(QLatin1Char(' '), 0, 0);
  EXPECT_TRUE(QFile::exists(Prefix() + QLatin1Char('/') + folder +
                            QStringLiteral("/designer/libtorvelbutton_designer.so")))
      << folder.toStdString();
}

}  // namespace
