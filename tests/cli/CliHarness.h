// Runs marrowglen-cli as a user would and makes the archives it is pointed at.
#pragma once

#include "TestSupport.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace clitest {

struct Run {
    int exitCode = -1;
    std::string out; // standard output alone
    std::string err; // standard error alone
};

// Runs marrowglen-cli with `args`; standard input is empty (not a terminal).
Run cli(const std::vector<std::string>& args);
// The same in the folder `cwd` with the environment changed by `env` ("NAME=value" each).
Run cliWith(const std::vector<std::string>& env, const std::vector<std::string>& args,
            const std::string& cwd);

// Writes `script`'s archive with Debian's Python: the script sees `path` as sys.argv[1] and
// `zipfile` imported.
void makeArchive(const std::string& path, const std::string& script);

// What Python's zipfile says of the archive's files, in `list --tsv`'s format.
std::string pythonTsv(const std::string& path);

// marrowglen-cli running in the background, for signals; killed if still running at the end.
class RunningCli {
public:
    explicit RunningCli(const std::vector<std::string>& args);
    ~RunningCli();
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    void signal(int number);
    // The exit status, or -1 when it is still running after `timeout`.
    int waitExit(std::chrono::milliseconds timeout);
    std::string err() const;

private:
    mgtest::TempDir dir_{"mgtest-cli-bg"};
    pid_t pid_ = -1;
};

// Runs marrowglen-cli with standard input and standard error on a terminal (a pseudo-
// terminal) on which `typed` is typed; `err` is everything the terminal showed.
Run cliOnTerminal(const std::vector<std::string>& args, const std::string& typed);

} // namespace clitest
