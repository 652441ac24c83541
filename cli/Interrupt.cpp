#include "cli/Interrupt.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void onInterrupt(int) {
    stopRequested = 1;
}
} // namespace

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed connection must show as an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

bool interrupted() {
    return stopRequested != 0;
}
