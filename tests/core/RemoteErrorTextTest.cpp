// What the open job tells the user when a remote archive cannot be opened: it depends on this
// archive alone, and a download the server refused is no damage.
#include "CoreTestSupport.h"

#include "ScriptedFtpServer.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"
#include "remote/RemoteArchiveSource.h"

#include <gtest/gtest.h>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

std::string folders() {
    const std::vector<unsigned char> bytes = archiveBytes("folders");
    return {bytes.begin(), bytes.end()};
}

const std::string unsupported = std::string("REMOTE_ERROR ") + ZipOpenThread::unsupportedServerText;
const std::string unavailable = std::string("REMOTE_ERROR ") + ZipOpenThread::unavailableText;

} // namespace

TEST(RemoteErrorText, DoesNotDependOnThePreviousArchive) {
    const std::string bytes = folders();
    mgtest::ScriptedHttpServer noRanges(
        [&](const mgtest::SeenRequest&) { return mgtest::ScriptedReply::whole(bytes); });
    const std::string deadFtp = "ftp://127.0.0.1:" + std::to_string(mgtest::freePort()) + "/a.zip";
    for (bool httpFirst : {true, false}) {
        SCOPED_TRACE(httpFirst ? "http first" : "ftp first");
        RemoteArchiveSource source;
        DocHarness h(source);
        for (int step = 0; step < 2; ++step) {
            h.view.clear();
            const bool http = (step == 0) == httpFirst;
            ASSERT_TRUE(h.open(http ? noRanges.url("/a.zip") : deadFtp));
            EXPECT_EQ(h.view.count(http ? unsupported : unavailable), 1)
                << testing::PrintToString(h.view.events());
        }
    }
}

TEST(RemoteErrorText, RefusedDownloadIsUnavailableWithTheServersReason) {
    ftptest::ScriptedFtpServer server;
    server.setFile(folders());
    server.reply("RETR", "550 Permission denied");
    RemoteArchiveSource source;
    DocHarness h(source);
    ASSERT_TRUE(h.open("ftp://127.0.0.1:" + std::to_string(server.port()) + "/a.zip"));
    EXPECT_EQ(h.view.messages(),
              (Messages{"JOB_STARTED", "OPEN_FAILED", "REMOTE_ERROR", "JOB_ENDED"}));
    EXPECT_EQ(h.view.count(unavailable + "\n(The FTP server did not send the requested part of "
                                         "the file: 550 Permission denied.)"),
              1)
        << testing::PrintToString(h.view.events());
}
