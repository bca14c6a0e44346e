// An output file that keeps none of the AVI stream a conversion writes into it, but hands on what
// its chunks hold: each sound chunk's PCM and each frame's picture, exactly as the AVI file would
// have them. Frames and sound as ordinary files, and the player, take the conversion's own output
// this way.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/file.h"

namespace rw {

class AviChunkReceiver {
  public:
    virtual ~AviChunkReceiver() = default;
    // The samples of a sound chunk (16-bit mono PCM, little-endian), in order; one chunk may come
    // in several pieces. The leading sound chunk comes first, then one per frame. The last byte
    // of a chunk of odd size, half a sample, is left out.
    virtual Expected<void> OnSound(std::span<const uint8_t> pcm) = 0;
    // A frame's whole picture: 3 bytes a pixel (blue, green, red), bottom row first. Valid only
    // during the call.
    virtual Expected<void> OnPicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) = 0;
};

class AviChunkSink final : public OutputFile {
  public:
    AviChunkSink(AviChunkReceiver& receiver, std::string name)
        : m_receiver(receiver), m_name(std::move(name)) {}

    Expected<void> Write(std::span<const uint8_t> data) override;
    int64_t Position() const override { return m_position; }
    const std::string& Name() const override { return m_name; }
    Expected<std::span<uint8_t>> Reserve(size_t size) override;
    Expected<void> CommitReserved(size_t size) override;

    // Counts positions from the end of the header block again, between chunks: a reader that
    // goes on past what one AVI file can hold (a player) never reaches the 2 GB limit.
    void Rewind() {
        if (m_headerFill == 0 && m_payloadLeft == 0) m_position = 524;
    }
    // Pictures handed on so far.
    int32_t Pictures() const { return m_frame; }

  private:
    enum class Kind { Sound, Picture, Other };
    Expected<void> Payload(std::span<const uint8_t> bytes);
    Expected<void> PictureDone(std::span<const uint8_t> picture);

    AviChunkReceiver& m_receiver;
    std::string m_name;
    int64_t m_position = 0;
    std::array<uint8_t, 8> m_header{};
    size_t m_headerFill = 0;
    uint64_t m_payloadLeft = 0;
    bool m_oddChunk = false;
    Kind m_kind = Kind::Other;
    std::vector<uint8_t> m_picture;  // a picture that came in pieces
    std::vector<uint8_t> m_room;     // Reserve's room
    int32_t m_frame = 0;
};

}  // namespace rw
