// Where `vettrix check` writes: its report (standard output, or a file that
// appears whole or not at all) and the progress line on a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace vx::app::cli {

class OutputSink {
 public:
  // Standard output.
  [[nodiscard]] static std::unique_ptr<OutputSink> Stdout();
  // A file written under a temporary name beside `path` and renamed over it
  // by Commit(), so that an interrupted or failed run leaves no half report
  // under that name. Null with `*error` set when the file cannot be made.
  [[nodiscard]] static std::unique_ptr<OutputSink> ToFile(const std::string& path,
                                                          std::string* error);
  ~OutputSink();  // an uncommitted file is removed
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  // Writes all of `data` and empties it. False once any write has failed.
  [[nodiscard]] bool Write(std::string& data);
  // The reader of a pipe went away (as when the output goes to `head`).
  bool broken_pipe() const { return broken_pipe_; }
  // Why writing failed, "" while it has not.
  const std::string& error() const { return error_; }
  bool is_file() const { return !path_.empty(); }

  // Puts a file in place under its name. False (and the file is left alone)
  // when it cannot.
  [[nodiscard]] bool Commit();
  // Removes a file not yet committed; nothing for standard output.
  void Discard();

 private:
  OutputSink(int fd, std::string path, std::string temp);

  int fd_;
  std::string path_;  // "" for standard output
  std::string temp_;
  bool committed_ = false;
  bool broken_pipe_ = false;
  std::string error_;
};

// A one-line progress display on standard error while it is a terminal:
// pages done (of how many, once the input's end is known), pages per second,
// failures, time taken and time left. Redrawn at most ten times a second;
// nothing at all when disabled.
class Progress {
 public:
  explicit Progress(bool enabled);
  bool enabled() const { return enabled_; }
  // Draws the line if the last drawing is a tenth of a second old.
  void Update(std::size_t done, std::size_t failed, std::optional<std::size_t> total);
  // Erases the line, before anything else is written to the terminal.
  void Clear();

  // The text of the line (for the tests of its wording).
  [[nodiscard]] static std::string Line(std::size_t done, std::size_t failed,
                                        std::optional<std::size_t> total,
                                        std::chrono::steady_clock::duration elapsed);

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

// Writes a whole message to standard error (the progress line cleared first).
void WriteError(Progress& progress, const std::string& message);

}  // namespace vx::app::cli
