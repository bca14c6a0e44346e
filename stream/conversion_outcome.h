// How a run over a video's frames ended, for every output.
#pragma once

#include <cstdint>
#include <string>

namespace rw {

struct ConversionOutcome {
    enum class Status {
        Completed,   // every frame went to the output, which is complete
        SeekFailed,  // the seek to a frame failed: the output holds the frames before it
        Cancelled,   // stopped between frames on request
        Failed,      // a fatal error: message says what
    };
    Status status = Status::Completed;
    std::string message;        // Failed: the reason; Completed with damage: a summary
    int32_t damagedFrames = 0;  // frames that repeat the previous picture (damage, truncation)
    bool leadingSoundMissing = false;  // the sound before frame 0 lies past the end: silence
    uint32_t failedFrame = 0;          // SeekFailed: the frame number, from 0
    uint32_t failedPosition = 0;       // SeekFailed: the position sought, as a signed 32-bit number

    std::string notice =
        {};  // Completed: what the user is told once besides damage (sound not decoded)

    bool Completed() const { return status == Status::Completed; }
};

ConversionOutcome Fail(std::string message);
ConversionOutcome SeekFailure(uint32_t frame, uint32_t position, int32_t damaged);
ConversionOutcome Cancelled();

// "3 frames were damaged or missing (the first is frame 12); they repeat the previous picture",
// and a note on missing leading sound; empty when there was no damage.
std::string DamageSummary(int32_t damaged, int32_t firstDamaged, bool leadingSoundMissing);

}  // namespace rw
