// Deflate (method 8) through zlib's raw inflate.
#include "zip/codec/Decoder.h"

#include <zlib.h>

namespace zipcodec {
namespace {

class DeflateDecoder : public Decoder {
public:
    DeflateDecoder() {
        const int rc = inflateInit2(&z_, -MAX_WBITS); // raw deflate: no zlib header
        if (rc != Z_OK)
            throw DecodeError(rc, "the decompressor could not start");
    }
    ~DeflateDecoder() override { inflateEnd(&z_); }
    DeflateDecoder(const DeflateDecoder&) = delete;
    DeflateDecoder& operator=(const DeflateDecoder&) = delete;

    DecodeResult decode(const unsigned char* in, std::size_t inSize, unsigned char* out,
                        std::size_t outSize, bool) override {
        // zlib wants an output pointer even when there is no room.
        unsigned char noRoom = 0;
        z_.next_in = const_cast<Bytef*>(in);
        z_.avail_in = static_cast<uInt>(inSize);
        z_.next_out = outSize ? out : &noRoom;
        z_.avail_out = static_cast<uInt>(outSize);
        const int rc = inflate(&z_, Z_SYNC_FLUSH);
        const DecodeResult result{inSize - z_.avail_in, outSize - z_.avail_out, rc == Z_STREAM_END};
        // Z_BUF_ERROR: no progress was possible; the caller knows whether input or room is
        // missing. A raw stream never asks for a dictionary; taking Z_NEED_DICT as progress
        // would spin.
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw DecodeError(rc, rc == Z_DATA_ERROR ? "the compressed data is damaged"
                                                     : "the data could not be decompressed");
        return result;
    }

private:
    z_stream z_{};
};

} // namespace

std::unique_ptr<Decoder> makeDeflateDecoder() {
    return std::make_unique<DeflateDecoder>();
}

} // namespace zipcodec
