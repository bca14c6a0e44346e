// One encoding from start to end: the input opened (an AVI file, or a folder of PNG frames with an
// optional WAV file), retimed to 15 frames per second, encoded, and written through a temporary
// file that takes the final name only when it is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encode/sound_input.h"
#include "encode/vqa_encoder.h"
#include "platform/expected.h"
#include "platform/file_interface.h"

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
    std::unique_ptr<ResampledSound> sound;  // null: silent
    std::vector<std::string> notes;
};

// Why a source's pictures cannot be encoded, or nothing when they can: each side 1 to 65535
// pixels, and no more pixels than a frame's pointer table (2 bytes for each 4x2 block) can draw
// within the 16 MiB a VQA reader unpacks for it, 64 Mi pixels (8192 x 8192, 16384 x 4096).
std::optional<std::string> CheckSourcePicture(int32_t width, int32_t height);

// Opens an AVI file as an encoder's source: its frames retimed to 15 per second (the frame shown
// at each fifteenth of a second), its sound mixed to mono and resampled to 22050 Hz. The sound of
// an AVI file written by this project's converter lines up with the VQA file it came from to the
// sample (the converter's filler sample after the leading sound is left out, see
// BeginsWithConverterFiller). Pictures past CheckSourcePicture and sound rates past
// CheckSoundRate are refused.
Expected<EncodeSource> OpenAviSource(const std::string& path);
Expected<EncodeSource> OpenAviSource(std::unique_ptr<InputFile> file);

// "frame2" before "frame10": runs of digits compare as numbers (then by their length, so "01"
// and "1" keep an order), everything else byte by byte.
bool NaturalNameLess(std::string_view a, std::string_view b);

// Opens a folder as an encoder's source: its .png files (any case of the extension) in natural
// name order (NaturalNameLess) as frames at 15 per second, all of the first one's size, and the
// first .wav file in that order, if there is one, as the sound.
Expected<EncodeSource> OpenFolderSource(const std::string& folder);

// The same from a listing: the file names of the folder (in any order; names not ending in .png
// or .wav are ignored) and the way to read one. `folder` names the folder in messages.
using ReadNamedFile = std::function<Expected<std::vector<uint8_t>>(const std::string& name)>;
Expected<EncodeSource> OpenFrameFiles(const std::string& folder, std::vector<std::string> names,
                                      ReadNamedFile read);

// Encodes `input` (an AVI file or a folder) and writes the VQA file. The temporary output is
// created before anything is encoded, so an output that cannot be written is reported at once;
// the observer is asked about cancelling before every frame is read. Errors name the file and the
// problem (a lack of memory too); on any failure nothing is left behind.
Expected<EncodeJobResult> RunEncodeJob(const std::string& input, const EncodeJobOptions& options,
                                       EncodeObserver* observer);

}  // namespace rw
