// The extract job: overwrite answers, failures reported by name, previews that open only
// what this run wrote and never run a program unasked.
#include "CoreTestSupport.h"

#include "MemorySource.h"
#include "RawZip.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

std::vector<String> names(std::initializer_list<const char*> list) {
    return {list.begin(), list.end()};
}

class Extract : public ::testing::Test {
protected:
    void openArchive(const std::string& name) {
        source = std::make_unique<mgtest::MemorySource>(archiveBytes(name));
        harness = std::make_unique<DocHarness>(*source);
        ASSERT_TRUE(harness->open());
        harness->view.clear();
    }
    bool extract(std::vector<String> entries, bool open = false, bool overwriteAll = false) {
        EXPECT_TRUE(
            harness->doc->startExtract(entries, String(out.path()), open, overwriteAll, false));
        return harness->waitIdle();
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const MessageBoxRequest& box : harness->view.boxes())
            texts.push_back(box.text.str());
        return texts;
    }

    mgtest::TempDir out{"mg-extract"};
    std::unique_ptr<mgtest::MemorySource> source;
    std::unique_ptr<DocHarness> harness;
};

} // namespace

TEST_F(Extract, WritesTheEntriesAndReportsCompletion) {
    openArchive("mixed");
    ASSERT_TRUE(extract(names({"stored.txt", "deflated.txt", "empty.txt", "large.bin"})));
    EXPECT_EQ(mgtest::readFile(out.file("stored.txt")), "stored data\n");
    EXPECT_EQ(std::filesystem::file_size(out.file("deflated.txt")), 10000u);
    EXPECT_EQ(std::filesystem::file_size(out.file("large.bin")), 300000u);
    EXPECT_TRUE(std::filesystem::exists(out.file("empty.txt")));
    EXPECT_EQ(harness->view.messages(), (Messages{"JOB_STARTED", "JOB_ENDED"}));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Extraction complete!"});
    // Each byte counts twice (test pass and extraction pass), and the bar reaches its end.
    EXPECT_EQ(harness->progress.rangeHigh(), 2 * (12 + 10000 + 300000));
    EXPECT_EQ(harness->progress.position(), 2 * (12 + 10000 + 300000));
    EXPECT_TRUE(harness->opener.opened().empty());
}

TEST_F(Extract, OverwriteAnswers) {
    struct Case {
        std::vector<int> answers;
        int questions;
        std::string stored, deflatedStart; // contents afterwards
        bool completed;
    };
    const std::string old = "old";
    const std::vector<Case> cases = {
        {{OverwriteYes, OverwriteYes}, 2, "stored data\n", "The quick", true},
        {{OverwriteYesToAll}, 1, "stored data\n", "The quick", true},
        {{OverwriteNo, OverwriteNo}, 2, old, old, true},
        {{OverwriteNo, OverwriteYes}, 2, old, "The quick", true},
        {{OverwriteCancel}, 1, old, old, false},
    };
    openArchive("mixed");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.front());
        mgtest::writeFile(out.file("stored.txt"), old);
        mgtest::writeFile(out.file("deflated.txt"), old);
        std::filesystem::remove(out.file("empty.txt"));
        harness->view.clear();
        harness->view.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        ASSERT_TRUE(extract(names({"stored.txt", "deflated.txt", "empty.txt"})));

        EXPECT_EQ(harness->view.count("ASK_OVERWRITE " + out.file("stored.txt")), 1);
        const Messages messages = harness->view.messages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), "ASK_OVERWRITE"), c.questions);
        EXPECT_EQ(std::count(messages.begin(), messages.end(), "JOB_ENDED"), 1);
        EXPECT_EQ(mgtest::readFile(out.file("stored.txt")), c.stored);
        EXPECT_EQ(mgtest::readFile(out.file("deflated.txt")).substr(0, c.deflatedStart.size()),
                  c.deflatedStart);
        // "Cancel" stops the run: the entry after it is not written, and nothing is reported.
        EXPECT_EQ(std::filesystem::exists(out.file("empty.txt")), c.completed);
        EXPECT_EQ(boxTexts().size(), c.completed ? 1u : 0u);
    }
}

TEST_F(Extract, FailedEntriesAreReportedWithTheirReason) {
    openArchive("bad_crc");
    ASSERT_TRUE(extract(names({"bad.txt", "missing.txt"})));
    const Messages messages = harness->view.messages();
    EXPECT_EQ(messages, (Messages{"JOB_STARTED", "ARCHIVE_DAMAGED", "JOB_ENDED"}));
    ASSERT_EQ(boxTexts().size(), 1u);
    const std::string text = boxTexts().front();
    EXPECT_NE(text, "Extraction complete!");
    EXPECT_NE(text.find("2 entries could not be extracted"), std::string::npos) << text;
    EXPECT_NE(text.find("bad.txt: test failed"), std::string::npos) << text;
    EXPECT_NE(text.find("missing.txt: not found"), std::string::npos) << text;
    EXPECT_EQ(harness->view.boxes().front().icon, MessageIcon::Warning);
    EXPECT_FALSE(std::filesystem::exists(out.file("bad.txt")));
}

TEST_F(Extract, EntriesThatCannotBeReadHereAreNotReportedAsDamage) {
    source = std::make_unique<mgtest::MemorySource>(buildZip({
        {.name = "ppmd.txt", .data = "\x01\x02\x03", .method = 98},
        {.name = "secret.txt", .data = std::string(20, 'x'), .method = 8, .flags = 0x0801},
        {.name = "plain.txt", .data = "plain\n"},
    }));
    harness = std::make_unique<DocHarness>(*source);
    ASSERT_TRUE(harness->open());
    harness->view.clear();
    ASSERT_TRUE(extract(names({"ppmd.txt", "secret.txt", "plain.txt"})));
    EXPECT_EQ(harness->view.messages(), (Messages{"JOB_STARTED", "JOB_ENDED"}));
    ASSERT_EQ(boxTexts().size(), 1u);
    const std::string text = boxTexts().front();
    EXPECT_NE(text.find("ppmd.txt: compression method PPMd (98) is not supported"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("secret.txt: the entry is encrypted and no password was given"),
              std::string::npos)
        << text;
    EXPECT_EQ(mgtest::readFile(out.file("plain.txt")), "plain\n");
    EXPECT_FALSE(std::filesystem::exists(out.file("ppmd.txt")));
    EXPECT_FALSE(std::filesystem::exists(out.file("secret.txt")));
}

TEST_F(Extract, NamesThatWouldLeaveTheFolderAreRefused) {
    openArchive("hostile");
    ASSERT_TRUE(extract(names({"../evil.txt", "a/../../up.txt", "ok/fine.txt"})));
    EXPECT_EQ(mgtest::readFile(out.file("ok/fine.txt")), "fine\n");
    const std::filesystem::path parent = std::filesystem::path(out.path()).parent_path();
    EXPECT_FALSE(std::filesystem::exists(parent / "evil.txt"));
    EXPECT_FALSE(std::filesystem::exists(parent / "up.txt"));
    ASSERT_EQ(boxTexts().size(), 1u);
    EXPECT_NE(boxTexts().front().find("../evil.txt: "), std::string::npos) << boxTexts().front();
    EXPECT_NE(boxTexts().front().find("a/../../up.txt: "), std::string::npos);
}

TEST_F(Extract, ExtractUnderANewNameReplacesWithoutAsking) {
    openArchive("mixed");
    mgtest::writeFile(out.file("renamed.txt"), "old");
    ASSERT_TRUE(harness->doc->startExtract(names({"stored.txt"}), String(out.file("renamed.txt")),
                                           false, false, true));
    ASSERT_TRUE(harness->waitIdle());
    EXPECT_EQ(mgtest::readFile(out.file("renamed.txt")), "stored data\n");
    EXPECT_EQ(harness->view.count("ASK_OVERWRITE " + out.file("renamed.txt")), 0);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Extraction complete!"});
}

TEST_F(Extract, PreviewOpensEachWrittenFileOnce) {
    openArchive("mixed");
    mgtest::writeFile(out.file("stored.txt"), "older preview");
    ASSERT_TRUE(extract(names({"stored.txt", "deflated.txt"}), true, true));
    EXPECT_EQ(harness->opener.opened(),
              (std::vector<std::string>{out.file("stored.txt"), out.file("deflated.txt")}));
    EXPECT_EQ(mgtest::readFile(out.file("stored.txt")), "stored data\n");
    EXPECT_EQ(harness->view.count("ASK_OVERWRITE " + out.file("stored.txt")), 0);
}

TEST_F(Extract, PreviewNeverOpensAStaleCopyOfAFailedEntry) {
    openArchive("bad_crc");
    mgtest::writeFile(out.file("bad.txt"), "left by an earlier preview");
    ASSERT_TRUE(extract(names({"bad.txt"}), true, true));
    EXPECT_TRUE(harness->opener.opened().empty());
}

TEST_F(Extract, PreviewAsksBeforeOpeningWhatMightRunAndStripsExecuteBits) {
    openArchive("permissions");
    ASSERT_TRUE(extract(names({"setuid.sh", "private.txt"}), true, true));
    // The script is not opened: the question's default answer is No.
    EXPECT_EQ(harness->opener.opened(), std::vector<std::string>{out.file("private.txt")});
    const std::vector<MessageBoxRequest> boxes = harness->view.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(boxes[0].defaultAnswer, AnswerNo);
    EXPECT_NE(boxes[0].text.str().find("setuid.sh"), std::string::npos);
    EXPECT_EQ(boxes[1].text.str(), "Extraction complete!");
    struct stat info {};
    ASSERT_EQ(stat(out.file("setuid.sh").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07111, 0u) << std::oct << info.st_mode;

    harness->view.clear();
    harness->view.messageBoxAnswers = {AnswerYes};
    ASSERT_TRUE(extract(names({"setuid.sh"}), true, true));
    EXPECT_EQ(harness->opener.opened().back(), out.file("setuid.sh"));
}
