// `vettrix check` run as a process against the files a hostile or careless
// command line names: device nodes, FIFOs, links, protected reports and
// FIFOs that never get a writer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/vettrix_run.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;

class CliFiles : public vx::clitest::VettrixRun {
 protected:
  // A device node like /dev/null (1,3) or /dev/full (1,7) in the test's
  // folder where we may make one; the system's own otherwise.
  std::string Device(const std::string& name, unsigned minor) {
    if (::geteuid() != 0) return minor == 3 ? "/dev/null" : "/dev/full";
    const std::string p = (dir_ / name).string();
    EXPECT_EQ(::mknod(p.c_str(), S_IFCHR | 0666, ::makedev(1, minor)), 0) << p;
    return p;
  }
  std::string Fifo(const std::string& name) {
    const std::string p = (dir_ / name).string();
    EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0) << p;
    return p;
  }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

TEST_F(CliFiles, OutputGoesIntoWhatTheNameIsWithoutReplacingIt) {
  const std::string page = Page("p.html", "<script>").string();

  // Devices stay devices; a full one is a failure naming it.
  const std::string null = Device("null", 3);
  EXPECT_EQ(Run({"check", "-o", null, page}).status, 1);
  EXPECT_TRUE(S_ISCHR(ModeOf(null)));
  const std::string full = Device("full", 7);
  const auto r = Run({"check", "-o", full, page});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("vettrix: cannot write " + full + ": No space left on device"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(S_ISCHR(ModeOf(full)));

  // A FIFO's reader gets the report.
  const std::string fifo = Fifo("report.fifo");
  std::string got;
  std::thread reader([&] { got = ReadFile(fifo); });
  EXPECT_EQ(Run({"check", "--json", "-o", fifo, page}).status, 1);
  reader.join();
  EXPECT_EQ(vx::clitest::JsonLines(got).size(), 1u) << got;
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));

  // A private report stays private; a link to it stays a link.
  const fs::path report = Page("report.txt", "old");
  ASSERT_EQ(::chmod(report.c_str(), 0600), 0);
  fs::create_symlink("report.txt", dir_ / "latest");
  EXPECT_EQ(Run({"check", "-o", "latest", page}).status, 1);
  EXPECT_TRUE(S_ISLNK(ModeOf((dir_ / "latest").string())));
  EXPECT_EQ(ModeOf(report.string()) & 07777, 0600u);
  EXPECT_NE(ReadFile(report).find("Scripting"), std::string::npos);

  // A pipe named by -o whose reader has gone is a write error, told by name.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  const std::string gone = "/dev/fd/" + std::to_string(ends[1]);
  const auto broken = Run({"check", "-o", gone, page});
  ::close(ends[1]);
  EXPECT_EQ(broken.status, 2);
  EXPECT_NE(broken.err.find("vettrix: cannot write " + gone + ": Broken pipe"), std::string::npos)
      << broken.err;

  // /dev/stdout is standard output itself, which here is a file.
  const auto out = Run({"check", "-o", "/dev/stdout", page});
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.out.find("Scripting"), std::string::npos) << out.err;
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos) << e.path();
  }
}

// A report that cannot be written whole (here the file size limit stops it
// as a full disk would) leaves the old report as it was, and no temporary.
TEST_F(CliFiles, AFailedReportLeavesTheOldOne) {
  std::vector<std::string> pages;
  for (int i = 0; i < 40; ++i) {
    pages.push_back(Page("p" + std::to_string(i) + ".html", "<script><form>").string());
  }
  const fs::path report = Page("report.jsonl", "the old report\n");
  std::string cmd = "cd " + Quote(dir_.string()) + " && trap '' XFSZ && ulimit -f 1 && " +
                    Quote(binary_.string()) + " check --json -o report.jsonl";
  for (const auto& p : pages) cmd.append(" ").append(Quote(p));
  cmd.append(" 2>err.txt");
  const int raw = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
  EXPECT_NE(ReadFile(dir_ / "err.txt").find("vettrix: cannot write report.jsonl: File too large"),
            std::string::npos)
      << ReadFile(dir_ / "err.txt");
  EXPECT_EQ(ReadFile(report), "the old report\n");
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos) << e.path();
  }
}

// A report in a folder the user may not write, the report itself writable,
// is rewritten in place with a note. As root, which may write anywhere, the
// run is made as nobody.
TEST_F(CliFiles, AReportInAFolderWeMayNotWriteIsRewrittenInPlace) {
  const std::string page = Page("p.html", "<script>").string();
  const fs::path report = Page("locked/report.txt", "old");
  ASSERT_EQ(::chmod(report.c_str(), 0666), 0);
  ASSERT_EQ(::chmod((dir_ / "locked").c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(page.c_str(), 0644), 0);
  const std::string as_user =
      ::geteuid() == 0 ? "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string cmd = "cd " + Quote(dir_.string()) + " && " + as_user +
                          Quote(binary_.string()) + " check -o locked/report.txt p.html 2>err.txt";
  const int raw = std::system(cmd.c_str());  // the redirection is the shell's, before setpriv
  const std::string err = ReadFile(dir_ / "err.txt");
  ASSERT_EQ(::chmod((dir_ / "locked").c_str(), 0755), 0);
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << err;
  EXPECT_NE(err.find("vettrix: note: locked/report.txt: no temporary file can be made in locked/"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("rewritten in place"), std::string::npos) << err;
  EXPECT_NE(ReadFile(report).find("Scripting"), std::string::npos);
}

// A FIFO without a writer, as a page or as a list, ends at the time-out with
// a reason; the other pages of the run are checked meanwhile.
TEST_F(CliFiles, FifosWithoutAWriterEndAtTheTimeOut) {
  const std::string a = Fifo("a.fifo"), b = Fifo("b.fifo");
  const std::string page = Page("p.html", "<form>").string();
  const auto r = Run({"check", "--json", "--timeout", "1", a, b, page});
  EXPECT_EQ(r.status, 2);
  const auto objects = r.JsonLines();
  ASSERT_EQ(objects.size(), 3u) << r.out;
  for (int i : {0, 1}) {
    EXPECT_EQ(objects[i]["ok"], false);
    EXPECT_EQ(objects[i]["error"], "timed out after 1 s reading a FIFO (see --timeout)");
  }
  EXPECT_EQ(objects[2]["ok"], true);
  EXPECT_EQ(objects[2]["findings"].size(), 1u);

  const auto list = Run({"check", "--timeout", "1", "--list", a});
  EXPECT_EQ(list.status, 2);
  EXPECT_NE(list.err.find("no line came from the list for 1 s"), std::string::npos) << list.err;

  // A FIFO whose writer comes is read to its end, as a page and as a list.
  std::thread writer([&] { std::ofstream(a) << "<applet>"; });
  const auto fed = Run({"check", "--timeout", "30", a});
  writer.join();
  EXPECT_EQ(fed.status, 1) << fed.err;
  EXPECT_NE(fed.out.find("Applet"), std::string::npos);
  std::thread lister([&] { std::ofstream(b) << page << "\n"; });
  const auto listed = Run({"check", "--timeout", "30", "--list", b});
  lister.join();
  EXPECT_EQ(listed.status, 1) << listed.err;
  EXPECT_NE(listed.out.find("Forms"), std::string::npos);
}

}  // namespace
