#include "cli/cli_interrupt.h"

#include <csignal>

namespace rw::cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{SIGINT};

extern "C" void OnInterrupt(int signal) {
    g_signal.store(signal);
    g_interrupted.store(true);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return g_interrupted.load();
}

const std::atomic<bool>& InterruptFlag() {
    return g_interrupted;
}

int InterruptedExitStatus() {
    return 128 + g_signal.load();
}

}  // namespace rw::cli
