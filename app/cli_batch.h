#pragma once

#include "app/cli.h"
#include "app/cli_options.h"

namespace vx::app::cli {

// Checks every address of the input: web pages through the batch fetcher,
// decoding and the check run on a pool of threads, the report streamed in
// input order (or completion order) to standard output or a file. Returns the
// exit status; an interrupt returns 128 plus the signal's number.
[[nodiscard]] int RunCheck(const Options& options);

}  // namespace vx::app::cli
