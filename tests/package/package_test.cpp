// The Debian package made from this build: its name, its computed
// dependencies, what it holds, and its programs run from the unpacked tree.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"

namespace {

namespace fs = std::filesystem;
namespace gdi = vx::gdi;
using vx::Surface;

const fs::path kSource = VETTRIX_SOURCE_DIR;
const fs::path kBuild = VETTRIX_BUILD_DIR;
const std::string kVersion = VETTRIX_CMAKE_VERSION;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The package, made and unpacked once for all tests.
class Package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vettrix-package-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = new fs::path(pattern);
    const Outcome arch = Shell("dpkg --print-architecture");
    ASSERT_EQ(arch.status, 0) << arch.err;
    arch_ = new std::string(arch.out.substr(0, arch.out.find('\n')));

    const Outcome cpack = Shell("cd " + Quote(kBuild.string()) + " && cpack -G DEB -B " +
                                Quote((*dir_ / "out").string()));
    ASSERT_EQ(cpack.status, 0) << cpack.out << cpack.err;
    for (const auto& entry : fs::directory_iterator(*dir_ / "out")) {
      if (entry.path().extension() == ".deb") debs_.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(debs_.size(), 1u) << cpack.out;
    deb_ = new fs::path(*dir_ / "out" / debs_.front());
    const Outcome unpack =
        Shell("dpkg-deb -x " + Quote(deb_->string()) + " " + Quote(Root().string()));
    ASSERT_EQ(unpack.status, 0) << unpack.err;
  }
  static void TearDownTestSuite() {
    if (dir_ != nullptr) fs::remove_all(*dir_);
  }
  void SetUp() override {
    ASSERT_NE(deb_, nullptr) << "the package was not made";
    ASSERT_TRUE(fs::exists(*deb_));
  }

  static fs::path Root() { return *dir_ / "root"; }

  static Outcome Shell(const std::string& command) {
    static int count = 0;
    const fs::path out = *dir_ / ("out." + std::to_string(++count));
    const fs::path err = *dir_ / ("err." + std::to_string(count));
    const std::string line =
        "(" + command + ") >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int raw = std::system(line.c_str());
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }

  // A program of the unpacked package, without the build's programs on PATH.
  static Outcome Unpacked(const std::string& program, const std::string& args,
                          const std::string& env = "") {
    return Shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " " +
                 Quote((Root() / "usr/bin" / program).string()) + " " + args);
  }

  static std::string Field(const std::string& control, const std::string& name) {
    const std::string key = "\n " + name + ": ";
    const auto at = control.find(key);
    if (at == std::string::npos) return "";
    const auto start = at + key.size();
    return control.substr(start, control.find('\n', start) - start);
  }

  static inline fs::path* dir_ = nullptr;
  static inline fs::path* deb_ = nullptr;
  static inline std::string* arch_ = nullptr;
  static inline std::vector<std::string> debs_;
};

TEST_F(Package, IsNamedForTheVersionAndArchitecture) {
  EXPECT_EQ(debs_.front(), "vettrix_" + kVersion + "_" + *arch_ + ".deb");
  const Outcome info = Shell("dpkg-deb -I " + Quote(deb_->string()));
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(Field(info.out, "Package"), "vettrix");
  EXPECT_EQ(Field(info.out, "Version"), kVersion);
  EXPECT_EQ(Field(info.out, "Architecture"), *arch_);
  std::cout << "package " << debs_.front() << ", " << fs::file_size(*deb_) << " bytes\n";
}

TEST_F(Package, DependsOnWhatItsProgramsLink) {
  const Outcome info = Shell("dpkg-deb -I " + Quote(deb_->string()));
  ASSERT_EQ(info.status, 0) << info.err;
  const std::string depends = Field(info.out, "Depends");
  std::cout << "Depends: " << depends << "\n";
  // Computed by dpkg-shlibdeps, so each comes with the least version the
  // linked symbols need.
  for (const char* library :
       {"libc6 (>= ", "libstdc++6 (>= ", "libcurl4 (>= ", "libqt6widgets6 (>= ", "libqt6gui6 (>= ",
        "libqt6core6 (>= ", "libpng16-16 (>= ", "libfreetype6 (>= ", "libfontconfig1 (>= "}) {
    EXPECT_NE(depends.find(library), std::string::npos) << library << " missing in " << depends;
  }
  EXPECT_NE(Field(info.out, "Recommends").find("fonts-liberation"), std::string::npos);
}

TEST_F(Package, HoldsProgramsDesktopEntryPagesAndCompletions) {
  for (const char* file :
       {"usr/bin/vettrix", "usr/bin/torvelbutton", "usr/libexec/vettrix/vettrix-window",
        "usr/share/applications/vettrix.desktop", "usr/share/icons/hicolor/48x48/apps/vettrix.png",
        "usr/share/man/man1/vettrix.1.gz", "usr/share/man/man1/torvelbutton.1.gz",
        "usr/share/bash-completion/completions/vettrix",
        "usr/share/bash-completion/completions/torvelbutton",
        "usr/share/doc/vettrix/examples/sample.html"}) {
    EXPECT_TRUE(fs::is_regular_file(Root() / file)) << file;
  }
  // The programs and nothing of the build besides: no tests, no benchmarks.
  int programs = 0;
  for (const auto& entry : fs::directory_iterator(Root() / "usr/bin")) {
    ++programs;
    EXPECT_TRUE(entry.path().filename() == "vettrix" || entry.path().filename() == "torvelbutton")
        << entry.path();
  }
  EXPECT_EQ(programs, 2);
  EXPECT_FALSE(fs::exists(Root() / "usr/local"));
  EXPECT_NE(ReadFile(Root() / "usr/share/applications/vettrix.desktop").find("\nExec=vettrix\n"),
            std::string::npos);
}

TEST_F(Package, UnpackedVettrixChecksTheSamplePage) {
  const fs::path sample = Root() / "usr/share/doc/vettrix/examples/sample.html";
  EXPECT_EQ(ReadFile(sample), ReadFile(kSource / "samples/sample.html"));
  const Outcome r = Unpacked("vettrix", "check " + Quote(sample.string()));
  EXPECT_EQ(r.status, 1) << "findings expected: " << r.err;
  EXPECT_NE(r.out.find("Scripting\tThis poses a possible threat of malicious scripting.\n"),
            std::string::npos)
      << r.out;
  // Rule for rule what the build's own program finds.
  const Outcome built =
      Shell(Quote((kBuild / "bin/vettrix").string()) + " check " + Quote(sample.string()));
  EXPECT_EQ(r.out, built.out);
}

TEST_F(Package, UnpackedVettrixStartsItsOwnWindowProgram) {
  // The window program under libexec answers for a form file it cannot read;
  // without it, vettrix would say that it is not installed.
  const Outcome r =
      Unpacked("vettrix", "--form /nonexistent/form.json", "QT_QPA_PLATFORM=offscreen");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("/nonexistent/form.json"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("not installed"), std::string::npos) << r.err;
}

TEST_F(Package, UnpackedTorvelbuttonDrawsTheWindowsStoredButton) {
  const fs::path out = *dir_ / "cmdcheck.png";
  const Outcome r =
      Unpacked("torvelbutton", "render --props " +
                                   Quote((kSource / "button/model/data/cmdcheck.json").string()) +
                                   " -o " + Quote(out.string()));
  ASSERT_EQ(r.status, 0) << r.err;
  Surface got, want;
  gdi::Mask got_clear, want_clear;
  std::string error;
  ASSERT_TRUE(gdi::ReadPng(out.string(), got, &got_clear, &error)) << error;
  const fs::path golden = kSource / "tests/button/render/golden/cmdcheck.png";
  ASSERT_TRUE(gdi::ReadPng(golden.string(), want, &want_clear, &error)) << error;
  EXPECT_EQ(got.width(), 89);
  EXPECT_EQ(got.height(), 19);
  ASSERT_EQ(got.width(), want.width());
  ASSERT_EQ(got.height(), want.height());
  int differ = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) differ += got.at(x, y) != want.at(x, y);
  }
  EXPECT_EQ(differ, 0) << "pixels differ from " << golden;
  EXPECT_TRUE(got_clear == want_clear);
}

TEST_F(Package, UnpackedProgramsTellTheProjectVersion) {
  const Outcome vettrix = Unpacked("vettrix", "--version");
  EXPECT_EQ(vettrix.status, 0);
  EXPECT_EQ(vettrix.out.substr(0, vettrix.out.find('\n')), "vettrix " + kVersion);
  EXPECT_NE(vettrix.out.find("\nlibcurl "), std::string::npos);
  const Outcome tool = Unpacked("torvelbutton", "--version");
  EXPECT_EQ(tool.status, 0);
  EXPECT_EQ(tool.out, "torvelbutton " + kVersion + "\n");
}

TEST_F(Package, ManualPagesShowWithoutWarnings) {
  for (const char* page : {"vettrix", "torvelbutton"}) {
    const fs::path file = Root() / "usr/share/man/man1" / (std::string(page) + ".1.gz");
    const Outcome groff = Shell("zcat " + Quote(file.string()) + " | groff -ww -z -man");
    EXPECT_EQ(groff.status, 0) << page;
    EXPECT_EQ(groff.err, "") << page;
    const Outcome man = Shell("MANWIDTH=80 man --warnings -l " + Quote(file.string()));
    EXPECT_EQ(man.err, "") << page;
    EXPECT_NE(man.out.find(page), std::string::npos);
  }
}

}  // namespace
