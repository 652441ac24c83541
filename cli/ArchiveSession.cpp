#include "cli/ArchiveSession.h"

#include "app/StringDisplay.h"
#include "remote/Address.h"
#include "remote/LocalAddress.h"

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

// 401 and 407 name the option that would have helped; the credentials themselves never
// appear in a message.
std::string ArchiveSession::signInText() const {
    if (source_.protocol() != RemoteArchiveSource::Http ||
        source_.lastError() != SourceError::HttpStatus)
        return {};
    if (source_.httpStatus() == 401)
        return signIn_.server ? "The server refused the user name and password given with -u "
                                "(status 401)."
                              : "The server asks for a user name and password (status 401): "
                                "give them with -u USER[:PASSWORD] or in ~/.netrc.";
    if (source_.httpStatus() == 407)
        return signIn_.proxy ? "The proxy refused the user name and password given with -U "
                               "(status 407)."
                             : "The proxy asks for a user name and password (status 407): "
                               "give them with -U USER[:PASSWORD].";
    return {};
}

std::string ArchiveSession::unavailableText() const {
    if (std::string text = signInText(); !text.empty())
        return text;
    if (source_.protocol() == RemoteArchiveSource::Local)
        return "Cannot open the zip file. " + source_.errorText();
    if (source_.length() == ArchiveSource::LengthUnknown)
        return notSupportedText;
    std::string text = unavailableBaseText;
    if (!source_.errorText().empty())
        text += "\n(" + escapeForTerminal(source_.errorText()) + ")";
    return text;
}

// The normalised address with the user name and password of -u in it (they replace any
// written in the address); the source takes them out again before it names the address.
String ArchiveSession::prepare(const std::string& url) {
    String address(url);
    normalizeAddress(address);
    if (signIn_.server && !isFileAddress(address.str())) {
        String user;
        String password;
        splitCredentials(address, user, password);
        insertCredentials(address, signIn_.server->user.c_str(), signIn_.server->password.c_str());
    }
    if (signIn_.proxy)
        source_.setProxyCredentials(signIn_.proxy->user, signIn_.proxy->password);
    return address;
}

bool ArchiveSession::open(const std::string& url) {
    String address = prepare(url);
    try {
        archive_.open(address);
    } catch (const std::exception& e) {
        // A transfer that failed is no sign of damage: only bytes that came and are wrong are.
        error_ = source_.errorText().empty() ? std::string(damagedText) + "\n(" +
                                                   escapeForTerminal(describeFailure(e)) + ")"
                                             : unavailableText();
        return false;
    }
    if (archive_.isClosed()) {
        error_ = unavailableText();
        return false;
    }
    return opened();
}

bool ArchiveSession::opened() {
    if (source_.protocol() == RemoteArchiveSource::Ftp)
        swapFile_ = std::make_unique<PartialFile>(source_.ftpReader().swapFilePath());
    return true;
}

bool ArchiveSession::openForCopy(const std::string& url) {
    String address = prepare(url);
    try {
        if (source_.connect(address) && source_.openRemoteFile(address))
            return opened();
    } catch (const std::exception& e) {
        error_ = std::string(unavailableBaseText) + "\n(" + escapeForTerminal(e.what()) + ")";
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
