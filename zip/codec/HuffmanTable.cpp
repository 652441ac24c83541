#include "zip/codec/HuffmanTable.h"

namespace zipcodec {
namespace {

uint32_t reversed(uint32_t code, unsigned length) {
    uint32_t out = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1)
        out = (out << 1) | (code & 1);
    return out;
}

} // namespace

bool HuffmanTable::build(const uint8_t* lengths, unsigned count) {
    unsigned perLength[maxBits + 1] = {};
    unsigned longest = 0;
    for (unsigned s = 0; s < count; ++s) {
        if (lengths[s] > maxBits)
            return false;
        ++perLength[lengths[s]];
        if (lengths[s] > longest)
            longest = lengths[s];
    }
    if (longest == 0)
        return false;
    // Over-subscribed codes are damage; incomplete ones are allowed (a single distance code
    // is common), their unused bit patterns stay invalid.
    int left = 1;
    for (unsigned len = 1; len <= maxBits; ++len) {
        left = (left << 1) - static_cast<int>(perLength[len]);
        if (left < 0)
            return false;
    }
    uint32_t next[maxBits + 2] = {};
    for (unsigned len = 1; len <= maxBits; ++len)
        next[len + 1] = (next[len] + perLength[len]) << 1;
    bits_ = longest;
    table_.assign(std::size_t(1) << bits_, Entry{});
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0)
            continue;
        const uint32_t code = reversed(next[len]++, len);
        for (uint32_t i = code; i < table_.size(); i += 1u << len)
            table_[i] = Entry{static_cast<uint16_t>(s), static_cast<uint8_t>(len)};
    }
    return true;
}

} // namespace zipcodec
