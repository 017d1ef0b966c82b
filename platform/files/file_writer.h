// The one way the project writes a file the user named. Whatever the name
// is, it is never turned into something else:
//  - a regular file (or a name not yet taken) is written under a temporary
//    name in its folder, synced and renamed over it: the name holds the old
//    contents or the whole new ones, never half of them. An existing file
//    keeps its permissions, and its owner and group where we may set them;
//  - a symbolic link is followed to its target, which is replaced so (the
//    link stays a link);
//  - a device, a FIFO, a terminal or a descriptor of ours (/dev/stdout,
//    /dev/fd/N) is written through in place, and every write error counts;
//  - a regular file in a folder we may not create files in is written in
//    place, with a note saying that a failed run leaves it half written.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vx::files {

class FileWriter {
 public:
  // Null with `*error` set (the reason alone, without the name) when the
  // name cannot be written at all.
  [[nodiscard]] static std::unique_ptr<FileWriter> Open(const std::string& path,
                                                        std::string* error);
  ~FileWriter();  // what was not committed is discarded
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Writes all of `data`. False once any write has failed (see error()).
  [[nodiscard]] bool Write(std::string_view data);
  // Puts the file in place (or, written in place, syncs and closes it).
  // False with error() set when it cannot; the name is then left as it was
  // where that can be promised.
  [[nodiscard]] bool Commit();
  // Drops what was written under a temporary name. Writes already made in
  // place cannot be taken back.
  void Discard();

  // Why writing failed, "" while it has not.
  const std::string& error() const { return error_; }
  // The reader of a pipe went away (EPIPE).
  bool broken_pipe() const { return broken_pipe_; }
  // Written straight into the named file rather than renamed over it.
  bool in_place() const { return in_place_; }
  // What the user should know about how the file is written (an atomic
  // replacement that was not possible), "" when nothing.
  const std::string& note() const { return note_; }
  // The file that is replaced: the name itself, or a link's target.
  const std::string& target() const { return target_; }

 private:
  FileWriter() = default;
  bool Fail(int err);

  int fd_ = -1;
  std::string target_;
  std::string temp_;  // "" when written in place
  bool in_place_ = true;
  bool truncate_ = false;  // an in-place regular file, emptied at the first write
  bool committed_ = false;
  bool broken_pipe_ = false;
  std::string error_;
  std::string note_;
};

// Writes `data` as the whole file `path` by the rules above. False with
// `*error` set (the reason alone); `*note`, when given, gets the writer's note.
[[nodiscard]] bool WriteWholeFile(const std::string& path, std::string_view data,
                                  std::string* error, std::string* note = nullptr);

}  // namespace vx::files
