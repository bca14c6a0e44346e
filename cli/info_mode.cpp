#include "cli/info_mode.h"

#include <cstdio>
#include <filesystem>

#include "cli/info_json.h"
#include "mix/mix_names.h"
#include "run/inspect.h"
#include "run/properties_text.h"

namespace rw::cli {

Expected<VqaInspection> ReadVideo(const VqaSource& source) {
    const std::string& path = source.name;
    VqaInspection file = InspectVqaFile(source);
    switch (file.status) {
        case VqaInspection::Status::Ok:
        case VqaInspection::Status::NotConvertible:
            return file;
        case VqaInspection::Status::NotVqa:
            return Error{"\"" + path + "\" is not a VQA video"};
        case VqaInspection::Status::CannotRead:
            break;
    }
    return Error{file.reason.empty() ? "Cannot read \"" + path + "\"" : file.reason};
}

namespace {

// `withNames`: a list of names was given, and archive entries show theirs.
bool PrintInfo(const ConversionJob& job, Console& console, bool& printedBefore, bool withNames,
               bool json) {
    auto file = ReadVideo(job.source);
    if (!file) {
        console.Err(std::string(kProgram) + ": " + file.error().message);
        std::error_code ec;
        const std::string full = std::filesystem::absolute(job.source.file, ec).string();
        if (json) console.Out(InfoErrorJson(full, file.error().message));
        return false;
    }
    if (json) {
        console.Out(InfoJson(InfoRecordFor(job, *file)));
        return true;
    }
    std::error_code ec;
    const PropertyTexts t = FormatProperties(*file);
    std::string full = std::filesystem::absolute(job.source.file, ec).string();
    if (job.inArchive) full = ArchiveEntryName(full, job.inArchive->entry, job.inArchive->name);
    std::string text;
    auto row = [&](const char* label, const std::string& value) {
        char line[64];
        std::snprintf(line, sizeof line, "%-21s", label);
        text += line + value + "\n";
    };
    row("Filename", full);
    if (job.inArchive) {
        if (withNames) row("Name", job.inArchive->name.empty() ? "\u2014" : job.inArchive->name);
        row("Entry", std::to_string(job.inArchive->entry.number));
        row("Id", MixIdText(job.inArchive->entry.id));
    }
    row("Number of Frames", t.frames);
    row("Width", t.width);
    row("Height", t.height);
    row("Blockwidth", t.blockWidth);
    row("Blockheight", t.blockHeight);
    row("Colour depth", t.colourDepth);
    row("Frame rate", t.frameRate);
    row("Sound", t.sound);
    row("Filesize", FormatFileSize(file->fileSize));
    row("Videolength (mm.ss)", t.videoLength);
    row("Outputfilesize", t.outputSize);
    if (file->framesBeyondEnd > 0) row("Frames beyond end", std::to_string(file->framesBeyondEnd));
    text.pop_back();
    console.Out((printedBefore ? "\n" : "") + text);
    printedBefore = true;
    return true;
}

}  // namespace

bool PrintAllInfo(const std::vector<ConversionJob>& jobs, Console& console, bool withNames,
                  bool json) {
    bool printed = false;
    bool ok = true;
    for (const ConversionJob& job : jobs) {
        ok = PrintInfo(job, console, printed, withNames, json) && ok;
    }
    return ok;
}

}  // namespace rw::cli
