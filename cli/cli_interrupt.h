// The command line's one interrupt handler: Ctrl-C (SIGINT) or SIGTERM asks every mode to stop
// before its next frame, and the program then exits with 128 plus the signal's number.
#pragma once

#include <atomic>

namespace rw::cli {

// Installs the handler for SIGINT and SIGTERM (again does no harm); the flag is set once either
// arrives.
void InstallInterruptHandlers();
bool Interrupted();
const std::atomic<bool>& InterruptFlag();
// The exit status of a run stopped by a signal: 130 for SIGINT, 143 for SIGTERM.
int InterruptedExitStatus();

}  // namespace rw::cli
