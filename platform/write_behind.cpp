// The write-behind side of DiskOutputFile: a full buffer is handed to a helper thread, which
// writes it while the next one fills.
#include <chrono>

#include "platform/disk_output_file.h"

namespace rw {
namespace {

// Between buffers the helper thread keeps its processor for a moment before it sleeps: the next
// buffer usually comes within a fraction of a millisecond, and waking a sleeping thread costs
// more than that, notably on virtual machines. Writing behind is only asked for by a run that has
// a processor to spare for it (see the conversion's plan), so the helper may keep it busy.
constexpr auto kHelperSpin = std::chrono::milliseconds(1);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace

void DiskOutputFile::HelperLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_busy && !m_stop) {
            lock.unlock();
            const auto until = std::chrono::steady_clock::now() + kHelperSpin;
            while (!m_handedOver.load(std::memory_order_acquire) &&
                   std::chrono::steady_clock::now() < until) {
                CpuRelax();
            }
            lock.lock();
        }
        m_helperAsleep = true;
        m_changed.wait(lock, [this] { return m_busy || m_stop; });
        m_helperAsleep = false;
        if (m_stop) break;  // only Abandon stops a busy helper: those bytes are not wanted
        const std::span<const uint8_t> data(m_writing.data(), m_writingLength);
        const bool failedBefore = m_failure.has_value();
        lock.unlock();
        // After a failure nothing more is written: the file would have a gap.
        Expected<void> written = failedBefore ? Expected<void>{} : WriteRaw(data);
        lock.lock();
        if (!written && !m_failure) {
            m_failure = written.error();
            m_failed.store(true);
        }
        m_busy = false;
        m_handedOver.store(false, std::memory_order_relaxed);
        // A notification costs a system call; only a sleeping owner needs one.
        if (m_ownerAsleep) m_changed.notify_all();
    }
}

Expected<void> DiskOutputFile::HandOff() {
    if (m_bufferLength == 0) return {};
    if (!m_writeBehind) {
        // Written here and now; the buffer is free again at once.
        auto written = WriteRaw(std::span<const uint8_t>(m_buffer.data(), m_bufferLength));
        if (!written) {
            std::lock_guard lock(m_mutex);
            if (!m_failure) m_failure = written.error();
            m_failed.store(true);
            return written;
        }
        m_bufferLength = 0;
        return {};
    }
    std::unique_lock lock(m_mutex);
    WaitUntilWritten(lock);
    if (m_failure) return *m_failure;
    if (!m_helper.joinable()) {
        m_stop = false;
        m_helper = std::thread(&DiskOutputFile::HelperLoop, this);
    }
    if (m_writing.size() != m_buffer.size()) m_writing.resize(m_buffer.size());
    std::swap(m_buffer, m_writing);
    m_writingLength = m_bufferLength;
    m_bufferLength = 0;
    m_busy = true;
    m_handedOver.store(true, std::memory_order_release);
    const bool wake = m_helperAsleep;
    lock.unlock();
    if (wake) m_changed.notify_all();
    return {};
}

void DiskOutputFile::WaitUntilWritten(std::unique_lock<std::mutex>& lock) {
    m_ownerAsleep = true;
    m_changed.wait(lock, [this] { return !m_busy; });
    m_ownerAsleep = false;
}

Expected<void> DiskOutputFile::Drain() {
    if (auto r = HandOff(); !r) return r;
    std::unique_lock lock(m_mutex);
    WaitUntilWritten(lock);
    if (m_failure) return *m_failure;
    return {};
}

void DiskOutputFile::StopHelper() {
    if (!m_helper.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_helper.join();
    m_stop = false;
    m_busy = false;
    m_handedOver.store(false);
}

}  // namespace rw
