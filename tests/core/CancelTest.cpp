// Cancelling, closing and opening while jobs run: the archive is never closed under a job,
// the user-interface thread never waits for one, and every job ends exactly once.
#include "CoreTestSupport.h"
#include "GateSource.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

int countOf(const Messages& messages, const std::string& name) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), name));
}

void expectClosed(DocHarness& h) {
    EXPECT_FALSE(h.doc->closePending());
    EXPECT_TRUE(h.doc->archive().isClosed());
    EXPECT_EQ(h.doc->openCount(), 1);
    EXPECT_EQ(h.doc->title().str(), "no file");
}

} // namespace

TEST(Cancel, CancellingTheListClosesOnlyAfterTheJobHasStopped) {
    const std::vector<unsigned char> bytes = archiveBytes("many_entries");
    for (int row : {1, 2, 257, 5000, 65000}) {
        SCOPED_TRACE(row);
        mgtest::MemorySource source(bytes);
        DocHarness h(source);
        int rows = 0;
        bool cancelled = false, archiveOpenAtCancel = false, pendingAtCancel = false;
        h.view.onEvent = [&](const std::string& event) {
            if (event.rfind("row ", 0) != 0 || ++rows != row)
                return;
            // On the user-interface thread, while the list job waits for this call.
            h.doc->cancelAllJobs();
            cancelled = true;
            archiveOpenAtCancel = !h.doc->archive().isClosed();
            pendingAtCancel = h.doc->closePending();
        };
        ASSERT_TRUE(h.open());
        ASSERT_TRUE(cancelled);
        EXPECT_TRUE(archiveOpenAtCancel);
        EXPECT_TRUE(pendingAtCancel);
        const Messages messages = h.view.messages();
        EXPECT_EQ(countOf(messages, "JOB_STARTED"), 2);
        EXPECT_EQ(countOf(messages, "JOB_ENDED"), 2);
        EXPECT_EQ(countOf(messages, "LIST_TOTALS"), 0);
        EXPECT_EQ(h.view.events().back(), "deleteAll"); // the list is left empty
        expectClosed(h);
        EXPECT_FALSE(h.doc->listJob().isStopRequested()); // never carried to the next run
    }
}

TEST(Cancel, CancelAtRandomMomentsNeverReadsAClosedArchive) {
    // Run under ThreadSanitizer or AddressSanitizer to make this test count.
    const std::vector<unsigned char> bytes = archiveBytes("many_entries");
    std::mt19937 random(12345);
    for (int round = 0; round < 12; ++round) {
        mgtest::MemorySource source(bytes);
        DocHarness h(source);
        h.doc->onOpenDocument(String("http://127.0.0.1/archive.zip"));
        const auto delay = std::chrono::milliseconds(random() % 150);
        waitFor([] { return false; }, delay);
        h.doc->cancelAllJobs();
        if (round % 2 == 0)
            h.doc->closeArchive();
        ASSERT_TRUE(h.waitIdle());
        const Messages messages = h.view.messages();
        EXPECT_EQ(countOf(messages, "JOB_STARTED"), countOf(messages, "JOB_ENDED"));
        if (countOf(messages, "LIST_COMPLETE") == 0 || round % 2 == 0)
            expectClosed(h);
    }
}

TEST(Cancel, CancellingAnExtractionStopsBeforeTheNextEntry) {
    const std::vector<unsigned char> bytes = archiveBytes("mixed");
    // Each entry takes four requests: local header and data, for the test and the extraction.
    for (int request = 1; request <= 12; ++request) {
        SCOPED_TRACE(request);
        mgtest::TempDir out("mg-cancel");
        GateSource source(bytes);
        DocHarness h(source);
        ASSERT_TRUE(h.open());
        h.view.clear();
        source.holdAt(request);
        ASSERT_TRUE(h.doc->startExtract({"deflated.txt", "stored.txt", "large.bin"},
                                        String(out.path()), true, true, false));
        ASSERT_TRUE(waitFor([&] { return source.isHeld(); }));
        h.doc->cancelAllJobs();
        h.doc->closeArchive(); // the window closes meanwhile
        EXPECT_FALSE(h.doc->archive().isClosed());
        source.release();
        ASSERT_TRUE(h.waitIdle());

        EXPECT_EQ(h.view.messages(), (Messages{"JOB_STARTED", "JOB_ENDED"}));
        EXPECT_TRUE(h.view.boxes().empty());
        EXPECT_TRUE(h.opener.opened().empty());
        // The entry in progress is finished; later ones are not started.
        const int entriesDone = (request + 3) / 4;
        EXPECT_EQ(std::filesystem::exists(out.file("deflated.txt")), entriesDone >= 1);
        EXPECT_EQ(std::filesystem::exists(out.file("stored.txt")), entriesDone >= 2);
        EXPECT_EQ(std::filesystem::exists(out.file("large.bin")), entriesDone >= 3);
        expectClosed(h);
    }
}

TEST(Cancel, CancellingASaveLeavesThePartWrittenAndSaysNothing) {
    const std::vector<unsigned char> bytes = archiveBytes("mixed"); // five chunks
    for (int chunk = 1; chunk <= 5; ++chunk) {
        SCOPED_TRACE(chunk);
        mgtest::TempDir out("mg-cancel");
        GateSource source(bytes);
        DocHarness h(source);
        ASSERT_TRUE(h.open());
        h.view.clear();
        source.holdAt(chunk);
        ASSERT_TRUE(h.doc->startSave(String(out.file("copy.zip"))));
        ASSERT_TRUE(waitFor([&] { return source.isHeld(); }));
        h.doc->cancelAllJobs();
        source.release();
        ASSERT_TRUE(h.waitIdle());
        EXPECT_EQ(h.view.messages(), (Messages{"JOB_STARTED", "JOB_ENDED"}));
        EXPECT_TRUE(h.view.boxes().empty());
        const auto expected = std::min<size_t>(static_cast<size_t>(chunk) * 32768, bytes.size());
        EXPECT_EQ(std::filesystem::file_size(out.file("copy.zip")), expected);
        EXPECT_TRUE(h.doc->isOpen()); // cancelling a save keeps the archive
    }
}

TEST(Cancel, AnOpenAskedForDuringAJobWaitsForItToEnd) {
    mgtest::TempDir out("mg-cancel");
    GateSource source(archiveBytes("folders"));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    h.view.clear();
    source.holdAt(1);
    ASSERT_TRUE(h.doc->startSave(String(out.file("copy.zip"))));
    ASSERT_TRUE(waitFor([&] { return source.isHeld(); }));
    EXPECT_TRUE(h.doc->onOpenDocument(String("http://127.0.0.1/again.zip")));
    EXPECT_FALSE(h.doc->archive().isClosed());
    EXPECT_TRUE(h.doc->saveJob().isRunning());
    EXPECT_FALSE(h.doc->openJob().isRunning());
    source.release();
    ASSERT_TRUE(h.waitIdle());
    ASSERT_TRUE(h.waitIdle()); // the queued open and its list
    const Messages messages = h.view.messages();
    EXPECT_EQ(messages,
              (Messages{"JOB_STARTED", "JOB_ENDED", "JOB_STARTED", "OPEN_SUCCEEDED", "JOB_ENDED",
                        "JOB_STARTED", "LIST_TOTALS", "JOB_ENDED", "LIST_COMPLETE"}));
    EXPECT_EQ(mgtest::readFile(out.file("copy.zip")).size(), archiveBytes("folders").size());
    EXPECT_TRUE(h.doc->isOpen());
}

TEST(Cancel, AJobWaitingForTheUserInterfaceCanBeStopped) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    h.doc->detachUi();
    h.doc->onOpenDocument(String("http://127.0.0.1/archive.zip"));
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(h.doc->openJob().isRunning()); // waiting, not spinning
    h.doc->openJob().requestStop();
    h.doc->readiness().notify();
    ASSERT_TRUE(h.waitIdle(std::chrono::seconds(5)));
    EXPECT_TRUE(h.view.messages().empty());
}

TEST(Cancel, AnOpenStoppedBeforeItBeganStillEndsWithItsFailure) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    h.doc->readiness().setUiReady(false); // the open job waits; messages still reach the view
    h.doc->onOpenDocument(String("http://127.0.0.1/archive.zip"));
    h.doc->cancelAllJobs();
    ASSERT_TRUE(h.waitIdle());
    EXPECT_EQ(h.view.messages(), Messages{"OPEN_FAILED"});
    expectClosed(h);
}

TEST(Cancel, NoJobStartsOverARunningOne) {
    mgtest::TempDir out("mg-cancel");
    GateSource source(archiveBytes("folders"));
    DocHarness h(source);
    source.holdAt(1);
    h.doc->onOpenDocument(String("http://127.0.0.1/archive.zip"));
    ASSERT_TRUE(waitFor([&] { return source.isHeld(); }));
    // New (the views' update) and a preview during the open would read a half-built directory.
    EXPECT_FALSE(h.doc->startList());
    EXPECT_FALSE(h.doc->startExtract({"Dir/a.txt"}, String(out.path()), true, true, false));
    EXPECT_FALSE(h.doc->startSave(String(out.file("copy.zip"))));
    source.release();
    ASSERT_TRUE(h.waitIdle());
    EXPECT_EQ(h.view.count("LIST_TOTALS Total files: 3 | Selected files: 0"), 1);
    EXPECT_FALSE(std::filesystem::exists(out.file("copy.zip")));
}
