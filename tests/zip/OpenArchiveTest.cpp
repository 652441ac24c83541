// Opening: the tail search, the end record with its comment, the directory, and the ways an
// archive fails to open.
#include "ZipTestArchives.h"

#include <gtest/gtest.h>

using mgtest::ArchiveUnderTest;
using Range = mgtest::MemorySource::Range;
using Detail = CZipException::Detail;

TEST(OpenArchive, LongestCommentIsFoundInTheThirdRequestAndArrivesWhole) {
    ArchiveUnderTest t("comment_max");
    t.openOrFail();
    const auto& s = t.source;
    const int32_t n = s.length();
    ASSERT_GE(s.requests.size(), 5u);
    EXPECT_EQ(s.requests[0], s.fromEnd(32768, 0));
    EXPECT_EQ(s.requests[1], s.fromEnd(65533, 32765));
    EXPECT_EQ(s.requests[2], s.fromEnd(65557, 65530));
    // The end record's request reaches the end, so the comment comes with it.
    EXPECT_EQ(s.requests[3], (Range{n - 65557, n}));
    EXPECT_EQ(s.requests[4].last, n);
    EXPECT_EQ(s.requests.size(), 5u);
    const CZipAutoBuffer& comment = t.archive.centralDir().comment();
    EXPECT_EQ(comment.size(), 65535u);
    EXPECT_EQ(comment.view(), std::string(65535, 'c'));
    EXPECT_EQ(t.archive.entryCount(), 1);
    EXPECT_TRUE(t.archive.testEntry(0));
}

TEST(OpenArchive, TenByteFileIsOneRequestAndNoArchive) {
    ArchiveUnderTest t("ten_bytes");
    try {
        t.open();
        FAIL() << "opened a 10-byte file";
    } catch (const CZipFileException& e) {
        EXPECT_EQ(e.cause(), CZipFileException::Cause::endRecordNotFound);
    }
    EXPECT_EQ(t.source.requests, (std::vector<Range>{{0, 10}}));
    EXPECT_TRUE(t.archive.isClosed());
}

TEST(OpenArchive, EmptyArchiveWithRecordAtOffsetZeroCountsAsNotFound) {
    ArchiveUnderTest t("empty");
    EXPECT_THROW(t.open(), CZipFileException);
    EXPECT_TRUE(t.archive.isClosed());
    EXPECT_EQ(t.archive.entryCount(), 0);
}

TEST(OpenArchive, SignatureInsideTheCommentIsPassedOver) {
    ArchiveUnderTest t("comment_signature");
    t.openOrFail();
    ASSERT_EQ(t.archive.entryCount(), 1);
    EXPECT_EQ(t.archive.centralDir().comment().view().substr(0, 7), "before ");
    EXPECT_TRUE(t.archive.testEntry(0));
}

TEST(OpenArchive, BytesAfterTheEndRecordAreAcceptedWhenTheDirectoryIsThere) {
    ArchiveUnderTest t("trailing_bytes");
    t.openOrFail();
    ASSERT_EQ(t.archive.entryCount(), 1);
    EXPECT_TRUE(t.archive.testEntry(0));
}

TEST(OpenArchive, BytesBeforeTheArchiveShiftEveryOffset) {
    ArchiveUnderTest t("prepended");
    t.openOrFail();
    EXPECT_EQ(t.archive.centralDir().bytesBeforeArchive(), 1000);
    EXPECT_TRUE(t.archive.testEntry(0));
    EXPECT_TRUE(t.archive.testEntry(1));
}

TEST(OpenArchive, DirectoryOutsideTheArchiveFailsClearlyAndLeavesItClosed) {
    ArchiveUnderTest t("directory_outside");
    try {
        t.open();
        FAIL() << "opened an archive whose directory lies outside it";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.code(), CZipException::badZipFile);
        EXPECT_EQ(e.detail(), Detail::directoryOutOfBounds);
        EXPECT_NE(std::string(e.what()).find("outside"), std::string::npos);
    }
    EXPECT_TRUE(t.archive.isClosed());
    EXPECT_EQ(t.source.disconnects, 1);
}

TEST(OpenArchive, LengthBeyond32BitsIsRefused) {
    ArchiveUnderTest t("mixed");
    t.source.setLength(-11);
    try {
        t.open();
        FAIL();
    } catch (const CZipException& e) {
        EXPECT_EQ(e.detail(), Detail::archiveTooLarge);
    }
    EXPECT_TRUE(t.source.requests.empty());
    EXPECT_TRUE(t.archive.isClosed());
}

TEST(OpenArchive, SourceThatCannotConnectOpenOrPositionLeavesItClosedQuietly) {
    for (int way = 0; way < 3; ++way) {
        ArchiveUnderTest t("mixed");
        t.source.failConnect = way == 0;
        t.source.failOpen = way == 1;
        if (way == 2)
            t.source.setLength(ArchiveSource::LengthUnknown);
        EXPECT_NO_THROW(t.open());
        EXPECT_TRUE(t.archive.isClosed());
        EXPECT_TRUE(t.source.requests.empty());
    }
}

TEST(OpenArchive, UnservedRangesReportTheSourcesReason) {
    ArchiveUnderTest tail("mixed");
    tail.source.failRequestsFrom = 0;
    try {
        tail.open();
        FAIL();
    } catch (const CZipFileException& e) {
        EXPECT_EQ(e.cause(), CZipFileException::Cause::generic);
        EXPECT_NE(std::string(e.what()).find("the test source refuses"), std::string::npos);
    }
    ArchiveUnderTest directory("mixed");
    directory.source.failRequestsFrom = 2; // tail and end record only
    try {
        directory.open();
        FAIL();
    } catch (const CZipException& e) {
        EXPECT_EQ(e.code(), CZipException::badZipFile);
    }
    EXPECT_TRUE(directory.archive.isClosed());
}

TEST(OpenArchive, CutTransferOfTheDirectoryIsADamagedArchive) {
    ArchiveUnderTest t("many_entries");
    t.source.cutAfter = 40000;
    EXPECT_THROW(t.open(), CZipException);
    EXPECT_TRUE(t.archive.isClosed());
}

TEST(OpenArchive, EveryCentralHeaderIsAnnounced) {
    ArchiveUnderTest t("folders");
    int announced = 0;
    t.archive.setEntryReadHandler([&] { ++announced; });
    t.openOrFail();
    EXPECT_EQ(announced, t.archive.entryCount());
}

TEST(OpenArchive, SixtyFiveThousandEntriesAreListedAndFound) {
    ArchiveUnderTest t("many_entries");
    t.openOrFail();
    ASSERT_EQ(t.archive.entryCount(), 65535);
    EXPECT_EQ(t.indexOf("e65534.txt"), 65534);
    EXPECT_EQ(t.indexOf("e00000.txt"), 0);
    EXPECT_EQ(t.indexOf("e65535.txt"), -1);
    EXPECT_TRUE(t.archive.testEntry(65534));
}

TEST(OpenArchive, CloseReleasesEverythingAndAllowsAnotherOpen) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    ASSERT_TRUE(t.archive.openEntry(0));
    t.archive.close();
    EXPECT_TRUE(t.archive.isClosed());
    EXPECT_EQ(t.archive.entryCount(), 0);
    EXPECT_EQ(t.archive.storage().currentFile(), nullptr);
    EXPECT_EQ(t.source.disconnects, 1);
    CZipFileHeader header;
    EXPECT_FALSE(t.archive.getEntryInfo(header, 0));
    t.openOrFail();
    EXPECT_EQ(t.archive.entryCount(), 5);
}
