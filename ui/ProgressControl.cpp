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

// Passing the end starts again from the beginning, as the standard control does.
int64_t ProgressControl::stepped(int64_t position) const {
    const int64_t next = position + step_;
    if (next > high_)
        return low_ + (next - high_) % (int64_t(high_) - low_ + 1);
    return std::max<int64_t>(next, low_);
}

void ProgressControl::stepIt() {
    moveTo(stepped(position_));
}

// Only the last position is drawn: the steps between are worked out, not shown.
void ProgressControl::stepBy(int times) {
    int64_t position = position_;
    if (step_ >= 0 && position + int64_t(step_) * times <= high_)
        position += int64_t(step_) * times;
    else
        for (int i = 0; i < times; ++i)
            position = stepped(position);
    moveTo(position);
}

void ProgressControl::moveTo(int64_t position) {
    position_ = int32_t(std::clamp<int64_t>(position, low_, high_));
    if (!redraw_.isActive())
        redraw_.start();
}
