#include "playback/hc_frame_reader.h"

#include <algorithm>

#include "decode/frame_decoder.h"
#include "decode/hc_frame_stream.h"

namespace rw {

HighColourFrameReader::HighColourFrameReader(InputFile& vqa, const HighColourVideo& video)
    : m_vqa(vqa),
      m_video(video),
      m_frames(
          std::min(static_cast<size_t>(std::max(video.props.frames, 0)), video.frameIndex.size())),
      m_silent(StreamFormatOf(video).soundRate <= 0) {}

Expected<void> HighColourFrameReader::Start() {
    if (m_frames == 0) return Error{"the video has no frames"};
    const HighColourDecoder scanner(m_video.props);
    m_soundBytes.assign(m_frames, 0);
    m_setsCodebook.assign(m_frames, false);
    for (size_t f = 0; f < m_frames; ++f) {
        const HighColourFrameFacts facts = scanner.Scan(m_vqa, m_video.frameIndex[f]);
        if (!m_silent) m_soundBytes[f] = facts.soundBytes;
        m_setsCodebook[f] = facts.setsCodebook;
    }
    return Seek(0);
}

size_t HighColourFrameReader::CodebookFrameAtOrBefore(size_t frame) const {
    while (frame > 0 && !m_setsCodebook[frame]) --frame;
    return frame;
}

Expected<void> HighColourFrameReader::Seek(int32_t frame) {
    if (m_setsCodebook.empty()) return Error{"the video has not been started"};
    const size_t target = std::min(static_cast<size_t>(std::max(frame, 0)), m_frames);
    const size_t followed = target > kFollowedFrames ? target - kFollowedFrames : 0;
    for (const size_t from : {CodebookFrameAtOrBefore(followed), size_t{0}}) {
        m_decoder.emplace(m_video.props);
        for (size_t f = 0; f < target; ++f) {
            m_frame.sound.clear();
            m_decoder->DecodeFrame(m_vqa, m_video.frameIndex[f], m_frame, f < from);
        }
        if (from == 0 || m_decoder->UndrawnBlocks() == 0) break;
    }
    m_next = target;
    return {};
}

Expected<void> HighColourFrameReader::Next(std::vector<uint8_t>& picture,
                                           std::vector<uint8_t>& sound) {
    if (!m_decoder) return Error{"the video has not been started"};
    if (m_next >= m_frames) return Error{"the video has no more frames"};
    m_frame.sound.clear();
    m_decoder->DecodeFrame(m_vqa, m_video.frameIndex[m_next], m_frame);
    picture.assign(m_frame.picture.begin(), m_frame.picture.end());
    if (m_silent) {
        sound.clear();
    } else {
        sound.swap(m_frame.sound);  // cleared before the next frame is decoded anyway
    }
    ++m_next;
    return {};
}

}  // namespace rw
