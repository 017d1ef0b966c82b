// The file writer and the local reader against real files, device nodes,
// FIFOs, links and pipes in a scratch folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/files/file_reader.h"
#include "platform/files/file_writer.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using vx::files::FileWriter;
using vx::files::ReadFailure;
using vx::files::ReadLimits;
using vx::files::ReadLocalFile;
using vx::files::WriteWholeFile;
using vx::support::ReadFile;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vx-files-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override {
    // A folder made read-only by a test must be writable to be removed.
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  // A device node like /dev/null (1,3) or /dev/full (1,7) in the scratch
  // folder; without root, the system's own.
  std::string Device(const std::string& name, unsigned minor) {
    if (::geteuid() != 0) return minor == 3 ? "/dev/null" : "/dev/full";
    const std::string p = Path(name);
    EXPECT_EQ(::mknod(p.c_str(), S_IFCHR | 0666, ::makedev(1, minor)), 0) << p;
    return p;
  }

  // Temporary files a writer left behind in the folder.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().find(".partial-") != std::string::npos)
        out.push_back(e.path().filename().string());
    }
    return out;
  }

  fs::path dir_;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

TEST_F(Files, RegularFilesAreReplacedWholeKeepingModeAndOwner) {
  // An existing report keeps its permissions (and, as root, its owner).
  Write("report.txt", "old contents that are longer than the new");
  const std::string report = Path("report.txt");
  ASSERT_EQ(::chmod(report.c_str(), 0600), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(report.c_str(), 1234, 5678), 0);
  }
  std::string error, note;
  ASSERT_TRUE(WriteWholeFile(report, "new", &error, &note)) << error;
  EXPECT_EQ(ReadFile(report), "new");
  EXPECT_EQ(note, "");
  struct stat st {};
  ASSERT_EQ(::stat(report.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (::geteuid() == 0) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }

  // A new file gets the usual permissions.
  const mode_t old_mask = ::umask(022);
  ASSERT_TRUE(WriteWholeFile(Path("new.txt"), "x", &error)) << error;
  ::umask(old_mask);
  EXPECT_EQ(ModeOf(Path("new.txt")) & 07777, 0644u);

  // Nothing is under the name until it is committed; a discarded file
  // leaves the old one and no temporary.
  {
    std::unique_ptr<FileWriter> w = FileWriter::Open(report, &error);
    ASSERT_TRUE(w) << error;
    EXPECT_FALSE(w->in_place());
    ASSERT_TRUE(w->Write("half of a"));
    EXPECT_EQ(ReadFile(report), "new");
    EXPECT_EQ(Leftovers().size(), 1u);
  }
  EXPECT_EQ(ReadFile(report), "new");
  EXPECT_TRUE(Leftovers().empty());

  // A folder or a missing folder is refused with the reason.
  EXPECT_FALSE(WriteWholeFile(dir_.string(), "x", &error));
  EXPECT_EQ(error, "is a folder");
  EXPECT_FALSE(WriteWholeFile(Path("no/such/x"), "x", &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(WriteWholeFile(Path("x/"), "x", &error));
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(Files, LinksAreFollowedAndStayLinks) {
  fs::create_directories(dir_ / "real");
  Write("real/target.txt", "old");
  ASSERT_EQ(::chmod(Path("real/target.txt").c_str(), 0640), 0);
  // Relative to the link's own folder, through a second link.
  fs::create_symlink("real/target.txt", dir_ / "first");
  fs::create_symlink("first", dir_ / "second");
  std::string error;
  ASSERT_TRUE(WriteWholeFile(Path("second"), "new", &error)) << error;
  EXPECT_TRUE(S_ISLNK(ModeOf(Path("first"))));
  EXPECT_TRUE(S_ISLNK(ModeOf(Path("second"))));
  EXPECT_EQ(ReadFile(dir_ / "real/target.txt"), "new");
  EXPECT_EQ(ModeOf(Path("real/target.txt")) & 07777, 0640u);
  EXPECT_TRUE(fs::is_empty(dir_ / "real") == false);
  for (const auto& e : fs::directory_iterator(dir_ / "real")) {
    EXPECT_EQ(e.path().filename(), "target.txt");
  }

  // A dangling link gets its target made.
  fs::create_symlink("real/made.txt", dir_ / "dangling");
  ASSERT_TRUE(WriteWholeFile(Path("dangling"), "made", &error)) << error;
  EXPECT_EQ(ReadFile(dir_ / "real/made.txt"), "made");
  EXPECT_TRUE(S_ISLNK(ModeOf(Path("dangling"))));

  // A loop is an error, not a hang.
  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  EXPECT_FALSE(WriteWholeFile(Path("loop-a"), "x", &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(Files, DevicesFifosAndDescriptorsAreWrittenThrough) {
  std::string error;
  const std::string null = Device("null", 3);
  ASSERT_TRUE(WriteWholeFile(null, "gone", &error)) << error;
  EXPECT_TRUE(S_ISCHR(ModeOf(null)));

  // /dev/full: the write error is told, and the node stays what it is.
  const std::string full = Device("full", 7);
  EXPECT_FALSE(WriteWholeFile(full, "data", &error));
  EXPECT_EQ(error, "No space left on device");
  EXPECT_TRUE(S_ISCHR(ModeOf(full)));

  // A FIFO's reader gets the data; the FIFO stays a FIFO.
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = ReadFile(fifo); });
  ASSERT_TRUE(WriteWholeFile(fifo, "through the fifo", &error)) << error;
  reader.join();
  EXPECT_EQ(got, "through the fifo");
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));

  // /dev/fd/N is our own descriptor: written through it; a reader that went
  // away is a broken pipe.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string fd_name = "/dev/fd/" + std::to_string(ends[1]);
  ASSERT_TRUE(WriteWholeFile(fd_name, "via fd", &error)) << error;
  char buf[16] = {};
  EXPECT_EQ(::read(ends[0], buf, sizeof buf), 6);
  EXPECT_EQ(std::string(buf), "via fd");
  ::close(ends[0]);
  std::unique_ptr<FileWriter> w = FileWriter::Open(fd_name, &error);
  ASSERT_TRUE(w) << error;
  EXPECT_FALSE(w->Write("nobody reads"));
  EXPECT_TRUE(w->broken_pipe());
  EXPECT_FALSE(w->Commit());
  ::close(ends[1]);
}

// As root every folder is writable, so the unwritable folder is tried by a
// child that gives root up first.
TEST_F(Files, FileInAFolderWeMayNotWriteIsRewrittenInPlaceWithANote) {
  fs::create_directories(dir_ / "locked");
  Write("locked/report.txt", "old report, longer than the new one");
  const std::string report = Path("locked/report.txt");
  ASSERT_EQ(::chmod(report.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(Path("locked").c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);  // the child must reach it
  struct stat before {};
  ASSERT_EQ(::stat(report.c_str(), &before), 0);

  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(channel[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
    std::string error;
    std::unique_ptr<FileWriter> w = FileWriter::Open(report, &error);
    std::string said = w ? w->note() : "refused: " + error;
    const bool ok = w && w->in_place() && w->Write("new") && w->Commit();
    (void)!::write(channel[1], said.data(), said.size());
    ::_exit(ok ? 0 : 11);
  }
  ::close(channel[1]);
  std::string note;
  char buf[512];
  for (ssize_t n; (n = ::read(channel[0], buf, sizeof buf)) > 0;) note.append(buf, n);
  ::close(channel[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << " " << note;
  EXPECT_NE(note.find("Permission denied"), std::string::npos) << note;
  EXPECT_NE(note.find("in place"), std::string::npos) << note;
  EXPECT_EQ(ReadFile(report), "new");
  struct stat after {};
  ASSERT_EQ(::stat(report.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(Files, FifosAreReadWithoutWaitingUnbounded) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string out, error;
  ReadFailure failure = ReadFailure::None;

  // No writer at all: the open returns and the read gives up at the time-out.
  ReadLimits limits;
  limits.timeout = std::chrono::milliseconds(200);
  EXPECT_FALSE(ReadLocalFile(fifo, out, limits, false, &error, &failure));
  EXPECT_EQ(failure, ReadFailure::TimedOut);
  EXPECT_EQ(error, "timed out after 0.2 s reading a FIFO");

  // Cancelled: given up without any time-out.
  std::atomic<bool> cancel{true};
  ReadLimits cancelled;
  cancelled.cancel = &cancel;
  EXPECT_FALSE(ReadLocalFile(fifo, out, cancelled, false, &error, &failure));
  EXPECT_EQ(failure, ReadFailure::Cancelled);

  // A writer that comes: everything it wrote, up to its end.
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << "<script>"; });
  ReadLimits patient;
  patient.timeout = std::chrono::seconds(60);
  EXPECT_TRUE(ReadLocalFile(fifo, out, patient, false, &error)) << error;
  writer.join();
  EXPECT_EQ(out, "<script>");

  // A reader of regular files only refuses it at once, and devices too.
  EXPECT_FALSE(ReadLocalFile(fifo, out, {}, true, &error, &failure));
  EXPECT_EQ(failure, ReadFailure::NotRegular);
  EXPECT_EQ(error, "not a regular file (a FIFO)");
  EXPECT_FALSE(ReadLocalFile(Device("null", 3), out, {}, true, &error, &failure));
  EXPECT_EQ(error, "not a regular file (a character device)");
  EXPECT_FALSE(ReadLocalFile(dir_.string(), out, {}, true, &error, &failure));
  EXPECT_EQ(failure, ReadFailure::Folder);

  // A device without end stops at the size limit.
  ReadLimits small;
  small.max_bytes = 1000;
  EXPECT_FALSE(ReadLocalFile("/dev/zero", out, small, false, &error, &failure));
  EXPECT_EQ(failure, ReadFailure::TooLarge);
  Write("page.html", "regular");
  EXPECT_TRUE(ReadLocalFile(Path("page.html"), out, small, true, &error)) << error;
  EXPECT_EQ(out, "regular");
}

}  // namespace
