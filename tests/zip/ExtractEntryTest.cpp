// Testing and extracting single entries: what is refused, what is written, and that a failure
// never leaves a file that looks complete.
#include "TestSupport.h"
#include "ZipTestArchives.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using mgtest::ArchiveUnderTest;
using mgtest::TempDir;
using Detail = CZipException::Detail;
namespace fs = std::filesystem;

namespace {

struct stat statOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::size_t filesBelow(const std::string& folder) {
    std::size_t n = 0;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it)
        ++n;
    return n;
}

template <typename F> Detail detailOf(F&& operation) {
    try {
        operation();
    } catch (const CZipException& e) {
        return e.detail();
    }
    return Detail::none;
}

} // namespace

TEST(ExtractEntry, NamesLeavingTheDestinationAreRefusedBeforeAnythingIsFetched) {
    ArchiveUnderTest t("hostile");
    t.openOrFail();
    TempDir out("mgzip");
    const std::string destination = out.file("a/b/dest");
    fs::create_directories(destination);
    const std::size_t requestsAtOpen = t.source.requests.size();
    for (const char* name :
         {"../evil.txt", "/abs-marrowglen-test.txt", "C:/drive.txt", "a/../../up.txt"}) {
        SCOPED_TRACE(name);
        const int32_t index = t.indexOf(name);
        ASSERT_GE(index, 0);
        try {
            t.archive.extractEntry(static_cast<uint16_t>(index), destination);
            FAIL() << "extracted";
        } catch (const CZipException& e) {
            EXPECT_EQ(e.detail(), Detail::unsafeName);
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
        }
    }
    EXPECT_EQ(t.source.requests.size(), requestsAtOpen);
    EXPECT_EQ(filesBelow(out.path()), 3u); // a, a/b, a/b/dest
    EXPECT_FALSE(fs::exists("/abs-marrowglen-test.txt"));
    EXPECT_TRUE(
        t.archive.extractEntry(static_cast<uint16_t>(t.indexOf("ok/fine.txt")), destination));
    EXPECT_EQ(mgtest::readFile(destination + "/ok/fine.txt"), "fine\n");
}

TEST(ExtractEntry, WithoutPathsOnlyTheLastComponentIsUsed) {
    ArchiveUnderTest t("hostile");
    t.openOrFail();
    TempDir out("mgzip");
    ASSERT_TRUE(
        t.archive.extractEntry(static_cast<uint16_t>(t.indexOf("../evil.txt")), out.path(), false));
    EXPECT_EQ(mgtest::readFile(out.file("evil.txt")), "evil\n");
    ASSERT_TRUE(t.archive.extractEntry(0, out.path(), false, "renamed.txt"));
    EXPECT_EQ(mgtest::readFile(out.file("renamed.txt")), "evil\n");
    EXPECT_EQ(detailOf([&] { t.archive.extractEntry(0, out.path(), true, "../x.txt"); }),
              Detail::unsafeName);
    EXPECT_EQ(detailOf([&] { t.archive.extractEntry(0, out.path(), false, ".."); }),
              Detail::unsafeName);
}

TEST(ExtractEntry, SymbolicLinkBecomesARegularFileHoldingItsTarget) {
    ArchiveUnderTest t("symlink");
    t.openOrFail();
    TempDir out("mgzip");
    const auto index = static_cast<uint16_t>(t.indexOf("link.txt"));
    ASSERT_TRUE(t.archive.extractEntry(index, out.path()));
    const struct stat info = statOf(out.file("link.txt"));
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(mgtest::readFile(out.file("link.txt")), "target.txt");
}

TEST(ExtractEntry, ExistingLinkAtTheDestinationIsReplacedNotFollowed) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    TempDir out("mgzip");
    mgtest::writeFile(out.file("victim.txt"), "untouched");
    fs::create_symlink(out.file("victim.txt"), out.file("stored.txt"));
    ASSERT_TRUE(t.archive.extractEntry(static_cast<uint16_t>(t.indexOf("stored.txt")), out.path()));
    EXPECT_EQ(mgtest::readFile(out.file("victim.txt")), "untouched");
    EXPECT_TRUE(S_ISREG(statOf(out.file("stored.txt")).st_mode));
}

TEST(ExtractEntry, PermissionsFollowTheEntryWithoutSpecialBits) {
    ArchiveUnderTest t("permissions");
    t.openOrFail();
    TempDir out("mgzip");
    for (uint16_t i = 0; i < t.archive.entryCount(); ++i)
        ASSERT_TRUE(t.archive.extractEntry(i, out.path())) << t.archive.lastError();
    EXPECT_EQ(statOf(out.file("setuid.sh")).st_mode & 07777, 0755u);
    EXPECT_EQ(statOf(out.file("private.txt")).st_mode & 07777, 0600u);
    EXPECT_EQ(statOf(out.file("readonly.txt")).st_mode & 07777, 0444u);
}

TEST(ExtractEntry, ModificationTimeComesFromTheEntry) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    TempDir out("mgzip");
    ASSERT_TRUE(t.archive.extractEntry(0, out.path()));
    std::tm when{};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 5;
    when.tm_mday = 15;
    when.tm_hour = 13;
    when.tm_min = 45;
    when.tm_sec = 30;
    when.tm_isdst = -1;
    EXPECT_EQ(statOf(out.file("deflated.txt")).st_mtime, std::mktime(&when));
}

TEST(ExtractEntry, FoldersMarkedOnlyByTheirSlashOrUnixModeAreFolders) {
    ArchiveUnderTest t("slash_folders");
    t.openOrFail();
    TempDir out("mgzip");
    for (uint16_t i = 0; i < t.archive.entryCount(); ++i) {
        EXPECT_EQ(t.archive.isDirectory(i), i != 1);
        ASSERT_TRUE(t.archive.extractEntry(i, out.path()));
        EXPECT_TRUE(t.archive.testEntry(i));
    }
    EXPECT_TRUE(fs::is_directory(out.file("META-INF")));
    EXPECT_TRUE(fs::is_directory(out.file("unixdir")));
    EXPECT_TRUE(fs::is_regular_file(out.file("META-INF/MANIFEST.MF")));
}

TEST(ExtractEntry, UnsupportedMethodFailsBeforeAnythingIsFetched) {
    ArchiveUnderTest t("unsupported_method");
    t.openOrFail();
    const std::size_t before = t.source.requests.size();
    EXPECT_THROW(t.archive.testEntry(0), CZipException);
    EXPECT_EQ(t.source.requests.size(), before); // neither the local header nor the data
}

TEST(ExtractEntry, FailedExtractionDeletesThePartialFileAndSaysSo) {
    for (const char* name : {"unsupported_method", "stored_short", "bad_crc", "corrupt_deflate"}) {
        SCOPED_TRACE(name);
        ArchiveUnderTest t(name);
        t.openOrFail();
        TempDir out("mgzip");
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, 0));
        try {
            t.archive.extractEntry(0, out.path());
            FAIL() << "extracted";
        } catch (const CZipException& e) {
            if (std::string(name) != "unsupported_method") { // fails before any file is made
                EXPECT_NE(std::string(e.what()).find("partial file was deleted"),
                          std::string::npos);
            }
        }
        EXPECT_FALSE(fs::exists(out.file(header.name())));
        EXPECT_EQ(t.archive.closeEntry({}, true), CZipArchive::closeNothingOpen);
    }
}

TEST(ExtractEntry, CutTransferDeletesThePartialFile) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    t.source.cutAfter = 50000;
    TempDir out("mgzip");
    EXPECT_THROW(t.archive.extractEntry(static_cast<uint16_t>(t.indexOf("large.bin")), out.path()),
                 CZipException);
    EXPECT_FALSE(fs::exists(out.file("large.bin")));
}

TEST(ExtractEntry, StoppedExtractionDeletesThePartialFileAndSaysSo) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    TempDir out("mgzip");
    const auto index = static_cast<uint16_t>(t.indexOf("large.bin"));
    const auto stop = [](void*, uint32_t, void*) { return false; };
    EXPECT_FALSE(t.archive.extractEntry(index, out.path(), true, {}, stop));
    EXPECT_NE(t.archive.lastError().find("stopped"), std::string::npos);
    EXPECT_FALSE(fs::exists(out.file("large.bin")));
    EXPECT_FALSE(t.archive.testEntry(index, stop));
    EXPECT_TRUE(t.archive.testEntry(index)); // nothing stays open
}

TEST(ExtractEntry, ProgressReportsTheBytesProducedSoFar) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    const auto index = static_cast<uint16_t>(t.indexOf("large.bin"));
    std::vector<uint32_t> seen;
    int marker = 0;
    const CZipArchive::ProgressCallback record = [&](void* first, uint32_t done, void* user) {
        EXPECT_EQ(first, nullptr);
        EXPECT_EQ(user, &marker);
        seen.push_back(done);
        return true;
    };
    ASSERT_TRUE(t.archive.testEntry(index, record, &marker));
    // 300,000 bytes in 65,535-byte buffers: four full ones and the rest.
    EXPECT_EQ(seen, (std::vector<uint32_t>{65535, 131070, 196605, 262140, 300000}));
}

TEST(ExtractEntry, DataDescriptorsAreNotReadAndNothingRaisesAfterTheFile) {
    ArchiveUnderTest t("descriptor");
    t.openOrFail();
    TempDir out("mgzip");
    for (uint16_t i = 0; i < t.archive.entryCount(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, i));
        ASSERT_TRUE(header.hasDataDescriptor());
        ASSERT_NO_THROW(EXPECT_TRUE(t.archive.extractEntry(i, out.path())));
        const auto data = t.source.requests.back();
        EXPECT_EQ(uint32_t(data.last - data.first), header.compressedSize);
        EXPECT_EQ(mgtest::crcOfFile(out.path() + "/" + header.name()), header.crc32);
    }
}

TEST(ExtractEntry, DestinationThatCannotBeCreatedRaisesAFileException) {
    ArchiveUnderTest t("folders");
    t.openOrFail();
    TempDir out("mgzip");
    mgtest::writeFile(out.file("Dir"), "a file where a folder should go");
    const auto index = static_cast<uint16_t>(t.indexOf("Dir/a.txt"));
    try {
        t.archive.extractEntry(index, out.path());
        FAIL();
    } catch (const CZipFileException& e) {
        EXPECT_EQ(e.cause(), CZipFileException::Cause::cannotCreate);
    }
    EXPECT_TRUE(t.archive.testEntry(index)); // the entry was released
}

TEST(ExtractEntry, ReadingByHandFollowsTheEntryStates) {
    ArchiveUnderTest t("mixed");
    t.openOrFail();
    ASSERT_TRUE(t.archive.openEntry(0));
    EXPECT_FALSE(t.archive.openEntry(1)); // one entry at a time
    char buffer[100];
    EXPECT_EQ(t.archive.readEntryData(buffer, sizeof buffer), 100u);
    EXPECT_EQ(t.archive.closeEntry(), CZipArchive::closeIncomplete);
    EXPECT_EQ(t.archive.closeEntry(), CZipArchive::closeNothingOpen);
    const auto empty = static_cast<uint16_t>(t.indexOf("empty_deflated.txt"));
    ASSERT_TRUE(t.archive.openEntry(empty));
    EXPECT_EQ(t.archive.readEntryData(buffer, sizeof buffer), 0u);
    EXPECT_EQ(t.archive.closeEntry(), CZipArchive::closeComplete);
    EXPECT_THROW(t.archive.testEntry(999), std::invalid_argument);
}

TEST(ExtractEntry, NamesDifferingInCaseAreFoundBothWays) {
    ArchiveUnderTest t("case_names");
    t.openOrFail();
    EXPECT_EQ(t.archive.findEntry("Readme.txt", true), 0);
    EXPECT_EQ(t.archive.findEntry("README.txt", true), 1);
    EXPECT_EQ(t.archive.findEntry("readme.TXT", true), -1);
    const int32_t either = t.archive.findEntry("readme.TXT", false);
    EXPECT_TRUE(either == 0 || either == 1);
    // The exact name wins, so the entry a list row names is the one extracted.
    EXPECT_EQ(t.archive.findEntry("README.txt", false), 1);
    EXPECT_EQ(t.archive.findEntry("Readme.txt", false), 0);
}
