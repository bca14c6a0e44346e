// --info --json: one JSON object per video on one line each, for scripts. Every value comes from
// one InfoRecord, written by one function, so a new kind of video is one change in each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_sources.h"
#include "decode/open_video.h"

namespace rw::cli {

struct InfoRecord {
    std::string path;  // absolute
    struct Entry {
        uint32_t number = 0;  // counted from 1
        std::string id;       // eight hexadecimal digits
        std::string name;     // from --names; empty: none
    };
    std::optional<Entry> entry;  // set for a video inside an archive
    int32_t frames = 0, width = 0, height = 0, blockWidth = 0, blockHeight = 0;
    double frameRate = 0;
    int32_t soundRate = 0;      // Hz; 0: no sound
    int32_t soundChannels = 0;  // 0: no sound
    std::string soundKind;      // "ima-adpcm", "pcm-8", "pcm-16", "unsupported", "none"
    std::string colourDepth;    // "8-bit palette", "15-bit colour"
    double seconds = 0;
    int64_t fileSize = 0, outputSize = 0;  // bytes; outputSize estimated
    std::vector<std::string> damage;       // what inspecting found wrong; empty: nothing
};

// The record of a job whose video was read (Ok or NotConvertible).
InfoRecord InfoRecordFor(const ConversionJob& job, const VqaInspection& file);

// The record as one line of JSON (without the line's end).
std::string InfoJson(const InfoRecord& r);
// A failed file as one line of JSON: its path and the problem.
std::string InfoErrorJson(const std::string& path, const std::string& error);
// `text` as a JSON string, quoted and escaped.
std::string JsonString(const std::string& text);

}  // namespace rw::cli
