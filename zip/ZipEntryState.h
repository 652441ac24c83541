// The decompression state of the entry open for reading (internal to the engine).
#pragma once

#include "zip/ZipArchive.h"
#include "zip/ZipAutoBuffer.h"

#include <zlib.h>

struct CZipArchive::EntryState {
    EntryState() = default;
    EntryState(const EntryState&) = delete;
    EntryState& operator=(const EntryState&) = delete;
    ~EntryState() {
        if (inflating)
            inflateEnd(&stream);
    }

    CZipFileHeader* header = nullptr;
    CZipAutoBuffer input;
    // Pending input lies at stream.next_in / stream.avail_in, for stored entries too.
    z_stream stream{};
    bool inflating = false;
    bool streamEnded = false;
    uint64_t uncompressedLeft = 0;
    uint64_t compressedLeft = 0;
    uint32_t runningCrc = 0;
};
