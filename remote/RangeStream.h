// The readable object that the remote source puts into the zip storage's file slot: the bytes
// of the range last requested, from its first byte on.
#pragma once

#include <cstddef>
#include <string>

class RangeStream {
public:
    virtual ~RangeStream() = default;
    // Reads up to n bytes. Returns fewer only at the end of the range or when the transfer
    // failed (time-out, closed connection); 0 means nothing more will come. Never blocks
    // longer than the source's time-out.
    virtual std::size_t read(void* buffer, std::size_t n) = 0;
    // Ends the transfer; later reads return 0.
    virtual void close() = 0;
    // A name for error messages: the address or the local file behind the stream.
    virtual std::string path() const = 0;
    // Why the last read came short of the range, when the transfer failed (a server gone
    // silent, a cut connection); empty when the range simply ended.
    virtual std::string failure() const { return {}; }
};
