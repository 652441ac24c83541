// Encrypted entries: finding a password that opens the entry, and checking an AES entry's
// authentication code once its data has been read. Passwords travel only between the
// caller, the provider and the decryptor: no error text carries one.
#include "zip/ZipArchive.h"
#include "zip/ZipEntryState.h"
#include "zip/ZipNames.h"
#include "zip/ZipRequest.h"

#include <algorithm>

using Detail = CZipException::Detail;

namespace {

[[noreturn]] void raiseEntry(Detail detail, const std::string& reason, const CZipStorage& storage) {
    CZipException::raise(CZipException::badZipFileError, detail, reason, storage.currentPath());
}

// The largest encryption header: AES-256's 16-byte salt and 2-byte verifier.
constexpr std::size_t maxEncryptionHeader = 18;

} // namespace

void CZipArchive::setPassword(const std::string& password) {
    forgetPassword();
    password_ = password;
    hasPassword_ = true;
}

void CZipArchive::forgetPassword() {
    zipcrypto::wipe(password_);
    hasPassword_ = false;
}

std::optional<std::string> CZipArchive::askPassword(const CZipFileHeader& header, bool afterWrong) {
    if (!passwordProvider_)
        return std::nullopt;
    PasswordRequest request;
    request.entryName = zipnames::toUtf8Name(header.fileName.view(),
                                             (header.flags & CZipFileHeader::flagUtf8Name) != 0);
    request.afterWrongPassword = afterWrong;
    return passwordProvider_(request);
}

// Before the entry's data is fetched: the password to try first.
void CZipArchive::requirePassword(const CZipFileHeader& header) {
    if (entry_->encryption.kind == zipcrypto::Kind::none)
        return;
    if (hasPassword_) {
        candidatePassword_ = password_;
        return;
    }
    std::optional<std::string> answer = askPassword(header, false);
    if (!answer)
        raiseEntry(Detail::passwordNeeded, "the entry is encrypted and no password was given",
                   storage_);
    candidatePassword_ = std::move(*answer);
    zipcrypto::wipe(*answer);
}

bool CZipArchive::tryPassword(const std::string& password, const unsigned char* encryptionHeader) {
    EntryState& s = *entry_;
    const CZipFileHeader& h = *s.header;
    if (s.encryption.kind == zipcrypto::Kind::aes) {
        s.decryptor = zipcrypto::openAes(password, encryptionHeader, s.encryption.aesKeyBits);
    } else {
        // With a data descriptor the CRC was not known when the header was written: the
        // check byte is then the time's high byte.
        const auto check =
            static_cast<unsigned char>(h.hasDataDescriptor() ? h.modTime >> 8 : h.crc32 >> 24);
        s.decryptor = zipcrypto::openZipCrypto(password, encryptionHeader, check);
    }
    return s.decryptor != nullptr;
}

// Reads the encryption header and finds a password that opens the entry: the one held, then
// the provider's answers. `dataStart` is where the entry's data begins.
void CZipArchive::startDecryption(int64_t dataStart) {
    EntryState& s = *entry_;
    const CZipFileHeader& h = *s.header;
    const std::size_t headerSize = s.encryption.headerSize();
    const std::size_t overhead = headerSize + s.encryption.trailerSize();
    s.compressedLeft = h.compressedSize;
    if (s.encryption.kind == zipcrypto::Kind::none)
        return;
    if (h.compressedSize < overhead)
        raiseEntry(Detail::truncatedData,
                   "the encrypted entry is shorter than its encryption header", storage_);
    unsigned char header[maxEncryptionHeader];
    storage_.read(header, static_cast<uint32_t>(headerSize), true);
    bool askedAgain = false;
    while (!tryPassword(candidatePassword_, header)) {
        zipcrypto::wipe(candidatePassword_);
        std::optional<std::string> answer = askPassword(h, true);
        if (!answer)
            raiseEntry(Detail::wrongPassword, "wrong password", storage_);
        candidatePassword_ = std::move(*answer);
        zipcrypto::wipe(*answer);
        askedAgain = true;
    }
    setPassword(candidatePassword_);
    zipcrypto::wipe(candidatePassword_);
    // The user may have taken long over the question: ask for the data afresh rather than
    // trust a connection that sat idle meanwhile.
    if (askedAgain)
        zipbytes::requestRange(source_, storage_, dataStart + int64_t(headerSize),
                               dataStart + int64_t(h.compressedSize));
    s.compressedLeft = h.compressedSize - overhead;
}

// An AES entry's authentication code covers all its encrypted data, also any the decoder
// did not need: that is read first.
void CZipArchive::authenticate() {
    EntryState& s = *entry_;
    const std::size_t trailerSize = s.encryption.trailerSize();
    if (!s.decryptor || trailerSize == 0)
        return;
    s.pendingSize = 0;
    while (s.compressedLeft > 0)
        fillInput();
    s.pendingSize = 0;
    unsigned char trailer[16];
    storage_.read(trailer, static_cast<uint32_t>(trailerSize), true);
    if (!s.decryptor->authenticate(trailer, trailerSize))
        raiseEntry(Detail::authenticationFailed,
                   "the entry's authentication code does not match: its data is damaged or was "
                   "altered",
                   storage_);
}
