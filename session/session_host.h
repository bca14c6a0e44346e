// What the desktop session's conversion worker reports to. Each report is handed to the window's
// thread through the call the program gives for that, and dealt with there: the progress and the
// pictures go straight to the view; the boxes and the run's end wait their turn, in the order the
// worker sent them, and never while the window is busy with an action of its own (a button, a
// question, a file dialog).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>

#include "run/conversion_host.h"

namespace rw {

class ConverterSession;
class SessionView;

// Runs a call on the window's thread later, in the order given; callable from any thread.
using PostCall = std::function<void(std::function<void()>)>;

class SessionHost final : public ConversionHost {
  public:
    SessionHost(ConverterSession& session, SessionView& view, PostCall post);
    SessionHost(const SessionHost&) = delete;
    SessionHost& operator=(const SessionHost&) = delete;

    // From the run's threads.
    void ProgressChanged(const ProgressTexts& progress) override;
    void SeekFailed(uint32_t frame, uint32_t position) override;
    void ConcealedDamage(int32_t damagedFrames, const std::string& message) override;
    void ConversionFinished() override;
    void ConversionFailed(const std::string& message) override;
    bool WantsPictures() const override { return true; }
    void FramePicture(int32_t frame, std::span<const uint8_t> bgrBottomUp) override;

    // On the window's thread, around an action of the window's own: the waiting reports are dealt
    // with once the last Hold has gone.
    class Hold {
      public:
        explicit Hold(SessionHost& host);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        SessionHost& m_host;
    };

  private:
    void Queue(std::function<void()> report);
    void Deliver();

    ConverterSession& m_session;
    SessionView& m_view;
    PostCall m_post;

    // On the window's thread only.
    int m_holds = 0;
    bool m_delivering = false;
    std::deque<std::function<void()>> m_reports;  // waiting their turn
};

}  // namespace rw
