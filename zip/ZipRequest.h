// Asking the source for one range (internal to the engine).
#pragma once

#include "remote/ArchiveSource.h"
#include "zip/ZipException.h"
#include "zip/ZipStorage.h"

#include <cstdint>

namespace zipbytes {

// A range the source cannot serve fails here with the source's own reason rather than later
// as a short read.
inline void requestRange(ArchiveSource& source, const CZipStorage& storage, int64_t first,
                         int64_t last) {
    if (source.requestRange(first, last, true))
        return;
    std::string reason = "part of the archive could not be fetched";
    if (const std::string why = source.errorText(); !why.empty())
        reason += ": " + why;
    CZipException::raise(CZipException::badZipFileError, CZipException::Detail::shortRead, reason,
                         storage.currentPath());
}

} // namespace zipbytes
