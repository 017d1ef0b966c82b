// `vettrix merge`: the JSON reports of the shards of one run made into the
// one report of the whole run, in any format.
#pragma once

#include <string>
#include <vector>

#include "app/cli_options.h"

namespace vx::app::cli {

// Merges `files` ("-" is standard input) into the report `options` asks for
// (format, output file, style, rule set). Returns the exit status: that of
// the whole run (0, 1 or 2) when the reports were read, 2 when one is not a
// report of ours or cannot be read.
int RunMerge(const Options& options, const std::vector<std::string>& files);

}  // namespace vx::app::cli
