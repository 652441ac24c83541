// The engine's small parts: names, MS-DOS times, error codes, buffers and the storage.
#include "ZipTestArchives.h"
#include "zip/ZipNames.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace zipnames;

TEST(ZipNames, ValidUtf8IsKeptAndOtherBytesAreCodePage437) {
    EXPECT_EQ(toUtf8Name("caf\xc3\xa9.txt", false), "caf\xc3\xa9.txt");
    EXPECT_EQ(toUtf8Name("caf\x82-\x9c.txt", false), "caf\xc3\xa9-\xc2\xa3.txt");
    EXPECT_EQ(toUtf8Name("\xb0\xdb", false), "\xe2\x96\x91\xe2\x96\x88"); // shades, block
    EXPECT_EQ(toUtf8Name("\xff", true), "\xff");                          // the flag is trusted
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));                                // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));                            // surrogate
    EXPECT_FALSE(isValidUtf8("\xe6\x97"));                                // cut short
    EXPECT_TRUE(isValidUtf8("\xf0\x9f\x93\xa6"));
}

TEST(ZipNames, NamesThatLeaveTheFolderAreRecognised) {
    for (const char* bad : {"..", "../x", "a/../../x", "a/..", "/etc/passwd", "C:x", "c:/x", ""})
        EXPECT_NE(unsafeNameReason(bad), "") << bad;
    EXPECT_NE(unsafeNameReason(std::string_view("a\0b", 3)), "");
    for (const char* good : {"a", "a/b/c.txt", "..a", "a..", "a/.../b", "1:/x", "ab:c", "a\\..\\b"})
        EXPECT_EQ(unsafeNameReason(good), "") << good;
    EXPECT_EQ(lastComponent("a/b/c.txt"), "c.txt");
    EXPECT_EQ(lastComponent("c.txt"), "c.txt");
}

TEST(ZipTime, DosFieldsConvertAndImpossibleDatesAreRefused) {
    // 2021-06-15 13:45:30
    const uint16_t date = ((2021 - 1980) << 9) | (6 << 5) | 15;
    const uint16_t time = (13 << 11) | (45 << 5) | 15;
    EXPECT_EQ(dosToDateTime(date, time).iso(), "2021-06-15T13:45:30");
    std::tm parts{};
    const std::time_t t = dosToLocalTime(date, time);
    localtime_r(&t, &parts);
    EXPECT_EQ(parts.tm_hour, 13);
    EXPECT_EQ(parts.tm_mday, 15);
    EXPECT_THROW(dosToLocalTime(0, 0), std::invalid_argument); // month 0
    EXPECT_EQ(dosToDateTime(0, 0).iso(), "1980-00-00T00:00:00");
}

TEST(ZipException, InternalNumbersMapToTheDocumentedCodes) {
    EXPECT_EQ(CZipException::codeFromInternal(Z_STREAM_END), 2);
    EXPECT_EQ(CZipException::codeFromInternal(Z_NEED_DICT), 3);
    EXPECT_EQ(CZipException::codeFromInternal(Z_ERRNO), 4);
    EXPECT_EQ(CZipException::codeFromInternal(Z_DATA_ERROR), 6);
    EXPECT_EQ(CZipException::codeFromInternal(Z_VERSION_ERROR), 9);
    for (int internal = -101; internal >= -109; --internal)
        EXPECT_EQ(CZipException::codeFromInternal(internal), 10 + (-101 - internal));
    EXPECT_EQ(CZipException::codeFromInternal(-110), 1);
    EXPECT_EQ(CZipException::codeFromInternal(0), 1);
}

TEST(ZipAutoBuffer, SameSizeKeepsTheBlockOtherSizesReplaceIt) {
    CZipAutoBuffer buffer;
    char* block = buffer.allocate(8);
    std::memcpy(block, "abcdefgh", 8);
    EXPECT_EQ(buffer.allocate(8), block);
    EXPECT_EQ(buffer.view(), "abcdefgh");
    buffer.allocate(8, true);
    EXPECT_EQ(buffer.view(), std::string(8, '\0'));
    CZipAutoBuffer copy(buffer);
    EXPECT_NE(copy.data(), buffer.data());
    EXPECT_EQ(buffer.allocate(0), nullptr);
    EXPECT_FALSE(buffer.isAllocated());
    EXPECT_EQ(copy.size(), 8u);
}

TEST(ZipStorage, ShortReadsRaiseAndAClosedStorageHasNothingToRead) {
    mgtest::MemorySource source(std::vector<unsigned char>(100, 'x'));
    CZipStorage storage;
    source.setStorageFileSlot(storage.fileSlot());
    storage.setDiskCount(0);
    source.requestRange(0, 22, true); // 23 bytes, as over HTTP
    char buffer[32];
    EXPECT_EQ(storage.read(buffer, 22, true), 22u);
    source.requestRange(97, 100, true); // 3 bytes left
    try {
        storage.read(buffer, 4, true);
        FAIL();
    } catch (const CZipException& e) {
        EXPECT_EQ(e.code(), CZipException::badZipFile);
        EXPECT_EQ(e.detail(), CZipException::Detail::shortRead);
        EXPECT_EQ(e.path(), "http://127.0.0.1/archive.zip");
    }
    storage.close(false);
    EXPECT_FALSE(storage.isOpen());
    EXPECT_EQ(storage.currentFile(), nullptr);
    EXPECT_THROW(storage.read(buffer, 1, true), CZipException);
}

TEST(ZipStorage, AnotherVolumeOfASplitArchiveIsUnavailable) {
    CZipStorage storage;
    storage.setDiskCount(2);
    EXPECT_EQ(storage.spanMode(), CZipStorage::volumeFiles);
    EXPECT_EQ(storage.lastDisk(), 2);
    EXPECT_NO_THROW(storage.changeDisk(2));
    EXPECT_THROW(storage.changeDisk(0), CZipFileException);
}
