// One encoding from start to end: the input opened (an AVI file, or a folder of PNG frames with an
// optional WAV file), retimed to 15 frames per second, encoded, and written through a temporary
// file that takes the final name only when it is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encode/vqa_encoder.h"
#include "platform/expected.h"

namespace rw {

struct EncodeJobOptions {
    EncodeSettings settings;
    std::string output;  // empty: beside the input (VqaPathFor)
    bool force = false;  // replace an existing output
};

struct EncodeJobResult {
    std::string outputPath;
    std::vector<std::string> notes;  // retiming, padding, resampling: what the user should know
    VqaProperties properties;
    int64_t bytes = 0;
};

// "movie.avi" -> "movie.vqa" (the extension replaced, or added when there is none);
// "films/intro/" -> "films/intro.vqa".
std::string VqaPathFor(const std::string& input);

// What the encoder reads: pictures at 15 frames per second and mono sound at 22050 Hz.
struct EncodeSource {
    std::unique_ptr<EncodeFrames> frames;
    std::unique_ptr<EncodeSound> sound;  // null: silent
    std::vector<std::string> notes;
};

// Opens an AVI file as an encoder's source: its frames retimed to 15 per second (the frame shown
// at each fifteenth of a second), its sound mixed to mono and resampled to 22050 Hz. The sound of
// an AVI file written by this project's converter lines up with the VQA file it came from to the
// sample (the converter's pad sample after the leading sound is left out).
Expected<EncodeSource> OpenAviSource(const std::string& path);

// Opens a folder as an encoder's source: its .png files (any case of the extension) in name order
// as frames at 15 per second, all of the first one's size, and the first .wav file in name order,
// if there is one, as the sound.
Expected<EncodeSource> OpenFolderSource(const std::string& folder);

// Encodes `input` (an AVI file or a folder) and writes the VQA file. Errors name the file and
// the problem; on any failure nothing is left behind.
Expected<EncodeJobResult> RunEncodeJob(const std::string& input, const EncodeJobOptions& options,
                                       EncodeObserver* observer);

}  // namespace rw
