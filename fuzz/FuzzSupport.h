// Shared by the zip fuzz targets: an archive opened from memory and a budget that keeps one
// input from inflating for long (a few KiB of deflate data can stand for megabytes).
#pragma once

#include "MemorySource.h"
#include "zip/ZipArchive.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace fuzzsupport {

// Uncompressed bytes one input may produce over all its entries.
constexpr uint32_t outputBudget = 4u << 20;

// Runs `action`, swallowing the failures the engine documents for damaged data. Any other
// exception escapes and the fuzzer reports it as a crash.
template <typename Action> void tolerateDamage(Action&& action) {
    try {
        action();
    } catch (const CZipException&) {
    } catch (const CZipFileException&) {
    } catch (const std::invalid_argument&) {
    }
}

// A progress callback that stops an operation once the input's budget is spent.
class Budget {
public:
    CZipArchive::ProgressCallback callback() {
        return [this](void*, uint32_t done, void*) {
            const uint64_t total = spent_ + done;
            if (total > outputBudget)
                return false;
            last_ = done;
            return true;
        };
    }
    // Counts the bytes of the operation that just ended.
    void settle() {
        spent_ += last_;
        last_ = 0;
    }
    bool exhausted() const { return spent_ >= outputBudget; }

private:
    uint64_t spent_ = 0;
    uint32_t last_ = 0;
};

} // namespace fuzzsupport
