#include "cli/Password.h"

#include "app/StringDisplay.h"

#include "cli/CliOptions.h"
#include "cli/HiddenInput.h"
#include "cli/Listing.h"
#include "zip/ZipArchive.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int triesPerEntry = 3;

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
