// Deflate64 (method 9), "enhanced deflate": deflate with a 64 KiB window, length code 285
// meaning 3 + a 16-bit extra value instead of 258, and distance codes 30 and 31 (14 extra
// bits each) reaching back up to 65,536 bytes. No system library reads it.
//
// Input is staged in a small buffer and a block header or a symbol is decoded only when
// enough of it is there (or no more will come), so a unit never stops half-way for want of
// input and the state between calls is just the block being decoded and a pending copy.
#include "zip/codec/Decoder.h"
#include "zip/codec/HuffmanTable.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace zipcodec {
namespace {

constexpr std::size_t windowSize = 65536;
constexpr std::size_t stageSize = 8192;
// More than the largest dynamic block header (about 570 bytes) and any one symbol.
constexpr std::size_t lookahead = 1024;

constexpr uint16_t lengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t distanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                       17,   25,   33,   49,    65,    97,    129,   193,
                                       257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                       4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t distanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                       7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

[[noreturn]] void damaged(const char* why) {
    throw DecodeError(Z_DATA_ERROR, std::string("the Deflate64 data is damaged (") + why + ")");
}

class Deflate64Decoder : public Decoder {
public:
    Deflate64Decoder() : stage_(stageSize), window_(windowSize) {}

    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool lastInput) override {
        const std::size_t consumed = takeInput(in, inSize);
        inputEnded_ = lastInput && consumed == inSize;
        out_ = out;
        room_ = outSize;
        produced_ = 0;
        run();
        return {consumed, produced_, state_ == State::done};
    }

private:
    enum class State { header, stored, codes, done };

    std::size_t takeInput(const unsigned char* in, std::size_t inSize) {
        if (stagePos_ > 0) {
            std::memmove(stage_.data(), stage_.data() + stagePos_, stageEnd_ - stagePos_);
            stageEnd_ -= stagePos_;
            stagePos_ = 0;
        }
        const std::size_t n = std::min(inSize, stageSize - stageEnd_);
        if (n > 0)
            std::memcpy(stage_.data() + stageEnd_, in, n);
        stageEnd_ += n;
        return n;
    }

    bool enoughInput() const {
        return inputEnded_ || (stageEnd_ - stagePos_) + bitCount_ / 8 >= lookahead;
    }

    void fill() {
        while (bitCount_ <= 56 && stagePos_ < stageEnd_) {
            bits_ |= uint64_t(stage_[stagePos_++]) << bitCount_;
            bitCount_ += 8;
        }
    }

    uint32_t take(unsigned n) {
        if (n == 0)
            return 0;
        if (bitCount_ < n)
            fill();
        if (bitCount_ < n)
            damaged("it ends in the middle of a block");
        const auto value = static_cast<uint32_t>(bits_ & ((uint64_t(1) << n) - 1));
        bits_ >>= n;
        bitCount_ -= n;
        return value;
    }

    // The next symbol's table entry, without taking its bits.
    const HuffmanTable::Entry& peek(const HuffmanTable& table) {
        if (bitCount_ < table.bits())
            fill();
        const HuffmanTable::Entry& e = table.lookup(static_cast<uint32_t>(bits_));
        if (e.length == 0)
            damaged("an invalid code");
        if (e.length > bitCount_)
            damaged("it ends in the middle of a block");
        return e;
    }

    uint16_t symbol(const HuffmanTable& table) {
        const HuffmanTable::Entry& e = peek(table);
        bits_ >>= e.length;
        bitCount_ -= e.length;
        return e.symbol;
    }

    void emit(unsigned char byte) {
        out_[produced_++] = byte;
        window_[position_] = byte;
        position_ = (position_ + 1) & (windowSize - 1);
        ++total_;
    }

    void run() {
        while (state_ != State::done) {
            if (copyLeft_ > 0 && !copyMatch())
                return;
            if (state_ == State::header) {
                if (!enoughInput())
                    return;
                readBlockHeader();
            } else if (state_ == State::stored) {
                if (!copyStored())
                    return;
            } else if (!decodeSymbol()) {
                return;
            }
        }
    }

    void endBlock() { state_ = lastBlock_ ? State::done : State::header; }

    void readBlockHeader() {
        lastBlock_ = take(1) != 0;
        switch (take(2)) {
        case 0:
            startStored();
            break;
        case 1:
            useFixedCodes();
            state_ = State::codes;
            break;
        case 2:
            readDynamicCodes();
            state_ = State::codes;
            break;
        default:
            damaged("an invalid block type");
        }
    }

    void startStored() {
        take(bitCount_ % 8); // to the byte boundary
        const uint32_t length = take(16);
        if ((take(16) ^ 0xFFFF) != length)
            damaged("a stored block's length check fails");
        storedLeft_ = length;
        state_ = State::stored;
        if (storedLeft_ == 0)
            endBlock();
    }

    // False when room or input ran out first.
    bool copyStored() {
        while (storedLeft_ > 0) {
            if (room_ == produced_)
                return false;
            if (bitCount_ == 0 && stagePos_ == stageEnd_) {
                if (inputEnded_)
                    damaged("it ends in the middle of a stored block");
                return false;
            }
            emit(static_cast<unsigned char>(bitCount_ >= 8 ? take(8) : stage_[stagePos_++]));
            --storedLeft_;
        }
        endBlock();
        return true;
    }

    void useFixedCodes() {
        uint8_t lengths[288 + 32];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        std::fill(lengths + 288, lengths + 320, 5);
        literals_.build(lengths, 288);
        distances_.build(lengths + 288, 32);
    }

    void readDynamicCodes() {
        const unsigned literalCount = take(5) + 257;
        const unsigned distanceCount = take(5) + 1;
        const unsigned codeLengthCount = take(4) + 4;
        if (literalCount > 286)
            damaged("too many length codes");
        uint8_t codeLengths[19] = {};
        for (unsigned i = 0; i < codeLengthCount; ++i)
            codeLengths[codeLengthOrder[i]] = static_cast<uint8_t>(take(3));
        HuffmanTable lengthCodes;
        if (!lengthCodes.build(codeLengths, 19))
            damaged("invalid code length codes");
        uint8_t lengths[286 + 32] = {};
        const unsigned total = literalCount + distanceCount;
        for (unsigned i = 0; i < total;) {
            const uint16_t s = symbol(lengthCodes);
            if (s < 16) {
                lengths[i++] = static_cast<uint8_t>(s);
                continue;
            }
            if (s == 16 && i == 0)
                damaged("a repeat with nothing to repeat");
            const uint8_t value = s == 16 ? lengths[i - 1] : 0;
            const unsigned repeat = s == 16 ? 3 + take(2) : s == 17 ? 3 + take(3) : 11 + take(7);
            if (i + repeat > total)
                damaged("code lengths run past their count");
            std::fill(lengths + i, lengths + i + repeat, value);
            i += repeat;
        }
        if (lengths[256] == 0)
            damaged("no end-of-block code");
        if (!literals_.build(lengths, literalCount) ||
            !distances_.build(lengths + literalCount, distanceCount))
            damaged("invalid Huffman codes");
    }

    // One literal, one match or the block's end. False when input or room is short.
    bool decodeSymbol() {
        if (!enoughInput())
            return false;
        const HuffmanTable::Entry& e = peek(literals_);
        if (e.symbol < 256) {
            if (room_ == produced_)
                return false;
            symbol(literals_);
            emit(static_cast<unsigned char>(e.symbol));
            return true;
        }
        symbol(literals_);
        if (e.symbol == 256) {
            endBlock();
            return true;
        }
        const unsigned code = e.symbol - 257u;
        if (code >= 29)
            damaged("an invalid length code");
        copyLeft_ = lengthBase[code] + take(lengthExtra[code]);
        const uint16_t d = symbol(distances_);
        if (d >= 32)
            damaged("an invalid distance code");
        copyDistance_ = distanceBase[d] + take(distanceExtra[d]);
        if (copyDistance_ > total_)
            damaged("a distance before the start of the data");
        return true;
    }

    // Copies as much of the pending match as there is room for; false when room ran out.
    bool copyMatch() {
        while (copyLeft_ > 0) {
            if (room_ == produced_)
                return false;
            emit(window_[(position_ - copyDistance_) & (windowSize - 1)]);
            --copyLeft_;
        }
        return true;
    }

    std::vector<unsigned char> stage_;
    std::size_t stagePos_ = 0;
    std::size_t stageEnd_ = 0;
    bool inputEnded_ = false;
    uint64_t bits_ = 0;
    unsigned bitCount_ = 0;

    std::vector<unsigned char> window_;
    std::size_t position_ = 0;
    uint64_t total_ = 0;

    unsigned char* out_ = nullptr;
    std::size_t room_ = 0;
    std::size_t produced_ = 0;

    State state_ = State::header;
    bool lastBlock_ = false;
    uint32_t storedLeft_ = 0;
    HuffmanTable literals_;
    HuffmanTable distances_;
    uint32_t copyLeft_ = 0;
    uint32_t copyDistance_ = 0;
};

} // namespace

std::unique_ptr<Decoder> makeDeflate64Decoder() {
    return std::make_unique<Deflate64Decoder>();
}

} // namespace zipcodec
