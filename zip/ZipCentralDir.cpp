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
    zip64RecordPosition_ = -1;
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

// Notes whether a ZIP64 end locator stands right before the record in the searched tail
// (wherever the search blocks fell): writers may add the ZIP64 records even when every value
// still fits the classic record, and they then lie between the directory and the end record.
int64_t CZipCentralDir::recordFound(const std::vector<unsigned char>& tail, int64_t tailStart,
                                    int64_t position) {
    const int64_t locator = position - zip64LocatorSize;
    zip64Locator_ = locator >= tailStart &&
                    hasSignature(tail.data() + (locator - tailStart), zip64LocatorSignature);
    return position;
}

int64_t CZipCentralDir::findEndRecord() {
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
    const int64_t length = source_.length();
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
        readZip64Records();
        checkDirectoryBounds();
        storage_.setDiskCount(static_cast<int32_t>(thisDisk_));
        centralDirectoryRead_ = true;
        storage_.changeDisk(static_cast<int32_t>(directoryDisk_));
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

// Fields at their maximum say "see the ZIP64 end record".
bool CZipCentralDir::classicRecordOverflows() const {
    return thisDisk_ == 0xFFFF || directoryDisk_ == 0xFFFF || entriesOnDisk_ == 0xFFFF ||
           totalEntries_ == 0xFFFF || directorySize_ == 0xFFFFFFFF ||
           directoryOffset_ == 0xFFFFFFFF;
}

// The locator stands right before the end record and says where the ZIP64 end record is. It
// is looked for when the tail showed it or a field of the end record overflows; a classic
// record whose values all fit needs nothing more (65,535 entries exactly is such a record).
void CZipCentralDir::readZip64Records() {
    const bool needed = classicRecordOverflows();
    if ((!zip64Locator_ && !needed) || endRecordPosition_ < zip64LocatorSize)
        return;
    const int64_t locator = endRecordPosition_ - zip64LocatorSize;
    requestRange(locator, endRecordPosition_);
    unsigned char bytes[zip64LocatorSize];
    storage_.read(bytes, zip64LocatorSize, true);
    zip64Locator_ = hasSignature(bytes, zip64LocatorSignature);
    if (!zip64Locator_)
        return; // the classic values are all there is; the bounds checks judge them
    // The stated offset counts from the start of the archive proper; with bytes in front of
    // the archive (a self-extractor stub) the record is found right before the locator.
    const uint64_t stated = zipbytes::le64(bytes + 8);
    const int64_t adjacent = locator - zip64RecordSize;
    if (!(stated <= uint64_t(locator) && readZip64RecordAt(int64_t(stated))) &&
        !(adjacent >= 0 && int64_t(stated) != adjacent && readZip64RecordAt(adjacent)))
        raiseDamaged(Detail::badZip64, "the ZIP64 end of central directory record is missing");
}

bool CZipCentralDir::readZip64RecordAt(int64_t position) {
    const int64_t locator = endRecordPosition_ - zip64LocatorSize;
    if (position + zip64RecordSize > locator)
        return false;
    requestRange(position, locator);
    unsigned char record[zip64RecordSize];
    storage_.read(record, zip64RecordSize, true);
    // The record's own size counts from after that field (12 bytes in) and must end by the
    // locator.
    const uint64_t size = zipbytes::le64(record + 4);
    if (!hasSignature(record, zip64RecordSignature) || size < zip64RecordSize - 12 ||
        size > uint64_t(locator - position - 12))
        return false;
    zip64RecordPosition_ = position;
    thisDisk_ = le32(record + 16);
    directoryDisk_ = le32(record + 20);
    entriesOnDisk_ = zipbytes::le64(record + 24);
    totalEntries_ = zipbytes::le64(record + 32);
    directorySize_ = zipbytes::le64(record + 40);
    directoryOffset_ = zipbytes::le64(record + 48);
    return true;
}

void CZipCentralDir::raiseDamaged(Detail detail, const std::string& reason) const {
    CZipException::raise(CZipException::badZipFileError, detail, reason, storage_.currentPath());
}

void CZipCentralDir::checkDirectoryBounds() {
    // The directory cannot start on a later part than the last one.
    if (directoryDisk_ > thisDisk_ || thisDisk_ > uint32_t(INT32_MAX))
        raiseDamaged(Detail::directoryOutOfBounds, "the end record names impossible parts");
    // The directory ends where the ZIP64 records (or the end record) begin.
    const int64_t limit = zip64RecordPosition_ >= 0
                              ? zip64RecordPosition_
                              : endRecordPosition_ - (zip64Locator_ ? zip64LocatorSize : 0);
    if (directoryOffset_ > uint64_t(limit) || directorySize_ > uint64_t(limit) - directoryOffset_)
        raiseDamaged(Detail::directoryOutOfBounds,
                     "the central directory lies outside the archive");
    if (directorySize_ > maxDirectorySize)
        raiseDamaged(Detail::directoryTooLarge, "the central directory is too large");
    if (totalEntries_ > directorySize_ / CZipFileHeader::centralFixedSize ||
        entriesOnDisk_ > totalEntries_)
        raiseDamaged(Detail::tooManyEntries,
                     "the central directory is too small for its entry count");
    // Bytes before the archive proper, e.g. a self-extractor stub in front of it.
    const int64_t end = int64_t(directoryOffset_ + directorySize_);
    bytesBeforeArchive_ = thisDisk_ != 0 ? 0 : limit - end;
}

// Sizes that cannot be true are refused before they are ever shown: the data of an entry of
// a single-file archive lies inside the archive, and no size reaches 2^63 (a ZIP64 value of
// 2^64-1 is a writer's placeholder, not a size).
void CZipCentralDir::checkEntryValues(const CZipFileHeader& header, uint64_t number) const {
    constexpr uint64_t limit = uint64_t(1) << 63;
    const bool pastEnd = thisDisk_ == 0 && header.compressedSize > uint64_t(source_.length());
    if (header.uncompressedSize >= limit || header.compressedSize >= limit || pastEnd)
        raiseDamaged(Detail::impossibleValue, "an entry states a size that cannot be true (entry " +
                                                  std::to_string(number) + ")");
}

void CZipCentralDir::readEntryHeaders() {
    requestRange(bytesBeforeArchive_ + int64_t(directoryOffset_), source_.length());
    sortedIndex_.clear();
    entries_.clear();
    entries_.reserve(totalEntries_);
    uint64_t directoryBytes = 0;
    for (uint64_t i = 0; i < totalEntries_; ++i) {
        if (entryRead_)
            entryRead_();
        entries_.push_back(std::make_unique<CZipFileHeader>());
        CZipFileHeader& header = *entries_.back();
        if (!header.readCentral(storage_))
            raiseDamaged(Detail::badSignature, "a central directory header is damaged (entry " +
                                                   std::to_string(i + 1) + ")");
        if (convertNames_)
            header.convertName();
        directoryBytes += header.centralSize();
        // The request reaches the archive's end, so a header whose lengths run past the
        // directory would take the end record's bytes as its name.
        if (directoryBytes > directorySize_)
            raiseDamaged(Detail::directoryOverrun,
                         "a central directory header runs past the directory (entry " +
                             std::to_string(i + 1) + ")");
        checkEntryValues(header, i + 1);
    }
    namesConverted_ = convertNames_;
    markOverlappingEntries();
    if (findFastEnabled_)
        buildSortedIndex();
}

// An entry spans at least its local header's fixed part, its name and its compressed data
// (the local extra field is not known without fetching it, so the span found is a lower
// bound and the test never condemns an honest archive). Entries are walked by volume and
// offset: the offsets of a split archive's entries count from the start of their own part.
void CZipCentralDir::markOverlappingEntries() {
    overlapping_.assign(entries_.size(), false);
    std::vector<uint32_t> byOffset(entries_.size());
    for (std::size_t i = 0; i < byOffset.size(); ++i)
        byOffset[i] = static_cast<uint32_t>(i);
    std::sort(byOffset.begin(), byOffset.end(), [this](uint32_t a, uint32_t b) {
        const CZipFileHeader& x = *entries_[a];
        const CZipFileHeader& y = *entries_[b];
        return x.diskStart != y.diskStart ? x.diskStart < y.diskStart
                                          : x.localHeaderOffset < y.localHeaderOffset;
    });
    uint64_t reach = 0; // the furthest end of the entries seen so far on this volume
    uint32_t reacher = 0;
    uint32_t disk = 0;
    bool first = true;
    for (uint32_t index : byOffset) {
        const CZipFileHeader& header = *entries_[index];
        if (first || header.diskStart != disk) {
            first = false;
            disk = header.diskStart;
            reach = 0;
            reacher = index;
        } else if (header.localHeaderOffset < reach) {
            overlapping_[index] = true;
            overlapping_[reacher] = true;
        }
        // Sizes are below 2^63 (checkEntryValues); an offset that large lies past the
        // archive's end (refused when the entry is opened) and must not wrap the sum.
        const uint64_t span =
            CZipFileHeader::localFixedSize + header.fileNameLength + header.compressedSize;
        const uint64_t end = header.localHeaderOffset > UINT64_MAX - span
                                 ? UINT64_MAX
                                 : header.localHeaderOffset + span;
        if (end > reach) {
            reach = end;
            reacher = index;
        }
    }
}

void CZipCentralDir::convertAllNames() {
    for (auto& header : entries_)
        header->convertName();
    namesConverted_ = true;
}
