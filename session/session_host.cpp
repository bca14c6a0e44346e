#include "session/session_host.h"

#include <utility>
#include <vector>

#include "session/converter_session.h"

namespace rw {

SessionHost::SessionHost(ConverterSession& session, SessionView& view, PostCall post)
    : m_session(session), m_view(view), m_post(std::move(post)) {}

SessionHost::Hold::Hold(SessionHost& host) : m_host(host) {
    ++m_host.m_holds;
}

SessionHost::Hold::~Hold() {
    if (--m_host.m_holds == 0 && !m_host.m_delivering) {
        m_host.m_post([h = &m_host] { h->Deliver(); });
    }
}

void SessionHost::Queue(std::function<void()> report) {
    // It joins the reports waiting their turn on the window's thread, after the progress and the
    // pictures sent before it.
    m_post([this, report = std::move(report)]() mutable {
        m_reports.push_back(std::move(report));
        Deliver();
    });
}

void SessionHost::Deliver() {
    // One report at a time, in the order the worker sent them; those of an ended window are
    // dropped.
    if (m_delivering || m_holds > 0) return;
    m_delivering = true;
    for (;;) {
        if (m_session.IsClosed()) m_reports.clear();
        if (m_reports.empty()) break;
        std::function<void()> report = std::move(m_reports.front());
        m_reports.pop_front();
        report();
    }
    m_delivering = false;
}

void SessionHost::ProgressChanged(const ProgressTexts& progress) {
    // The fields go on changing while the window is busy: only the boxes and the run's end wait.
    m_post([this, progress] { m_view.ShowProgress(progress); });
}

void SessionHost::SeekFailed(uint32_t frame, uint32_t position) {
    // Two boxes: the frame from 0, then the position sought, both unsigned.
    Queue([this, frame] { m_view.ShowMessage(std::to_string(frame), false); });
    Queue([this, position] { m_view.ShowMessage(std::to_string(position), false); });
}

void SessionHost::ConcealedDamage(int32_t /*damagedFrames*/, const std::string& message) {
    Queue([this, message] { m_view.ShowMessage(message, false); });
}

void SessionHost::ConversionFailed(const std::string& message) {
    Queue([this, message] {
        m_session.Failed(message);
        m_view.RunEnded(false);
    });
}

void SessionHost::ConversionFinished() {
    Queue([this] {
        m_session.Finished();
        m_view.RunEnded(true);
    });
}

void SessionHost::FramePicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) {
    // The picture is valid only during this call: the window gets a copy.
    const VqaProperties props = m_session.Properties();
    m_post([this, frame, picture = std::vector<uint8_t>(bgrBottomUp.begin(), bgrBottomUp.end()),
            width = props.width,
            height = props.height] { m_view.ShowPicture(frame, picture, width, height); });
}

}  // namespace rw
