#pragma once

namespace vx::app::cli {

// Exit statuses of `vettrix check`.
inline constexpr int kExitClean = 0;     // every address checked, nothing found
inline constexpr int kExitFindings = 1;  // something found, no failure
inline constexpr int kExitFailure = 2;   // some address could not be checked
inline constexpr int kExitUsage = 64;    // the command line itself is wrong
// An interrupt (Ctrl+C) ends a run with 128 plus the signal's number.
inline constexpr int kExitInterrupted = 130;

// How a command ends: its exit status, and how the process ends with it. The
// process ends only in main: a run that was interrupted may leave threads
// waiting on what nothing ends (standard input never closed), so it ends at
// once, without destructors; one whose reader went away ends as a filter
// does, by SIGPIPE.
struct RunEnd {
  enum class Way { Return, AtOnce, ByBrokenPipe };
  RunEnd(int s = 0, Way w = Way::Return) : status(s), way(w) {}  // NOLINT: a status is an end
  int status;
  Way way;
};

// The whole command line: `vettrix check ...`, `vettrix --help`.
RunEnd Main(int argc, char** argv);

}  // namespace vx::app::cli
