// The conversions a command line asks for: each loose file, and each VQA video inside each MIX
// archive, with the AVI file it writes (beside its source, or in the chosen output folder).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "decode/archive_videos.h"
#include "decode/video_source.h"

namespace rw::cli {

struct ConversionJob {
    VqaSource source;
    std::string aviPath;
    std::optional<ArchiveVideo> inArchive;  // set for a video inside an archive
};

struct PlannedJobs {
    std::vector<ConversionJob> jobs;    // in the order of the inputs, archives in table order
    std::vector<std::string> failures;  // archives that cannot be read, damaged entries
    std::vector<std::string> notes;     // one line per archive with entries that are not videos
};

// Plans the conversions of `files` (loose VQA files and .mix archives, folders already expanded).
// `outputDir` empty: every output beside its source. With `names`, a video in an archive whose id
// matches a name is written under that name ("INTRO.avi" for INTRO.VQA).
PlannedJobs PlanJobs(const std::vector<std::string>& files, const std::string& outputDir,
                     const MixNames* names = nullptr);

// Refuses jobs that would write the same AVI file, and an AVI file that would replace another
// job's input (a job that would overwrite its own input is refused by its own conversion).
// Returns one message per clash; empty when there is none.
std::vector<std::string> FindOutputClashes(const std::vector<ConversionJob>& jobs);

// Creates the output folder (and its parents) when it is missing; the message names it.
Expected<void> PrepareOutputDir(const std::string& outputDir);

}  // namespace rw::cli
