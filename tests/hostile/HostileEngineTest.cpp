// The engine's own answers to hostile archives, served from memory: which inconsistency it
// names, and how many bytes it lets out.
#include "HostileZip.h"
#include "MemorySource.h"
#include "TestSupport.h"

#include "zip/ZipArchive.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using hostile::Entry;
using Detail = CZipException::Detail;

namespace {

struct Opened {
    explicit Opened(const std::string& zip)
        : source(std::vector<unsigned char>(zip.begin(), zip.end())), archive(source) {
        archive.open(String("http://127.0.0.1/hostile.zip"));
    }
    mgtest::MemorySource source;
    CZipArchive archive;
};

template <typename F> Detail detailOf(F&& operation) {
    try {
        operation();
    } catch (const CZipException& e) {
        return e.detail();
    }
    return Detail::none;
}

Entry stored(std::string name, std::string data) {
    Entry e;
    e.name = std::move(name);
    e.data = std::move(data);
    return e;
}

Entry deflated(std::string name, std::string data) {
    Entry e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.deflate = true;
    return e;
}

} // namespace

TEST(HostileEngine, EntriesSharingALocalHeaderAreRefusedBeforeAnyFetch) {
    Entry first = deflated("one", std::string(100000, 'x'));
    Entry second = first;
    second.name = "two";
    second.writeLocal = false;
    second.offset = 0;
    Opened t(hostile::build({first, second, deflated("alone", "alone")}));
    ASSERT_EQ(t.archive.entryCount(), 3);
    const std::size_t requests = t.source.requests.size();
    EXPECT_EQ(detailOf([&] { t.archive.testEntry(0); }), Detail::overlappingEntries);
    EXPECT_EQ(detailOf([&] { t.archive.testEntry(1); }), Detail::overlappingEntries);
    EXPECT_EQ(t.source.requests.size(), requests);
    EXPECT_TRUE(t.archive.testEntry(2));
}

// The overlapping shape without a shared offset: the second local header lies inside the
// first entry's data, so inflating the first one inflates the second again.
TEST(HostileEngine, LocalHeaderInsideAnotherEntrysDataIsRefused) {
    const std::string inner = hostile::build({deflated("inner", std::string(50000, 'i'))});
    Entry outer;
    outer.name = "outer";
    outer.data = inner;
    Entry nested = deflated("inner", std::string(50000, 'i'));
    nested.writeLocal = false;
    nested.offset = 30 + 5; // just past the outer entry's name: its data starts there
    Opened t(hostile::build({outer, nested}));
    ASSERT_EQ(t.archive.entryCount(), 2);
    EXPECT_EQ(detailOf([&] { t.archive.testEntry(0); }), Detail::overlappingEntries);
    EXPECT_EQ(detailOf([&] { t.archive.testEntry(1); }), Detail::overlappingEntries);
}

TEST(HostileEngine, HonestNeighboursDoNotOverlap) {
    std::vector<Entry> entries;
    for (int i = 0; i < 50; ++i)
        entries.push_back(deflated("e" + std::to_string(i), std::string(i * 37, 'a' + i % 26)));
    entries.push_back(stored("empty", ""));
    Opened t(hostile::build(entries));
    for (uint16_t i = 0; i < t.archive.entryCount(); ++i)
        EXPECT_TRUE(t.archive.testEntry(i)) << i;
}

TEST(HostileEngine, NameRunningIntoTheEndRecordIsAnOverrun) {
    std::string zip = hostile::build({deflated("a.txt", "a")});
    const std::size_t central = zip.find("PK\x01\x02");
    zip[central + 28] = 5 + 22; // the name would swallow the end record
    mgtest::MemorySource source(std::vector<unsigned char>(zip.begin(), zip.end()));
    CZipArchive archive(source);
    EXPECT_EQ(detailOf([&] { archive.open(String("http://127.0.0.1/a.zip")); }),
              Detail::directoryOverrun);
    EXPECT_TRUE(archive.isClosed());
}

TEST(HostileEngine, RefusedNameWithNulOrControlBytesIsShownEscaped) {
    Opened t(hostile::build({stored(std::string("nul\0\x1b[2J.txt", 12), "x")}));
    ASSERT_EQ(t.archive.entryCount(), 1);
    mgtest::TempDir out("mgtest-hostile");
    try {
        t.archive.extractEntry(0, out.path());
        FAIL() << "extracted";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.detail(), Detail::unsafeName);
        EXPECT_STREQ(e.what(),
                     "refused to extract \"nul\\x00\\x1B[2J.txt\": the name holds a NUL byte");
    }
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

// A deflated entry that claims 1,000 bytes but inflates to a megabyte: the engine hands out
// the declared 1,000 and no more, whatever the buffer size.
TEST(HostileEngine, InflatingPastTheDeclaredSizeIsCut) {
    Entry liar = deflated("liar", std::string(1 << 20, 'L'));
    liar.size = 1000;
    liar.crc = hostile::crcOf(std::string(1000, 'L'));
    Opened t(hostile::build({liar}));
    uint32_t most = 0;
    auto watch = [&](void*, uint32_t done, void*) {
        most = std::max(most, done);
        return true;
    };
    for (uint32_t buffer : {1u, 999u, 65535u}) {
        most = 0;
        EXPECT_TRUE(t.archive.testEntry(0, watch, nullptr, buffer)) << buffer;
        EXPECT_EQ(most, 1000u) << buffer;
    }
}
