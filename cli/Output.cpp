#include "cli/Output.h"

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

bool closed = false;
std::chrono::steady_clock::time_point lastFlush;

bool checked(bool ok) {
    if (!ok && errno == EPIPE)
        closed = true;
    return ok;
}

} // namespace

bool writeOut(const void* data, std::size_t n) {
    if (closed)
        return false;
    errno = 0;
    return checked(std::fwrite(data, 1, n, stdout) == n);
}

bool writeOut(const std::string& text) {
    return writeOut(text.data(), text.size());
}

bool flushOut() {
    if (closed)
        return false;
    errno = 0;
    lastFlush = std::chrono::steady_clock::now();
    return checked(std::fflush(stdout) == 0);
}

bool flushOutSoon() {
    using namespace std::chrono_literals;
    if (std::chrono::steady_clock::now() - lastFlush < 100ms)
        return !closed;
    return flushOut();
}

bool outputClosed() {
    return closed;
}
