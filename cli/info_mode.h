// reelwright-cli --info: each video's properties as text, or as JSON for scripts (--json).
#pragma once

#include <vector>

#include "cli/cli_console.h"
#include "cli/cli_sources.h"
#include "decode/open_video.h"
#include "platform/expected.h"

namespace rw::cli {

// Reads the video's header; on failure a message naming the file and the problem. A video whose
// values cannot be converted is read all the same: --info shows them, and its conversion says why.
Expected<VqaInspection> ReadVideo(const VqaSource& source);

// The properties of every job, a blank line between two (`withNames`: a list of names was given,
// and archive entries show theirs); nothing on stdout for a failed one. False when any failed.
bool PrintAllInfo(const std::vector<ConversionJob>& jobs, Console& console, bool withNames,
                  bool json);

}  // namespace rw::cli
