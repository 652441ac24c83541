// Reading one entry: its local header, then its compressed data, decrypted when it is
// encrypted and decoded by its method's decoder into the caller's buffers with a running
// CRC-32.
#include "remote/ArchiveSource.h"
#include "zip/ZipArchive.h"
#include "zip/ZipEntryState.h"
#include "zip/ZipRequest.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

using Detail = CZipException::Detail;

namespace {

[[noreturn]] void raiseDamaged(Detail detail, const std::string& reason,
                               const CZipStorage& storage) {
    CZipException::raise(CZipException::badZipFileError, detail, reason, storage.currentPath());
}

// Refuses, before anything is fetched, an entry whose encryption or method the engine cannot
// read. The encryption comes first: an AES entry's method number (99) is no compression.
zipcrypto::Encryption readableEncryption(const CZipFileHeader& header, const CZipStorage& storage) {
    zipcrypto::Encryption e = zipcrypto::encryptionOf(header);
    if (e.kind == zipcrypto::Kind::unsupported)
        raiseDamaged(Detail::encrypted, e.problem, storage);
    if (!zipcodec::isSupportedMethod(e.method))
        raiseDamaged(Detail::unsupportedMethod, zipcodec::unsupportedMethodText(e.method), storage);
    return e;
}

} // namespace

bool CZipArchive::openEntry(uint32_t index) {
    if (isClosed() || index >= centralDir_.count() || entryState_ != 0)
        return false;
    // Only the part served is reachable; offsets of entries in other parts mean nothing in it.
    if (centralDir_.entry(index)->diskStart != uint32_t(storage_.currentDisk()))
        raiseDamaged(Detail::multiDisk,
                     "this is one part of a split archive: the entry lies in another part, "
                     "which cannot be read",
                     storage_);
    if (centralDir_.overlapsAnother(index))
        raiseDamaged(Detail::overlappingEntries,
                     "the entry's data overlaps another entry's (the shape of a zip bomb)",
                     storage_);
    auto state = std::make_unique<EntryState>();
    state->header = centralDir_.entry(index);
    state->encryption = readableEncryption(*state->header, storage_);
    state->input.allocate(inputBufferSize);
    entry_ = std::move(state);
    try {
        requirePassword(*entry_->header);
        startDecryption(seekToEntryData(*entry_->header));
        startDecoder();
    } catch (...) {
        entry_.reset();
        zipcrypto::wipe(candidatePassword_);
        throw;
    }
    entry_->uncompressedLeft = entry_->header->uncompressedSize;
    entry_->runningCrc = 0;
    entryState_ = -1;
    centralDir_.currentEntry = entry_->header;
    return true;
}

// Requests the local header, then the compressed data; only the entry's own bytes travel.
// Returns where the data starts.
int64_t CZipArchive::seekToEntryData(const CZipFileHeader& header) {
    const int64_t length = source_.length();
    // Offsets and sizes are below 2^63 or refused, so these sums cannot wrap.
    if (header.localHeaderOffset > uint64_t(length))
        raiseDamaged(Detail::entryOutOfBounds, "the entry's local header lies outside the archive",
                     storage_);
    const int64_t local = centralDir_.bytesBeforeArchive() + int64_t(header.localHeaderOffset);
    if (local + CZipFileHeader::localFixedSize > length)
        raiseDamaged(Detail::entryOutOfBounds, "the entry's local header lies outside the archive",
                     storage_);
    const int64_t data = readLocalHeader(header, local);
    if (header.compressedSize > uint64_t(length - data))
        raiseDamaged(Detail::entryOutOfBounds, "the entry's data lies outside the archive",
                     storage_);
    zipbytes::requestRange(source_, storage_, data, data + int64_t(header.compressedSize));
    return data;
}

// Reads the local header and returns where the entry's data begins (the name is skipped by
// the central header's length). Sizes the local header states must be the directory's; its
// extra field is fetched only when the sizes are there, in a ZIP64 block.
int64_t CZipArchive::readLocalHeader(const CZipFileHeader& header, int64_t local) {
    zipbytes::requestRange(source_, storage_, local, local + CZipFileHeader::localFixedSize);
    CZipFileHeader::LocalHeader fixed;
    if (!CZipFileHeader::readLocalFixedPart(storage_, fixed))
        raiseDamaged(Detail::badSignature, "the entry's local header is damaged", storage_);
    const int64_t extraStart = local + CZipFileHeader::localFixedSize + fixed.nameLength;
    const int64_t data =
        local + CZipFileHeader::localFixedSize + header.fileNameLength + fixed.extraLength;
    const bool sizesInExtra = !(fixed.flags & CZipFileHeader::flagDataDescriptor) &&
                              (fixed.compressedSize == CZipFileHeader::max32 ||
                               fixed.uncompressedSize == CZipFileHeader::max32);
    if (sizesInExtra && fixed.extraLength != 0 &&
        extraStart + fixed.extraLength <= source_.length()) {
        std::string extra(fixed.extraLength, '\0');
        zipbytes::requestRange(source_, storage_, extraStart, extraStart + fixed.extraLength);
        storage_.read(extra.data(), fixed.extraLength, true);
        if (const std::string why = header.localMismatch(fixed, extra); !why.empty())
            raiseDamaged(Detail::localMismatch, why, storage_);
    } else if (const std::string why = header.localMismatch(fixed, {}); !why.empty()) {
        raiseDamaged(Detail::localMismatch, why, storage_);
    }
    return data;
}

void CZipArchive::startDecoder() {
    EntryState& s = *entry_;
    try {
        s.decoder =
            zipcodec::makeDecoder(s.encryption.method, s.header->flags, s.header->uncompressedSize);
    } catch (const zipcodec::DecodeError& e) {
        CZipException::raise(e.zlibCode(), Detail::inflateFailed, e.what(), storage_.currentPath());
    }
}

void CZipArchive::fillInput() {
    EntryState& s = *entry_;
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(s.compressedLeft, inputBufferSize));
    auto* bytes = reinterpret_cast<unsigned char*>(s.input.data());
    storage_.read(bytes, n, true);
    if (s.decryptor)
        s.decryptor->decrypt(bytes, n);
    s.compressedLeft -= n;
    s.pending = bytes;
    s.pendingSize = n;
}

uint32_t CZipArchive::readEntryData(void* buffer, uint32_t size) {
    if (entryState_ != -1 || buffer == nullptr || size == 0 || entry_->ended)
        return 0;
    const auto window = static_cast<uint32_t>(std::min<uint64_t>(size, entry_->uncompressedLeft));
    return decodeInto(static_cast<unsigned char*>(buffer), window);
}

// Decodes until the window is full or the data ends. A window of 0 (the stated size is
// produced) still lets the decoder take the data not yet fetched up to its end marker; what
// the stated size leaves out of what was fetched is never produced.
uint32_t CZipArchive::decodeInto(unsigned char* out, uint32_t window) {
    EntryState& s = *entry_;
    const bool drain = window == 0;
    uint32_t produced = 0;
    while (produced < window || (drain && s.compressedLeft > 0)) {
        if (s.pendingSize == 0 && s.compressedLeft > 0)
            fillInput();
        zipcodec::DecodeResult r;
        try {
            r = s.decoder->decode(s.pending, s.pendingSize, out + produced, window - produced,
                                  s.compressedLeft == 0);
        } catch (const zipcodec::DecodeError& e) {
            CZipException::raise(e.zlibCode(), Detail::inflateFailed, e.what(),
                                 storage_.currentPath());
        }
        s.pending += r.consumed;
        s.pendingSize -= static_cast<uint32_t>(r.consumed);
        const auto n = static_cast<uint32_t>(r.produced);
        s.runningCrc = crc32(s.runningCrc, out + produced, n);
        s.uncompressedLeft -= n;
        produced += n;
        if (r.ended) {
            s.ended = true;
            break;
        }
        if (r.consumed == 0 && n == 0)
            decodingStalled(window - produced);
    }
    return produced;
}

// The decoder took nothing and gave nothing: say which of input or room it lacks.
void CZipArchive::decodingStalled(uint32_t room) {
    const EntryState& s = *entry_;
    if (s.pendingSize == 0 && s.compressedLeft == 0) {
        // Output is still expected but no input can come: never wait for it.
        if (s.encryption.method == zipcodec::stored)
            raiseDamaged(Detail::storedSizeMismatch,
                         "the stored entry is shorter than its stated size", storage_);
        raiseDamaged(Detail::truncatedData,
                     "the compressed data ended before the entry was complete", storage_);
    }
    CZipException::raise(Z_DATA_ERROR, Detail::inflateFailed,
                         room == 0 ? "the entry holds more data than its stated size"
                                   : "the data could not be decompressed",
                         storage_.currentPath());
}

int CZipArchive::closeEntry(const std::string& path, bool afterError) {
    if (entryState_ != -1)
        return closeNothingOpen;
    int result = closeComplete;
    if (!afterError) {
        const EntryState& s = *entry_;
        if (s.uncompressedLeft != 0) {
            result = closeIncomplete;
        } else {
            authenticate();
            if (zipcrypto::crcIsChecked(*s.header) && s.runningCrc != s.header->crc32)
                CZipException::raise(CZipException::badCrcError, Detail::badCrc,
                                     s.decryptor ? "CRC error: the password is wrong or the "
                                                   "entry's data is damaged"
                                                 : "CRC error: the entry's data is damaged",
                                     storage_.currentPath());
        }
        if (!path.empty())
            result = stampFile(path, result);
    }
    // The data descriptor that may follow the data is not read: its values are in the
    // central directory, and the requested range ends with the compressed data.
    abandonEntry();
    return result;
}

int CZipArchive::stampFile(const std::string& path, int result) const {
    const CZipFileHeader& header = *entry_->header;
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_nsec = 0;
    bool timeKnown = true;
    try {
        const std::optional<timespec> modified = header.fileTime();
        timeKnown = modified.has_value();
        if (timeKnown)
            times[1] = *modified;
    } catch (const std::exception&) {
        timeKnown = false;
    }
    if (timeKnown && utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return closeNothingOpen;
    if (chmod(path.c_str(), header.permissions()) != 0)
        return closeAttributesFailed;
    return result;
}
