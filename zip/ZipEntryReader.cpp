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
    if (header.method != 0 && header.method != 8)
        raiseDamaged(Detail::unsupportedMethod,
                     "compression method " + std::to_string(header.method) + " is not supported",
                     storage_);
    if (header.isEncrypted())
        raiseDamaged(Detail::encrypted, "encrypted entries are not supported", storage_);
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
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(s.compressedLeft, inputBufferSize));
    storage_.read(s.input.data(), n, true);
    s.compressedLeft -= n;
    s.stream.next_in = reinterpret_cast<Bytef*>(s.input.data());
    s.stream.avail_in = n;
}

uint32_t CZipArchive::readEntryData(void* buffer, uint32_t size) {
    if (entryState_ != -1 || buffer == nullptr || size == 0)
        return 0;
    const auto window = static_cast<uint32_t>(std::min<uint64_t>(size, entry_->uncompressedLeft));
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
