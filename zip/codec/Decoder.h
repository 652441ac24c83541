// The streaming decoders behind an entry's compressed data, one per compression method. Each
// works on whatever input and output room the caller has, keeps at most its method's own
// window of memory, and never reads ahead of what it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace zipcodec {

// Compression methods by their numbers in the zip format.
enum Method : uint16_t {
    stored = 0,
    shrink = 1,
    reduce1 = 2,
    reduce4 = 5,
    implode = 6,
    tokenize = 7,
    deflate = 8,
    deflate64 = 9,
    dclImplode = 10,
    bzip2 = 12,
    lzma = 14,
    terse = 18,
    lz77 = 19,
    zstdOld = 20, // the number Zstandard had before 93 was assigned
    zstd = 93,
    mp3 = 94,
    xz = 95,
    jpeg = 96,
    wavpack = 97,
    ppmd = 98,
    aes = 99, // not a compression: the real method is in the entry's 0x9901 field
};

// What one call did.
struct DecodeResult {
    std::size_t consumed = 0; // input bytes taken
    std::size_t produced = 0; // output bytes written
    bool ended = false;       // the stream's end was reached
};

// A decoder that failed: damaged data, or more memory than the engine allows. `zlibCode` is
// the result the failure maps to (Z_DATA_ERROR for damaged data of every method).
class DecodeError : public std::runtime_error {
public:
    DecodeError(int zlibCode, const std::string& reason)
        : std::runtime_error(reason), zlibCode_(zlibCode) {}
    int zlibCode() const { return zlibCode_; }

private:
    int zlibCode_;
};

class Decoder {
public:
    virtual ~Decoder() = default;
    // Decodes from `in` into `out`. `lastInput` says that no input follows what is given.
    // A call that neither consumes nor produces nor ends means the decoder needs more input
    // than there is, or more room; throws DecodeError for damaged data.
    virtual DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                                std::size_t outSize, bool lastInput) = 0;
};

// A decoder for `method` (after any encryption is removed); `flags` is the entry's
// general-purpose flag and `size` its stated uncompressed size. Null for a method the engine
// cannot read.
std::unique_ptr<Decoder> makeDecoder(uint16_t method, uint16_t flags, uint64_t size);
bool isSupportedMethod(uint16_t method);

// The method's usual short name ("deflate", "LZMA", "PPMd"...), or "method N" for a number
// the format does not define.
std::string methodName(uint16_t method);
// "compression method PPMd (98) is not supported"
std::string unsupportedMethodText(uint16_t method);

// Each method's decoder (their own files).
std::unique_ptr<Decoder> makeStoredDecoder();
std::unique_ptr<Decoder> makeDeflateDecoder();
std::unique_ptr<Decoder> makeDeflate64Decoder();
std::unique_ptr<Decoder> makeBzip2Decoder();
std::unique_ptr<Decoder> makeLzmaDecoder(bool endMarker, uint64_t size);
std::unique_ptr<Decoder> makeXzDecoder();
std::unique_ptr<Decoder> makeZstdDecoder();

} // namespace zipcodec
