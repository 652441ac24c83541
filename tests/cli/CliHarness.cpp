#include "CliHarness.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clitest {

Run cli(const std::vector<std::string>& args) {
    return cliWith({}, args, {});
}

Run cliWith(const std::vector<std::string>& env, const std::vector<std::string>& args,
            const std::string& cwd) {
    mgtest::TempDir dir("mgtest-cli-run");
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "exec env \"$@\" </dev/null >\"$OUT\" 2>\"$ERR\"", "sh"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(MG_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    setenv("OUT", dir.file("out").c_str(), 1);
    setenv("ERR", dir.file("err").c_str(), 1);
    Run run;
    run.exitCode = mgtest::runCommand(argv, cwd).exitCode;
    run.out = mgtest::readFile(dir.file("out"));
    run.err = mgtest::readFile(dir.file("err"));
    return run;
}

void makeArchive(const std::string& path, const std::string& script) {
    const std::string program = "import sys, zipfile\n" + script;
    auto result = mgtest::runCommand({mgtest::DebianPython, "-c", program, path});
    if (result.exitCode != 0)
        throw std::runtime_error("archive script failed: " + result.output);
}

std::string pythonTsv(const std::string& path) {
    // The time as the program shows it: from an extended-timestamp (0x5455) or NTFS (0x000A)
    // field when there is one, in local time, else the MS-DOS fields.
    const char* program = R"(import struct, sys, time, zipfile
def exact(extra):
    while len(extra) >= 4:
        tag, size = struct.unpack("<HH", extra[:4]); body = extra[4:4 + size]
        if tag == 0x5455 and size >= 5 and body[0] & 1: return struct.unpack("<i", body[1:5])[0]
        if tag == 0x000A and size >= 32: return struct.unpack("<Q", body[8:16])[0] // 10**7 - 11644473600
        extra = extra[4 + size:]
def shown(i):
    when = exact(i.extra)
    return i.date_time if when is None else time.localtime(when)[:6]
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    if i.is_dir(): continue
    t = "%04d-%02d-%02dT%02d:%02d:%02d" % tuple(shown(i))
    print("%s\t%d\t%d\t%08x\t%d\t%s" % (i.filename, i.file_size, i.compress_size, i.CRC, i.compress_type, t))
)";
    return mgtest::runCommand({mgtest::DebianPython, "-c", program, path}).output;
}

} // namespace clitest

namespace clitest {

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& args) {
    std::vector<char*> pointers;
    for (auto& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The exit status once the child ends within `timeout`; -1 otherwise (or when killed).
int waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

RunningCli::RunningCli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {MG_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = pointersTo(argv);
    const std::string out = dir_.file("out"), err = dir_.file("err");
    pid_ = fork();
    if (pid_ == 0) {
        // As from an interactive shell, even when the tests run in the background.
        for (int number : {SIGINT, SIGTERM, SIGHUP})
            std::signal(number, SIG_DFL);
        int in = open("/dev/null", O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(o, STDOUT_FILENO);
        dup2(e, STDERR_FILENO);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
}

RunningCli::~RunningCli() {
    if (pid_ > 0 && waitFor(pid_, std::chrono::milliseconds(0)) == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void RunningCli::signal(int number) {
    kill(pid_, number);
}

int RunningCli::waitExit(std::chrono::milliseconds timeout) {
    const int status = waitFor(pid_, timeout);
    if (status != -1)
        pid_ = -1;
    return status;
}

std::string RunningCli::err() const {
    return mgtest::readFile(dir_.file("err"));
}

Run cliOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
    mgtest::TempDir dir("mgtest-cli-tty");
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const std::string slave = ptsname(master);
    std::vector<std::string> argv = {MG_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = pointersTo(argv);
    const std::string out = dir.file("out");
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int tty = open(slave.c_str(), O_RDWR);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(tty, STDIN_FILENO);
        dup2(tty, STDERR_FILENO);
        dup2(o, STDOUT_FILENO);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    [[maybe_unused]] auto written = write(master, typed.data(), typed.size());
    Run run;
    // The terminal's side ends (EIO) once the program and its descriptors are gone.
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        run.err.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
    run.exitCode = waitFor(pid, std::chrono::seconds(5));
    run.out = mgtest::readFile(out);
    return run;
}

} // namespace clitest
