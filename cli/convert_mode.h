// reelwright-cli converting (and --info, which reads the same inputs): files, folders and MIX
// archives into AVI files or, with --to, compressed files, --jobs of them side by side.
#pragma once

#include "cli/cli_console.h"
#include "cli/cli_options.h"
#include "mix/mix_names.h"

namespace rw::cli {

// The inputs' properties (--info), or their conversions; `known` names archive entries. Returns
// the exit status.
int RunConversions(const CliOptions& options, Console& console, const MixNames* known);

}  // namespace rw::cli
