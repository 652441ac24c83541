// One entry of an archive: the fields of its central file header.
#pragma once

#include "zip/ZipAutoBuffer.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipTime.h"

#include <cstdint>
#include <optional>
#include <string>

class CZipStorage;

class CZipFileHeader {
public:
    static constexpr uint32_t centralSignature = 0x02014b50; // "PK\1\2"
    static constexpr uint32_t localSignature = 0x04034b50;   // "PK\3\4"
    static constexpr uint32_t descriptorSignature = 0x08074b50;
    static constexpr uint32_t centralFixedSize = 46;
    static constexpr uint32_t localFixedSize = 30;

    static constexpr uint16_t flagEncrypted = 0x0001;
    static constexpr uint16_t flagDataDescriptor = 0x0008;
    static constexpr uint16_t flagUtf8Name = 0x0800;
    static constexpr uint32_t attributeDirectory = 0x10; // MS-DOS folder bit
    static constexpr uint32_t attributeReadOnly = 0x01;  // MS-DOS read-only bit
    static constexpr uint8_t hostUnix = 3;               // high byte of "version made by"

    static constexpr uint32_t max32 = 0xFFFFFFFF; // "see the ZIP64 extra field"
    static constexpr uint16_t max16 = 0xFFFF;

    // Reads one central header from the storage's current range. False when the signature
    // is wrong (nothing more is read) or the read crossed a volume. Short reads raise -101.
    // Fields that hold their maximum take their 64-bit values from the ZIP64 extra field;
    // when that field is too short for them, raises -101 (Detail::badZip64).
    bool readCentral(CZipStorage& storage);

    // The fixed part of an entry's local header.
    struct LocalHeader {
        uint16_t flags = 0;
        uint32_t compressedSize = 0;
        uint32_t uncompressedSize = 0;
        uint16_t nameLength = 0;
        uint16_t extraLength = 0;
    };
    // Reads the fixed part of the entry's local header from the storage's current range.
    // False when its signature is wrong. The sizes and name length that count are the
    // central header's; the local ones are only checked against them.
    static bool readLocalFixedPart(CZipStorage& storage, LocalHeader& local);
    // Why a local header (with its extra field) contradicts this central header, or "" when
    // it agrees. Sizes are compared only when the local header states them (no data
    // descriptor); a ZIP64 local header gives both sizes in its extra field.
    std::string localMismatch(const LocalHeader& local, std::string_view localExtra) const;

    // Size of this header in the central directory.
    uint32_t centralSize() const {
        return centralFixedSize + fileNameLength + extraFieldLength + commentLength;
    }

    // The name as the program shows and looks it up: UTF-8, "/" between folders. Converted
    // from the stored bytes by the central directory (see zip/ZipNames.h).
    std::string name() const { return fileName.str(); }
    // Converts the stored name in place, once: the Unicode path extra field when it belongs
    // to the stored name, else the stored bytes as UTF-8 or code page 437.
    void convertName();

    bool madeOnUnix() const { return (versionMadeBy >> 8) == hostUnix; }
    // The Unix mode in the high 16 bits of the external attributes (0 unless made on Unix).
    uint32_t unixMode() const { return madeOnUnix() ? externalAttributes >> 16 : 0; }
    // Folder: MS-DOS folder bit, or a name ending in "/", or a Unix mode that says folder.
    bool isDirectory() const;
    // A Unix symbolic link; the engine never creates links (it writes the link text as a
    // regular file).
    bool isSymbolicLink() const;
    bool isEncrypted() const { return (flags & flagEncrypted) != 0; }
    bool hasDataDescriptor() const { return (flags & flagDataDescriptor) != 0; }
    // Permission bits for an extracted file: the Unix bits without setuid, setgid and sticky
    // when made on Unix (with a mode), else 0444 for the MS-DOS read-only bit and 0644
    // otherwise.
    uint32_t permissions() const;

    // The modification time as the list shows it: the UTC time of the extended-timestamp or
    // NTFS extra field in local time when one is present, else the MS-DOS fields.
    ZipDateTime modificationTime() const;
    // The modification time to give an extracted file: the UTC time of an extra field, else
    // the MS-DOS fields read as local time. Nothing when neither can be converted.
    std::optional<timespec> fileTime() const;

    uint32_t signature = centralSignature;
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 8;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    // Lengths as stored in the central header (the name's bytes may change length when
    // converted to UTF-8; the stored length is what the local header is skipped by).
    uint16_t fileNameLength = 0;
    uint16_t extraFieldLength = 0;
    uint16_t commentLength = 0;
    uint16_t internalAttributes = 0;
    uint32_t diskStart = 0;
    uint32_t externalAttributes = 0x20; // MS-DOS archive bit
    uint64_t localHeaderOffset = 0;

    CZipAutoBuffer extraField;
    CZipAutoBuffer fileName;
    CZipAutoBuffer comment;
    // Set once the name bytes hold UTF-8.
    bool nameConverted = false;

private:
    bool applyZip64();
};
