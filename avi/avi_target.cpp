#include "avi/avi_target.h"

#include <string>

namespace rw {

int64_t AviFramePosition(const AviLayout& layout, size_t frame) {
    return kAviHeaderBlockSize + 8 + layout.leadingSoundBytes +
           static_cast<int64_t>(frame) * (16 + layout.frameSoundWritten + layout.videoFrameBytes);
}

Expected<void> AviTarget::LeadingSound(std::span<const uint8_t> pcm) {
    if (auto w = WriteAviHeader(m_file, m_format); !w) return w.error();
    const int32_t rate = m_format.soundRate;
    auto position = WriteSoundChunk(m_file, rate, pcm, rate);
    if (!position) return position.error();
    m_positions.leadingSound = *position;
    return {};
}

Expected<std::span<uint8_t>> AviTarget::BeginFrame(int32_t frame, std::span<const uint8_t> sound) {
    const auto size = static_cast<int32_t>(m_layout.frameSoundDeclared);
    auto soundPosition = WriteSoundChunk(m_file, size, sound, size);
    if (!soundPosition) return soundPosition.error();
    m_positions.sound[static_cast<size_t>(frame)] = *soundPosition;
    auto room = BeginVideoChunk(m_file, static_cast<size_t>(m_layout.videoFrameBytes));
    if (!room) return room.error();
    m_room = *room;
    return room->image;
}

Expected<void> AviTarget::EndFrame(int32_t frame, bool /*damaged*/) {
    if (auto end = EndVideoChunk(m_file, *m_room); !end) return end;
    m_positions.video[static_cast<size_t>(frame)] = m_room->position;
    m_room.reset();
    return {};
}

Expected<void> AviTarget::WriteIndex() {
    if (auto w = WriteIndexChunk(m_file, m_positions.leadingSound, m_positions.sound,
                                 m_positions.video, m_format);
        !w) {
        return w;
    }
    if (m_file.Position() != m_layout.fileLength) {
        return Error{"the AVI file came out " + std::to_string(m_file.Position()) +
                     " bytes long instead of the " + std::to_string(m_layout.fileLength) +
                     " its header declares"};
    }
    return {};
}

}  // namespace rw
