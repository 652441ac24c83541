// The sorted name index. Names are ordered by their UTF-8 bytes (which is code-point order);
// the case-insensitive comparison folds ASCII letters only.
#include "zip/ZipCentralDir.h"

#include "zip/ZipStorage.h"

#include <algorithm>

namespace {

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int compareNames(std::string_view a, std::string_view b, bool caseSensitive) {
    if (caseSensitive)
        return a.compare(b);
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(foldAscii(a[i]));
        const auto y = static_cast<unsigned char>(foldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view nameOf(const CZipFindFast& element) {
    return element.header->fileName.view();
}

} // namespace

void CZipCentralDir::buildSortedIndex() {
    sortedIndex_.clear();
    sortedIndex_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        sortedIndex_.push_back({entries_[i].get(), static_cast<uint32_t>(i)});
    std::stable_sort(sortedIndex_.begin(), sortedIndex_.end(),
                     [](const CZipFindFast& a, const CZipFindFast& b) {
                         return compareNames(nameOf(a), nameOf(b), true) < 0;
                     });
}

int32_t CZipCentralDir::findEntry(std::string_view name, bool caseSensitive) {
    if (!storage_.isOpen())
        return -1;
    if (!namesConverted_)
        convertAllNames();
    if (!findFastEnabled_ || sortedIndex_.size() != entries_.size())
        buildSortedIndex();
    // Names may differ only in case: the exact one is the entry meant, whatever the search.
    if (!caseSensitive) {
        if (const int32_t exact = binarySearch(name, true); exact >= 0)
            return exact;
    }
    if (const int32_t found = binarySearch(name, caseSensitive); found >= 0)
        return found;
    // The index is ordered case-sensitively, so a case-insensitive search can miss.
    for (const CZipFindFast& element : sortedIndex_)
        if (nameOf(element) == name)
            return element.index;
    if (!caseSensitive)
        for (const CZipFindFast& element : sortedIndex_)
            if (compareNames(nameOf(element), name, false) == 0)
                return element.index;
    return -1;
}

int32_t CZipCentralDir::binarySearch(std::string_view name, bool caseSensitive) const {
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(sortedIndex_.size()) - 1;
    while (low <= high) {
        const int64_t middle = (low + high) / 2;
        const int result = compareNames(nameOf(sortedIndex_[middle]), name, caseSensitive);
        if (result == 0)
            return sortedIndex_[middle].index;
        if (result < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}
