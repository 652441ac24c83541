#include "cli/ArchiveSession.h"

#include "remote/Address.h"

namespace {

const char* notSupportedText = "Previewing the contents of this Zip file is not supported by the "
                               "remote server.\nPlease find a mirror on another server to preview "
                               "this file.";
const char* unavailableBaseText =
    "The file is unavaliable. Please check if your computer is connected to the Internet.";
const char* damagedText = "This Zip File appears to be damaged.";

} // namespace

ArchiveSession::ArchiveSession() = default;

ArchiveSession::~ArchiveSession() {
    try {
        archive_.close(true);
    } catch (...) {
        // Nothing to report on the way out.
    }
}

std::string ArchiveSession::unavailableText() const {
    if (source_.length() == ArchiveSource::LengthUnknown)
        return notSupportedText;
    std::string text = unavailableBaseText;
    if (!source_.errorText().empty())
        text += "\n(" + source_.errorText() + ")";
    return text;
}

bool ArchiveSession::open(const std::string& url) {
    String address(url);
    normalizeAddress(address);
    try {
        archive_.open(address);
    } catch (const std::exception& e) {
        error_ = std::string(damagedText) + "\n(" + describeFailure(e) + ")";
        return false;
    }
    if (archive_.isClosed()) {
        error_ = unavailableText();
        return false;
    }
    return true;
}

bool ArchiveSession::openForCopy(const std::string& url) {
    String address(url);
    normalizeAddress(address);
    try {
        if (source_.connect(address) && source_.openRemoteFile(address))
            return true;
    } catch (const std::exception& e) {
        error_ = std::string(unavailableBaseText) + "\n(" + e.what() + ")";
        return false;
    }
    error_ = unavailableText();
    return false;
}

std::string describeFailure(const std::exception& e) {
    if (auto* zip = dynamic_cast<const CZipException*>(&e)) {
        // Not damage: the code would only suggest it.
        if (zip->detail() == CZipException::Detail::passwordNeeded)
            return zip->reason() + " (give it with -P, MARROWGLEN_PASSWORD or on a terminal)";
        if (zip->isEntryUnreadable())
            return zip->reason();
        return zip->reason() + " (code " + std::to_string(zip->code()) + ")";
    }
    return e.what();
}
