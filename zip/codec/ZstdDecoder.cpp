// Zstandard (method 93) through libzstd. An entry may hold several frames one after another.
#include "zip/codec/Decoder.h"

#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

namespace zipcodec {
namespace {

// Windows above 128 MiB (libzstd's own default limit) are refused rather than allocated.
constexpr int maxWindowLog = 27;

class ZstdDecoder : public Decoder {
public:
    ZstdDecoder() : s_(ZSTD_createDStream()) {
        if (s_ == nullptr)
            throw DecodeError(Z_MEM_ERROR, "the Zstandard decompressor could not start");
        ZSTD_DCtx_setParameter(s_, ZSTD_d_windowLogMax, maxWindowLog);
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(s_); }
    ZstdDecoder(const ZstdDecoder&) = delete;
    ZstdDecoder& operator=(const ZstdDecoder&) = delete;

    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool lastInput) override {
        ZSTD_inBuffer input{in, inSize, 0};
        ZSTD_outBuffer output{out, outSize, 0};
        if (inSize > 0 || outSize > 0) {
            const std::size_t rc = ZSTD_decompressStream(s_, &output, &input);
            if (ZSTD_isError(rc))
                throw DecodeError(
                    ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation ? Z_MEM_ERROR
                                                                          : Z_DATA_ERROR,
                    std::string("the Zstandard data is damaged (") + ZSTD_getErrorName(rc) + ")");
            frameDone_ = rc == 0;
        }
        // The data ends where a frame ends and no input is left.
        const bool ended = frameDone_ && lastInput && input.pos == inSize;
        return {input.pos, output.pos, ended};
    }

private:
    ZSTD_DStream* s_;
    bool frameDone_ = false;
};

} // namespace

std::unique_ptr<Decoder> makeZstdDecoder() {
    return std::make_unique<ZstdDecoder>();
}

} // namespace zipcodec
