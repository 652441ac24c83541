// Maps a byte count that may exceed the progress control's 31-bit range onto that range, so
// the bar still moves in proportion: positions are the bytes shifted right until the total
// fits. Steps are sent only when the position moves.
#pragma once

#include "jobs/JobView.h"

#include <cstdint>

class ProgressScale {
public:
    // Sets the control's range for `total` bytes and its position to 0.
    void begin(IProgress& progress, uint64_t total);
    // Moves the bar to `done` bytes (never backwards).
    void advanceTo(IProgress& progress, uint64_t done);
    int shift() const { return shift_; }
    int32_t range() const { return static_cast<int32_t>(total_ >> shift_); }

private:
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    int shift_ = 0;
};
