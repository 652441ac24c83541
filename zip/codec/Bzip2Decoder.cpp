// bzip2 (method 12) through libbz2.
#include "zip/codec/Decoder.h"

#include <bzlib.h>
#include <zlib.h>

namespace zipcodec {
namespace {

class Bzip2Decoder : public Decoder {
public:
    Bzip2Decoder() {
        const int rc = BZ2_bzDecompressInit(&s_, 0, 0);
        if (rc != BZ_OK)
            throw DecodeError(rc == BZ_MEM_ERROR ? Z_MEM_ERROR : Z_STREAM_ERROR,
                              "the bzip2 decompressor could not start");
    }
    ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&s_); }
    Bzip2Decoder(const Bzip2Decoder&) = delete;
    Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool) override {
        if (outSize == 0 && inSize == 0)
            return {};
        char noRoom = 0;
        s_.next_in = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
        s_.avail_in = static_cast<unsigned>(inSize);
        s_.next_out = outSize ? reinterpret_cast<char*>(out) : &noRoom;
        s_.avail_out = static_cast<unsigned>(outSize);
        const int rc = BZ2_bzDecompress(&s_);
        if (rc == BZ_MEM_ERROR)
            throw DecodeError(Z_MEM_ERROR, "the bzip2 decompressor ran out of memory");
        if (rc != BZ_OK && rc != BZ_STREAM_END)
            throw DecodeError(Z_DATA_ERROR, "the bzip2 data is damaged");
        return {inSize - s_.avail_in, outSize - s_.avail_out, rc == BZ_STREAM_END};
    }

private:
    bz_stream s_{};
};

} // namespace

std::unique_ptr<Decoder> makeBzip2Decoder() {
    return std::make_unique<Bzip2Decoder>();
}

} // namespace zipcodec
