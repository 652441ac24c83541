#include "remote/EntryBoundaries.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace {

constexpr int64_t EndRecordSize = 22;
constexpr int64_t TailSize = EndRecordSize + 65535;
constexpr int64_t CentralFixedSize = 46;
constexpr int64_t LocatorSize = 20;
constexpr int64_t Zip64RecordSize = 56; // without extensible data
constexpr uint32_t Unknown32 = 0xFFFFFFFF;

uint32_t le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
uint32_t le32(const unsigned char* p) {
    return le16(p) | (static_cast<uint32_t>(le16(p + 2)) << 16);
}
uint64_t le64(const unsigned char* p) {
    return le32(p) | (static_cast<uint64_t>(le32(p + 4)) << 32);
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

// Where the directory lies and how far every offset is shifted by bytes in front of the
// archive (a self-extractor stub).
struct Directory {
    int64_t offset = 0;
    int64_t size = 0;
    int64_t before = 0;
};

// The ZIP64 end record's place: where its locator says, or, when bytes in front of the
// archive shift it, right before the locator.
std::optional<Directory> zip64Directory(const EntryBoundaries::CachedRead& read,
                                        int64_t locatorAt) {
    unsigned char locator[LocatorSize];
    unsigned char record[Zip64RecordSize];
    if (locatorAt < Zip64RecordSize || !readExact(read, locatorAt, locator, sizeof locator))
        return std::nullopt;
    const uint64_t named = le64(locator + 8);
    for (const int64_t at : {static_cast<int64_t>(std::min<uint64_t>(named, INT64_MAX)),
                             locatorAt - Zip64RecordSize}) {
        if (at < 0 || at > locatorAt - Zip64RecordSize ||
            !readExact(read, at, record, sizeof record) || !signatureAt(record, 6, 6))
            continue;
        const uint64_t size = le64(record + 40);
        const uint64_t offset = le64(record + 48);
        const int64_t before = at - static_cast<int64_t>(std::min<uint64_t>(named, INT64_MAX));
        if (offset > uint64_t(at) || size > uint64_t(at) - offset || before < 0)
            continue;
        return Directory{static_cast<int64_t>(offset), static_cast<int64_t>(size), before};
    }
    return std::nullopt;
}

std::optional<Directory> classicDirectory(const unsigned char* end, int64_t endAt) {
    const int64_t size = le32(end + 12);
    const int64_t offset = le32(end + 16);
    const int64_t before = endAt - (offset + size);
    if (offset == Unknown32 || size == Unknown32 || before < 0)
        return std::nullopt;
    return Directory{offset, size, before};
}

// The local header offset of a central header: from the ZIP64 extra field when the 32-bit
// field cannot hold it. Its value there follows the sizes that are also too large.
std::optional<int64_t> localHeaderOffset(const EntryBoundaries::CachedRead& read,
                                         const unsigned char* fixed, int64_t extraAt) {
    const uint32_t offset32 = le32(fixed + 42);
    if (offset32 != Unknown32)
        return offset32;
    const std::size_t skip =
        (le32(fixed + 24) == Unknown32 ? 8 : 0) + (le32(fixed + 20) == Unknown32 ? 8 : 0);
    std::vector<unsigned char> extra(le16(fixed + 30));
    if (!readExact(read, extraAt, extra.data(), extra.size()))
        return std::nullopt;
    for (std::size_t i = 0; i + 4 <= extra.size();) {
        const uint32_t id = le16(&extra[i]);
        const std::size_t length = le16(&extra[i + 2]);
        if (i + 4 + length > extra.size())
            break;
        if (id == 0x0001 && skip + 8 <= length)
            return static_cast<int64_t>(std::min<uint64_t>(le64(&extra[i + 4 + skip]), INT64_MAX));
        i += 4 + length;
    }
    return std::nullopt;
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
    const int64_t endAt = tailStart + record;
    const std::optional<Directory> dir =
        record >= LocatorSize && signatureAt(end - LocatorSize, 6, 7)
            ? zip64Directory(read, endAt - LocatorSize)
            : classicDirectory(end, endAt);
    if (!dir)
        return false;
    std::vector<int64_t> starts;
    unsigned char fixed[CentralFixedSize];
    const int64_t first = dir->before + dir->offset;
    for (int64_t pos = first; pos < first + dir->size;) {
        if (!readExact(read, pos, fixed, sizeof fixed) || !signatureAt(fixed, 1, 2))
            return false;
        const int64_t nameLength = le16(fixed + 28);
        const std::optional<int64_t> offset =
            localHeaderOffset(read, fixed, pos + CentralFixedSize + nameLength);
        if (!offset || *offset > dir->offset)
            return false;
        starts.push_back(dir->before + *offset);
        pos += CentralFixedSize + nameLength + le16(fixed + 30) + le16(fixed + 32);
    }
    std::sort(starts.begin(), starts.end());
    starts.push_back(first);
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
