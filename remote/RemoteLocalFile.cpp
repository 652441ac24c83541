// The file branches of the remote source: a zip file on disk, served by LocalArchiveSource.
#include "remote/RemoteArchiveSource.h"

bool RemoteArchiveSource::connectLocal(String& address) {
    if (local_.connect(address))
        return true;
    setError(local_.lastError(), local_.errorText());
    return false;
}

bool RemoteArchiveSource::openLocalFile() {
    clearError();
    const bool opened = local_.openRemoteFile(address_);
    length_ = local_.length();
    remoteFileName_ = local_.remoteFileName();
    if (!opened)
        setError(local_.lastError(), local_.errorText());
    return opened;
}

bool RemoteArchiveSource::requestLocalRange(int64_t first, int64_t last) {
    clearError();
    if (local_.requestRange(first, last, true))
        return true;
    setError(local_.lastError(), local_.errorText());
    return false;
}
