#include "cli/Progress.h"

#include <cstdio>
#include <unistd.h>

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(bool enabled, std::string label, uint64_t total)
    : enabled_(enabled && stderrIsTerminal()), label_(std::move(label)), total_(total) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::advanceTo(uint64_t done) {
    done_ = done;
    if (!enabled_)
        return;
    const int percent =
        total_ == 0 ? 100 : static_cast<int>(std::min<uint64_t>(done, total_) * 100 / total_);
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        draw();
    }
}

void ProgressBar::draw() {
    constexpr int width = 30;
    const int filled = shownPercent_ * width / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r%-32.32s [%s] %3d%%", label_.c_str(), bar.c_str(), shownPercent_);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}
