#include "zip/ZipFileHeader.h"

#include "zip/ZipBytes.h"
#include "zip/ZipException.h"
#include "zip/ZipNames.h"
#include "zip/ZipStorage.h"

#include <sys/stat.h>

using zipbytes::le16;
using zipbytes::le32;

bool CZipFileHeader::readCentral(CZipStorage& storage) {
    const int32_t diskBefore = storage.currentDisk();
    unsigned char fixed[centralFixedSize];
    storage.read(fixed, centralFixedSize, true);
    signature = le32(fixed);
    if (signature != centralSignature)
        return false;
    versionMadeBy = le16(fixed + 4);
    versionNeeded = le16(fixed + 6);
    flags = le16(fixed + 8);
    method = le16(fixed + 10);
    modTime = le16(fixed + 12);
    modDate = le16(fixed + 14);
    crc32 = le32(fixed + 16);
    compressedSize = le32(fixed + 20);
    uncompressedSize = le32(fixed + 24);
    fileNameLength = le16(fixed + 28);
    extraFieldLength = le16(fixed + 30);
    commentLength = le16(fixed + 32);
    diskStart = le16(fixed + 34);
    internalAttributes = le16(fixed + 36);
    externalAttributes = le32(fixed + 38);
    localHeaderOffset = le32(fixed + 42);

    // The lengths are 16-bit fields, so no buffer here can exceed 64 KiB.
    fileName.allocate(fileNameLength);
    storage.read(fileName.data(), fileNameLength, true);
    nameConverted = false;
    extraField.allocate(extraFieldLength);
    storage.read(extraField.data(), extraFieldLength, true);
    comment.allocate(commentLength);
    storage.read(comment.data(), commentLength, true);
    if (!applyZip64())
        CZipException::raise(CZipException::badZipFileError, CZipException::Detail::badZip64,
                             "an entry's ZIP64 extra field is too short for its values",
                             storage.currentPath());
    return storage.currentDisk() == diskBefore;
}

// Only the fields that hold their maximum are in the block, in the format's order.
bool CZipFileHeader::applyZip64() {
    zipextra::Zip64Wanted wanted;
    wanted.uncompressedSize = uncompressedSize == max32;
    wanted.compressedSize = compressedSize == max32;
    wanted.localHeaderOffset = localHeaderOffset == max32;
    wanted.diskStart = diskStart == max16;
    zipextra::Zip64Values values{uncompressedSize, compressedSize, localHeaderOffset, diskStart};
    if (!zipextra::readZip64(extraField.view(), wanted, values))
        return false;
    uncompressedSize = values.uncompressedSize;
    compressedSize = values.compressedSize;
    localHeaderOffset = values.localHeaderOffset;
    diskStart = values.diskStart;
    return true;
}

bool CZipFileHeader::readLocalFixedPart(CZipStorage& storage, LocalHeader& local) {
    unsigned char fixed[localFixedSize];
    storage.read(fixed, localFixedSize, true);
    if (le32(fixed) != localSignature)
        return false;
    local.flags = le16(fixed + 6);
    local.compressedSize = le32(fixed + 18);
    local.uncompressedSize = le32(fixed + 22);
    local.nameLength = le16(fixed + 26);
    local.extraLength = le16(fixed + 28);
    return true;
}

std::string CZipFileHeader::localMismatch(const LocalHeader& local,
                                          std::string_view localExtra) const {
    // With a data descriptor the local sizes are zeros (or anything): the central ones count.
    if ((local.flags & flagDataDescriptor) != 0)
        return {};
    uint64_t localPacked = local.compressedSize;
    uint64_t localSize = local.uncompressedSize;
    if (local.compressedSize == max32 || local.uncompressedSize == max32) {
        // A local ZIP64 block holds both sizes, whichever of them overflowed. Without one
        // the local header states nothing to compare.
        if (!zipextra::findBlock(localExtra, zipextra::zip64Id))
            return {};
        zipextra::Zip64Values values{localSize, localPacked, 0, 0};
        if (!zipextra::readZip64(localExtra, {true, true, false, false}, values))
            return "the local header's ZIP64 extra field is too short";
        localPacked = values.compressedSize;
        localSize = values.uncompressedSize;
    }
    // Some writers leave the local sizes at zero; only stated, different sizes contradict.
    if (localPacked != 0 && localPacked != compressedSize)
        return "the local header states another compressed size than the directory";
    if (localSize != 0 && localSize != uncompressedSize)
        return "the local header states another size than the directory";
    return {};
}

void CZipFileHeader::convertName() {
    if (nameConverted)
        return;
    if (std::optional<std::string> unicode =
            zipextra::unicodePath(extraField.view(), fileName.view()))
        fileName.assign(*unicode);
    else
        fileName.assign(zipnames::toUtf8Name(fileName.view(), (flags & flagUtf8Name) != 0));
    nameConverted = true;
}

ZipDateTime CZipFileHeader::modificationTime() const {
    const std::optional<zipextra::UtcTime> utc = zipextra::modificationTime(extraField.view());
    std::tm parts{};
    const auto seconds = utc ? static_cast<std::time_t>(utc->seconds) : std::time_t(0);
    if (!utc || localtime_r(&seconds, &parts) == nullptr)
        return dosToDateTime(modDate, modTime);
    return ZipDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::optional<timespec> CZipFileHeader::fileTime() const {
    if (const auto utc = zipextra::modificationTime(extraField.view()))
        return timespec{static_cast<std::time_t>(utc->seconds),
                        static_cast<long>(utc->nanoseconds)};
    try {
        return timespec{dosToLocalTime(modDate, modTime), 0};
    } catch (const std::invalid_argument&) {
        return std::nullopt; // an impossible date: the file keeps the time it was written
    }
}

bool CZipFileHeader::isDirectory() const {
    if (externalAttributes & attributeDirectory)
        return true;
    if (fileName.size() > 0 && fileName.data()[fileName.size() - 1] == '/')
        return true;
    return madeOnUnix() && S_ISDIR(unixMode());
}

bool CZipFileHeader::isSymbolicLink() const {
    return madeOnUnix() && S_ISLNK(unixMode());
}

uint32_t CZipFileHeader::permissions() const {
    if (isSymbolicLink())
        return 0644; // a link's 0777 must not make the text file written for it executable
    const uint32_t mode = unixMode() & 0777;
    if (madeOnUnix() && mode != 0)
        return mode;
    return (externalAttributes & attributeReadOnly) ? 0444 : 0644;
}
