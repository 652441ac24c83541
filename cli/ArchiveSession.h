// One archive opened for the command line: the remote source and the engine over it, with
// the program's own texts for the ways an open can fail.
#pragma once

#include "cli/Interrupt.h"
#include "cli/SignIn.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <memory>
#include <string>

class ArchiveSession {
public:
    ArchiveSession();
    ~ArchiveSession();

    // Normalises the address and opens the archive. False with `error()` set when it cannot.
    bool open(const std::string& url);
    // Connects and learns the length only, for copying the archive byte by byte. Server texts
    // in `error()` are escaped for the terminal.
    bool openForCopy(const std::string& url);

    CZipArchive& archive() { return archive_; }
    RemoteArchiveSource& source() { return source_; }
    const std::string& error() const { return error_; }

    // The user names and passwords from the command line, for every session of the process.
    static void setSignIn(SignIn signIn) { signIn_ = std::move(signIn); }

private:
    std::string unavailableText() const;
    bool opened();
    std::string signInText() const;
    String prepare(const std::string& url);

    static inline SignIn signIn_;

    RemoteArchiveSource source_;
    CZipArchive archive_{source_};
    // Ctrl+C aborts the transfer in flight; declared after the source, so it goes first.
    CancelOnInterrupt cancelOnInterrupt_{[this] { source_.cancel(); }};
    // ftp: the swap file goes too if the program has to end at once.
    std::unique_ptr<PartialFile> swapFile_;
    std::string error_;
};

// A user-facing reason for an exception thrown while reading an archive or entry.
std::string describeFailure(const std::exception& e);
