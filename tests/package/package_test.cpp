// The Debian packages made from this build: their names, their computed
// dependencies, what they hold, the programs run from the unpacked tree, and
// a program built against the unpacked button library.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcessEnvironment>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "tests/examples/example_build.h"

#include "tests/support/files.h"
#include "tests/support/run.h"

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;
namespace gdi = vx::gdi;
using vx::Surface;

const fs::path kSource = VETTRIX_SOURCE_DIR;
const fs::path kBuild = VETTRIX_BUILD_DIR;
const std::string kVersion = VETTRIX_CMAKE_VERSION;
const std::string kLibraryVersion = TORVELBUTTON_VERSION;
const std::string kLibDir = VETTRIX_INSTALL_LIBDIR;  // lib/<multiarch triplet>

using vx::support::Outcome;

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
      if (entry.path().extension() != ".deb") continue;
      debs_.push_back(entry.path().filename().string());
      const Outcome name = Shell("dpkg-deb -f " + Quote(entry.path().string()) + " Package");
      ASSERT_EQ(name.status, 0) << name.err;
      packages_[name.out.substr(0, name.out.find('\n'))] = entry.path();
    }
    std::sort(debs_.begin(), debs_.end());
    ASSERT_EQ(packages_.count("vettrix"), 1u) << cpack.out;
    deb_ = new fs::path(packages_["vettrix"]);
    const Outcome unpack =
        Shell("dpkg-deb -x " + Quote(deb_->string()) + " " + Quote(Root().string()));
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    // The button library as a developer gets it: runtime and development
    // package in one root of their own, nothing of the program's.
    for (const char* package : {"libtorvelbutton1", "libtorvelbutton-dev"}) {
      ASSERT_EQ(packages_.count(package), 1u) << package << " not made: " << cpack.out;
      const Outcome lib = Shell("dpkg-deb -x " + Quote(packages_[package].string()) + " " +
                                Quote(LibraryRoot().string()));
      ASSERT_EQ(lib.status, 0) << lib.err;
    }
  }
  static void TearDownTestSuite() {
    if (dir_ != nullptr) fs::remove_all(*dir_);
  }
  void SetUp() override {
    ASSERT_NE(deb_, nullptr) << "the package was not made";
    ASSERT_TRUE(fs::exists(*deb_));
  }

  static fs::path Root() { return *dir_ / "root"; }
  static fs::path LibraryRoot() { return *dir_ / "library-root"; }

  static std::string Info(const std::string& package) {
    const Outcome info = Shell("dpkg-deb -I " + Quote(packages_.at(package).string()));
    EXPECT_EQ(info.status, 0) << info.err;
    return info.out;
  }

  // The files of a package as `dpkg-deb -c` lists them: path (without the
  // leading "."), mode and owner, and link target.
  struct Entry {
    std::string mode;
    std::string owner;
    std::string target;
  };
  static std::map<std::string, Entry> Contents(const std::string& package) {
    const Outcome list = Shell("dpkg-deb -c " + Quote(packages_.at(package).string()));
    EXPECT_EQ(list.status, 0) << list.err;
    std::map<std::string, Entry> files;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      Entry e;
      std::string size, date, time, path, arrow;
      words >> e.mode >> e.owner >> size >> date >> time >> path >> arrow >> e.target;
      if (path.rfind("./", 0) == 0) path.erase(0, 1);
      if (path.size() > 1 && path.back() == '/') path.pop_back();
      files[path] = e;
    }
    return files;
  }

  static Outcome Shell(const std::string& command) { return vx::support::Shell(command, *dir_); }

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
  static inline std::map<std::string, fs::path> packages_;  // by package name
};

TEST_F(Package, AllPackagesAreNamedForTheirVersionAndArchitecture) {
  const std::vector<std::string> want{
      "libtorvelbutton-dev_" + kLibraryVersion + "_" + *arch_ + ".deb",
      "libtorvelbutton1_" + kLibraryVersion + "_" + *arch_ + ".deb",
      "torvelbutton-designer-plugin_" + kLibraryVersion + "_" + *arch_ + ".deb",
      "vettrix_" + kVersion + "_" + *arch_ + ".deb"};
  EXPECT_EQ(debs_, want);
  const std::map<std::string, std::pair<std::string, std::string>> version_section{
      {"vettrix", {kVersion, "web"}},
      {"libtorvelbutton1", {kLibraryVersion, "libs"}},
      {"libtorvelbutton-dev", {kLibraryVersion, "libdevel"}},
      {"torvelbutton-designer-plugin", {kLibraryVersion, "devel"}}};
  for (const auto& [package, expected] : version_section) {
    ASSERT_EQ(packages_.count(package), 1u) << package;
    const std::string info = Info(package);
    EXPECT_EQ(Field(info, "Package"), package);
    EXPECT_EQ(Field(info, "Version"), expected.first) << package;
    EXPECT_EQ(Field(info, "Section"), expected.second) << package;
    EXPECT_EQ(Field(info, "Architecture"), *arch_) << package;
    EXPECT_NE(Field(info, "Description"), "") << package;
    std::cout << packages_[package].filename().string() << ", " << fs::file_size(packages_[package])
              << " bytes, Section: " << expected.second << "\n  Depends: " << Field(info, "Depends")
              << "\n";
    // Nothing outside /usr, all of it root's, nothing writable by others.
    for (const auto& [path, entry] : Contents(package)) {
      EXPECT_TRUE(path == "/" || path == "/usr" || path.rfind("/usr/", 0) == 0) << path;
      EXPECT_EQ(entry.owner, "root/root") << path;
      if (entry.mode[0] != 'l') {
        EXPECT_NE(entry.mode[8], 'w') << path << " " << entry.mode;
      }
    }
  }
}

TEST_F(Package, DependsOnWhatItsProgramsLink) {
  const std::string info = Info("vettrix");
  const std::string depends = Field(info, "Depends");
  // Computed by dpkg-shlibdeps, so each comes with the least version the
  // linked symbols need.
  for (const char* library :
       {"libc6 (>= ", "libstdc++6 (>= ", "libcurl4 (>= ", "libqt6widgets6 (>= ", "libqt6gui6 (>= ",
        "libqt6core6 (>= ", "libpng16-16 (>= ", "libfreetype6 (>= ", "libfontconfig1 (>= "}) {
    EXPECT_NE(depends.find(library), std::string::npos) << library << " missing in " << depends;
  }
  EXPECT_NE(Field(info, "Recommends").find("fonts-liberation"), std::string::npos);
  // The programs draw the button from the static libraries, not the shared one.
  EXPECT_EQ(depends.find("torvelbutton"), std::string::npos) << depends;
}

TEST_F(Package, LibraryPackageHoldsTheSonamedLibraryAlone) {
  const std::string lib = "/usr/" + kLibDir + "/libtorvelbutton.so";
  std::set<std::string> files;
  for (const auto& [path, entry] : Contents("libtorvelbutton1")) {
    // Every package's copyright and changelog aside.
    if (entry.mode[0] == 'd' || path.rfind("/usr/share/doc/libtorvelbutton1/", 0) == 0) continue;
    files.insert(path);
    if (path == lib + ".1") {
      EXPECT_EQ(entry.mode[0], 'l');
      EXPECT_EQ(entry.target, "libtorvelbutton.so." + kLibraryVersion);
    } else if (path == lib + "." + kLibraryVersion) {
      // Loaded, not run.
      EXPECT_EQ(entry.mode, "-rw-r--r--");
    }
  }
  EXPECT_EQ(files, (std::set<std::string>{lib + ".1", lib + "." + kLibraryVersion}));

  // Stripped; its SONAME names the package; its shlibs file tells packages
  // built against it what to depend on; ldconfig runs when it is installed
  // (through dpkg's trigger, TheLibraryRunsLdconfigThroughATrigger).
  const fs::path unpacked =
      LibraryRoot() / ("usr/" + kLibDir) / ("libtorvelbutton.so." + kLibraryVersion);
  const Outcome sections = Shell("readelf -S -d " + Quote(unpacked.string()));
  ASSERT_EQ(sections.status, 0) << "readelf: " << sections.err;
  EXPECT_EQ(sections.out.find(".debug_info"), std::string::npos);
  EXPECT_EQ(sections.out.find(".symtab"), std::string::npos);
  EXPECT_NE(sections.out.find("Library soname: [libtorvelbutton.so.1]"), std::string::npos);
  const fs::path control = *dir_ / "libtorvelbutton1.control";
  const Outcome extract = Shell("dpkg-deb -e " + Quote(packages_.at("libtorvelbutton1").string()) +
                                " " + Quote(control.string()));
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(ReadFile(control / "shlibs"),
            "libtorvelbutton 1 libtorvelbutton1 (>= " + kLibraryVersion + ")\n");
  EXPECT_EQ(ReadFile(control / "triggers"), "activate-noawait ldconfig\n");
  // Qt's and the C++ runtime's libraries, as computed, and nothing of the
  // program's.
  const std::string depends = Field(Info("libtorvelbutton1"), "Depends");
  for (const char* library : {"libc6 (>= ", "libstdc++6 (>= ", "libqt6widgets6 (>= "}) {
    EXPECT_NE(depends.find(library), std::string::npos) << library << " missing in " << depends;
  }
  EXPECT_EQ(depends.find("libcurl"), std::string::npos) << depends;
  EXPECT_EQ(depends.find("vettrix"), std::string::npos) << depends;
}

TEST_F(Package, DevelopmentPackageHoldsHeadersNamelinkCMakeAndPkgConfigFiles) {
  const auto files = Contents("libtorvelbutton-dev");
  const std::string lib = "/usr/" + kLibDir;
  for (const std::string& file :
       {std::string("/usr/include/torvelbutton/torvelbuttonwidget.h"),
        std::string("/usr/include/torvelbutton/version.h"), lib + "/libtorvelbutton.so",
        lib + "/cmake/TorvelButton/TorvelButtonConfig.cmake",
        lib + "/cmake/TorvelButton/TorvelButtonConfigVersion.cmake",
        lib + "/pkgconfig/torvelbutton.pc"}) {
    EXPECT_EQ(files.count(file), 1u) << file;
  }
  EXPECT_EQ(files.at(lib + "/libtorvelbutton.so").target, "libtorvelbutton.so.1");
  // The library itself is the runtime package's.
  EXPECT_EQ(files.count(lib + "/libtorvelbutton.so.1"), 0u);
  const std::string depends = Field(Info("libtorvelbutton-dev"), "Depends");
  EXPECT_NE(depends.find("libtorvelbutton1 (= " + kLibraryVersion + ")"), std::string::npos)
      << depends;
  EXPECT_NE(depends.find("qt6-base-dev"), std::string::npos) << depends;
}

TEST_F(Package, DesignerPluginDependsOnTheLibraryThroughItsShlibs) {
  const auto files = Contents("torvelbutton-designer-plugin");
  EXPECT_EQ(files.count("/usr/" + kLibDir + "/qt6/plugins/designer/libtorvelbutton_designer.so"),
            1u);
  const std::string depends = Field(Info("torvelbutton-designer-plugin"), "Depends");
  EXPECT_NE(depends.find("libtorvelbutton1 (>= " + kLibraryVersion + ")"), std::string::npos)
      << depends;
  EXPECT_NE(depends.find("libqt6designer6 (>= "), std::string::npos) << depends;
}

TEST_F(Package, MinimalExampleBuildsAndDrawsAgainstTheUnpackedLibrary) {
  namespace ex = vx::examples;
  const QString usr = QString::fromStdString((LibraryRoot() / "usr").string());
  QProcessEnvironment env = ex::ExampleEnvironment();
  const QString program =
      ex::BuildExample(QStringLiteral("minimal"), usr,
                       QString::fromStdString((*dir_ / "build-minimal").string()), env);
  ASSERT_FALSE(HasFailure());
  env.insert(QStringLiteral("LD_LIBRARY_PATH"),
             usr + QLatin1Char('/') + QString::fromStdString(kLibDir));
  // The library it loads is the unpacked one: the machine has none.
  const Outcome ldd = Shell("LD_LIBRARY_PATH=" + Quote(env.value("LD_LIBRARY_PATH").toStdString()) +
                            " ldd " + Quote(program.toStdString()));
  EXPECT_NE(ldd.out.find("libtorvelbutton.so.1 => " + (LibraryRoot() / "usr").string()),
            std::string::npos)
      << ldd.out;
  ex::ExpectMinimalShowsGoldenPicture(program,
                                      QString::fromStdString((*dir_ / "minimal.png").string()), env,
                                      QStringLiteral(VETTRIX_BUILD_DIR "/minimal-package.png"));
}

TEST_F(Package, PkgConfigFindsTheUnpackedLibrary) {
  const fs::path usr = LibraryRoot() / "usr";
  vx::examples::ExpectPkgConfigFindsPrefix(
      QString::fromStdString((usr / kLibDir / "pkgconfig").string()),
      QString::fromStdString(usr.string()), vx::examples::ExampleEnvironment());
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
  EXPECT_NE(ReadFile(Root() / "usr/share/applications/vettrix.desktop").find("\nExec=vettrix %U\n"),
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

// lintian on the four packages: no error but the placeholder maintainer
// address (set once, CPACK_PACKAGE_CONTACT in cmake/Packaging.cmake), and no
// warning that is not listed here with its reason.
TEST_F(Package, LintianFindsNoErrorButThePlaceholderAddress) {
  const Outcome where = Shell("command -v lintian");
  ASSERT_EQ(where.status, 0) << "lintian is not installed (scripts/deps.sh installs it)";
  std::string files;
  for (const auto& [name, path] : packages_) files += " " + Quote(path.string());
  const Outcome lint = Shell("lintian --no-cfg --tag-display-limit 0" + files);
  ASSERT_NE(lint.out + lint.err, "") << "lintian said nothing at all";
  ASSERT_EQ(lint.err.find("not a readable file"), std::string::npos) << lint.err;
  const std::set<std::string> allowed_errors = {"bogus-mail-host",
                                                "bogus-mail-host-in-debian-changelog"};
  const std::set<std::string> allowed_warnings = {};  // none remain
  std::istringstream lines(lint.out);
  int placeholder = 0;
  for (std::string line; std::getline(lines, line);) {
    // "E: package: tag details"
    if (line.size() < 3 || line[1] != ':') continue;
    const auto tag_at = line.find(": ", 3) + 2;
    const std::string tag = line.substr(tag_at, line.find(' ', tag_at) - tag_at);
    if (line[0] == 'E') {
      EXPECT_EQ(allowed_errors.count(tag), 1u) << line;
      EXPECT_NE(line.find("vettrix@localhost"), std::string::npos) << line;
      ++placeholder;
    } else if (line[0] == 'W') {
      EXPECT_EQ(allowed_warnings.count(tag), 1u) << line;
    }
  }
  EXPECT_EQ(placeholder, 8) << lint.out;  // maintainer and changelog, in each package
}

// Each package tells its licence in Debian's machine-readable format, with
// the licence text of LICENSE, and carries the changelog of its source.
TEST_F(Package, EachPackageCarriesCopyrightAndChangelog) {
  const std::string license = ReadFile(kSource / "LICENSE");
  ASSERT_NE(license.find("MIT License"), std::string::npos) << "LICENSE missing";
  ASSERT_NE(license.find("Copyright (c) 2026 The Vettrix developers"), std::string::npos);
  const std::string grant = license.substr(license.find("Permission is hereby granted"));
  for (const auto& [package, path] : packages_) {
    SCOPED_TRACE(package);
    const fs::path root = *dir_ / ("doc-" + package);
    ASSERT_EQ(Shell("dpkg-deb -x " + Quote(path.string()) + " " + Quote(root.string())).status, 0);
    const fs::path doc = root / "usr/share/doc" / package;
    const std::string copyright = ReadFile(doc / "copyright");
    ASSERT_EQ(
        copyright.rfind(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0),
        0u)
        << copyright;
    EXPECT_NE(
        copyright.find("\nFiles: *\nCopyright: 2026 The Vettrix developers\nLicense: Expat\n"),
        std::string::npos);
    // The licence paragraph, unfolded, is LICENSE's text.
    std::string text;
    std::istringstream body(copyright.substr(copyright.rfind("License: Expat\n") + 15));
    for (std::string line; std::getline(body, line);)
      text += line == " ." ? "\n" : line.substr(1) + "\n";
    EXPECT_EQ(text, grant);

    const Outcome changelog = Shell("zcat " + Quote((doc / "changelog.gz").string()) +
                                    " | dpkg-parsechangelog -l - -S Version");
    EXPECT_EQ(changelog.status, 0) << changelog.err;
    EXPECT_EQ(changelog.out, kVersion + "\n");  // the source's version, which the packages name
  }
}

// dpkg runs ldconfig for the library through a trigger; no maintainer script
// of its own does.
TEST_F(Package, TheLibraryRunsLdconfigThroughATrigger) {
  const Outcome control = Shell("cd " + Quote(dir_->string()) + " && rm -rf ctl && dpkg-deb -e " +
                                Quote(packages_.at("libtorvelbutton1").string()) + " ctl");
  ASSERT_EQ(control.status, 0) << control.err;
  EXPECT_EQ(ReadFile(*dir_ / "ctl/triggers"), "activate-noawait ldconfig\n");
  EXPECT_FALSE(fs::exists(*dir_ / "ctl/postinst"));
  EXPECT_FALSE(fs::exists(*dir_ / "ctl/postrm"));
  EXPECT_TRUE(fs::exists(*dir_ / "ctl/shlibs"));
}

// Software centres read the window's AppStream metainfo: it validates, and
// names the desktop entry and the version the package holds.
TEST_F(Package, AppStreamMetainfoValidates) {
  const fs::path metainfo = Root() / "usr/share/metainfo/org.vettrix.vettrix.metainfo.xml";
  ASSERT_TRUE(fs::is_regular_file(metainfo));
  ASSERT_EQ(Shell("command -v appstreamcli").status, 0)
      << "appstreamcli is not installed (scripts/deps.sh installs appstream)";
  const Outcome valid =
      Shell("appstreamcli validate --no-net --pedantic " + Quote(metainfo.string()));
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
  const std::string xml = ReadFile(metainfo);
  EXPECT_NE(xml.find("<launchable type=\"desktop-id\">vettrix.desktop</launchable>"),
            std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(Root() / "usr/share/applications/vettrix.desktop"));
  EXPECT_NE(xml.find("<release version=\"" + kVersion + "\""), std::string::npos);
  EXPECT_NE(xml.find("<project_license>MIT</project_license>"), std::string::npos);
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
