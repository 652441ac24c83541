#include "ui/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_caught = 0;

// Async-signal-safe: a flag, write, signal and raise only.
void onSignal(int signalNumber) {
    if (g_caught) {
        // The clean way out is stuck or too slow for the user: the default action now.
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
        return;
    }
    g_caught = 1;
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default action
    g_caught = 0;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kHandled)
        ::sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    for (int signalNumber : kHandled)
        std::signal(signalNumber, SIG_DFL);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::onReadable() {
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1)
        emit received(number);
}
