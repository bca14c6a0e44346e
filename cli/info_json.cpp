#include "cli/info_json.h"

#include <cstdio>
#include <filesystem>

#include "mix/mix_names.h"
#include "run/properties_text.h"
#include "vqa/vqa_properties.h"

namespace rw::cli {
namespace {

// Up to three decimals, without trailing zeros: 15, 1.2, 400.067.
std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
}

// A high-colour video's own frame rate and sound.
void TakeHighColour(const HighColourVideo& video, InfoRecord& r) {
    const HighColourProperties& p = video.props;
    r.frameRate = p.framesPerSecond;
    r.soundRate = p.soundRate;
    r.soundChannels = p.channels;
    switch (video.firstSound) {
        case SoundChunkKind::None:
            r.soundRate = r.soundChannels = 0;
            r.soundKind = "none";
            break;
        case SoundChunkKind::Unsupported:
            r.soundKind = "unsupported";  // converted without sound
            break;
        case SoundChunkKind::Pcm:
            r.soundKind = p.soundBits == 8 ? "pcm-8" : "pcm-16";
            break;
        case SoundChunkKind::ImaAdpcm:
            r.soundKind = "ima-adpcm";
            break;
    }
}

}  // namespace

InfoRecord InfoRecordFor(const ConversionJob& job, const VqaInspection& file) {
    const VqaProperties& p = file.properties;
    InfoRecord r;
    std::error_code ec;
    r.path = std::filesystem::absolute(job.source.file, ec).string();
    if (job.inArchive) {
        r.entry = InfoRecord::Entry{job.inArchive->entry.number, MixIdText(job.inArchive->entry.id),
                                    job.inArchive->name};
    }
    r.frames = p.frames;
    r.width = p.width;
    r.height = p.height;
    r.blockWidth = p.blockWidth;
    r.blockHeight = p.blockHeight;
    r.frameRate = kFramesPerSecond;
    r.soundRate = p.soundRate;
    r.soundChannels = p.soundRate > 0 ? 1 : 0;
    r.soundKind = p.soundRate > 0 ? "ima-adpcm" : "none";
    if (file.kind == PictureKind::HighColour) TakeHighColour(file.highColour, r);
    r.colourDepth = FormatProperties(file).colourDepth;
    r.seconds = r.frameRate > 0 ? p.frames / r.frameRate : 0;
    r.fileSize = file.fileSize;
    r.outputSize = EstimatedOutputSize(file);
    if (file.status == VqaInspection::Status::NotConvertible) r.damage.push_back(file.reason);
    if (file.framesBeyondEnd > 0) {
        r.damage.push_back(std::to_string(file.framesBeyondEnd) +
                           " frames start beyond the end of the file");
    }
    return r;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;  // UTF-8 passes through as it is
        }
    }
    return out + "\"";
}

std::string InfoJson(const InfoRecord& r) {
    std::string j = "{\"path\":" + JsonString(r.path) + ",\"entry\":";
    if (r.entry) {
        j += "{\"number\":" + std::to_string(r.entry->number) +
             ",\"id\":" + JsonString(r.entry->id) +
             ",\"name\":" + (r.entry->name.empty() ? "null" : JsonString(r.entry->name)) + "}";
    } else {
        j += "null";
    }
    auto field = [&j](const char* name, const std::string& value) {
        j += std::string(",\"") + name + "\":" + value;
    };
    field("frames", std::to_string(r.frames));
    field("width", std::to_string(r.width));
    field("height", std::to_string(r.height));
    field("block_width", std::to_string(r.blockWidth));
    field("block_height", std::to_string(r.blockHeight));
    field("frame_rate", Number(r.frameRate));
    field("sound_rate", std::to_string(r.soundRate));
    field("sound_channels", std::to_string(r.soundChannels));
    field("sound_kind", JsonString(r.soundKind));
    field("colour_depth", JsonString(r.colourDepth));
    field("length_seconds", Number(r.seconds));
    field("file_size", std::to_string(r.fileSize));
    field("estimated_output_size", std::to_string(r.outputSize));
    std::string damage;
    for (const std::string& d : r.damage) damage += (damage.empty() ? "" : ",") + JsonString(d);
    field("damage", "[" + damage + "]");
    return j + "}";
}

std::string InfoErrorJson(const std::string& path, const std::string& error) {
    return "{\"path\":" + JsonString(path) + ",\"error\":" + JsonString(error) + "}";
}

}  // namespace rw::cli
