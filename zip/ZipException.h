// Failures of the zip engine. The engine has no user interface: it raises these and the layer
// that catches them decides what the user sees. `what()` (the reason) is a short English text
// that a message or the command line can show as it stands.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class CZipException : public std::runtime_error {
public:
    // The exception's code. Internal failure numbers (zlib results, -101 ... -109) are mapped
    // to these by `codeFromInternal`.
    enum Code : int32_t {
        generic = 1,       // anything else, e.g. a folder entry that holds data
        streamEnd = 2,     // Z_STREAM_END
        needDict = 3,      // Z_NEED_DICT
        errNo = 4,         // Z_ERRNO
        streamError = 5,   // Z_STREAM_ERROR
        dataError = 6,     // Z_DATA_ERROR: corrupt deflate data
        memError = 7,      // Z_MEM_ERROR
        bufError = 8,      // Z_BUF_ERROR
        versionError = 9,  // Z_VERSION_ERROR
        badZipFile = 10,   // -101: short read, wrong signature, unsupported method
        badCrc = 11,       // -102: CRC-32 mismatch when an entry is closed
        noCallback = 12,   // -103: multi-disk archive on removable media, no disk handler
        diskDeclined = 13, // -104, or the disk-change handler declined
        reserved14 = 14,   // -105
        reserved15 = 15,   // -106
        reserved16 = 16,   // -107
        reserved17 = 17,   // -108
        cdirNotFound = 18, // -109: end-of-central-directory record not found
    };

    // Internal failure numbers raised by the engine (zlib's results are the others).
    static constexpr int badZipFileError = -101;
    static constexpr int badCrcError = -102;
    static constexpr int noCallbackError = -103;
    static constexpr int cdirNotFoundError = -109;

    // Which inconsistency it was: finer than the code, for tests and precise messages.
    enum class Detail {
        none,
        shortRead,            // fewer bytes came than the record or entry needs
        badSignature,         // a record did not start with its signature
        unsupportedMethod,    // a compression method the engine does not read
        encrypted,            // an encryption the engine does not read (strong encryption)
        storedSizeMismatch,   // stored entry whose packed size is below its size
        truncatedData,        // the compressed data ended before the entry was complete
        inflateFailed,        // zlib reported an error
        badCrc,               // data complete but its CRC-32 differs
        archiveTooLarge,      // larger than the source can describe
        directoryOutOfBounds, // directory offset or size outside the archive
        entryOutOfBounds,     // an entry's header or data outside the archive
        directoryTooLarge,    // above the engine's ceiling for a central directory
        tooManyEntries,       // entry count the directory cannot hold
        endRecordNotFound,    // no end-of-central-directory record
        multiDisk,            // a split archive needing another volume
        unsafeName,           // the name would leave the destination folder
        folderHasData,        // a folder entry with data, when tested
        noArchive,            // nothing open, or index out of range
        overlappingEntries,   // the entry's bytes overlap another entry's (a zip bomb's shape)
        directoryOverrun,     // a central header runs past the end of the directory
        passwordNeeded,       // an encrypted entry, and no password was given
        wrongPassword,        // the password does not open the entry
        authenticationFailed, // an AES entry's authentication code does not match its data
        badZip64,             // a ZIP64 record or extra field missing, short or contradicting
        impossibleValue,      // a size or count that cannot be true (past the archive's end)
        localMismatch,        // the local header contradicts the central directory
    };

    CZipException(int32_t code, std::string reason, std::string path = {},
                  Detail detail = Detail::none);

    // Maps an internal failure number (zlib result or -101 ... -109) to the exception's code.
    static int32_t codeFromInternal(int internalCode);
    // Raises with the code that `internalCode` maps to.
    [[noreturn]] static void raise(int internalCode, Detail detail, const std::string& reason,
                                   const std::string& path = {});

    int32_t code() const { return code_; }
    // True when the archive is sound but this entry cannot be read here: its method or
    // encryption is not supported, or its password is missing or wrong. Such a failure
    // belongs to the entry and says nothing of damage.
    bool isEntryUnreadable() const;
    Detail detail() const { return detail_; }
    // The path of the storage's current file (the address) when the error happened.
    const std::string& path() const { return path_; }
    std::string reason() const { return what(); }

private:
    int32_t code_;
    std::string path_;
    Detail detail_;
};

// What the framework's file exception stood for: the archive (or a destination file, or a
// volume of a split archive) could not be opened or created.
class CZipFileException : public std::runtime_error {
public:
    enum class Cause {
        generic,           // the directory could not be read
        endRecordNotFound, // no end-of-central-directory record: not a zip archive
        cannotCreate,      // a destination file or folder could not be created
        volumeUnavailable, // another volume of a split archive was needed
    };

    CZipFileException(Cause cause, std::string reason, std::string path = {}, int osError = -1);

    Cause cause() const { return cause_; }
    const std::string& path() const { return path_; }
    // errno of the failed system call, or -1.
    int osError() const { return osError_; }
    std::string reason() const { return what(); }

private:
    Cause cause_;
    std::string path_;
    int osError_;
};
