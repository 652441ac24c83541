#include "zip/ZipCentralDir.h"

#include "remote/ArchiveSource.h"
#include "zip/ZipBytes.h"
#include "zip/ZipException.h"
#include "zip/ZipNames.h"
#include "zip/ZipRequest.h"
#include "zip/ZipStorage.h"

#include <algorithm>
#include <cstring>

using zipbytes::le16;
using zipbytes::le32;
using Detail = CZipException::Detail;

namespace {

bool hasSignature(const unsigned char* p, uint32_t signature) {
    return le32(p) == signature;
}

// How many end-signature candidates that do not reach the archive's end exactly are checked
// against their directory (one request each) before the search gives up.
constexpr std::size_t maxLooseCandidates = 8;

} // namespace

CZipCentralDir::CZipCentralDir(CZipStorage& storage, ArchiveSource& source)
    : storage_(storage), source_(source) {}

CZipCentralDir::~CZipCentralDir() = default;

void CZipCentralDir::reset() {
    currentEntry = nullptr;
    damaged_ = false;
    zip64Locator_ = false;
    endRecordPosition_ = 0;
    bytesBeforeArchive_ = 0;
    centralDirectoryRead_ = false;
    namesConverted_ = false;
    comment_.release();
}

void CZipCentralDir::clear() {
    currentEntry = nullptr;
    sortedIndex_.clear();
    entries_.clear();
    overlapping_.clear();
    comment_.release();
}

void CZipCentralDir::requestRange(int64_t first, int64_t last) {
    zipbytes::requestRange(source_, storage_, first, last);
}

// A candidate is an end record when its comment reaches exactly to the end of the archive
// (`exact`); one whose comment stops short may still be the record of an archive with bytes
// appended, which the caller checks through its directory.
bool CZipCentralDir::endRecordMatches(const std::vector<unsigned char>& tail, int64_t tailStart,
                                      int64_t position, bool& exact) {
    const int64_t length = source_.length();
    exact = false;
    if (position + endRecordSize > length)
        return false;
    const unsigned char* record = tail.data() + (position - tailStart);
    const int64_t commentEnd = position + endRecordSize + le16(record + 20);
    exact = commentEnd == length;
    return commentEnd <= length;
}

bool CZipCentralDir::directoryStartsAt(int64_t position) {
    if (position < 0)
        return false;
    unsigned char signature[4];
    try {
        requestRange(position, position + 4);
        storage_.read(signature, 4, true);
    } catch (const CZipException&) {
        return false;
    }
    return hasSignature(signature, CZipFileHeader::centralSignature);
}

// Notes whether a ZIP64 end locator stands right before the record: writers add the ZIP64
// records (76 bytes) between the directory and the end record once an archive has 65,535
// entries, even when every value still fits the classic record.
int32_t CZipCentralDir::recordFound(const std::vector<unsigned char>& tail, int64_t tailStart,
                                    int64_t position) {
    const int64_t locator = position - zip64LocatorSize;
    zip64Locator_ = locator >= tailStart &&
                    hasSignature(tail.data() + (locator - tailStart), zip64LocatorSignature);
    return static_cast<int32_t>(position);
}

int32_t CZipCentralDir::findEndRecord() {
    const int64_t length = source_.length();
    const int64_t limit = std::min<int64_t>(length, endRecordSize + maxCommentSize);
    if (limit <= 0)
        CZipException::raise(CZipException::cdirNotFoundError, Detail::endRecordNotFound,
                             "the archive is empty", storage_.currentPath());
    // The whole searched tail is kept (at most 65,557 bytes) so that a candidate's fields can
    // be read wherever the block boundaries fall.
    std::vector<unsigned char> tail(static_cast<std::size_t>(limit));
    const int64_t tailStart = length - limit;
    std::vector<int64_t> looseCandidates;
    int64_t start = 0;
    for (;;) {
        const int64_t end = std::min<int64_t>(start + searchBlockSize, limit);
        requestRange(length - end, length - start);
        unsigned char* block = tail.data() + (length - end - tailStart);
        storage_.read(block, static_cast<uint32_t>(end - start), true);
        for (int64_t pos = end - start - 4; pos >= 0; --pos) {
            if (!hasSignature(block + pos, endSignature))
                continue;
            const int64_t position = length - end + pos;
            bool exact = false;
            if (!endRecordMatches(tail, tailStart, position, exact))
                continue;
            if (exact)
                return recordFound(tail, tailStart, position);
            if (looseCandidates.size() < maxLooseCandidates)
                looseCandidates.push_back(position);
        }
        if (end >= limit)
            break;
        start = end - 3; // blocks overlap so that a signature split between them is found
    }
    for (int64_t position : looseCandidates) {
        const unsigned char* record = tail.data() + (position - tailStart);
        const uint32_t size = le32(record + 12);
        if (size == 0 ? le16(record + 10) == 0 : directoryStartsAt(position - int64_t(size)))
            return recordFound(tail, tailStart, position);
    }
    CZipException::raise(CZipException::cdirNotFoundError, Detail::endRecordNotFound,
                         "no end of central directory record: not a zip archive",
                         storage_.currentPath());
}

void CZipCentralDir::readCentralDirectory() {
    const int32_t length = source_.length();
    try {
        endRecordPosition_ = findEndRecord();
    } catch (const CZipException& e) {
        damaged_ = true;
        endRecordPosition_ = length;
        // The tail could not be fetched: say why rather than "not a zip archive".
        if (e.detail() != Detail::endRecordNotFound)
            throw CZipFileException(CZipFileException::Cause::generic, e.what(), e.path());
    }
    if (endRecordPosition_ == 0) {
        damaged_ = true;
        endRecordPosition_ = length;
    }
    if (damaged_)
        throw CZipFileException(CZipFileException::Cause::endRecordNotFound,
                                "not a zip archive, or an empty one (no entries)",
                                storage_.currentPath());
    try {
        readEndRecord();
        storage_.setDiskCount(thisDisk_);
        checkDirectoryBounds();
        centralDirectoryRead_ = true;
        storage_.changeDisk(directoryDisk_);
        if (directorySize_ != 0)
            readEntryHeaders();
    } catch (const CZipException&) {
        damaged_ = true;
        throw;
    } catch (const CZipFileException&) {
        damaged_ = true;
        throw;
    } catch (const std::exception& e) {
        damaged_ = true;
        throw CZipFileException(CZipFileException::Cause::generic,
                                std::string("the archive's directory could not be read: ") +
                                    e.what(),
                                storage_.currentPath());
    }
}

// The request reaches the end of the archive so that a comment of any length arrives with
// the record.
void CZipCentralDir::readEndRecord() {
    requestRange(endRecordPosition_, source_.length());
    unsigned char record[endRecordSize];
    storage_.read(record, endRecordSize, true);
    signature_ = le32(record);
    thisDisk_ = le16(record + 4);
    directoryDisk_ = le16(record + 6);
    entriesOnDisk_ = le16(record + 8);
    totalEntries_ = le16(record + 10);
    directorySize_ = le32(record + 12);
    directoryOffset_ = le32(record + 16);
    commentLength_ = le16(record + 20);
    comment_.allocate(commentLength_);
    storage_.read(comment_.data(), commentLength_, true);
}

void CZipCentralDir::checkDirectoryBounds() {
    const std::string path = storage_.currentPath();
    if (directoryOffset_ == 0xFFFFFFFF || directorySize_ == 0xFFFFFFFF)
        CZipException::raise(CZipException::badZipFileError, Detail::directoryOutOfBounds,
                             "ZIP64 archives are not supported", path);
    const int64_t end = int64_t(directoryOffset_) + directorySize_ +
                        (zip64Locator_ ? zip64RecordSize + zip64LocatorSize : 0);
    if (end > endRecordPosition_)
        CZipException::raise(CZipException::badZipFileError, Detail::directoryOutOfBounds,
                             "the central directory lies outside the archive", path);
    if (directorySize_ > maxDirectorySize)
        CZipException::raise(CZipException::badZipFileError, Detail::directoryTooLarge,
                             "the central directory is too large", path);
    if (uint64_t(totalEntries_) * CZipFileHeader::centralFixedSize > directorySize_)
        CZipException::raise(CZipException::badZipFileError, Detail::tooManyEntries,
                             "the central directory is too small for its entry count", path);
    // Bytes before the archive proper, e.g. a self-extractor stub in front of it.
    bytesBeforeArchive_ = thisDisk_ != 0 ? 0 : static_cast<int32_t>(endRecordPosition_ - end);
}

void CZipCentralDir::readEntryHeaders() {
    requestRange(int64_t(bytesBeforeArchive_) + directoryOffset_, source_.length());
    sortedIndex_.clear();
    entries_.clear();
    entries_.reserve(totalEntries_);
    uint64_t directoryBytes = 0;
    for (uint32_t i = 0; i < totalEntries_; ++i) {
        if (entryRead_)
            entryRead_();
        entries_.push_back(std::make_unique<CZipFileHeader>());
        CZipFileHeader& header = *entries_.back();
        if (!header.readCentral(storage_))
            CZipException::raise(CZipException::badZipFileError, Detail::badSignature,
                                 "a central directory header is damaged (entry " +
                                     std::to_string(i + 1) + ")",
                                 storage_.currentPath());
        if (convertNames_)
            convertName(header);
        directoryBytes += header.centralSize();
        // The request reaches the archive's end, so a header whose lengths run past the
        // directory would take the end record's bytes as its name.
        if (directoryBytes > directorySize_)
            CZipException::raise(CZipException::badZipFileError, Detail::directoryOverrun,
                                 "a central directory header runs past the directory (entry " +
                                     std::to_string(i + 1) + ")",
                                 storage_.currentPath());
    }
    // With 0xFFFF in the count, only the ZIP64 record knows how many entries there are.
    if (zip64Locator_ && totalEntries_ == 0xFFFF && directoryBytes < directorySize_)
        CZipException::raise(CZipException::badZipFileError, Detail::tooManyEntries,
                             "archives of more than 65,535 entries are not supported",
                             storage_.currentPath());
    namesConverted_ = convertNames_;
    markOverlappingEntries();
    if (findFastEnabled_)
        buildSortedIndex();
}

// An entry spans at least its local header's fixed part, its name and its compressed data
// (the local extra field is not known without fetching it, so the span found is a lower
// bound and the test never condemns an honest archive). Entries are walked by offset.
void CZipCentralDir::markOverlappingEntries() {
    overlapping_.assign(entries_.size(), false);
    std::vector<uint16_t> byOffset(entries_.size());
    for (std::size_t i = 0; i < byOffset.size(); ++i)
        byOffset[i] = static_cast<uint16_t>(i);
    std::sort(byOffset.begin(), byOffset.end(), [this](uint16_t a, uint16_t b) {
        return entries_[a]->localHeaderOffset < entries_[b]->localHeaderOffset;
    });
    int64_t reach = -1; // the furthest end of the entries seen so far
    uint16_t reacher = 0;
    for (uint16_t index : byOffset) {
        const CZipFileHeader& header = *entries_[index];
        const int64_t start = header.localHeaderOffset;
        if (start < reach) {
            overlapping_[index] = true;
            overlapping_[reacher] = true;
        }
        const int64_t end = start + CZipFileHeader::localFixedSize + header.fileNameLength +
                            int64_t(header.compressedSize);
        if (end > reach) {
            reach = end;
            reacher = index;
        }
    }
}

void CZipCentralDir::convertName(CZipFileHeader& header) {
    if (header.nameConverted)
        return;
    header.fileName.assign(zipnames::toUtf8Name(
        header.fileName.view(), (header.flags & CZipFileHeader::flagUtf8Name) != 0));
    header.nameConverted = true;
}

void CZipCentralDir::convertAllNames() {
    for (auto& header : entries_)
        convertName(*header);
    namesConverted_ = true;
}
