#include "zip/ZipException.h"

#include <utility>
#include <zlib.h>

CZipException::CZipException(int32_t code, std::string reason, std::string path, Detail detail)
    : std::runtime_error(std::move(reason)), code_(code), path_(std::move(path)), detail_(detail) {}

int32_t CZipException::codeFromInternal(int internalCode) {
    switch (internalCode) {
    case Z_STREAM_END:
        return streamEnd;
    case Z_NEED_DICT:
        return needDict;
    case Z_ERRNO:
        return errNo;
    case Z_STREAM_ERROR:
        return streamError;
    case Z_DATA_ERROR:
        return dataError;
    case Z_MEM_ERROR:
        return memError;
    case Z_BUF_ERROR:
        return bufError;
    case Z_VERSION_ERROR:
        return versionError;
    default:
        break;
    }
    if (internalCode <= badZipFileError && internalCode >= cdirNotFoundError)
        return badZipFile + (badZipFileError - internalCode);
    return generic;
}

bool CZipException::isEntryUnreadable() const {
    return detail_ == Detail::unsupportedMethod || detail_ == Detail::encrypted ||
           detail_ == Detail::passwordNeeded || detail_ == Detail::wrongPassword;
}

void CZipException::raise(int internalCode, Detail detail, const std::string& reason,
                          const std::string& path) {
    throw CZipException(codeFromInternal(internalCode), reason, path, detail);
}

CZipFileException::CZipFileException(Cause cause, std::string reason, std::string path, int osError)
    : std::runtime_error(std::move(reason)), cause_(cause), path_(std::move(path)),
      osError_(osError) {}
