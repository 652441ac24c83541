// Opening and listing: the message sequences of success and of each failure, and the rows.
#include "CoreTestSupport.h"
#include "Manifest.h"
#include "RawZip.h"

#include "MemorySource.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

int countOf(const Messages& messages, const std::string& name) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), name));
}

} // namespace

TEST(OpenList, ListsEveryFileOfTheArchiveAndSkipsFolders) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());

    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_SUCCEEDED", "JOB_ENDED", "JOB_STARTED", "LIST_TOTALS",
                        "JOB_ENDED", "LIST_COMPLETE"}));
    EXPECT_EQ(h.view.count("OPEN_SUCCEEDED archive.zip"), 1);
    EXPECT_EQ(h.doc->title().str(), "archive.zip");
    EXPECT_TRUE(h.doc->isOpen());
    EXPECT_EQ(h.doc->openCount(), 3);

    std::vector<std::string> expected, listed;
    for (const ManifestEntry& e : manifestOf("folders")) {
        if (!e.isDirectory)
            expected.push_back(e.name);
    }
    for (const EntryRow& row : h.view.rows())
        listed.push_back(row.path.str() + row.name.str());
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(h.view.count("LIST_TOTALS Total files: " + std::to_string(expected.size()) +
                           " | Selected files: 0"),
              1);
    EXPECT_GT(h.view.networkActivity(), 0);
}

TEST(OpenList, ManyEntriesArriveInOrderInBatchesBeforeTheTotals) {
    mgtest::MemorySource source(archiveBytes("many_entries"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    const std::vector<EntryRow> rows = h.view.rows();
    ASSERT_EQ(rows.size(), 65535u);
    for (size_t i = 0; i < rows.size(); i += 997) {
        const std::string number = std::to_string(i);
        ASSERT_EQ(rows[i].name.str(), "e" + std::string(5 - number.size(), '0') + number + ".txt");
    }
    EXPECT_EQ(rows.back().name.str(), "e65534.txt");

    // The first row comes alone, so that it shows at once; the rest by the thousand.
    const std::vector<size_t> batches = h.view.batchSizes();
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.front(), 1u);
    EXPECT_EQ(std::accumulate(batches.begin(), batches.end(), size_t(0)), rows.size());
    EXPECT_LE(*std::max_element(batches.begin(), batches.end()), ZipListThread::rowBatch);
    EXPECT_LT(batches.size(), rows.size() / 10);

    const std::vector<std::string> events = h.view.events();
    const auto lastRow = std::find(events.begin(), events.end(), "row e65534.txt");
    const auto totals = std::find(events.begin(), events.end(),
                                  "LIST_TOTALS Total files: 65535 | Selected files: 0");
    ASSERT_NE(lastRow, events.end());
    ASSERT_NE(totals, events.end());
    EXPECT_LT(lastRow, totals);
    EXPECT_EQ(h.view.messages().back(), "LIST_COMPLETE");
}

TEST(OpenList, RowsCarrySizesPathsAndRates) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    bool seen = false;
    for (const EntryRow& row : h.view.rows()) {
        if (row.name.str() != "a.txt")
            continue;
        seen = true;
        EXPECT_EQ(row.path.str(), "Dir/");
        EXPECT_EQ(row.size.str(), "5,000");
        EXPECT_EQ(row.packed.str(), "87");
        EXPECT_EQ(row.rate.str(), "1 %"); // 87 of 5000, percent left
        EXPECT_EQ(row.type.str(), "txt type");
    }
    EXPECT_TRUE(seen);
}

TEST(OpenList, AnArchiveOfFoldersOnlyListsNothing) {
    mgtest::MemorySource source(buildZip({{"a/", "", -1, 0x10, -1}, {"a/b/", "", -1, 0x10, -1}}));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    EXPECT_TRUE(h.view.rows().empty());
    EXPECT_EQ(h.view.count("LIST_TOTALS Total files: 0 | Selected files: 0"), 1);
    EXPECT_EQ(h.progress.rangeHigh(), 2); // the range counts every entry; only files step
}

TEST(OpenList, AnUnreachableServerIsReportedAsUnavailable) {
    mgtest::MemorySource source(archiveBytes("folders"));
    source.failConnect = true;
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_FAILED", "REMOTE_ERROR", "JOB_ENDED"}));
    EXPECT_EQ(h.view.count(std::string("REMOTE_ERROR ") + ZipOpenThread::unavailableText), 1);
    EXPECT_EQ(h.doc->openCount(), 1);
    EXPECT_EQ(h.doc->title().str(), "no file");
    EXPECT_FALSE(h.doc->anyJobRunning());
}

TEST(OpenList, AServerThatCannotServeRangesIsReportedAsUnsupported) {
    mgtest::MemorySource source(archiveBytes("folders"));
    source.failOpen = true;
    source.setLength(ArchiveSource::LengthUnknown);
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_FAILED", "REMOTE_ERROR", "JOB_ENDED"}));
    EXPECT_EQ(h.view.count(std::string("REMOTE_ERROR ") + ZipOpenThread::unsupportedServerText), 1);
    EXPECT_EQ(h.doc->openCount(), 1);
}

TEST(OpenList, ADamagedArchiveIsReportedAsDamaged) {
    for (const char* name : {"ten_bytes", "directory_outside"}) {
        SCOPED_TRACE(name);
        mgtest::MemorySource source(archiveBytes(name));
        DocHarness h(source);
        ASSERT_TRUE(h.open());
        const Messages messages = h.view.messages();
        EXPECT_EQ(messages,
                  (Messages{"JOB_STARTED", "OPEN_FAILED", "ARCHIVE_DAMAGED", "JOB_ENDED"}));
        EXPECT_EQ(countOf(messages, "JOB_ENDED"), 1);
        EXPECT_EQ(h.doc->openCount(), 1);
        EXPECT_EQ(h.doc->title().str(), "no file");
        EXPECT_TRUE(h.doc->archive().isClosed());
    }
}

TEST(OpenList, AnOpenAfterAFailureWorks) {
    mgtest::MemorySource source(archiveBytes("folders"));
    source.failConnect = true;
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    source.failConnect = false;
    h.view.clear();
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.view.count("LIST_COMPLETE"), 1);
    EXPECT_EQ(h.view.rows().size(), 3u);
}

TEST(OpenList, OpeningAgainClosesTheFirstArchive) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    h.view.clear();
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.view.rows().size(), 3u);
    EXPECT_EQ(h.doc->openCount(), 3);
}

TEST(OpenList, ListProgressStepsOncePerFile) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.progress.rangeHigh(), 6); // every entry, folders included
    const std::vector<std::string> calls = h.progress.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "stepit"), 3);
}

TEST(OpenList, AStopAfterTheLastEntryHasNoEffect) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    h.view.onEvent = [&](const std::string& event) {
        if (event.rfind("LIST_TOTALS", 0) == 0)
            h.doc->listJob().requestStop();
    };
    ASSERT_TRUE(h.open());
    EXPECT_EQ(h.view.count("LIST_COMPLETE"), 1);
    EXPECT_EQ(h.view.rows().size(), 3u);
    EXPECT_FALSE(h.doc->listJob().isStopRequested());
    EXPECT_TRUE(h.doc->isOpen());
}
