// The examples against the installed package: install into a temporary
// prefix, configure each example with CMAKE_PREFIX_PATH only, build it, run
// it offscreen, and compare what it shows with the golden picture.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <string>

namespace {

const QString kSource = QStringLiteral(VETTRIX_SOURCE_DIR);

struct Outcome {
  int status = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

Outcome Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  Outcome r;
  if (!p.waitForStarted(30000)) {
    r.output = "cannot start " + program.toStdString();
    return r;
  }
  p.waitForFinished(600000);
  r.output = p.readAllStandardOutput().toStdString();
  r.errors = p.readAllStandardError().toStdString();
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return r;
}

class Examples : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    ASSERT_TRUE(dir_->isValid());
    env_ = new QProcessEnvironment(QProcessEnvironment::systemEnvironment());
    // Nothing of the build may be found but through the prefix.
    env_->remove(QStringLiteral("CMAKE_PREFIX_PATH"));
    env_->remove(QStringLiteral("PKG_CONFIG_PATH"));
    env_->insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Qt keeps allocations for its lifetime; the examples are short.
    env_->insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    for (const char* component : {"libtorvelbutton", "libtorvelbutton-dev"}) {
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
    const QString build = dir_->filePath(QStringLiteral("build-") + name);
    QStringList configure{QStringLiteral("-S"),
                          kSource + QStringLiteral("/examples/") + name,
                          QStringLiteral("-B"),
                          build,
                          QStringLiteral("-G"),
                          QStringLiteral("Ninja"),
                          QStringLiteral("-DCMAKE_PREFIX_PATH=") + Prefix()};
    const QString flags = QStringLiteral(VETTRIX_EXAMPLE_LINK_FLAGS);
    if (!flags.isEmpty()) configure << QStringLiteral("-DCMAKE_EXE_LINKER_FLAGS=") + flags;
    const Outcome c = Execute(QStringLiteral(VETTRIX_CMAKE), configure, *env_);
    EXPECT_EQ(c.status, 0) << c.output << c.errors;
    const Outcome b =
        Execute(QStringLiteral(VETTRIX_CMAKE), {QStringLiteral("--build"), build}, *env_);
    EXPECT_EQ(b.status, 0) << b.output << b.errors;
    return build + QStringLiteral("/") + name;
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
  QProcessEnvironment env = *env_;
  const qsizetype at = files.indexOf(QStringLiteral("/pkgconfig/torvelbutton.pc"));
  const QString pc_dir = files.left(at + 10).section(QLatin1Char('\n'), -1);
  env.insert(QStringLiteral("PKG_CONFIG_PATH"), pc_dir);
  const Outcome flags = Execute(
      QStringLiteral("pkg-config"),
      {QStringLiteral("--cflags"), QStringLiteral("--libs"), QStringLiteral("torvelbutton")}, env);
  ASSERT_EQ(flags.status, 0) << flags.errors;
  // Its first include folder is the installed one, wherever the prefix is.
  const QString include =
      QString::fromStdString(flags.output).section(QLatin1Char(' '), 0, 0).mid(2);
  EXPECT_EQ(QDir(include).canonicalPath(),
            QDir(Prefix() + QStringLiteral("/include")).canonicalPath())
      << flags.output;
  EXPECT_NE(flags.output.find("-ltorvelbutton"), std::string::npos);
  const Outcome version =
      Execute(QStringLiteral("pkg-config"),
              {QStringLiteral("--modversion"), QStringLiteral("torvelbutton")}, env);
  EXPECT_EQ(version.output, "1.0.0\n");
}

TEST_F(Examples, MinimalExampleShowsTheGoldenPicture) {
  const QString program = Build(QStringLiteral("minimal"));
  const QString shot = dir_->filePath(QStringLiteral("minimal.png"));
  const Outcome run = Execute(program, {QStringLiteral("--screenshot"), shot}, *env_);
  ASSERT_EQ(run.status, 0) << run.output << run.errors;
  const QImage got = QImage(shot).convertToFormat(QImage::Format_RGB32);
  const QString golden_file = kSource + QStringLiteral("/tests/examples/data/minimal.png");
  const QImage golden = QImage(golden_file).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(golden.isNull()) << "no golden picture " << golden_file.toStdString();
  ASSERT_EQ(got.size(), golden.size());
  int differing = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) differing += got.pixel(x, y) != golden.pixel(x, y);
  }
  if (differing > 0) got.save(QStringLiteral(VETTRIX_BUILD_DIR "/minimal-actual.png"));
  EXPECT_EQ(differing, 0) << "see " VETTRIX_BUILD_DIR "/minimal-actual.png";
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

}  // namespace
