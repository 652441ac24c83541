#include "cli/SignIn.h"

#include "cli/Interrupt.h"

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Puts the terminal's echo back however the reading ends.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_)
            tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A password longer than this is no typed password.
constexpr std::size_t MaxLine = 4096;

} // namespace

std::optional<std::string> askOnTerminal(const std::string& prompt) {
    Descriptor tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (tty.get() < 0)
        return std::nullopt;
    if (::write(tty.get(), prompt.data(), prompt.size()) < 0)
        return std::nullopt;
    EchoOff echoOff(tty.get());
    std::string line;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(tty.get(), &c, 1);
        if (got < 0 && errno == EINTR && !interrupted())
            continue;
        if (got <= 0 || interrupted())
            return std::nullopt;
        if (c == '\n' || c == '\r')
            return line;
        if (line.size() < MaxLine)
            line += c;
    }
}

std::optional<Login> takeLogin(const std::string& spec, const char* what, std::string& error) {
    const auto colon = spec.find(':');
    if (colon != std::string::npos)
        return Login{spec.substr(0, colon), spec.substr(colon + 1)};
    const std::string prompt = std::string("Enter ") + what + " password for user '" + spec + "':";
    std::optional<std::string> password = askOnTerminal(prompt);
    if (!password) {
        error = std::string("no terminal to ask for the ") + what + " password on; give it as " +
                (what[0] == 'h' ? "-u" : "-U") + " USER:PASSWORD";
        return std::nullopt;
    }
    return Login{spec, *password};
}
