// What the writer's parts share around FFmpeg's libraries: owners for its objects, its error codes
// and log lines turned into messages, and encoders looked up by name (internal to compressed/).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

#include "platform/expected.h"

namespace rw::av {

struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// Keeps FFmpeg's own log off the terminal; its last error line on this thread goes into the
// messages below instead. Called before any other use of the libraries.
void KeepLogQuiet();
// Forgets this thread's last error line (a step that succeeded may have logged one).
void ForgetLastLine();

// "cannot write "NAME": WHAT: <FFmpeg's text for code> (<its last error line>)".
Error Failure(const std::string& name, const std::string& what, int code);

// The encoder `encoder` (e.g. "libx264"), or a message saying this system's FFmpeg lacks it.
Expected<const AVCodec*> FindEncoder(const char* encoder, const char* label);

// Opens `codec` (allocated for its encoder, its fields filled in) with the encoder's own options
// `options` ("key=value:key=value").
Expected<void> OpenEncoder(AVCodecContext* codec, const std::string& options,
                           const std::string& name);

}  // namespace rw::av
