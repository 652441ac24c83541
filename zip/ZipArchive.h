// The zip engine's face towards the document, the jobs and the command line: opens a remote
// archive through an ArchiveSource, answers questions about its entries, tests and extracts
// one entry at a time, and closes. Read-only: nothing is ever written to the archive.
//
// Errors: CZipException (codes in zip/ZipException.h) for damaged data, CZipFileException when
// the archive is not a zip archive or a destination cannot be created, std::invalid_argument
// for an index out of range in testEntry. `what()` of each is a short English reason.
#pragma once

#include "remote/ReadPlan.h"
#include "zip/ZipCentralDir.h"
#include "zip/ZipException.h"
#include "zip/ZipFileHeader.h"
#include "zip/ZipStorage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ArchiveSource;
class String;

class CZipArchive {
public:
    // Progress of testEntry / extractEntry: called after each output buffer with the number
    // of uncompressed bytes of this entry produced so far. The first argument is always null
    // (kept for callers written for the original callback form); `userValue` is the value
    // given to the operation. Returning false stops the operation after that buffer. A plain
    // function `bool f(void*, uint64_t, void*)` converts to it, and so does a lambda.
    using ProgressCallback = std::function<bool(void* ignored, uint64_t done, void* userValue)>;

    // What the password provider is told: which entry wants a password, and whether the
    // password tried last did not open it.
    struct PasswordRequest {
        std::string entryName; // UTF-8, "/" separators
        bool afterWrongPassword = false;
    };
    // Asked on the thread that reads the entry, before the entry's data is fetched when no
    // password is held, and again each time a password does not open the entry. No answer
    // skips the entry: it fails with Detail::passwordNeeded (or wrongPassword after a wrong
    // one). A password that opens an entry is kept until the archive is closed.
    using PasswordProvider = std::function<std::optional<std::string>(const PasswordRequest&)>;

    static constexpr uint32_t inputBufferSize = 16384;
    static constexpr uint32_t defaultBufferSize = 65535;

    // Results of closeEntry.
    enum CloseResult : int {
        closeNothingOpen = 0, // or setting the file's time failed
        closeComplete = 1,
        closeIncomplete = -1, // not all data was read
        closeAttributesFailed = -2,
    };

    explicit CZipArchive(ArchiveSource& source);
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;
    ~CZipArchive();

    // Connects the source, opens the remote file and reads the central directory. The
    // archive stays closed when the source cannot connect or open the file (the caller looks
    // at the source's length to tell why). Exceptions from reading the directory propagate;
    // the archive is then closed again. Does nothing when an archive is open. Points the
    // source's storage file slot at this archive's storage.
    void open(const String& address, int mode = 0);
    bool isClosed() const { return !storage_.isOpen(); }
    uint32_t entryCount() const;

    // Copies the entry's header (with its buffers) into `header`; false when no archive is
    // open or the index is out of range.
    bool getEntryInfo(CZipFileHeader& header, uint32_t index) const;
    // False when closed or out of range; see CZipFileHeader::isDirectory.
    bool isDirectory(uint32_t index) const;
    // Entry index of `name` ("/" separators, UTF-8), or -1.
    int32_t findEntry(const std::string& name, bool caseSensitive);
    const CZipCentralDir& centralDir() const { return centralDir_; }
    // The bytes that reading these entries takes, in the order given (for the source's read
    // plan): each entry's local header through the end of its data. Folders, unknown indices
    // and entries that share bytes with another are left out.
    std::vector<ByteSpan> readSpans(const std::vector<int32_t>& indices) const;

    // Fetches the entry's local header and asks for its compressed data; for an encrypted
    // entry, reads its encryption header and checks the password. False when the index is
    // out of range or an entry is open already. Raises -101 (code 10) for a wrong signature,
    // an entry outside the archive, a local header that contradicts the directory, or an
    // entry in another part of a split archive (Detail::multiDisk); and, before anything is
    // fetched, for a method or an encryption the engine does not read or a missing password
    // (isEntryUnreadable()).
    bool openEntry(uint32_t index);
    // Bytes of uncompressed data produced into `buffer` (0 at the end of the entry).
    uint32_t readEntryData(void* buffer, uint32_t size);
    // See CloseResult. Unless afterError: raises -102 (code 11) when all data was read and
    // its CRC-32 differs, and code 10 (authenticationFailed) when an AES entry's
    // authentication code does not match. With a path, gives that file the entry's modification
    // time and permissions.
    int closeEntry(const std::string& path = {}, bool afterError = false);
    // After an error: forgets the open entry.
    void abandonEntry();

    // Writes the entry below `folder`: with keepPath at its path inside the archive (folders
    // created), else under its file name or `newName`. True when the file is complete, its
    // CRC-32 checked and its time and permissions set. Names that would leave the folder are
    // refused with CZipException (Detail::unsafeName) before anything is fetched or written.
    // A failed or stopped extraction deletes the partial file (lastError() says so); a
    // symbolic-link entry is written as a regular file holding the link's text. A file that
    // cannot be created raises CZipFileException (cannotCreate).
    bool extractEntry(uint32_t index, const std::string& folder, bool keepPath = true,
                      const std::string& newName = {}, const ProgressCallback& callback = {},
                      void* userValue = nullptr, uint32_t bufferSize = defaultBufferSize);
    // Reads the whole entry and checks its CRC-32; writes nothing. A folder entry is sound
    // when it holds no data (else code 1).
    bool testEntry(uint32_t index, const ProgressCallback& callback = {}, void* userValue = nullptr,
                   uint32_t bufferSize = defaultBufferSize);
    // The destination extractEntry would write, or raises as extractEntry does for an unsafe
    // name. For callers that ask before they overwrite.
    std::string destinationPath(uint32_t index, const std::string& folder, bool keepPath,
                                const std::string& newName = {}) const;

    // Releases the entries, the storage's stream and the source's connection, and forgets
    // the password.
    void close(bool afterError = false);

    // Encrypted entries: the password tried first (kept until close), and who is asked when
    // there is none or it is wrong. Without a provider a missing or wrong password fails the
    // entry at once. Passwords never appear in an error text.
    void setPassword(const std::string& password);
    void forgetPassword();
    bool hasPassword() const { return hasPassword_; }
    void setPasswordProvider(PasswordProvider provider) { passwordProvider_ = std::move(provider); }

    // Why the last extractEntry or testEntry returned false ("" after success).
    const std::string& lastError() const { return lastError_; }
    // Called for each central header read while opening.
    void setEntryReadHandler(std::function<void()> handler);
    ArchiveSource& source() { return source_; }
    CZipStorage& storage() { return storage_; }

private:
    struct EntryState;
    int64_t seekToEntryData(const CZipFileHeader& header);
    void requirePassword(const CZipFileHeader& header);
    std::optional<std::string> askPassword(const CZipFileHeader& header, bool afterWrong);
    void startDecryption(int64_t dataStart);
    bool tryPassword(const std::string& password, const unsigned char* encryptionHeader);
    void startDecoder();
    void fillInput();
    uint32_t decodeInto(unsigned char* out, uint32_t window);
    [[noreturn]] void decodingStalled(uint32_t window);
    void authenticate();
    int stampFile(const std::string& path, int result) const;
    bool copyToFile(int fd, const ProgressCallback& callback, void* userValue, uint32_t bufferSize);
    bool extractFolder(const CZipFileHeader& header, const std::string& destination);
    bool readWholeEntry(const ProgressCallback& callback, void* userValue, uint32_t bufferSize,
                        uint32_t& crc);
    int64_t readLocalHeader(const CZipFileHeader& header, int64_t local);

    ArchiveSource& source_;
    CZipStorage storage_;
    CZipCentralDir centralDir_;
    std::unique_ptr<EntryState> entry_;
    // 0: no entry open; -1: an entry is open for reading.
    int8_t entryState_ = 0;
    std::string lastError_;
    std::string password_;
    bool hasPassword_ = false;
    // The password being tried on the entry being opened, kept once it opens it.
    std::string candidatePassword_;
    PasswordProvider passwordProvider_;
};
