#pragma once

namespace vx::app::cli {

// Exit statuses of `vettrix check`.
inline constexpr int kExitClean = 0;     // every address checked, nothing found
inline constexpr int kExitFindings = 1;  // something found, no failure
inline constexpr int kExitFailure = 2;   // some address could not be checked
inline constexpr int kExitUsage = 64;    // the command line itself is wrong
// An interrupt (Ctrl+C) ends a run with 128 plus the signal's number.
inline constexpr int kExitInterrupted = 130;

// The whole command line: `vettrix check ...`, `vettrix --help`.
int Main(int argc, char** argv);

}  // namespace vx::app::cli
