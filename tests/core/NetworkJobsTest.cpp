// The jobs over real HTTP: nginx for the normal road, a scripted server for the failures.
#include "CoreTestSupport.h"
#include "Manifest.h"
#include "RawZip.h"

#include "NginxServer.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"
#include "remote/RemoteArchiveSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

std::string archiveText(const std::string& name) {
    const std::vector<unsigned char> bytes = archiveBytes(name);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> listedNames(const RecordingView& view) {
    std::vector<std::string> names;
    for (const EntryRow& row : view.rows())
        names.push_back(row.path.str() + row.name.str());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> fileNames(const std::string& archive) {
    std::vector<std::string> names;
    for (const ManifestEntry& e : manifestOf(archive)) {
        if (!e.isDirectory)
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class OverNginx : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"folders", "mixed"})
            mgtest::writeFile(root.file(std::string(name) + ".zip"), archiveText(name));
        nginx = std::make_unique<mgtest::NginxServer>(root.path());
    }
    mgtest::TempDir root{"mg-core-www"};
    mgtest::TempDir out{"mg-core-out"};
    std::unique_ptr<mgtest::NginxServer> nginx;
};

} // namespace

TEST_F(OverNginx, OpenListPreviewAndSave) {
    HttpOptions options;
    options.caFile = nginx->caFile();
    RemoteArchiveSource source(options);
    DocHarness h(source);
    h.settings.tmpFolder = String(out.path());
    for (const std::string& url :
         {nginx->httpUrl("/folders.zip"), nginx->httpsUrl("/folders.zip")}) {
        SCOPED_TRACE(url);
        h.view.clear();
        ASSERT_TRUE(h.open(url));
        EXPECT_EQ(h.view.count("OPEN_SUCCEEDED folders.zip"), 1);
        EXPECT_EQ(listedNames(h.view), fileNames("folders"));
        EXPECT_EQ(h.view.count("LIST_TOTALS Total files: 3 | Selected files: 0"), 1);
    }

    // Preview: the entry lands in the temporary folder and is opened once.
    ASSERT_TRUE(h.doc->startExtract({"Dir/a.txt"}, String(out.path()), true, true, false));
    ASSERT_TRUE(h.waitIdle());
    EXPECT_EQ(h.opener.opened(), std::vector<std::string>{out.file("Dir/a.txt")});
    EXPECT_EQ(std::filesystem::file_size(out.file("Dir/a.txt")), 5000u);

    ASSERT_TRUE(h.doc->startSave(String(out.file("copy.zip"))));
    ASSERT_TRUE(h.waitIdle());
    EXPECT_EQ(mgtest::readFile(out.file("copy.zip")), archiveText("folders"));
    EXPECT_EQ(h.view.boxes().back().text.str(), "Download complete!");
}

TEST_F(OverNginx, AMissingFileIsReportedAsUnavailable) {
    RemoteArchiveSource source;
    DocHarness h(source);
    ASSERT_TRUE(h.open(nginx->httpUrl("/missing.zip")));
    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_FAILED", "REMOTE_ERROR", "JOB_ENDED"}));
    EXPECT_EQ(h.view.count(std::string("REMOTE_ERROR ") + ZipOpenThread::unavailableText), 1);
    EXPECT_EQ(h.doc->title().str(), "no file");
}

TEST(OverScriptedServer, AServerThatIgnoresRangesIsReportedAsUnsupported) {
    const std::string bytes = archiveText("folders");
    mgtest::ScriptedHttpServer server(
        [&](const mgtest::SeenRequest&) { return mgtest::ScriptedReply::whole(bytes); });
    RemoteArchiveSource source;
    DocHarness h(source);
    ASSERT_TRUE(h.open(server.url("/folders.zip")));
    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_FAILED", "REMOTE_ERROR", "JOB_ENDED"}));
    EXPECT_EQ(h.view.count(std::string("REMOTE_ERROR ") + ZipOpenThread::unsupportedServerText), 1);
}

TEST(OverScriptedServer, ASaveCutShortByTheServerIsAFailure) {
    // Large enough that the open's reads cannot have fetched the start of the archive.
    std::string noise(2000000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::vector<unsigned char> zip = buildZip({{"noise.bin", noise}});
    const std::string bytes(zip.begin(), zip.end());
    std::string total = std::to_string(bytes.size());
    for (int pos = static_cast<int>(total.size()) - 3; pos > 0; pos -= 3)
        total.insert(static_cast<size_t>(pos), ",");
    std::atomic<int> breakFrom{-1}; // requests from this byte on fail, in the way below
    std::atomic<bool> answerWithError{true};
    mgtest::ScriptedHttpServer server([&](const mgtest::SeenRequest& request) {
        const std::string range = request.header("Range").value_or("");
        const int from = breakFrom;
        if (from >= 0 && range.rfind("bytes=", 0) == 0 && std::stoi(range.substr(6)) >= from) {
            if (answerWithError)
                return mgtest::ScriptedReply::error(503, "<h1>busy</h1>");
            mgtest::ScriptedReply reply = mgtest::ScriptedReply::file(bytes, request);
            reply.cutAfter = 0; // headers, then the connection closes
            return reply;
        }
        return mgtest::ScriptedReply::file(bytes, request);
    });
    for (bool error : {true, false}) {
        SCOPED_TRACE(error);
        mgtest::TempDir out("mg-core-out");
        RemoteArchiveSource source;
        DocHarness h(source);
        h.settings.openWhenDone = true;
        ASSERT_TRUE(h.open(server.url("/mixed.zip")));
        h.view.clear();
        breakFrom = 1; // everything after the first chunk
        answerWithError = error;
        ASSERT_TRUE(h.doc->startSave(String(out.file("copy.zip"))));
        ASSERT_TRUE(h.waitIdle());
        breakFrom = -1;
        EXPECT_EQ(h.view.messages(), (Messages{"JOB_STARTED", "JOB_ENDED"}));
        ASSERT_EQ(h.view.boxes().size(), 1u) << ::testing::PrintToString(h.view.events());
        const std::string text = h.view.boxes()[0].text.str();
        EXPECT_EQ(h.view.boxes()[0].caption.str(), "Error");
        EXPECT_NE(text.find(out.file("copy.zip")), std::string::npos) << text;
        EXPECT_NE(text.find(" of " + total + " bytes"), std::string::npos) << text;
        EXPECT_TRUE(h.opener.opened().empty());
    }
}

// The document over a zip file on disk: listed like a remote one; a missing file is reported
// with its own reason, not as a network failure.
TEST(LocalFileJobs, ListsAFileOnDiskAndNamesWhyAMissingOneFails) {
    mgtest::TempDir disk("mg-core-disk");
    mgtest::writeFile(disk.file("folders.zip"), archiveText("folders"));
    RemoteArchiveSource source;
    {
        DocHarness h(source);
        ASSERT_TRUE(h.open("file://" + disk.file("folders.zip")));
        EXPECT_EQ(h.doc->title().str(), "folders.zip");
        EXPECT_EQ(listedNames(h.view), fileNames("folders"));
    }
    DocHarness h(source);
    ASSERT_TRUE(h.open("file://" + disk.file("gone.zip")));
    EXPECT_EQ(h.view.count(std::string("REMOTE_ERROR ") + ZipOpenThread::localFileText + "\n" +
                           disk.file("gone.zip") + ": No such file or directory"),
              1)
        << ::testing::PrintToString(h.view.messages());
}

TEST_F(OverNginx, ExtractingManyEntriesTakesOneRequestThoughEachIsReadTwice) {
    // 60 stored entries of 5,000 bytes: most of the archive lies before the tail.
    std::vector<RawEntry> entries;
    std::vector<String> names;
    for (int i = 0; i < 60; ++i) {
        std::string data(5000, '\0');
        for (size_t j = 0; j < data.size(); ++j)
            data[j] = static_cast<char>((j * 7919u + static_cast<size_t>(i) * 104729u) >> 5);
        entries.push_back({"many/e" + std::to_string(i) + ".bin", data});
        names.push_back(String(entries.back().name));
    }
    const std::vector<unsigned char> zip = buildZip(entries);
    mgtest::writeFile(root.file("many.zip"), std::string(zip.begin(), zip.end()));
    RemoteArchiveSource source;
    DocHarness h(source);
    ASSERT_TRUE(h.open(nginx->httpUrl("/many.zip")));
    nginx->waitForAccessLog(1);
    nginx->clearAccessLog();
    h.view.clear();
    ASSERT_TRUE(h.doc->startExtract(names, String(out.path()), false, true, false));
    ASSERT_TRUE(h.waitIdle());
    EXPECT_EQ(h.view.boxes().back().text.str(), "Extraction complete!");
    for (const RawEntry& entry : entries)
        EXPECT_EQ(mgtest::readFile(out.file(entry.name)), entry.data) << entry.name;
    // The test pass and the extraction pass: one request for what the open did not bring.
    const auto log = nginx->waitForAccessLog(1);
    EXPECT_EQ(log.size(), 1u);
}
