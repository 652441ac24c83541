// Compression rate of an entry, as the list shows it. Exact integer arithmetic: floating point
// turns 29 of 100 into "28 %". The value is truncated toward zero and may be negative or above
// 100 when the packed data is larger than the original.
#pragma once

#include <cstdint>

// percentCompressed true: 100·(u − c) ÷ u ("percent compressed");
// false: 100·c ÷ u ("percent left of original size"). An empty entry has rate 0. Sizes may be
// totals of many entries: below 2^56 the arithmetic cannot overflow.
inline int64_t compressionRate(uint64_t compressed, uint64_t uncompressed, bool percentCompressed) {
    if (uncompressed == 0)
        return 0;
    const auto c = static_cast<int64_t>(compressed);
    const auto u = static_cast<int64_t>(uncompressed);
    return percentCompressed ? 100 * (u - c) / u : 100 * c / u;
}
