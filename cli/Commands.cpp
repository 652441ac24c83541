#include "cli/Commands.h"

#include "cli/ArchiveSession.h"
#include "cli/Interrupt.h"
#include "cli/Listing.h"
#include "cli/Overwrite.h"
#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Program texts go out as they are; callers escape the untrusted names they quote.
void fail(const std::string& text) {
    std::fprintf(stderr, "marrowglen-cli: %s\n", text.c_str());
}

// The entries a command works on, in the order named: the named ones (each looked up as
// listed; index -1 when missing), or every entry (`filesOnly` skips folders) when none is named.
struct Selected {
    std::string name;
    int32_t index;
};

std::vector<Selected> selectEntries(CZipArchive& archive, const std::vector<std::string>& names,
                                    bool filesOnly) {
    std::vector<Selected> selection;
    if (names.empty()) {
        CZipFileHeader header;
        for (uint16_t i = 0; i < archive.entryCount(); ++i)
            if ((!filesOnly || !archive.isDirectory(i)) && archive.getEntryInfo(header, i))
                selection.push_back({header.name(), i});
        return selection;
    }
    for (const auto& name : names)
        selection.push_back({name, archive.findEntry(name, true)});
    return selection;
}

const char* notFoundText = "not found in the archive";

// Hands the source the spans the command will read, so that it fetches them with a few
// requests ahead of the reads. An entry named twice is read twice: the source keeps it.
void planReads(ArchiveSession& session, const std::vector<Selected>& selection) {
    std::vector<int32_t> indices;
    for (const Selected& entry : selection)
        indices.push_back(entry.index);
    std::vector<int32_t> sorted = indices;
    std::sort(sorted.begin(), sorted.end());
    const bool repeated = std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
    std::vector<ByteSpan> spans = session.archive().readSpans(indices);
    if (readplan::worthPlanning(spans))
        session.source().setReadPlan(std::move(spans), repeated ? 2 : 1);
}

CZipFileHeader headerOf(CZipArchive& archive, uint16_t index) {
    CZipFileHeader header;
    archive.getEntryInfo(header, index);
    return header;
}

// Feeds the engine's progress into a bar; stops the operation on Ctrl+C.
CZipArchive::ProgressCallback progressInto(ProgressBar& bar) {
    return [&bar](void*, uint32_t done, void*) {
        bar.advanceTo(done);
        return !interrupted();
    };
}

std::string reasonOf(CZipArchive& archive) {
    if (interrupted())
        return "interrupted";
    return archive.lastError().empty() ? "failed" : archive.lastError();
}

bool openOrReport(ArchiveSession& session, const std::string& url) {
    if (session.open(url))
        return true;
    fail(session.error());
    return false;
}

int statusFor(int failures) {
    if (interrupted())
        return exitcode::interrupted;
    return failures == 0 ? exitcode::success : exitcode::someFailed;
}

} // namespace

int runList(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o.url))
        return exitcode::cannotOpen;
    const auto entries = collectFileEntries(session.archive());
    const std::string text = o.tsv ? formatTsv(entries) : formatTable(entries);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return exitcode::success;
}

int runTest(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o.url))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    int failures = 0;
    const std::vector<Selected> selection = selectEntries(archive, o.names, true);
    planReads(session, selection);
    for (const Selected& entry : selection) {
        std::string reason = entry.index < 0 ? notFoundText : "";
        if (entry.index >= 0) {
            const auto index = static_cast<uint16_t>(entry.index);
            ProgressBar bar(!o.quiet, printable(entry.name),
                            headerOf(archive, index).uncompressedSize);
            try {
                if (!archive.testEntry(index, progressInto(bar)))
                    reason = reasonOf(archive);
            } catch (const std::exception& e) {
                reason = describeFailure(e);
            }
        }
        if (reason.empty()) {
            std::printf("%s  OK\n", printable(entry.name).c_str());
        } else {
            std::printf("%s  FAILED: %s\n", printable(entry.name).c_str(),
                        printable(reason).c_str());
            ++failures;
        }
        std::fflush(stdout);
        if (interrupted())
            break;
    }
    return statusFor(failures);
}

int runExtract(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o.url))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    int failures = 0;
    OverwriteQuestion question(o.overwrite);
    const std::vector<Selected> selection = selectEntries(archive, o.names, false);
    planReads(session, selection);
    for (const Selected& entry : selection) {
        if (entry.index < 0) {
            fail(printable(entry.name) + ": FAILED: " + notFoundText);
            ++failures;
            continue;
        }
        const auto index = static_cast<uint16_t>(entry.index);
        const CZipFileHeader header = headerOf(archive, index);
        std::string reason;
        try {
            const std::string destination = archive.destinationPath(index, o.destination, true);
            const OverwriteAnswer answer =
                header.isDirectory() ? OverwriteAnswer::Yes : question.ask(destination);
            if (answer == OverwriteAnswer::Cancel)
                break;
            if (answer == OverwriteAnswer::No) {
                if (question.skippedWithoutAsking())
                    reason = "exists: " + destination + " (use -o to overwrite)";
                else
                    continue;
            } else {
                ProgressBar bar(!o.quiet, printable(header.name()), header.uncompressedSize);
                if (!archive.extractEntry(index, o.destination, true, {}, progressInto(bar)))
                    reason = reasonOf(archive);
                bar.finish();
            }
        } catch (const std::exception& e) {
            reason = describeFailure(e);
        }
        if (!reason.empty()) {
            fail(printable(header.name()) + ": FAILED: " + printable(reason));
            ++failures;
        } else if (!o.quiet) {
            std::printf("extracted %s\n", printable(header.name()).c_str());
        }
        if (interrupted())
            break;
    }
    return statusFor(failures);
}

int runCat(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o.url))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    const int32_t index = archive.findEntry(o.names[0], true);
    if (index < 0) {
        fail(printable(o.names[0]) + ": " + notFoundText);
        return exitcode::someFailed;
    }
    if (archive.isDirectory(static_cast<uint16_t>(index))) {
        fail(printable(o.names[0]) + ": is a folder");
        return exitcode::someFailed;
    }
    try {
        if (!archive.openEntry(static_cast<uint16_t>(index))) {
            fail(printable(o.names[0]) + ": cannot be read");
            return exitcode::someFailed;
        }
        std::vector<char> buffer(CZipArchive::defaultBufferSize);
        uint32_t got;
        while (!interrupted() && (got = archive.readEntryData(buffer.data(), buffer.size())) > 0) {
            if (std::fwrite(buffer.data(), 1, got, stdout) != got) {
                archive.abandonEntry();
                fail("cannot write to standard output");
                return exitcode::someFailed;
            }
        }
        if (interrupted()) {
            archive.abandonEntry();
            return exitcode::interrupted;
        }
        if (archive.closeEntry() != CZipArchive::closeComplete) {
            fail(printable(o.names[0]) + ": the entry ended before all its data came");
            return exitcode::someFailed;
        }
    } catch (const std::exception& e) {
        archive.abandonEntry();
        fail(printable(o.names[0]) + ": FAILED: " + describeFailure(e));
        return exitcode::someFailed;
    }
    return std::fflush(stdout) == 0 ? exitcode::success : exitcode::someFailed;
}
