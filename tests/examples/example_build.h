// Building and running the examples against an installed or unpacked button
// library, as a developer does: shared by the examples test (a `cmake
// --install` prefix) and the package test (the unpacked Debian packages).
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace vx::examples {

struct Outcome {
  int status = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

Outcome Execute(const QString& program, const QStringList& args, const QProcessEnvironment& env);

// The environment the examples are built and run in: offscreen, and nothing
// of the build found but through the prefix given to BuildExample.
QProcessEnvironment ExampleEnvironment();

// Configures examples/`name` with CMAKE_PREFIX_PATH=`prefix` only, builds it
// in `build`, and returns the program. Fails the test (non-fatally) if a step
// fails or if the package was found anywhere but under `prefix`.
QString BuildExample(const QString& name, const QString& prefix, const QString& build,
                     const QProcessEnvironment& env, const QString& link_flags = {});

// Checks that pkg-config, given `pc_dir` (the folder of torvelbutton.pc), points
// into `prefix`: include and library folders there, the library's version.
void ExpectPkgConfigFindsPrefix(const QString& pc_dir, const QString& prefix,
                                const QProcessEnvironment& env);

// Runs the minimal example's `program`, has it save a picture of its window to
// `shot`, and compares that with the golden picture; on a difference the
// picture is kept as `keep_on_failure`.
void ExpectMinimalShowsGoldenPicture(const QString& program, const QString& shot,
                                     const QProcessEnvironment& env,
                                     const QString& keep_on_failure);

}  // namespace vx::examples
