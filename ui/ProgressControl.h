// The status bar's progress bar, driven as the standard progress control is: a range, a
// position, a step, and a step that wraps to the start when it passes the end. The bar is
// redrawn at most every few tens of milliseconds: a listing steps it once per entry, and a
// redraw per step would stall the window for seconds on a large archive.
#pragma once

#include "jobs/JobView.h"

#include <QProgressBar>
#include <QTimer>

class ProgressControl : public QProgressBar, public IProgress {
public:
    explicit ProgressControl(QWidget* parent = nullptr);

    void setPos(int32_t position) override;
    void setRange32(int32_t low, int32_t high) override;
    void setStep(int32_t step) override { step_ = step; }
    void stepIt() override;
    void stepBy(int times) override;
    int32_t step() const { return step_; }
    int32_t position() const { return position_; }

private:
    void moveTo(int64_t position);
    int64_t stepped(int64_t position) const;

    int32_t step_ = 1;
    int32_t low_ = 0;
    int32_t high_ = 100;
    int32_t position_ = 0;
    QTimer redraw_;
};
