#include "convert/avi_chunk_sink.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_header.h"
#include "platform/byte_reader.h"

namespace rw {

Expected<void> AviChunkSink::Write(std::span<const uint8_t> data) {
    const int64_t start = m_position;
    m_position += static_cast<int64_t>(data.size());
    // The header block holds nothing to hand on.
    if (start < kAviHeaderBlockSize) {
        const size_t skip =
            std::min<size_t>(data.size(), static_cast<size_t>(kAviHeaderBlockSize - start));
        data = data.subspan(skip);
    }
    while (!data.empty()) {
        if (m_payloadLeft == 0) {
            const size_t n = std::min(data.size(), m_header.size() - m_headerFill);
            std::memcpy(m_header.data() + m_headerFill, data.data(), n);
            m_headerFill += n;
            data = data.subspan(n);
            if (m_headerFill < m_header.size()) break;
            m_headerFill = 0;
            m_payloadLeft = ByteReader::LoadU32Le(m_header.data() + 4);
            m_oddChunk = m_payloadLeft % 2 == 1;
            m_kind = std::memcmp(m_header.data(), "01wb", 4) == 0   ? Kind::Sound
                     : std::memcmp(m_header.data(), "00db", 4) == 0 ? Kind::Picture
                                                                    : Kind::Other;
            m_picture.clear();
            if (m_payloadLeft == 0 && m_kind == Kind::Picture) {
                if (auto r = PictureDone({}); !r) return r;
            }
            continue;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(data.size(), m_payloadLeft));
        if (auto r = Payload(data.first(n)); !r) return r;
        data = data.subspan(n);
    }
    return {};
}

Expected<void> AviChunkSink::Payload(std::span<const uint8_t> bytes) {
    const bool last = bytes.size() == m_payloadLeft;
    m_payloadLeft -= bytes.size();
    switch (m_kind) {
        case Kind::Sound:
            if (last && m_oddChunk) bytes = bytes.first(bytes.size() - 1);
            return bytes.empty() ? Expected<void>{} : m_receiver.OnSound(bytes);
        case Kind::Picture:
            // A picture that comes whole is handed on where it lies.
            if (last && m_picture.empty()) return PictureDone(bytes);
            m_picture.insert(m_picture.end(), bytes.begin(), bytes.end());
            if (last) return PictureDone(m_picture);
            return {};
        case Kind::Other:
            break;
    }
    return {};
}

Expected<void> AviChunkSink::PictureDone(std::span<const uint8_t> picture) {
    return m_receiver.OnPicture(m_frame++, picture);
}

Expected<std::span<uint8_t>> AviChunkSink::Reserve(size_t size) {
    if (m_room.size() < size) m_room.resize(size);
    return std::span<uint8_t>(m_room.data(), size);
}

Expected<void> AviChunkSink::CommitReserved(size_t size) {
    if (size > m_room.size()) return Error{"\"" + m_name + "\": more bytes kept than reserved"};
    return Write(std::span<const uint8_t>(m_room.data(), size));
}

}  // namespace rw
