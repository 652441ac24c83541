#include "cli/Password.h"

#include "app/StringDisplay.h"

#include "cli/CliOptions.h"
#include "cli/Interrupt.h"
#include "cli/Listing.h"
#include "zip/ZipArchive.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int triesPerEntry = 3;

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

// Shows the prompt and reads one line with echo off; the terminal's settings come back on
// every way out. Echo goes off before the prompt shows, so nothing typed after it can echo.
// Nothing when the line could not be read or Ctrl+C was pressed.
std::optional<std::string> readHidden(int tty, const std::string& prompt) {
    termios saved{};
    const bool canHide = tcgetattr(tty, &saved) == 0;
    if (canHide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    writeText(tty, prompt);
    std::string line;
    char c = 0;
    bool complete = false;
    while (!interrupted()) {
        const ssize_t n = ::read(tty, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n') {
            complete = n > 0;
            break;
        }
        line += c;
    }
    if (canHide)
        tcsetattr(tty, TCSANOW, &saved);
    if (!complete) {
        writeText(tty, "\n");
        return std::nullopt;
    }
    return line;
}

class TerminalPrompt {
public:
    explicit TerminalPrompt(int tty) : tty_(tty) {}
    ~TerminalPrompt() { ::close(tty_); }
    TerminalPrompt(const TerminalPrompt&) = delete;
    TerminalPrompt& operator=(const TerminalPrompt&) = delete;

    std::optional<std::string> ask(const CZipArchive::PasswordRequest& request) {
        tries_ = request.afterWrongPassword ? tries_ + 1 : 1;
        if (tries_ > triesPerEntry)
            return std::nullopt;
        std::string prompt = request.afterWrongPassword ? "Wrong password. " : "";
        prompt += "Password for " + escapeForTerminal(request.entryName) + " (empty to skip): ";
        std::optional<std::string> answer = readHidden(tty_, prompt);
        if (answer && answer->empty())
            return std::nullopt;
        return answer;
    }

private:
    int tty_;
    int tries_ = 0;
};

} // namespace

void setUpPasswords(CZipArchive& archive, const CliOptions& options) {
    if (options.password) {
        archive.setPassword(*options.password);
        return;
    }
    if (const char* fromEnvironment = std::getenv(passwordVariable);
        fromEnvironment && *fromEnvironment) {
        archive.setPassword(fromEnvironment);
        return;
    }
    if (isatty(STDIN_FILENO) != 1)
        return;
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return;
    auto prompt = std::make_shared<TerminalPrompt>(tty);
    archive.setPasswordProvider(
        [prompt](const CZipArchive::PasswordRequest& request) { return prompt->ask(request); });
}
