// The save job: byte-identical copies, and failures that are never reported as success.
#include "CoreTestSupport.h"
#include "RawZip.h"

#include "MemorySource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace coretest;
using Messages = std::vector<std::string>;

namespace {

// Fails every range request after the open with an exception, as a broken transfer might.
class ThrowingSource : public mgtest::MemorySource {
public:
    using MemorySource::MemorySource;
    bool requestRange(int64_t first, int64_t last, bool reopenFirst) override {
        if (throwNow)
            throw std::runtime_error("connection reset by the test");
        return MemorySource::requestRange(first, last, reopenFirst);
    }
    bool throwNow = false;
};

struct Saved {
    Messages messages;
    std::vector<std::string> boxes;
    std::string bytes;
};

Saved save(mgtest::MemorySource& source, DocHarness& h, const std::string& path,
           const std::function<void()>& beforeSave = {}) {
    EXPECT_TRUE(h.open());
    h.view.clear();
    if (beforeSave)
        beforeSave();
    EXPECT_TRUE(h.doc->startSave(String(path)));
    EXPECT_TRUE(h.waitIdle());
    Saved saved{h.view.messages(), {}, {}};
    for (const MessageBoxRequest& box : h.view.boxes())
        saved.boxes.push_back(box.caption.str() + ": " + box.text.str());
    if (FILE* f = fopen(path.c_str(), "rb")) {
        fclose(f);
        saved.bytes = mgtest::readFile(path);
    }
    (void)source;
    return saved;
}

std::string asString(const std::vector<unsigned char>& bytes) {
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(Save, CopiesTheArchiveByteForByte) {
    mgtest::TempDir dir("mg-save");
    const std::vector<unsigned char> bytes = archiveBytes("mixed");
    mgtest::MemorySource source(bytes);
    DocHarness h(source);
    const Saved saved = save(source, h, dir.file("copy.zip"));
    EXPECT_EQ(saved.bytes, asString(bytes));
    EXPECT_EQ(saved.messages, (Messages{"JOB_STARTED", "JOB_ENDED"}));
    EXPECT_EQ(saved.boxes, std::vector<std::string>{"Marrowglen: Download complete!"});
    EXPECT_EQ(h.progress.rangeHigh(), static_cast<int32_t>(bytes.size() / 32768));
}

TEST(Save, AnArchiveOfWholeChunksNeedsNoExtraRequest) {
    // 65,536 bytes: two chunks, range 0..2.
    const std::vector<unsigned char> bytes = buildZip({{"a.bin", std::string(65428, 'a')}});
    ASSERT_EQ(bytes.size(), 65536u);
    mgtest::TempDir dir("mg-save");
    mgtest::MemorySource source(bytes);
    DocHarness h(source);
    size_t requestsBefore = 0;
    const Saved saved =
        save(source, h, dir.file("copy.zip"), [&] { requestsBefore = source.requests.size(); });
    EXPECT_EQ(saved.bytes, asString(bytes));
    EXPECT_EQ(h.progress.rangeHigh(), 2);
    const std::vector<mgtest::MemorySource::Range> saveRequests(
        source.requests.begin() + static_cast<long>(requestsBefore), source.requests.end());
    EXPECT_EQ(saveRequests, (std::vector<mgtest::MemorySource::Range>{{0, 32768}, {32768, 65536}}));
}

TEST(Save, OpenWhenDoneOpensTheFileInsteadOfReporting) {
    mgtest::TempDir dir("mg-save");
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    h.settings.openWhenDone = true;
    const Saved saved = save(source, h, dir.file("copy.zip"));
    EXPECT_EQ(h.opener.opened(), std::vector<std::string>{dir.file("copy.zip")});
    EXPECT_TRUE(saved.boxes.empty());
    EXPECT_EQ(saved.messages, (Messages{"JOB_STARTED", "JOB_ENDED"}));
}

TEST(Save, ADestinationThatCannotBeCreatedIsReported) {
    mgtest::MemorySource source(archiveBytes("folders"));
    DocHarness h(source);
    const Saved saved = save(source, h, "/nonexistent-folder/copy.zip");
    EXPECT_EQ(saved.boxes, std::vector<std::string>{"Error: Cannot create destination file."});
    EXPECT_EQ(saved.messages, (Messages{"JOB_STARTED", "JOB_ENDED"}));
    EXPECT_TRUE(h.opener.opened().empty());
}

TEST(Save, AServerThatStopsServingIsAFailureNamingTheFile) {
    mgtest::TempDir dir("mg-save");
    mgtest::MemorySource source(archiveBytes("mixed"));
    DocHarness h(source);
    h.settings.openWhenDone = true;
    const Saved saved = save(source, h, dir.file("copy.zip"), [&] {
        source.failRequestsFrom = static_cast<int>(source.requests.size()) + 2;
    });
    ASSERT_EQ(saved.boxes.size(), 1u);
    EXPECT_EQ(saved.boxes[0].find("Error: "), 0u) << saved.boxes[0];
    EXPECT_NE(saved.boxes[0].find(dir.file("copy.zip")), std::string::npos);
    EXPECT_NE(saved.boxes[0].find("65,536 of 151,"), std::string::npos) << saved.boxes[0];
    EXPECT_EQ(saved.messages, (Messages{"JOB_STARTED", "JOB_ENDED"}));
    EXPECT_TRUE(h.opener.opened().empty()); // a broken file is not opened
}

TEST(Save, ARangeRequestThatThrowsEndsTheJobWithAnError) {
    mgtest::TempDir dir("mg-save");
    ThrowingSource source(archiveBytes("mixed"));
    DocHarness h(source);
    const Saved saved = save(source, h, dir.file("copy.zip"), [&] { source.throwNow = true; });
    ASSERT_EQ(saved.boxes.size(), 1u);
    EXPECT_NE(saved.boxes[0].find("connection reset by the test"), std::string::npos);
    EXPECT_EQ(saved.messages, (Messages{"JOB_STARTED", "JOB_ENDED"}));
}
