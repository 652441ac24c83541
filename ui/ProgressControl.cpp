#include "ui/ProgressControl.h"

#include <algorithm>

ProgressControl::ProgressControl(QWidget* parent) : QProgressBar(parent) {
    setRange(low_, high_);
    setValue(0);
    setTextVisible(false);
    redraw_.setSingleShot(true);
    redraw_.setInterval(40);
    connect(&redraw_, &QTimer::timeout, this, [this] { setValue(position_); });
}

void ProgressControl::setPos(int32_t position) {
    moveTo(position);
}

void ProgressControl::setRange32(int32_t low, int32_t high) {
    low_ = low;
    high_ = std::max(low, high);
    setRange(low_, high_);
    moveTo(position_);
}

void ProgressControl::stepIt() {
    int64_t next = int64_t(position_) + step_;
    // Passing the end starts again from the beginning, as the standard control does.
    if (next > high_)
        next = low_ + (next - high_) % (int64_t(high_) - low_ + 1);
    moveTo(next);
}

void ProgressControl::moveTo(int64_t position) {
    position_ = int32_t(std::clamp<int64_t>(position, low_, high_));
    if (!redraw_.isActive())
        redraw_.start();
}
