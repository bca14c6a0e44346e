#include "compressed/av_support.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <mutex>

namespace rw::av {

namespace {

thread_local std::string t_lastLine;

void KeepLine(void* avcl, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 1;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &prefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (!text.empty()) t_lastLine = text;
}

}  // namespace

void KeepLogQuiet() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(KeepLine); });
    t_lastLine.clear();
}

void ForgetLastLine() {
    t_lastLine.clear();
}

Error Failure(const std::string& name, const std::string& what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string message = "cannot write \"" + name + "\": " + what + ": " + text;
    if (!t_lastLine.empty()) message += " (" + t_lastLine + ")";
    t_lastLine.clear();
    return Error{message};
}

Expected<const AVCodec*> FindEncoder(const char* encoder, const char* label) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (codec == nullptr) {
        return Error{std::string("this system's FFmpeg has no ") + label + " encoder (" + encoder +
                     ")"};
    }
    return codec;
}

Expected<void> OpenEncoder(AVCodecContext* codec, const std::string& options,
                           const std::string& name) {
    AVDictionary* dict = nullptr;
    int r = av_dict_parse_string(&dict, options.c_str(), "=", ":", 0);
    if (r >= 0) r = avcodec_open2(codec, codec->codec, &dict);
    av_dict_free(&dict);
    if (r < 0) {
        return Failure(name, std::string("cannot start the ") + codec->codec->name + " encoder", r);
    }
    return {};
}

}  // namespace rw::av
