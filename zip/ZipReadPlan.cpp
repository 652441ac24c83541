// The spans of a set of entries, for a job that hands its read plan to the source.
#include "zip/ZipArchive.h"

#include <algorithm>

namespace {

// The local header's own name and extra field are known only once it is read; the extra
// field can be this long at most.
constexpr int64_t MaxLocalExtra = 0xFFFF;

} // namespace

std::vector<ByteSpan> CZipArchive::readSpans(const std::vector<int32_t>& indices) const {
    std::vector<ByteSpan> spans;
    if (isClosed())
        return spans;
    const int64_t before = centralDir_.bytesBeforeArchive();
    // Where each record begins: an entry's span ends no later than the next record.
    std::vector<int64_t> starts;
    starts.reserve(centralDir_.count() + 1u);
    for (uint32_t i = 0; i < centralDir_.count(); ++i)
        starts.push_back(before + centralDir_.entry(i)->localHeaderOffset);
    starts.push_back(before + centralDir_.directoryOffset());
    std::sort(starts.begin(), starts.end());
    for (int32_t index : indices) {
        if (index < 0 || uint32_t(index) >= centralDir_.count())
            continue;
        const auto i = static_cast<uint32_t>(index);
        const CZipFileHeader& header = *centralDir_.entry(i);
        if (header.isDirectory() || centralDir_.overlapsAnother(i))
            continue;
        const int64_t first = before + header.localHeaderOffset;
        const int64_t reach = first + CZipFileHeader::localFixedSize + header.fileNameLength +
                              MaxLocalExtra + header.compressedSize;
        const auto next = std::upper_bound(starts.begin(), starts.end(), first);
        const int64_t end = next == starts.end() ? reach : std::min(reach, *next);
        spans.push_back({first, end});
    }
    return spans;
}
