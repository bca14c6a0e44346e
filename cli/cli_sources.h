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

// The command line's name for the output of a loose video: its ".vqa" (any case) replaced by
// `extension` ("intro.VQA" -> "intro.avi"), or `extension` appended to a name without it ("intro"
// -> "intro.avi"). (The desktop program keeps AviPathFor, which drops any last three characters.)
std::string OutputPathFor(const std::string& vqaPath, const std::string& extension);

// Why `path` cannot be written as a new output file: its folder does not exist, it is a folder, or
// a file of that name exists and `force` is not given. Nothing when it can be written.
std::optional<std::string> CheckNewOutput(const std::string& path, bool force);

// True when `path` ends in `extension` (".avi"), in any case.
bool HasExtension(const std::string& path, const std::string& extension);

// Creates the output folder (and its parents) when it is missing; the message names it.
Expected<void> PrepareOutputDir(const std::string& outputDir);

}  // namespace rw::cli
