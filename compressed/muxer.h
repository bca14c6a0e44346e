// The container being written: FFmpeg's muxer over the caller's file descriptor, the header, the
// encoded packets of each stream in time order, and the trailer (internal to compressed/).
#pragma once

#include <memory>
#include <string>

#include "compressed/av_support.h"
#include "compressed/fd_output.h"
#include "platform/expected.h"

namespace rw::av {

class Muxer {
  public:
    // `muxer` is FFmpeg's name for the container ("mp4"), `label` the one users know ("MP4").
    static Expected<std::unique_ptr<Muxer>> Open(int fd, std::string name, const char* muxer,
                                                 const char* label);
    // Whether this system's FFmpeg has the muxer, or a message saying it lacks it.
    static Expected<void> Available(const char* muxer, const char* label);
    Muxer(std::unique_ptr<FdOutput> output, AVFormatContext* format, std::string name);
    ~Muxer();
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    const std::string& Name() const { return m_name; }
    // Whether encoders must put their set-up data in the container's header.
    bool WantsGlobalHeader() const;
    // A new stream for an encoder that is to be opened.
    Expected<AVStream*> AddStream();
    // Copies each opened encoder's parameters to its stream first.
    Expected<void> WriteHeader();
    // Sends `frame` (null at the end) to `codec` and writes every packet it gives to `stream`.
    Expected<void> Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);
    Expected<void> WriteTrailer();

  private:
    Error WriteFailure(int code);

    std::unique_ptr<FdOutput> m_output;
    AVFormatContext* m_format;
    std::string m_name;
    PacketPtr m_packet;
};

}  // namespace rw::av
