#include "cli/HiddenInput.h"

#include "cli/Interrupt.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace {

// A line longer than this is no typed password.
constexpr std::size_t maxLine = 4096;

void writeText(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
}

// Echo off for as long as it lives. Input typed before the prompt is dropped when echo goes
// off (it was not meant as the answer); nothing is dropped when echo comes back, as the
// line after the answer may already be typed.
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
            tcsetattr(fd_, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

} // namespace

std::optional<std::string> readHidden(int tty, const std::string& prompt) {
    std::string line;
    bool complete = false;
    {
        EchoOff echoOff(tty);
        writeText(tty, prompt);
        char c = 0;
        while (!interrupted()) {
            const ssize_t n = ::read(tty, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n' || c == '\r') {
                complete = n > 0;
                break;
            }
            if (line.size() < maxLine)
                line += c;
        }
    }
    if (!complete) {
        writeText(tty, "\n");
        return std::nullopt;
    }
    return line;
}
