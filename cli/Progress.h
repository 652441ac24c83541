// A one-line progress bar on standard error, drawn only when standard error is a terminal
// and not silenced. Redraws when the shown percentage moves, not on every byte.
#pragma once

#include <cstdint>
#include <string>

class ProgressBar {
public:
    ProgressBar(bool enabled, std::string label, uint64_t total);
    ~ProgressBar();
    void advanceTo(uint64_t done);
    // For a transfer whose size is learnt after the bar was made.
    void setTotal(uint64_t total) { total_ = total; }
    void finish();

private:
    void draw();

    bool enabled_;
    std::string label_;
    uint64_t total_;
    uint64_t done_ = 0;
    int shownPercent_ = -1;
    bool drawn_ = false;
};

// True when standard error is a terminal.
bool stderrIsTerminal();
