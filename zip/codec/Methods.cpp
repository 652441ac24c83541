// Which methods the engine reads, their names, and the stored "decoder".
#include "zip/codec/Decoder.h"

#include <algorithm>
#include <cstring>

namespace zipcodec {
namespace {

// Stored data is copied as it stands. With no room left the entry's stated size has been
// produced, so that is its end: extra packed bytes are not data.
class StoredDecoder : public Decoder {
public:
    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool) override {
        if (outSize == 0)
            return {0, 0, true};
        const std::size_t n = std::min(inSize, outSize);
        if (n != 0) // no input may come as a null pointer
            std::memcpy(out, in, n);
        return {n, n, false};
    }
};

} // namespace

std::unique_ptr<Decoder> makeStoredDecoder() {
    return std::make_unique<StoredDecoder>();
}

bool isSupportedMethod(uint16_t method) {
    switch (method) {
    case stored:
    case deflate:
    case deflate64:
    case bzip2:
    case lzma:
    case zstdOld:
    case zstd:
    case xz:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<Decoder> makeDecoder(uint16_t method, uint16_t flags, uint64_t size) {
    switch (method) {
    case stored:
        return makeStoredDecoder();
    case deflate:
        return makeDeflateDecoder();
    case deflate64:
        return makeDeflate64Decoder();
    case bzip2:
        return makeBzip2Decoder();
    case lzma:
        return makeLzmaDecoder((flags & 0x0002) != 0, size); // bit 1: an end marker follows
    case zstdOld:
    case zstd:
        return makeZstdDecoder();
    case xz:
        return makeXzDecoder();
    default:
        return nullptr;
    }
}

std::string methodName(uint16_t method) {
    switch (method) {
    case stored:
        return "stored";
    case shrink:
        return "shrink";
    case 2:
    case 3:
    case 4:
    case reduce4:
        return "reduce";
    case implode:
        return "implode";
    case tokenize:
        return "tokenize";
    case deflate:
        return "deflate";
    case deflate64:
        return "Deflate64";
    case dclImplode:
        return "DCL implode";
    case bzip2:
        return "bzip2";
    case lzma:
        return "LZMA";
    case 16:
        return "CMPSC";
    case terse:
    case lz77:
        return "TERSE";
    case zstdOld:
    case zstd:
        return "Zstandard";
    case mp3:
        return "MP3";
    case xz:
        return "xz";
    case jpeg:
        return "JPEG";
    case wavpack:
        return "WavPack";
    case ppmd:
        return "PPMd";
    case aes:
        return "AES";
    default:
        return "method " + std::to_string(method);
    }
}

std::string unsupportedMethodText(uint16_t method) {
    const std::string name = methodName(method);
    const std::string number = std::to_string(method);
    if (name == "method " + number)
        return "compression method " + number + " is not supported";
    return "compression method " + name + " (" + number + ") is not supported";
}

} // namespace zipcodec
