// The one place that opens a VQA video (a file of its own, or an entry of an archive read in
// place), reads its header and frame index, and judges whether its frames can be decoded. Every
// front end asks it what a file is; every run, export, thumbnail and the player open videos
// through it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/video_source.h"
#include "platform/expected.h"
#include "platform/file.h"
#include "vqa/hc_properties.h"
#include "vqa/vqa_properties.h"

namespace rw {

// What a high-colour video brings besides the header's six values.
struct HighColourVideo {
    HighColourProperties props;
    std::vector<int64_t> frameIndex;  // byte offsets
    bool contradictsHeader = false;   // the header says 8-bit; the chunks are decoded as they say
    SoundChunkKind firstSound = SoundChunkKind::None;  // the first frame's first sound chunk
};

struct VqaInspection {
    enum class Status {
        Ok,              // a VQA video whose frames can be decoded (and passed `check`)
        NotVqa,          // readable, but not a VQA video
        CannotRead,      // missing, unreadable, or ends inside its header; `reason` says why
        NotConvertible,  // a VQA video whose header values cannot be converted; `reason` says why
    };
    Status status = Status::CannotRead;
    VqaProperties properties;  // Ok and NotConvertible
    int64_t fileSize = 0;      // all but CannotRead
    std::string reason;        // CannotRead (may be empty when the system gave none) and
                               // NotConvertible
    // Ok: frames whose offset lies at or beyond the end of the file (a file cut short); all of
    // them when the file ends inside the frame index.
    int32_t framesBeyondEnd = 0;
    PictureKind kind = PictureKind::EightBit;  // Ok
    HighColourVideo highColour;                // Ok, kind HighColour (its frame index left empty)
};

// How many frames of `frameIndex` (ReadFrameIndex) start at or beyond `fileSize` bytes; frame 0
// where its record follows the leading sound.
int32_t CountFramesBeyondEnd(std::span<const int32_t> frameIndex, int64_t fileSize);

// Why a video of these header values cannot be decoded (no frames, no picture, no blocks, a
// negative sound rate), or an empty string. An output adds its own limits to this check.
std::string CheckDecodable(const VqaProperties& props);
using PropertiesCheck = std::string (*)(const VqaProperties&);

// What the video is, from its header, and how much of it the file holds. An 8-bit video's values
// are judged by `check`; a high-colour video's by its own limits (CheckHighColourProperties).
VqaInspection InspectVideo(const VqaSource& source, PropertiesCheck check = CheckDecodable);

// An open video, ready to be decoded from its first frame.
struct OpenedVideo {
    std::unique_ptr<DiskInputFile> file;
    VqaSource source;
    VqaProperties props;
    std::vector<int32_t> frameIndex;  // 8-bit videos
    PictureKind kind = PictureKind::EightBit;
    HighColourVideo highColour;  // kind HighColour
};
// The kind of the video whose header `file` has just been read past, and for a high-colour one its
// values and frame index; fails, naming the file, for a high-colour video that cannot be decoded.
Expected<std::optional<HighColourVideo>> OpenHighColour(InputFile& file);

// A reader's message without the file's own name in front ("\"path\": why"), for a message that
// names the video as the user knows it (an archive entry has a name of its own).
std::string WithoutFileName(const std::string& why, const InputFile& file);

// Opens the video and reads its header and frame index. Messages name the video and the problem:
// "Cannot <verb> "name": why" for a video that cannot be decoded or whose index cannot be read.
// High-colour videos are checked by their own limits, not by `check`.
Expected<OpenedVideo> OpenVideo(const VqaSource& source, PropertiesCheck check = CheckDecodable,
                                const std::string& verb = "read");

}  // namespace rw
