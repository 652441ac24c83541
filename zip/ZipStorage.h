// The one place through which the engine reads archive bytes. The remote source puts the
// stream of the range last requested into the file slot; the storage reads it front to back,
// keeping no position or cache of its own.
#pragma once

#include "remote/RangeStream.h"

#include <cstdint>
#include <string>

class CZipStorage {
public:
    enum SpanMode : int32_t { singleFile = 0, removableDisks = 1, volumeFiles = 2, decide = 3 };

    CZipStorage() = default;
    CZipStorage(const CZipStorage&) = delete;
    CZipStorage& operator=(const CZipStorage&) = delete;

    // The slot the remote source fills (ArchiveSource::setStorageFileSlot).
    RangeStream** fileSlot() { return &currentFile_; }
    RangeStream* currentFile() const { return currentFile_; }
    // The current stream's path, for error messages ("" when none).
    std::string currentPath() const;

    // Reads exactly `count` bytes or raises -101 (a single-file archive never accepts a short
    // read). Returns count.
    uint32_t read(void* buffer, uint32_t count, bool atOnce);

    // Called with the end record's disk number: 0 means a single-file archive; any other
    // number makes this the last volume of a split archive.
    void setDiskCount(int32_t disk);
    // A remote archive is one file: switching to another volume raises CZipFileException
    // (volumeUnavailable).
    void changeDisk(int32_t disk);

    bool isOpen() const { return currentDisk_ != -1; }
    int32_t currentDisk() const { return currentDisk_; }
    int32_t spanMode() const { return spanMode_; }
    int32_t lastDisk() const { return lastDisk_; }
    // Ends the current stream's transfer (the stream stays the source's), clears the slot.
    void close(bool afterError);

private:
    RangeStream* currentFile_ = nullptr;
    int32_t spanMode_ = singleFile;
    int32_t lastDisk_ = 0;
    int32_t currentDisk_ = -1;
};
