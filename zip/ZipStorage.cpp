#include "zip/ZipStorage.h"

#include "zip/ZipException.h"

std::string CZipStorage::currentPath() const {
    return currentFile_ ? currentFile_->path() : std::string();
}

uint32_t CZipStorage::read(void* buffer, uint32_t count, bool atOnce) {
    if (count == 0)
        return 0;
    if (currentFile_ == nullptr)
        CZipException::raise(CZipException::badZipFileError, CZipException::Detail::shortRead,
                             "no archive data to read");
    auto* out = static_cast<unsigned char*>(buffer);
    uint32_t got = 0;
    // The stream returns fewer bytes only at the end of its range or when the transfer
    // failed; a later read that brings nothing settles it.
    while (got < count) {
        const std::size_t n = currentFile_->read(out + got, count - got);
        if (n == 0)
            break;
        got += static_cast<uint32_t>(n);
    }
    if (got == count)
        return count;
    if (spanMode_ != singleFile && (got == 0 || !atOnce))
        changeDisk(currentDisk_ + 1); // raises: other volumes are not reachable remotely
    // A transfer that failed says why; only a range that simply ended means damage.
    const std::string failure = currentFile_->failure();
    CZipException::raise(CZipException::badZipFileError, CZipException::Detail::shortRead,
                         failure.empty()
                             ? "the archive data ended early (damaged or truncated archive)"
                             : "the transfer ended early: " + failure,
                         currentPath());
}

void CZipStorage::setDiskCount(int32_t disk) {
    currentDisk_ = disk;
    if (disk == 0) {
        spanMode_ = singleFile;
        return;
    }
    // A remote archive lives on no removable drive: a split archive is a set of volume files.
    spanMode_ = volumeFiles;
    lastDisk_ = disk;
}

void CZipStorage::changeDisk(int32_t disk) {
    if (disk == currentDisk_)
        return;
    throw CZipFileException(CZipFileException::Cause::volumeUnavailable,
                            "this is one part of a split archive; the other parts cannot be read",
                            currentPath());
}

void CZipStorage::close(bool /*afterError*/) {
    if (currentFile_)
        currentFile_->close();
    currentFile_ = nullptr;
    currentDisk_ = -1;
    spanMode_ = singleFile;
}
