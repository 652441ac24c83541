#include "jobs/ProgressScale.h"

#include <limits>

void ProgressScale::begin(IProgress& progress, uint64_t total) {
    total_ = total;
    done_ = 0;
    shift_ = 0;
    while ((total_ >> shift_) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        ++shift_;
    progress.setRange32(0, range());
    progress.setPos(0);
}

void ProgressScale::advanceTo(IProgress& progress, uint64_t done) {
    if (done <= done_)
        return;
    const uint64_t before = done_ >> shift_;
    const uint64_t after = done >> shift_;
    done_ = done;
    if (after == before)
        return;
    progress.setStep(static_cast<int32_t>(after - before));
    progress.stepIt();
}
