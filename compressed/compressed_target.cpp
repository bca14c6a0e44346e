#include "compressed/compressed_target.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace rw {
namespace {

class CompressedTarget final : public FileTarget {
  public:
    CompressedTarget(std::unique_ptr<CompressedWriter> writer, size_t pictureBytes)
        : m_writer(std::move(writer)), m_picture(pictureBytes) {}

    Expected<void> LeadingSound(std::span<const uint8_t> pcm) override {
        return m_writer->Sound(pcm);
    }
    Expected<std::span<uint8_t>> BeginFrame(int32_t, std::span<const uint8_t> sound) override {
        if (auto r = m_writer->Sound(sound); !r) return r.error();
        return std::span<uint8_t>(m_picture);
    }
    // A damaged frame repeats the picture before it, which the room still holds.
    Expected<void> EndFrame(int32_t, bool) override { return m_writer->Picture(m_picture); }
    Expected<void> Finish() override { return m_writer->Finish(); }

  private:
    std::unique_ptr<CompressedWriter> m_writer;
    std::vector<uint8_t> m_picture;
};

}  // namespace

std::string CompressedOutputMaker::Extension() const {
    return std::string(FormatInfo(m_settings.format).extension).substr(1);
}

Expected<std::unique_ptr<FileTarget>> CompressedOutputMaker::Open(int fd, const std::string& name,
                                                                  const StreamFormat& format,
                                                                  unsigned processors) const {
    if (auto r = FormatAvailable(m_settings.format); !r) return r.error();
    const StreamShape shape{.width = format.width,
                            .height = format.height,
                            .fpsNum = format.framesPerSecond,
                            .fpsDen = 1,
                            .soundRate = format.soundRate,
                            .channels = format.channels};
    CompressedSettings settings = m_settings;
    settings.threads = static_cast<int>(std::clamp(processors, 1u, 64u));
    auto writer = CompressedWriter::Open(fd, name, shape, settings);
    if (!writer) return writer.error();
    return std::unique_ptr<FileTarget>(
        std::make_unique<CompressedTarget>(std::move(*writer), format.PictureBytes()));
}

}  // namespace rw
