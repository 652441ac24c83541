// LZMA (method 14) and xz (method 95) through liblzma.
//
// A zip LZMA entry starts with its own header: two version bytes, the length of the
// properties (little-endian, 5), then the properties (lc/lp/pb in one byte, the dictionary
// size in four). Raw LZMA1 follows, ended by an end marker when flag bit 1 says so and by the
// entry's size otherwise.
#include "zip/codec/Decoder.h"

#include <algorithm>
#include <cstdlib>
#include <lzma.h>
#include <memory>
#include <vector>
#include <zlib.h>

namespace zipcodec {
namespace {

// xz's largest preset wants a 64 MiB dictionary; anything far above that is refused.
constexpr uint64_t memoryLimit = 512ull << 20;
// A raw LZMA decoder has no memory limit of its own: its dictionary is checked instead.
constexpr uint32_t maxDictionary = 256u << 20;
constexpr std::size_t zipLzmaHeaderSize = 4;
constexpr std::size_t lzmaPropertiesSize = 5;

[[noreturn]] void failed(lzma_ret rc, const char* what) {
    if (rc == LZMA_MEM_ERROR || rc == LZMA_MEMLIMIT_ERROR)
        throw DecodeError(Z_MEM_ERROR, std::string("the ") + what +
                                           " data needs more memory than the program allows");
    throw DecodeError(Z_DATA_ERROR, std::string("the ") + what + " data is damaged");
}

class LiblzmaDecoder : public Decoder {
public:
    explicit LiblzmaDecoder(const char* what) : what_(what) {}
    ~LiblzmaDecoder() override { lzma_end(&s_); }
    LiblzmaDecoder(const LiblzmaDecoder&) = delete;
    LiblzmaDecoder& operator=(const LiblzmaDecoder&) = delete;

protected:
    DecodeResult run(const unsigned char* in, std::size_t inSize, unsigned char* out,
                     std::size_t outSize, bool lastInput) {
        s_.next_in = in;
        s_.avail_in = inSize;
        s_.next_out = out;
        s_.avail_out = outSize;
        const lzma_ret rc = lzma_code(&s_, lastInput ? LZMA_FINISH : LZMA_RUN);
        const DecodeResult result{inSize - s_.avail_in, outSize - s_.avail_out,
                                  rc == LZMA_STREAM_END};
        if (rc != LZMA_OK && rc != LZMA_STREAM_END && rc != LZMA_BUF_ERROR)
            failed(rc, what_);
        return result;
    }

    lzma_stream s_ = LZMA_STREAM_INIT;
    const char* what_;
};

class XzDecoder : public LiblzmaDecoder {
public:
    XzDecoder() : LiblzmaDecoder("xz") {
        const lzma_ret rc = lzma_stream_decoder(&s_, memoryLimit, LZMA_CONCATENATED);
        if (rc != LZMA_OK)
            failed(rc, what_);
    }
    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool lastInput) override {
        return run(in, inSize, out, outSize, lastInput);
    }
};

class LzmaDecoder : public LiblzmaDecoder {
public:
    LzmaDecoder(bool endMarker, uint64_t size)
        : LiblzmaDecoder("LZMA"), endMarker_(endMarker), size_(size) {}

    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool lastInput) override {
        DecodeResult result;
        if (!started_) {
            result.consumed = takeHeader(in, inSize);
            if (!started_)
                return result;
        }
        const DecodeResult rest =
            run(in + result.consumed, inSize - result.consumed, out, outSize, lastInput);
        return {result.consumed + rest.consumed, rest.produced, rest.ended};
    }

private:
    // Collects the header (it may straddle two pieces of input); starts liblzma once it is
    // complete. Returns the bytes taken.
    std::size_t takeHeader(const unsigned char* in, std::size_t inSize) {
        const std::size_t wanted = zipLzmaHeaderSize + lzmaPropertiesSize;
        const std::size_t n = std::min(inSize, wanted - header_.size());
        header_.insert(header_.end(), in, in + n);
        if (header_.size() == wanted)
            start();
        return n;
    }

    void start() {
        const unsigned propertiesSize = header_[2] | (header_[3] << 8);
        if (propertiesSize != lzmaPropertiesSize)
            throw DecodeError(Z_DATA_ERROR, "the LZMA header is damaged");
        lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
        lzma_ret rc = lzma_properties_decode(&filter, nullptr, header_.data() + zipLzmaHeaderSize,
                                             lzmaPropertiesSize);
        if (rc != LZMA_OK)
            failed(rc, what_);
        std::unique_ptr<lzma_options_lzma, void (*)(void*)> options(
            static_cast<lzma_options_lzma*>(filter.options), free);
        if (options->dict_size > maxDictionary)
            failed(LZMA_MEMLIMIT_ERROR, what_);
        // Without an end marker the entry's size says where the data ends; a marker is
        // still accepted right after the last byte, as some writers add one anyway.
        lzma_set_ext_size(*options, endMarker_ ? UINT64_MAX : size_);
        options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        const lzma_filter chain[] = {{LZMA_FILTER_LZMA1EXT, options.get()},
                                     {LZMA_VLI_UNKNOWN, nullptr}};
        rc = lzma_raw_decoder(&s_, chain);
        if (rc != LZMA_OK)
            failed(rc, what_);
        started_ = true;
    }

    bool endMarker_;
    uint64_t size_;
    bool started_ = false;
    std::vector<unsigned char> header_;
};

} // namespace

std::unique_ptr<Decoder> makeLzmaDecoder(bool endMarker, uint64_t size) {
    return std::make_unique<LzmaDecoder>(endMarker, size);
}

std::unique_ptr<Decoder> makeXzDecoder() {
    return std::make_unique<XzDecoder>();
}

} // namespace zipcodec
