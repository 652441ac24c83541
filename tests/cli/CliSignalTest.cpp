// Ctrl+C and SIGTERM stop marrowglen-cli at once, also while it waits on a server that
// never answers, and leave no partial file behind.
#include "CliHarness.h"
#include "ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

using clitest::RunningCli;
using mgtest::ScriptedReply;
using mgtest::SeenRequest;

namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `ready` holds.
template <typename Ready> bool waitUntil(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(CliSignal, AWaitForASilentServerEndsAtOnce) {
    mgtest::ScriptedHttpServer silent([](const SeenRequest&) {
        ScriptedReply reply;
        reply.noAnswer = true;
        return reply;
    });
    const std::string host = "127.0.0.1:" + std::to_string(silent.port());
    int connections = 0;
    for (const std::string& url : {"http://" + host + "/a.zip", "ftp://" + host + "/a.zip"}) {
        RunningCli run({"list", url});
        ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() > connections; })) << url;
        connections = silent.connectionCount();
        const auto start = std::chrono::steady_clock::now();
        run.signal(SIGINT);
        EXPECT_EQ(run.waitExit(1500ms), 130) << url << "\n" << run.err();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << url;
    }
}

TEST(CliSignal, AnInterruptedSaveLeavesNoFile) {
    std::string zip(300 * 1024, '\0');
    for (std::size_t i = 0; i < zip.size(); ++i)
        zip[i] = static_cast<char>(i * 7);
    // A valid tail is not needed: save copies bytes. The copy stalls half-way.
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (r.header("Range").value_or("").rfind("bytes=0-", 0) == 0) {
            reply.cutAfter = reply.body.size() / 2;
            reply.stallAfterCut = true;
        }
        return reply;
    });
    mgtest::TempDir out("mgtest-cli-sigsave");
    RunningCli run({"save", server.url("/a.zip"), out.file("a.zip")});
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& r : server.requests())
            if (r.header("Range").value_or("").rfind("bytes=0-", 0) == 0)
                return true;
        return false;
    }));
    run.signal(SIGTERM);
    EXPECT_EQ(run.waitExit(1500ms), 143) << run.err();
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "a partial file was left";
}

} // namespace
