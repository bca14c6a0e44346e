// Compressed files as an output of a conversion run: the frame stream handed to a
// CompressedWriter, sound in the order it comes (the leading sound first, so the sound leads the
// pictures exactly as in the AVI file), pictures one a frame.
#pragma once

#include <memory>
#include <string>

#include "compressed/compressed_writer.h"
#include "run/output_maker.h"

namespace rw {

// Makes compressed files of one format and its settings; the threads each encoder may use are
// the processors the run was given.
class CompressedOutputMaker final : public OutputMaker {
  public:
    explicit CompressedOutputMaker(const CompressedSettings& settings) : m_settings(settings) {}

    std::string Extension() const override;
    Expected<std::unique_ptr<FileTarget>> Open(int fd, const std::string& name,
                                               const StreamFormat& format,
                                               unsigned processors) const override;

  private:
    CompressedSettings m_settings;
};

}  // namespace rw
