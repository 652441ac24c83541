// ZIP64 archives, archives of more than 65,535 entries, the extra fields that give names and
// times, and the last part of a split archive. The archives come from Info-ZIP zip, Python's
// zipfile, 7-Zip and a writer of hand-made records (tests/support/make_archives.py); the
// listing of each is also compared with zipfile's in CrossCheckTest.
#include "TestSupport.h"
#include "ZipTestArchives.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using Detail = CZipException::Detail;
using mgtest::ArchiveUnderTest;

namespace {

// 2021-06-15 13:45:31 UTC, an odd second that the MS-DOS fields cannot hold.
constexpr std::time_t oddSecond = 1623764731;

struct timespec modifiedAt(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mtim;
}

TEST(Zip64, MoreThan65535EntriesAreListedFoundAndRead) {
    ArchiveUnderTest t("zip64_many");
    t.openOrFail();
    ASSERT_EQ(t.archive.entryCount(), 70000u);
    EXPECT_EQ(t.archive.centralDir().totalEntries(), 70000u);
    const int32_t last = t.indexOf("m69999.txt");
    ASSERT_EQ(last, 69999);
    mgtest::TempDir out("mgzip64");
    ASSERT_TRUE(t.archive.extractEntry(uint32_t(last), out.path())) << t.archive.lastError();
    EXPECT_EQ(mgtest::readFile(out.file("m69999.txt")), "69999\n");
    EXPECT_TRUE(t.archive.testEntry(65536));
}

TEST(Zip64, RecordsFoundBehindBytesInFrontOfTheArchive) {
    ArchiveUnderTest t("zip64_prepended");
    t.openOrFail();
    EXPECT_EQ(t.archive.centralDir().bytesBeforeArchive(), 1000);
    EXPECT_GE(t.archive.centralDir().zip64RecordPosition(), 1000);
    for (uint32_t i = 0; i < t.archive.entryCount(); ++i)
        EXPECT_TRUE(t.archive.testEntry(i)) << t.archive.lastError();
}

TEST(Zip64, SizesAndOffsetsComeFromTheExtraFieldInTheFormatsOrder) {
    ArchiveUnderTest t("zip64_raw");
    t.openOrFail();
    CZipFileHeader header;
    ASSERT_TRUE(t.archive.getEntryInfo(header, 1));
    EXPECT_EQ(header.name(), "dir/two.txt");
    EXPECT_EQ(header.uncompressedSize, 3000u);
    EXPECT_EQ(header.compressedSize, 3000u);
    EXPECT_GT(header.localHeaderOffset, 0u);
    EXPECT_LT(header.localHeaderOffset, 0xFFFFFFFFu);
}

TEST(ExtraFields, UnicodePathNamesTheEntryOnlyWhenItBelongsToTheStoredName) {
    ArchiveUnderTest t("unicode_path");
    t.openOrFail();
    EXPECT_EQ(t.indexOf("café-ünïcode.txt"), 0);
    // A stale field (its CRC is of another name) is ignored: the stored name counts.
    EXPECT_EQ(t.indexOf("staleé.txt"), 1);
    EXPECT_EQ(t.indexOf("renamed.txt"), -1);
    mgtest::TempDir out("mgzip64");
    ASSERT_TRUE(t.archive.extractEntry(0, out.path()));
    EXPECT_EQ(mgtest::readFile(out.file("café-ünïcode.txt")), "unicode\n");
}

TEST(ExtraFields, UtcTimesGiveTheListAndTheExtractedFilesTheirSecond) {
    struct Case {
        const char* archive;
        long nanoseconds;
    };
    // Info-ZIP's extended time stamp holds seconds; 7-Zip's NTFS times hold 100 ns ticks.
    for (const Case c : {Case{"timestamps", 0}, Case{"zip64_7z", 250000000}}) {
        SCOPED_TRACE(c.archive);
        ArchiveUnderTest t(c.archive);
        t.openOrFail();
        const int32_t index = t.indexOf("odd.txt");
        ASSERT_GE(index, 0);
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, uint32_t(index)));
        std::tm local{};
        localtime_r(&oddSecond, &local);
        EXPECT_EQ(header.modificationTime().second, local.tm_sec);
        mgtest::TempDir out("mgzip64");
        ASSERT_TRUE(t.archive.extractEntry(uint32_t(index), out.path()));
        const timespec stamped = modifiedAt(out.file("odd.txt"));
        EXPECT_EQ(stamped.tv_sec, oddSecond);
        EXPECT_EQ(stamped.tv_nsec, c.nanoseconds);
    }
}

// The last part of `zip -s` names the disks of its entries; only its own entries are here.
TEST(SplitArchive, EntriesOnTheServedPartReadAndTheOthersSaySo) {
    ArchiveUnderTest t("split");
    t.openOrFail();
    const uint32_t disk = t.archive.centralDir().thisDisk();
    ASSERT_GT(disk, 0u);
    int here = 0, elsewhere = 0;
    for (uint32_t i = 0; i < t.archive.entryCount(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, i));
        SCOPED_TRACE(header.name());
        if (header.diskStart == disk) {
            ++here;
            EXPECT_TRUE(t.archive.testEntry(i)) << t.archive.lastError();
            continue;
        }
        ++elsewhere;
        try {
            t.archive.testEntry(i);
            ADD_FAILURE() << "read an entry of another part";
        } catch (const CZipException& e) {
            EXPECT_EQ(e.detail(), Detail::multiDisk) << e.what();
            EXPECT_NE(std::string(e.what()).find("one part of a split archive"), std::string::npos);
        }
    }
    EXPECT_GT(here, 0);
    EXPECT_GT(elsewhere, 0);
}

} // namespace
