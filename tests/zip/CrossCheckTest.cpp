// Every archive that Python's zipfile can read is listed, tested and extracted by the engine,
// and the results are compared with what zipfile read.
#include "TestSupport.h"
#include "ZipTestArchives.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

using mgtest::ArchiveUnderTest;
using mgtest::ManifestEntry;

namespace {

// Archives zipfile reads although they are damaged or unsafe; other tests cover them.
const std::set<std::string> notSound = {
    "bad_crc", "count_too_large", "corrupt_deflate", "directory_outside", "encrypted",
    "entry_outside", "hostile", "stored_short", "unsupported_method", "split",
    // ZIP64 values that cannot be true (zipfile lists them as they stand)
    "zip64_count_too_large", "zip64_directory_outside", "zip64_extra_missing", "zip64_extra_short",
    "zip64_local_mismatch", "zip64_packed_past_end", "zip64_size_max"};

std::vector<std::string> soundArchives() {
    std::set<std::string> names;
    for (const ManifestEntry& entry : mgtest::manifest())
        if (!notSound.count(entry.archive))
            names.insert(entry.archive);
    return {names.begin(), names.end()};
}

class CrossCheck : public testing::TestWithParam<std::string> {};

TEST_P(CrossCheck, ListingMatchesZipfile) {
    ArchiveUnderTest t(GetParam());
    t.openOrFail();
    const auto expected = mgtest::manifestOf(GetParam());
    ASSERT_EQ(t.archive.entryCount(), expected.size());
    for (uint32_t i = 0; i < expected.size(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, i));
        const ManifestEntry& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(header.name(), e.name);
        EXPECT_EQ(t.archive.isDirectory(i), e.isDirectory);
        EXPECT_EQ(header.uncompressedSize, e.size);
        EXPECT_EQ(header.compressedSize, e.packed);
        EXPECT_EQ(header.crc32, e.crc);
        EXPECT_EQ(header.method, e.method);
        EXPECT_EQ(header.modificationTime().iso(), e.time);
        if (i < 2000 || i % 997 == 0) { // the largest archives: a sample is enough
            EXPECT_EQ(t.archive.findEntry(e.name, true), i);
        }
    }
}

TEST_P(CrossCheck, EveryEntryTestsSound) {
    ArchiveUnderTest t(GetParam());
    t.openOrFail();
    const uint16_t count = std::min<uint16_t>(t.archive.entryCount(), 300);
    for (uint16_t i = 0; i < count; ++i)
        EXPECT_TRUE(t.archive.testEntry(i)) << i << ": " << t.archive.lastError();
}

TEST_P(CrossCheck, ExtractionWritesWhatZipfileReads) {
    ArchiveUnderTest t(GetParam());
    t.openOrFail();
    mgtest::TempDir out("mgzip");
    const auto expected = mgtest::manifestOf(GetParam());
    const uint16_t count = std::min<uint16_t>(t.archive.entryCount(), 300);
    for (uint16_t i = 0; i < count; ++i) {
        const ManifestEntry& e = expected[i];
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(t.archive.extractEntry(i, out.path())) << t.archive.lastError();
        std::string path = out.path() + "/" + e.name;
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        if (e.isDirectory) {
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            continue;
        }
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_size, e.size);
        EXPECT_EQ(mgtest::crcOfFile(path), e.crc);
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, CrossCheck, testing::ValuesIn(soundArchives()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

} // namespace
