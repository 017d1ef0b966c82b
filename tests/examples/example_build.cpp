#include "tests/examples/example_build.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

namespace vx::examples {

namespace {

const QString kSource = QStringLiteral(VETTRIX_SOURCE_DIR);

// The value of `key` in a CMakeCache.txt, or an empty string.
QString CacheEntry(const QString& cache_file, const QString& key) {
  QFile f(cache_file);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QString line_start = key + QLatin1Char(':');
  for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
    if (line.startsWith(line_start)) return line.section(QLatin1Char('='), 1);
  }
  return {};
}

}  // namespace

Outcome Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  Outcome r;
  if (!p.waitForStarted(30000)) {
    r.errors = "cannot start " + program.toStdString();
    return r;
  }
  p.waitForFinished(600000);
  r.output = p.readAllStandardOutput().toStdString();
  r.errors = p.readAllStandardError().toStdString();
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return r;
}

QProcessEnvironment ExampleEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("CMAKE_PREFIX_PATH"));
  env.remove(QStringLiteral("PKG_CONFIG_PATH"));
  env.remove(QStringLiteral("LD_LIBRARY_PATH"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  // Qt keeps allocations for its lifetime; the examples are short.
  env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
  return env;
}

QString BuildExample(const QString& name, const QString& prefix, const QString& build,
                     const QProcessEnvironment& env, const QString& link_flags) {
  QStringList configure{QStringLiteral("-S"),
                        kSource + QStringLiteral("/examples/") + name,
                        QStringLiteral("-B"),
                        build,
                        QStringLiteral("-G"),
                        QStringLiteral("Ninja"),
                        QStringLiteral("-DCMAKE_PREFIX_PATH=") + prefix};
  if (!link_flags.isEmpty()) configure << QStringLiteral("-DCMAKE_EXE_LINKER_FLAGS=") + link_flags;
  const Outcome c = Execute(QStringLiteral(VETTRIX_CMAKE), configure, env);
  EXPECT_EQ(c.status, 0) << c.output << c.errors;
  // The package of the prefix, not one the machine or a user registry has.
  const QString found =
      CacheEntry(build + QStringLiteral("/CMakeCache.txt"), QStringLiteral("TorvelButton_DIR"));
  EXPECT_TRUE(
      QDir(found).canonicalPath().startsWith(QDir(prefix).canonicalPath() + QLatin1Char('/')))
      << "TorvelButton found in " << found.toStdString() << ", not under " << prefix.toStdString();
  const Outcome b = Execute(QStringLiteral(VETTRIX_CMAKE), {QStringLiteral("--build"), build}, env);
  EXPECT_EQ(b.status, 0) << b.output << b.errors;
  return build + QStringLiteral("/") + name;
}

void ExpectPkgConfigFindsPrefix(const QString& pc_dir, const QString& prefix,
                                const QProcessEnvironment& env) {
  QProcessEnvironment pc_env = env;
  pc_env.insert(QStringLiteral("PKG_CONFIG_PATH"), pc_dir);
  const Outcome flags = Execute(
      QStringLiteral("pkg-config"),
      {QStringLiteral("--cflags"), QStringLiteral("--libs"), QStringLiteral("torvelbutton")},
      pc_env);
  ASSERT_EQ(flags.status, 0) << "pkg-config: " << flags.errors;
  const QString root = QDir(prefix).canonicalPath();
  // Its first include folder and its library folder are the prefix's,
  // wherever the prefix is.
  const QStringList words =
      QString::fromStdString(flags.output)
          .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  ASSERT_FALSE(words.isEmpty());
  EXPECT_TRUE(words.front().startsWith(QStringLiteral("-I"))) << flags.output;
  const QString include = words.front().mid(2);
  EXPECT_EQ(QDir(include).canonicalPath(), root + QStringLiteral("/include")) << flags.output;
  EXPECT_TRUE(QFile::exists(include + QStringLiteral("/torvelbutton/torvelbuttonwidget.h")));
  QString lib_dir;
  for (const QString& word : words) {
    const QString dir = QDir(word.mid(2)).canonicalPath();
    if (word.startsWith(QStringLiteral("-L")) && dir.startsWith(root + QLatin1Char('/'))) {
      lib_dir = dir;
    }
  }
  EXPECT_TRUE(QFile::exists(lib_dir + QStringLiteral("/libtorvelbutton.so")))
      << "no -L to the library under the prefix: " << flags.output;
  EXPECT_TRUE(words.contains(QStringLiteral("-ltorvelbutton"))) << flags.output;
  const Outcome version =
      Execute(QStringLiteral("pkg-config"),
              {QStringLiteral("--modversion"), QStringLiteral("torvelbutton")}, pc_env);
  EXPECT_EQ(version.output, TORVELBUTTON_VERSION "\n");
}

void ExpectMinimalShowsGoldenPicture(const QString& program, const QString& shot,
                                     const QProcessEnvironment& env,
                                     const QString& keep_on_failure) {
  const Outcome run = Execute(program, {QStringLiteral("--screenshot"), shot}, env);
  ASSERT_EQ(run.status, 0) << run.output << run.errors;
  const QImage got = QImage(shot).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(got.isNull()) << "no picture in " << shot.toStdString();
  const QString golden_file = kSource + QStringLiteral("/tests/examples/data/minimal.png");
  const QImage golden = QImage(golden_file).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(golden.isNull()) << "no golden picture " << golden_file.toStdString();
  ASSERT_EQ(got.size(), golden.size());
  int differing = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) differing += got.pixel(x, y) != golden.pixel(x, y);
  }
  if (differing > 0) got.save(keep_on_failure);
  EXPECT_EQ(differing, 0) << "see " << keep_on_failure.toStdString();
}

}  // namespace vx::examples
