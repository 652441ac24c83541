// Small helpers every test area shares: temporary folders, free loopback ports, child
// processes and the private environment tests run in. No Qt, no GoogleTest.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace mgtest {

// Debian's interpreter (the `python3` on PATH may lack Debian's modules).
inline constexpr const char* DebianPython = "/usr/bin/python3";

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "mgtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);

// A TCP port on 127.0.0.1 that was free a moment ago (bound to port 0, then released).
int freePort();
// True once something accepts connections on 127.0.0.1:port.
bool waitForPort(int port, std::chrono::milliseconds timeout);

struct CommandResult {
    int exitCode = -1;  // -1 when it could not run or was killed
    std::string output; // standard output and standard error together
};
// Runs argv[0] (searched on PATH) and waits for it.
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& cwd = {});

// A background process, stopped (SIGTERM, then SIGKILL after 5 s) on destruction.
class ChildProcess {
public:
    // Output goes to `logFile` (appended), or to /dev/null when empty.
    ChildProcess(const std::vector<std::string>& argv, const std::string& logFile = {});
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void stop();

private:
    pid_t pid_ = -1;
};

// Private XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR, NO_PROXY for loopback, SIGPIPE
// ignored. mg_test_main calls it before the tests run.
void prepareTestEnvironment();

} // namespace mgtest
