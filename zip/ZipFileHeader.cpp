#include "zip/ZipFileHeader.h"

#include "zip/ZipBytes.h"
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
    return storage.currentDisk() == diskBefore;
}

bool CZipFileHeader::readLocalFixedPart(CZipStorage& storage, uint16_t& localExtraLength) {
    unsigned char fixed[localFixedSize];
    storage.read(fixed, localFixedSize, true);
    if (le32(fixed) != localSignature)
        return false;
    localExtraLength = le16(fixed + 28);
    return true;
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
