#include "cli/Output.h"

#include <cerrno>
#include <cstdio>

namespace {

bool closed = false;

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
    return checked(std::fflush(stdout) == 0);
}

bool outputClosed() {
    return closed;
}
