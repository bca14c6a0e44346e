#include "stream/conversion_outcome.h"

#include <utility>

namespace rw {

ConversionOutcome Fail(std::string message) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Failed;
    o.message = std::move(message);
    return o;
}

ConversionOutcome SeekFailure(uint32_t frame, uint32_t position, int32_t damaged) {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::SeekFailed;
    o.failedFrame = frame;
    o.failedPosition = position;
    o.damagedFrames = damaged;
    return o;
}

ConversionOutcome Cancelled() {
    ConversionOutcome o;
    o.status = ConversionOutcome::Status::Cancelled;
    return o;
}

std::string DamageSummary(int32_t damaged, int32_t firstDamaged, bool leadingSoundMissing) {
    std::string text;
    if (damaged > 0) {
        text = std::to_string(damaged) + (damaged == 1 ? " frame was" : " frames were") +
               " damaged or missing (the first is frame " + std::to_string(firstDamaged + 1) +
               "); they repeat the previous picture";
    }
    if (leadingSoundMissing) {
        if (!text.empty()) text += "; ";
        text += "the sound before the first frame is missing and was replaced by silence";
    }
    return text;
}

}  // namespace rw
