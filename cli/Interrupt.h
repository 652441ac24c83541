// Ctrl+C, SIGTERM and SIGHUP while a command runs. The first one stops the command: the
// transfer in flight is aborted at once through the registered cancel hooks, the command
// unwinds (its partial files go with it) and the program exits with 128 + the signal's
// number. Should the command not have ended within half a second (a server that keeps a
// blocking call waiting), or should a second signal come, the program ends at once and
// removes the registered partial files itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Blocks the signals in every thread and starts the thread that receives them. Call it
// before any other thread is started.
void installInterruptHandler();
bool interrupted();
// 128 + the signal that stopped the program: 130 for Ctrl+C.
int interruptStatus();

// While it lives, `cancel` is called (from the signal thread) when an interrupt comes; at
// once when one came already.
class CancelOnInterrupt {
public:
    explicit CancelOnInterrupt(std::function<void()> cancel);
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

private:
    uint64_t id_;
};

// While it lives, the file at `path` is removed if the program has to end at once.
class PartialFile {
public:
    explicit PartialFile(std::string path);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

private:
    uint64_t id_;
};
