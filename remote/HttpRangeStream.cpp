#include "remote/HttpRangeStream.h"

#include "remote/HttpArchiveReader.h"

#include <algorithm>

void HttpRangeStream::serve(int64_t first, int64_t end, std::string path) {
    pos_ = first;
    end_ = std::max(first, end);
    path_ = std::move(path);
    failure_.clear();
}

void HttpRangeStream::serveNothing(std::string path) {
    serve(0, 0, std::move(path));
}

std::size_t HttpRangeStream::read(void* buffer, std::size_t n) {
    const auto wanted = static_cast<std::size_t>(std::min<int64_t>(end_ - pos_, n));
    if (wanted == 0)
        return 0;
    std::size_t got = reader_.read(pos_, static_cast<char*>(buffer), wanted, end_);
    pos_ += static_cast<int64_t>(got);
    // A short read means the transfer failed: nothing more comes from this piece.
    if (got < wanted) {
        end_ = pos_;
        failure_ = reader_.errorText();
    }
    return got;
}

void HttpRangeStream::close() {
    end_ = pos_;
}
