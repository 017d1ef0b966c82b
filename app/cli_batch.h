#pragma once

#include "app/cli.h"
#include "app/cli_options.h"

namespace vx::app::cli {

// Checks every address of the input: web pages through the batch fetcher,
// decoding and the check on a pool of threads, the report streamed in input
// order (or completion order) to standard output or a file. An interrupt
// ends with 128 plus the signal's number.
[[nodiscard]] RunEnd RunCheck(const Options& options);

}  // namespace vx::app::cli
