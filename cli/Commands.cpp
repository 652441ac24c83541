#include "cli/Commands.h"

#include "app/StringDisplay.h"
#include "cli/ArchiveSession.h"
#include "cli/Interrupt.h"
#include "cli/Listing.h"
#include "cli/Output.h"
#include "cli/Overwrite.h"
#include "cli/Password.h"
#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* notFoundText = "not found in the archive";

// The entries a command works on, in the order named. A name is looked up as listed (index
// -1 when missing); a name that is a folder inside the archive ("docs" or "docs/") stands
// for every entry below it. No names: every entry. `filesOnly` leaves folders out.
struct Selected {
    std::string name;
    int32_t index;
};

bool wanted(CZipArchive& archive, uint32_t index, bool filesOnly) {
    return !filesOnly || !archive.isDirectory(index);
}

std::vector<Selected> entriesBelow(CZipArchive& archive, std::string folder, bool filesOnly) {
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    std::vector<Selected> found;
    const std::string prefix = folder + "/";
    CZipFileHeader header;
    for (uint32_t i = 0; !folder.empty() && i < archive.entryCount(); ++i)
        if (archive.getEntryInfo(header, i) && header.name().rfind(prefix, 0) == 0 &&
            wanted(archive, i, filesOnly))
            found.push_back({header.name(), static_cast<int32_t>(i)});
    return found;
}

std::vector<Selected> selectEntries(CZipArchive& archive, const std::vector<std::string>& names,
                                    bool filesOnly) {
    std::vector<Selected> selection;
    if (names.empty()) {
        CZipFileHeader header;
        for (uint32_t i = 0; i < archive.entryCount(); ++i)
            if (wanted(archive, i, filesOnly) && archive.getEntryInfo(header, i))
                selection.push_back({header.name(), static_cast<int32_t>(i)});
        return selection;
    }
    for (const auto& name : names) {
        const int32_t index = archive.findEntry(name, true);
        if (index >= 0 && !archive.isDirectory(static_cast<uint32_t>(index))) {
            selection.push_back({name, index});
            continue;
        }
        auto below = entriesBelow(archive, name, filesOnly);
        if (below.empty())
            below.push_back({name, index});
        selection.insert(selection.end(), below.begin(), below.end());
    }
    return selection;
}

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

CZipFileHeader headerOf(CZipArchive& archive, uint32_t index) {
    CZipFileHeader header;
    archive.getEntryInfo(header, index);
    return header;
}

// Feeds the engine's progress into a bar; stops the operation on Ctrl+C.
CZipArchive::ProgressCallback progressInto(ProgressBar& bar) {
    return [&bar](void*, uint64_t done, void*) {
        bar.advanceTo(done);
        return !interrupted();
    };
}

std::string reasonOf(CZipArchive& archive) {
    if (interrupted())
        return "interrupted";
    return archive.lastError().empty() ? "failed" : archive.lastError();
}

bool openOrReport(ArchiveSession& session, const CliOptions& o) {
    if (!session.open(o.url)) {
        fail(session.error());
        return false;
    }
    setUpPasswords(session.archive(), o);
    return true;
}

// An encrypted entry that could not be checked is no sound entry, but no damaged one either.
bool wantedPassword(const std::exception& e) {
    auto* zip = dynamic_cast<const CZipException*>(&e);
    return zip != nullptr && zip->detail() == CZipException::Detail::passwordNeeded;
}

// The line for one tested entry; false when nobody reads the output any more.
bool reportTested(const Selected& entry, const std::string& reason, const char* verdict) {
    std::string line = escapeForTerminal(entry.name) + "  ";
    line += reason.empty() ? "OK" : std::string(verdict) + ": " + escapeForTerminal(reason);
    return writeOut(line + "\n") && flushOutSoon();
}

// Writes one entry below the destination. Empty on success, else why not; `skipped` is set
// when the existing file was kept at the user's word, `cancelled` when the user stopped.
struct Extracted {
    std::string reason;
    bool skipped = false;
    bool cancelled = false;
};

Extracted extractOne(CZipArchive& archive, uint32_t index, const CliOptions& o,
                     OverwriteQuestion& question) {
    const CZipFileHeader header = headerOf(archive, index);
    Extracted result;
    try {
        const std::string destination = archive.destinationPath(index, o.destination, true);
        const OverwriteAnswer answer =
            header.isDirectory() ? OverwriteAnswer::Yes : question.ask(destination);
        if (answer == OverwriteAnswer::Cancel) {
            result.cancelled = true;
        } else if (answer == OverwriteAnswer::No) {
            result.skipped = !question.skippedWithoutAsking();
            if (!result.skipped)
                result.reason = "exists: " + destination + " (use -o to overwrite)";
        } else {
            PartialFile partial(destination);
            ProgressBar bar(!o.quiet, escapeForTerminal(header.name()), header.uncompressedSize);
            if (!archive.extractEntry(index, o.destination, true, {}, progressInto(bar)))
                result.reason = reasonOf(archive);
        }
    } catch (const std::exception& e) {
        result.reason = describeFailure(e);
    }
    return result;
}

} // namespace

void fail(const std::string& text) {
    // After Ctrl+C the failures it caused are no news.
    if (!interrupted())
        std::fprintf(stderr, "marrowglen-cli: %s\n", text.c_str());
}

int runList(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o))
        return exitcode::cannotOpen;
    const TextSink out = [](const std::string& text) { writeOut(text); };
    if (o.tsv)
        writeTsv(session.archive(), out);
    else
        writeTable(session.archive(), o.verbose, out);
    return exitcode::success;
}

int runTest(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    const auto selection = selectEntries(archive, o.names, true);
    if (selection.empty()) {
        writeOut("The archive holds no files to test.\n");
        return exitcode::success;
    }
    planReads(session, selection);
    int failures = 0;
    for (const Selected& entry : selection) {
        std::string reason = entry.index < 0 ? notFoundText : "";
        const char* verdict = "FAILED";
        if (entry.index >= 0) {
            const auto index = static_cast<uint32_t>(entry.index);
            ProgressBar bar(!o.quiet, escapeForTerminal(entry.name),
                            headerOf(archive, index).uncompressedSize);
            try {
                if (!archive.testEntry(index, progressInto(bar)))
                    reason = reasonOf(archive);
            } catch (const std::exception& e) {
                reason = describeFailure(e);
                if (wantedPassword(e))
                    verdict = "NOT CHECKED";
            }
        }
        if (interrupted() || !reportTested(entry, reason, verdict))
            break;
        failures += !reason.empty();
    }
    return failures == 0 ? exitcode::success : exitcode::someFailed;
}

int runExtract(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    int failures = 0;
    OverwriteQuestion question(o.overwrite);
    const std::vector<Selected> selection = selectEntries(archive, o.names, false);
    planReads(session, selection);
    for (const Selected& entry : selection) {
        if (entry.index < 0) {
            fail(escapeForTerminal(entry.name) + ": FAILED: " + notFoundText);
            ++failures;
            continue;
        }
        const Extracted result =
            extractOne(archive, static_cast<uint32_t>(entry.index), o, question);
        if (interrupted())
            break;
        // Cancel at the question: the run did not do what was asked.
        if (result.cancelled)
            return exitcode::someFailed;
        const std::string name = escapeForTerminal(entry.name);
        if (!result.reason.empty()) {
            fail(name + ": FAILED: " + escapeForTerminal(result.reason));
            ++failures;
        } else if (!o.quiet && !result.skipped && !writeOut("extracted " + name + "\n")) {
            break;
        }
    }
    return failures == 0 ? exitcode::success : exitcode::someFailed;
}

namespace {

// Copies the open entry to standard output; empty on success, else why not.
std::string copyEntryOut(CZipArchive& archive) {
    std::vector<char> buffer(CZipArchive::defaultBufferSize);
    uint32_t got;
    while (!interrupted() && (got = archive.readEntryData(buffer.data(), buffer.size())) > 0) {
        if (!writeOut(buffer.data(), got)) {
            archive.abandonEntry();
            return "cannot write to standard output";
        }
    }
    if (interrupted()) {
        archive.abandonEntry();
        return "interrupted";
    }
    if (archive.closeEntry() != CZipArchive::closeComplete)
        return "the entry ended before all its data came";
    return flushOut() ? "" : "cannot write to standard output";
}

} // namespace

int runCat(const CliOptions& o) {
    ArchiveSession session;
    if (!openOrReport(session, o))
        return exitcode::cannotOpen;
    CZipArchive& archive = session.archive();
    const std::string name = escapeForTerminal(o.names[0]);
    const int32_t index = archive.findEntry(o.names[0], true);
    if (index < 0) {
        fail(name + ": " + notFoundText);
        return exitcode::someFailed;
    }
    if (archive.isDirectory(static_cast<uint32_t>(index))) {
        fail(name + ": is a folder");
        return exitcode::someFailed;
    }
    std::string reason;
    try {
        reason = archive.openEntry(static_cast<uint32_t>(index)) ? copyEntryOut(archive)
                                                                 : "cannot be read";
    } catch (const std::exception& e) {
        archive.abandonEntry();
        reason = "FAILED: " + describeFailure(e);
    }
    if (reason.empty() || outputClosed())
        return exitcode::success;
    fail(name + ": " + escapeForTerminal(reason));
    return exitcode::someFailed;
}
