#include "zip/ZipAutoBuffer.h"

#include <cstring>

CZipAutoBuffer::CZipAutoBuffer(uint32_t size, bool zeroMemory) {
    allocate(size, zeroMemory);
}

CZipAutoBuffer::CZipAutoBuffer(const CZipAutoBuffer& other) {
    assign(other.data(), other.size());
}

CZipAutoBuffer& CZipAutoBuffer::operator=(const CZipAutoBuffer& other) {
    if (this != &other)
        assign(other.data(), other.size());
    return *this;
}

CZipAutoBuffer::CZipAutoBuffer(CZipAutoBuffer&& other) noexcept
    : data_(std::move(other.data_)), size_(other.size_) {
    other.size_ = 0;
}

CZipAutoBuffer& CZipAutoBuffer::operator=(CZipAutoBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = other.size_;
    other.size_ = 0;
    return *this;
}

char* CZipAutoBuffer::allocate(uint32_t size, bool zeroMemory) {
    if (size != size_ || !data_) {
        release();
        if (size == 0)
            return nullptr;
        data_ = std::make_unique_for_overwrite<char[]>(size);
        size_ = size;
    }
    if (zeroMemory)
        std::memset(data_.get(), 0, size_);
    return data_.get();
}

void CZipAutoBuffer::release() {
    data_.reset();
    size_ = 0;
}

void CZipAutoBuffer::assign(const void* bytes, uint32_t n) {
    if (n == 0 || bytes == nullptr) {
        release();
        return;
    }
    std::unique_ptr<char[]> copy = std::make_unique_for_overwrite<char[]>(n);
    std::memcpy(copy.get(), bytes, n);
    data_ = std::move(copy);
    size_ = n;
}
