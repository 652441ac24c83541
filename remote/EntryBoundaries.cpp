#include "remote/EntryBoundaries.h"

#include <algorithm>

namespace {

constexpr int64_t EndRecordSize = 22;
constexpr int64_t TailSize = EndRecordSize + 65535;
constexpr int64_t CentralFixedSize = 46;
constexpr int64_t Zip64RecordsSize = 56 + 20;
constexpr std::size_t MaxEntries = 65535 + 1;

uint32_t le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
uint32_t le32(const unsigned char* p) {
    return le16(p) | (static_cast<uint32_t>(le16(p + 2)) << 16);
}
bool signatureAt(const unsigned char* p, unsigned char a, unsigned char b) {
    return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

bool readExact(const EntryBoundaries::CachedRead& read, int64_t pos, unsigned char* out,
               std::size_t n) {
    while (n > 0) {
        std::size_t got = read(pos, reinterpret_cast<char*>(out), n);
        if (got == 0)
            return false;
        pos += static_cast<int64_t>(got);
        out += got;
        n -= got;
    }
    return true;
}

// The end record nearest the end whose comment reaches exactly to the end of the file.
int64_t findEndRecord(const std::vector<unsigned char>& tail, int64_t tailStart, int64_t length) {
    for (int64_t i = static_cast<int64_t>(tail.size()) - EndRecordSize; i >= 0; --i) {
        const unsigned char* p = tail.data() + i;
        if (signatureAt(p, 5, 6) && tailStart + i + EndRecordSize + le16(p + 20) == length)
            return i;
    }
    return -1;
}

} // namespace

bool EntryBoundaries::learn(const CachedRead& read, int64_t length) {
    starts_.clear();
    const int64_t tailStart = std::max<int64_t>(0, length - TailSize);
    std::vector<unsigned char> tail(static_cast<std::size_t>(length - tailStart));
    if (tail.size() < EndRecordSize || !readExact(read, tailStart, tail.data(), tail.size()))
        return false;
    const int64_t record = findEndRecord(tail, tailStart, length);
    if (record < 0)
        return false;
    const unsigned char* end = tail.data() + record;
    const int64_t size = le32(end + 12);
    const int64_t offset = le32(end + 16);
    const bool zip64 = record >= 20 && signatureAt(end - 20, 6, 7);
    // Bytes in front of the archive (a self-extractor stub) shift every offset.
    const int64_t before = tailStart + record - (zip64 ? Zip64RecordsSize : 0) - (offset + size);
    if (offset == 0xFFFFFFFF || before < 0)
        return false;
    std::vector<int64_t> starts;
    unsigned char fixed[CentralFixedSize];
    for (int64_t pos = before + offset; pos < before + offset + size;) {
        if (starts.size() >= MaxEntries || !readExact(read, pos, fixed, sizeof fixed) ||
            !signatureAt(fixed, 1, 2))
            return false;
        starts.push_back(before + le32(fixed + 42));
        pos += CentralFixedSize + le16(fixed + 28) + le16(fixed + 30) + le16(fixed + 32);
    }
    std::sort(starts.begin(), starts.end());
    starts.push_back(before + offset);
    starts_ = std::move(starts);
    return true;
}

int64_t EntryBoundaries::recordEnd(int64_t pos) const {
    if (starts_.size() < 2)
        return -1;
    auto entries_end = starts_.end() - 1;
    auto it = std::lower_bound(starts_.begin(), entries_end, pos);
    if (it == entries_end || *it != pos)
        return -1;
    auto next = std::upper_bound(it, entries_end, pos);
    const int64_t end = next == entries_end ? starts_.back() : *next;
    return end > pos ? end : -1;
}
