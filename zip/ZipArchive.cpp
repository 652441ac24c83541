#include "zip/ZipArchive.h"

#include "app/String.h"
#include "remote/ArchiveSource.h"
#include "zip/ZipEntryState.h"
#include "zip/ZipNames.h"

CZipArchive::CZipArchive(ArchiveSource& source) : source_(source), centralDir_(storage_, source) {}

CZipArchive::~CZipArchive() {
    forgetPassword();
}

void CZipArchive::open(const String& address, int /*mode*/) {
    if (!isClosed())
        return;
    source_.setStorageFileSlot(storage_.fileSlot());
    String withoutCredentials(address);
    if (!source_.connect(withoutCredentials))
        return;
    entryState_ = 0;
    entry_.reset();
    if (!source_.openRemoteFile(withoutCredentials))
        return;
    const int64_t length = source_.length();
    if (length == ArchiveSource::LengthUnknown)
        return;
    try {
        if (length < 0)
            throw CZipException(CZipException::badZipFile, "the archive's length cannot be known",
                                storage_.currentPath(), CZipException::Detail::archiveTooLarge);
        centralDir_.reset();
        centralDir_.readCentralDirectory();
    } catch (...) {
        // Nothing half-open stays behind: the directory read so far, the stream and the
        // connection go.
        abandonEntry();
        centralDir_.clear();
        storage_.close(true);
        source_.disconnect();
        throw;
    }
}

uint32_t CZipArchive::entryCount() const {
    return isClosed() ? 0 : centralDir_.count();
}

bool CZipArchive::getEntryInfo(CZipFileHeader& header, uint32_t index) const {
    if (isClosed() || index >= centralDir_.count())
        return false;
    header = *centralDir_.entry(index);
    header.convertName();
    return true;
}

bool CZipArchive::isDirectory(uint32_t index) const {
    if (isClosed() || index >= centralDir_.count())
        return false;
    return centralDir_.entry(index)->isDirectory();
}

int32_t CZipArchive::findEntry(const std::string& name, bool caseSensitive) {
    return centralDir_.findEntry(name, caseSensitive);
}

void CZipArchive::setEntryReadHandler(std::function<void()> handler) {
    centralDir_.setEntryReadHandler(std::move(handler));
}

void CZipArchive::abandonEntry() {
    entry_.reset();
    entryState_ = 0;
    centralDir_.currentEntry = nullptr;
}

void CZipArchive::close(bool afterError) {
    if (isClosed() && storage_.currentFile() == nullptr)
        return;
    if (afterError || entryState_ == 0) {
        abandonEntry();
    } else {
        try {
            closeEntry({}, false);
        } catch (const std::exception&) {
            // Closing never fails: a CRC error of an entry nobody finished reading is moot.
        }
        abandonEntry();
    }
    centralDir_.clear();
    storage_.close(afterError);
    source_.disconnect();
    forgetPassword();
}
