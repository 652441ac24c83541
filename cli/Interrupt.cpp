#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// How long a command may take to unwind after the first interrupt.
constexpr long GraceNanoseconds = 500'000'000;

std::atomic<int> stopSignal{0};

struct Registry {
    std::mutex mutex;
    uint64_t nextId = 1;
    std::map<uint64_t, std::function<void()>> cancels;
    std::map<uint64_t, std::string> partialFiles;
};

Registry& registry() {
    static Registry* r = new Registry; // never destroyed: the signal thread outlives main
    return *r;
}

// The signals the program stops on: Ctrl+C, SIGTERM and SIGHUP, except those it was started
// with ignored (nohup, a background job of a script), which stay ignored as tools do.
sigset_t stopSignals() {
    static const sigset_t set = [] {
        sigset_t s;
        sigemptyset(&s);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
                sigaddset(&s, signal);
        }
        return s;
    }();
    return set;
}

[[noreturn]] void endNow(int signal) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [id, path] : r.partialFiles)
        ::unlink(path.c_str());
    static const char note[] = "\nmarrowglen-cli: interrupted\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, note, sizeof note - 1);
    ::_exit(128 + signal);
}

void watchSignals() {
    const sigset_t set = stopSignals();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    stopSignal = signal;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& [id, cancel] : r.cancels)
            cancel();
    }
    // A second signal, or the command still running after the grace time, ends it now.
    const timespec grace{0, GraceNanoseconds};
    sigtimedwait(&set, nullptr, &grace);
    endNow(signal);
}

} // namespace

void installInterruptHandler() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(watchSignals).detach();
    // A closed connection or pipe must show as a failed write, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

bool interrupted() {
    return stopSignal.load() != 0;
}

int interruptStatus() {
    return 128 + stopSignal.load();
}

CancelOnInterrupt::CancelOnInterrupt(std::function<void()> cancel) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (interrupted())
        cancel();
    id_ = r.nextId++;
    r.cancels.emplace(id_, std::move(cancel));
}

CancelOnInterrupt::~CancelOnInterrupt() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.cancels.erase(id_);
}

PartialFile::PartialFile(std::string path) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    id_ = r.nextId++;
    r.partialFiles.emplace(id_, std::move(path));
}

PartialFile::~PartialFile() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.partialFiles.erase(id_);
}
