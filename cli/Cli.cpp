#include "cli/ArchiveSession.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Output.h"

#include "platform/HttpClient.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int runCommand(const CliOptions& o) {
    switch (o.command) {
    case CliCommand::List:
        return runList(o);
    case CliCommand::Test:
        return runTest(o);
    case CliCommand::Extract:
        return runExtract(o);
    case CliCommand::Cat:
        return runCat(o);
    case CliCommand::Save:
        return runSave(o);
    default:
        return exitcode::usage;
    }
}

} // namespace

namespace {

// Asks for the passwords that -u and -U left out before any request is made.
int takeSignIn(const CliOptions& o) {
    SignIn signIn;
    std::string error;
    if (o.user)
        signIn.server = takeLogin(*o.user, "host", error);
    if (error.empty() && o.proxyUser)
        signIn.proxy = takeLogin(*o.proxyUser, "proxy", error);
    if (interrupted())
        return exitcode::interrupted;
    if (!error.empty()) {
        std::fprintf(stderr, "marrowglen-cli: %s\n", error.c_str());
        return exitcode::usage;
    }
    ArchiveSession::setSignIn(std::move(signIn));
    return exitcode::success;
}

} // namespace

int runCli(int argc, char** argv) {
    installInterruptHandler();
    const CliParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "marrowglen-cli: %s\nTry 'marrowglen-cli --help'.\n",
                     parsed.error.c_str());
        return exitcode::usage;
    }
    const CliOptions& o = *parsed.options;
    switch (o.command) {
    case CliCommand::Help:
        std::fputs(usageText(), stdout);
        return exitcode::success;
    case CliCommand::Version:
        std::printf("marrowglen-cli %s\n", MARROWGLEN_VERSION);
        return exitcode::success;
    default:
        break;
    }
    if (int status = takeSignIn(o); status != exitcode::success)
        return status;
    initHttpGlobal();
    const int status = runCommand(o);
    if (interrupted()) {
        std::fputs("marrowglen-cli: interrupted\n", stderr);
        return interruptStatus();
    }
    // A reader that went away ends the program quietly; any other failed write is an error,
    // never a success.
    const bool written = !std::ferror(stdout) && flushOut();
    if (outputClosed())
        return closedOutputStatus;
    if (!written) {
        fail(std::string("cannot write to standard output: ") + std::strerror(errno));
        return exitcode::someFailed;
    }
    return status;
}
