// The stream the remote source puts into the zip storage's slot for http and https: the bytes
// of the piece last requested, served by the archive reader from its cache or the network.
// When the piece could not be served (wrong status, wrong start, no response) it serves
// nothing, so a server's error page or the head of the file is never read as archive bytes.
#pragma once

#include "remote/RangeStream.h"

#include <cstdint>
#include <string>

class HttpArchiveReader;

class HttpRangeStream : public RangeStream {
public:
    explicit HttpRangeStream(HttpArchiveReader& reader) : reader_(reader) {}

    // Serves the bytes [first, end) of the archive.
    void serve(int64_t first, int64_t end, std::string path);
    void serveNothing(std::string path);

    std::size_t read(void* buffer, std::size_t n) override;
    void close() override;
    std::string path() const override { return path_; }
    std::string failure() const override { return failure_; }

private:
    HttpArchiveReader& reader_;
    int64_t pos_ = 0;
    int64_t end_ = 0;
    std::string path_;
    std::string failure_;
};
