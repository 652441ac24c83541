// Reading one entry: its local header, then its compressed data inflated (or copied) into the
// caller's buffers with a running CRC-32.
#include "remote/ArchiveSource.h"
#include "zip/ZipArchive.h"
#include "zip/ZipEntryState.h"
#include "zip/ZipRequest.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using Detail = CZipException::Detail;

namespace {

void raiseDamaged(Detail detail, const std::string& reason, const CZipStorage& storage) {
    CZipException::raise(CZipException::badZipFileError, detail, reason, storage.currentPath());
}

} // namespace

bool CZipArchive::openEntry(uint16_t index) {
    if (isClosed() || index >= centralDir_.count() || entryState_ != 0)
        return false;
    if (centralDir_.overlapsAnother(index))
        raiseDamaged(Detail::overlappingEntries,
                     "the entry's data overlaps another entry's (the shape of a zip bomb)",
                     storage_);
    auto state = std::make_unique<EntryState>();
    state->header = centralDir_.entry(index);
    state->input.allocate(inputBufferSize);
    entry_ = std::move(state);
    try {
        seekToEntryData(*entry_->header);
        startInflate();
    } catch (...) {
        entry_.reset();
        throw;
    }
    entry_->compressedLeft = entry_->header->compressedSize;
    entry_->uncompressedLeft = entry_->header->uncompressedSize;
    entry_->runningCrc = 0;
    entryState_ = -1;
    centralDir_.currentEntry = entry_->header;
    return true;
}

// Requests the local header, then the compressed data; only the entry's own bytes travel.
void CZipArchive::seekToEntryData(const CZipFileHeader& header) {
    storage_.changeDisk(header.diskStart);
    const int64_t length = source_.length();
    const int64_t local = int64_t(centralDir_.bytesBeforeArchive()) + header.localHeaderOffset;
    if (local + CZipFileHeader::localFixedSize > length)
        raiseDamaged(Detail::entryOutOfBounds, "the entry's local header lies outside the archive",
                     storage_);
    zipbytes::requestRange(source_, storage_, local, local + CZipFileHeader::localFixedSize);
    uint16_t localExtraLength = 0;
    if (!CZipFileHeader::readLocalFixedPart(storage_, localExtraLength))
        raiseDamaged(Detail::badSignature, "the entry's local header is damaged", storage_);
    const int64_t data =
        local + CZipFileHeader::localFixedSize + header.fileNameLength + localExtraLength;
    if (data + header.compressedSize > length)
        raiseDamaged(Detail::entryOutOfBounds, "the entry's data lies outside the archive",
                     storage_);
    zipbytes::requestRange(source_, storage_, data, data + header.compressedSize);
    if (header.method != 0 && header.method != 8)
        raiseDamaged(Detail::unsupportedMethod,
                     "compression method " + std::to_string(header.method) + " is not supported",
                     storage_);
    if (header.isEncrypted())
        raiseDamaged(Detail::encrypted, "encrypted entries are not supported", storage_);
}

void CZipArchive::startInflate() {
    if (entry_->header->method != 8)
        return;
    z_stream& z = entry_->stream;
    const int rc = inflateInit2(&z, -MAX_WBITS); // raw deflate: no zlib header
    if (rc != Z_OK)
        CZipException::raise(rc, Detail::inflateFailed, "the decompressor could not start",
                             storage_.currentPath());
    entry_->inflating = true;
}

void CZipArchive::fillInput() {
    EntryState& s = *entry_;
    const uint32_t n = std::min(s.compressedLeft, inputBufferSize);
    storage_.read(s.input.data(), n, true);
    s.compressedLeft -= n;
    s.stream.next_in = reinterpret_cast<Bytef*>(s.input.data());
    s.stream.avail_in = n;
}

uint32_t CZipArchive::readEntryData(void* buffer, uint32_t size) {
    if (entryState_ != -1 || buffer == nullptr || size == 0)
        return 0;
    const uint32_t window = std::min(size, entry_->uncompressedLeft);
    auto* out = static_cast<unsigned char*>(buffer);
    return entry_->header->method == 0 ? readStored(out, window) : readDeflated(out, window);
}

uint32_t CZipArchive::readStored(unsigned char* out, uint32_t window) {
    EntryState& s = *entry_;
    uint32_t produced = 0;
    while (produced < window) {
        if (s.stream.avail_in == 0) {
            // Output is still expected but no input can come: never wait for it.
            if (s.compressedLeft == 0)
                raiseDamaged(Detail::storedSizeMismatch,
                             "the stored entry is shorter than its stated size", storage_);
            fillInput();
        }
        const uint32_t n = std::min(window - produced, s.stream.avail_in);
        std::memcpy(out + produced, s.stream.next_in, n);
        s.runningCrc = crc32(s.runningCrc, out + produced, n);
        s.stream.next_in += n;
        s.stream.avail_in -= n;
        s.uncompressedLeft -= n;
        produced += n;
    }
    return produced;
}

uint32_t CZipArchive::readDeflated(unsigned char* out, uint32_t window) {
    EntryState& s = *entry_;
    if (s.streamEnded)
        return 0;
    z_stream& z = s.stream;
    // An entry whose stated size is 0 still has its compressed bytes consumed; zlib wants an
    // output pointer even when there is no room.
    unsigned char noRoom = 0;
    const bool force = window == 0 && s.compressedLeft > 0;
    z.next_out = window ? out : &noRoom;
    z.avail_out = window;
    uint32_t produced = 0;
    while (produced < window || (force && (s.compressedLeft > 0 || z.avail_in > 0))) {
        if (z.avail_in == 0) {
            if (s.compressedLeft == 0)
                raiseDamaged(Detail::truncatedData,
                             "the compressed data ended before the entry was complete", storage_);
            fillInput();
        }
        unsigned char* chunk = z.next_out;
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        const auto n = static_cast<uint32_t>(z.next_out - chunk);
        if (window != 0 && n != 0) {
            s.runningCrc = crc32(s.runningCrc, chunk, n);
            s.uncompressedLeft -= n;
            produced += n;
        }
        if (rc == Z_STREAM_END) {
            s.streamEnded = true;
            break;
        }
        // A raw stream never asks for a dictionary; taking Z_NEED_DICT as progress would spin.
        if (rc != Z_OK)
            CZipException::raise(rc, Detail::inflateFailed,
                                 rc == Z_DATA_ERROR ? "the compressed data is damaged"
                                                    : "the data could not be decompressed",
                                 storage_.currentPath());
    }
    return produced;
}

int CZipArchive::closeEntry(const std::string& path, bool afterError) {
    if (entryState_ != -1)
        return closeNothingOpen;
    int result = closeComplete;
    if (!afterError) {
        const EntryState& s = *entry_;
        if (s.uncompressedLeft != 0)
            result = closeIncomplete;
        else if (s.runningCrc != s.header->crc32)
            CZipException::raise(CZipException::badCrcError, Detail::badCrc,
                                 "CRC error: the entry's data is damaged", storage_.currentPath());
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
        times[1].tv_sec = dosToLocalTime(header.modDate, header.modTime);
    } catch (const std::invalid_argument&) {
        timeKnown = false; // an impossible date: the file keeps the time it was written
    }
    if (timeKnown && utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return closeNothingOpen;
    if (chmod(path.c_str(), header.permissions()) != 0)
        return closeAttributesFailed;
    return result;
}
