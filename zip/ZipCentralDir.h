// The catalogue of an archive: finds the end-of-central-directory record at the archive's
// tail, fetches the central directory in one range and keeps its entries with a sorted index
// of their names.
#pragma once

#include "zip/ZipAutoBuffer.h"
#include "zip/ZipException.h"
#include "zip/ZipFileHeader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ArchiveSource;
class CZipStorage;

// One element of the sorted name index.
struct CZipFindFast {
    CZipFileHeader* header;
    uint32_t index;
};

class CZipCentralDir {
public:
    static constexpr uint32_t endSignature = 0x06054b50;          // "PK\5\6"
    static constexpr uint32_t zip64LocatorSignature = 0x07064b50; // "PK\6\7"
    static constexpr uint32_t zip64RecordSignature = 0x06064b50;  // "PK\6\6"
    static constexpr int32_t zip64LocatorSize = 20;
    static constexpr int32_t zip64RecordSize = 56; // without its extensible data
    static constexpr int32_t endRecordSize = 22;
    static constexpr int32_t maxCommentSize = 65535;
    static constexpr int32_t searchBlockSize = 32768;
    // Ceiling on the bytes of the central directory the engine takes in (a directory that
    // needs more is refused rather than held in memory). A directory of 1,000,000 entries
    // takes 50 to 80 MB.
    static constexpr uint32_t maxDirectorySize = 128u * 1024 * 1024;

    CZipCentralDir(CZipStorage& storage, ArchiveSource& source);
    CZipCentralDir(const CZipCentralDir&) = delete;
    CZipCentralDir& operator=(const CZipCentralDir&) = delete;
    ~CZipCentralDir();

    // Forgets everything of a previous archive (called when an archive is opened).
    void reset();
    // Reads the end record, the comment and every entry. No end record: CZipFileException
    // (endRecordNotFound); other failures propagate after `damaged` is set.
    void readCentralDirectory();
    // The file offset of the end record. Raises -109 (not found) or -101 (short read).
    int64_t findEndRecord();
    void readEntryHeaders();

    // Index of the entry called `name` ("/" separators), or -1.
    int32_t findEntry(std::string_view name, bool caseSensitive);
    void buildSortedIndex();
    void convertAllNames();
    // Deletes all entries, empties the sorted index and the comment.
    void clear();

    uint32_t count() const { return static_cast<uint32_t>(entries_.size()); }
    // True when the entry's local header or data shares bytes with another entry's on the
    // same volume: honest writers never do that; zip bombs do, to inflate the same data
    // again and again.
    bool overlapsAnother(uint32_t index) const {
        return index < overlapping_.size() && overlapping_[index];
    }
    CZipFileHeader* entry(uint32_t index) const { return entries_.at(index).get(); }
    const CZipAutoBuffer& comment() const { return comment_; }
    bool damaged() const { return damaged_; }
    bool centralDirectoryRead() const { return centralDirectoryRead_; }
    int64_t endRecordPosition() const { return endRecordPosition_; }
    // Where the ZIP64 end record was found, or -1 when the archive has none.
    int64_t zip64RecordPosition() const { return zip64RecordPosition_; }
    int64_t bytesBeforeArchive() const { return bytesBeforeArchive_; }
    uint64_t totalEntries() const { return totalEntries_; }
    uint64_t directorySize() const { return directorySize_; }
    uint64_t directoryOffset() const { return directoryOffset_; }
    uint32_t thisDisk() const { return thisDisk_; }

    void setFindFastEnabled(bool on) { findFastEnabled_ = on; }
    void setConvertNames(bool on) { convertNames_ = on; }
    bool convertNames() const { return convertNames_; }
    // Called once per central header read (the progress bar moves while a large directory
    // arrives).
    void setEntryReadHandler(std::function<void()> handler) { entryRead_ = std::move(handler); }

    // The entry opened for reading by the archive, or null.
    CZipFileHeader* currentEntry = nullptr;

private:
    struct Candidate;
    void requestRange(int64_t first, int64_t last);
    bool endRecordMatches(const std::vector<unsigned char>& tail, int64_t tailStart,
                          int64_t position, bool& exact);
    bool directoryStartsAt(int64_t position);
    int64_t recordFound(const std::vector<unsigned char>& tail, int64_t tailStart,
                        int64_t position);
    void readEndRecord();
    bool classicRecordOverflows() const;
    void readZip64Records();
    bool readZip64RecordAt(int64_t position);
    void checkDirectoryBounds();
    void checkEntryValues(const CZipFileHeader& header, uint64_t number) const;
    [[noreturn]] void raiseDamaged(CZipException::Detail detail, const std::string& reason) const;
    void markOverlappingEntries();
    int32_t binarySearch(std::string_view name, bool caseSensitive) const;

    CZipStorage& storage_;
    ArchiveSource& source_;
    bool damaged_ = false;
    bool zip64Locator_ = false;
    uint32_t signature_ = 0;
    uint32_t thisDisk_ = 0;
    uint32_t directoryDisk_ = 0;
    uint64_t entriesOnDisk_ = 0;
    uint64_t totalEntries_ = 0;
    uint64_t directorySize_ = 0;
    uint64_t directoryOffset_ = 0;
    uint16_t commentLength_ = 0;
    CZipAutoBuffer comment_;
    bool findFastEnabled_ = true;
    int64_t endRecordPosition_ = 0;
    int64_t zip64RecordPosition_ = -1;
    int64_t bytesBeforeArchive_ = 0;
    bool centralDirectoryRead_ = false;
    std::vector<std::unique_ptr<CZipFileHeader>> entries_;
    std::vector<CZipFindFast> sortedIndex_;
    std::vector<bool> overlapping_;
    bool convertNames_ = true;
    bool namesConverted_ = false;
    std::function<void()> entryRead_;
};
