// Canonical Huffman codes as deflate writes them (codes packed from the most significant bit,
// read from the least significant bit first), decoded by one table lookup.
#pragma once

#include <cstdint>
#include <vector>

namespace zipcodec {

class HuffmanTable {
public:
    static constexpr unsigned maxBits = 15;

    struct Entry {
        uint16_t symbol = 0;
        uint8_t length = 0; // 0: no code has these bits
    };

    // Builds the table from each symbol's code length (0 = unused). False when the lengths
    // over-subscribe the code space or none is used.
    bool build(const uint8_t* lengths, unsigned count);
    // The table's index width: peek this many bits (fewer at the very end of the data).
    unsigned bits() const { return bits_; }
    const Entry& lookup(uint32_t peeked) const { return table_[peeked & ((1u << bits_) - 1)]; }

private:
    std::vector<Entry> table_;
    unsigned bits_ = 1;
};

} // namespace zipcodec
