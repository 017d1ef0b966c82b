// Where `vettrix check` writes: its report (standard output, or a file that
// appears whole or not at all) and the progress line on a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/files/file_writer.h"

namespace vx::app::cli {

class OutputSink {
 public:
  // Standard output.
  [[nodiscard]] static std::unique_ptr<OutputSink> Stdout();
  // The file `path`, written by the project's file writer (see
  // platform/files/file_writer.h): a regular file appears whole or not at
  // all, keeping its permissions; a device, a FIFO or /dev/stdout is written
  // through. Null with `*error` set when it cannot be written.
  [[nodiscard]] static std::unique_ptr<OutputSink> ToFile(const std::string& path,
                                                          std::string* error);
  ~OutputSink();  // an uncommitted file is removed
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  // Writes all of `data` and empties it. False once any write has failed.
  [[nodiscard]] bool Write(std::string& data);
  // The reader of a pipe went away (as when the output goes to `head`).
  bool broken_pipe() const;
  // Why writing failed, "" while it has not.
  const std::string& error() const;
  // A file that appears whole or not at all: an interrupted run leaves it as
  // it was. False for standard output and what is written in place.
  bool is_file() const { return file_ && !file_->in_place(); }
  // What the user should be told about how the file is written, "" if nothing.
  std::string note() const { return file_ ? file_->note() : std::string(); }

  // Puts a file in place under its name. False (and the file is left alone)
  // when it cannot.
  [[nodiscard]] bool Commit();
  // Removes a file not yet committed; nothing for standard output.
  void Discard();

 private:
  explicit OutputSink(std::unique_ptr<files::FileWriter> file) : file_(std::move(file)) {}

  std::unique_ptr<files::FileWriter> file_;  // null for standard output
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
