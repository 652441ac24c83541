#include "cli/SignIn.h"

#include "cli/HiddenInput.h"

#include <fcntl.h>
#include <unistd.h>

std::optional<std::string> askOnTerminal(const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return std::nullopt;
    std::optional<std::string> answer = readHidden(tty, prompt);
    ::close(tty);
    return answer;
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
