// Compression rate of an entry, as the list shows it. Exact integer arithmetic: floating point
// turns 29 of 100 into "28 %". The value is truncated toward zero and may be negative or above
// 100 when the packed data is larger than the original.
#pragma once

#include <cstdint>

// percentCompressed true: 100·(u − c) ÷ u ("percent compressed");
// false: 100·c ÷ u ("percent left of original size"). An empty entry has rate 0.
// Sizes reach 2^63, so the products are taken in 128 bits; the rate itself fits 64 bits
// except for a packed size above 2^56 times the original, which saturates.
inline int64_t compressionRate(uint64_t compressed, uint64_t uncompressed, bool percentCompressed) {
    if (uncompressed == 0)
        return 0;
    __extension__ using Wide = __int128;
    const Wide c = compressed;
    const Wide u = uncompressed;
    const Wide rate = percentCompressed ? 100 * (u - c) / u : 100 * c / u;
    if (rate > INT64_MAX)
        return INT64_MAX;
    return rate < INT64_MIN ? INT64_MIN : static_cast<int64_t>(rate);
}
