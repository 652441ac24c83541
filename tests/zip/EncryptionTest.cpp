// Encrypted entries made by 7-Zip and Info-ZIP: read with the right password, refused
// without one or with a wrong one (nothing fetched or left on disk, the password in no
// message), the provider asked as the viewer will ask the user, tampered AES data caught.
#include "MethodArchives.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using Detail = CZipException::Detail;
using mgtest::MethodArchive;

namespace {

const char* const encryptedArchives[] = {"aes128",      "aes192",       "aes256",        "ae1",
                                         "aes128_lzma", "zipcrypto_7z", "zipcrypto_info"};

TEST(Encryption, EveryKindReadsWithItsPassword) {
    for (const char* name : encryptedArchives) {
        SCOPED_TRACE(name);
        MethodArchive t(name);
        t.archive.setPassword("SECRET");
        mgtest::TempDir out("mgzip-crypto");
        for (uint16_t i = 0; i < t.archive.entryCount(); ++i) {
            CZipFileHeader header;
            ASSERT_TRUE(t.archive.getEntryInfo(header, i));
            SCOPED_TRACE(header.name());
            EXPECT_TRUE(t.archive.testEntry(i));
            ASSERT_TRUE(t.archive.extractEntry(i, out.path())) << t.archive.lastError();
            EXPECT_TRUE(mgtest::readFile(out.file(header.name())) ==
                        mgtest::plainContents(header.name()));
        }
    }
}

// What extracting `entry` raises, with the file it would have written checked absent.
CZipException failureOf(MethodArchive& t, const std::string& entry) {
    mgtest::TempDir out("mgzip-crypto");
    try {
        t.archive.extractEntry(t.indexOf(entry), out.path());
    } catch (const CZipException& e) {
        EXPECT_TRUE(std::filesystem::is_empty(out.path())) << entry;
        return e;
    }
    ADD_FAILURE() << entry << " was extracted";
    return CZipException(0, "");
}

TEST(Encryption, MissingOrWrongPasswordFailsTheEntryAndLeavesNoFile) {
    for (const char* name : encryptedArchives) {
        SCOPED_TRACE(name);
        MethodArchive t(name);
        const std::size_t requests = t.source.requests.size();
        const CZipException missing = failureOf(t, "text.txt");
        EXPECT_EQ(missing.detail(), Detail::passwordNeeded) << missing.what();
        EXPECT_TRUE(missing.isEntryUnreadable());
        EXPECT_EQ(t.source.requests.size(), requests); // nothing fetched without a password

        t.archive.setPassword("hunter2-not-it");
        const CZipException wrong = failureOf(t, "text.txt");
        EXPECT_EQ(wrong.detail(), Detail::wrongPassword) << wrong.what();
        EXPECT_TRUE(wrong.isEntryUnreadable());
        EXPECT_EQ(std::string(wrong.what()).find("hunter2"), std::string::npos);
    }
}

TEST(Encryption, TheProviderIsAskedOnceAgainAfterAWrongAnswerAndMayCancel) {
    MethodArchive t("aes256");
    std::vector<std::pair<std::string, bool>> asked;
    std::vector<std::optional<std::string>> answers = {"wrong", "SECRET"};
    t.archive.setPasswordProvider([&](const CZipArchive::PasswordRequest& r) {
        asked.emplace_back(r.entryName, r.afterWrongPassword);
        std::optional<std::string> answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.erase(answers.begin());
        }
        return answer;
    });
    EXPECT_TRUE(t.archive.testEntry(t.indexOf("text.txt")));
    EXPECT_TRUE(t.archive.testEntry(t.indexOf("zeros.bin"))); // the password was kept
    EXPECT_EQ(asked, (decltype(asked){{"text.txt", false}, {"text.txt", true}}));

    t.archive.close();
    t.archive.open(String("http://127.0.0.1/archive.zip"));
    EXPECT_FALSE(t.archive.hasPassword()); // closing forgets it
    answers = {"wrong"};                   // then the question is cancelled
    asked.clear();
    EXPECT_EQ(failureOf(t, "text.txt").detail(), Detail::wrongPassword);
    EXPECT_EQ(asked, (decltype(asked){{"text.txt", false}, {"text.txt", true}}));
    EXPECT_EQ(failureOf(t, "text.txt").detail(), Detail::passwordNeeded);
}

// Flips one byte in the middle of the named entry's data.
std::vector<unsigned char> tampered(const std::string& archive, const std::string& entry) {
    MethodArchive t(archive);
    CZipFileHeader header;
    t.archive.getEntryInfo(header, t.indexOf(entry));
    std::vector<unsigned char> bytes = mgtest::methodArchiveBytes(archive);
    const std::size_t local = header.localHeaderOffset;
    const std::size_t extra = bytes[local + 28] | bytes[local + 29] << 8;
    bytes[local + 30 + header.fileNameLength + extra + header.compressedSize / 2] ^= 0x40;
    return bytes;
}

TEST(Encryption, TamperedAesDataFailsAuthenticationBeforeTheFileIsKept) {
    // random.bin is stored under the encryption: only the authentication code can tell.
    MethodArchive t(tampered("aes256", "random.bin"));
    t.archive.setPassword("SECRET");
    const CZipException e = failureOf(t, "random.bin");
    EXPECT_EQ(e.detail(), Detail::authenticationFailed) << e.what();
    EXPECT_FALSE(e.isEntryUnreadable());
    EXPECT_THROW(t.archive.testEntry(t.indexOf("random.bin")), CZipException);
    EXPECT_TRUE(t.archive.testEntry(t.indexOf("text.txt")));
}

TEST(Encryption, OnlyAe1EntriesHaveTheirCrcChecked) {
    for (const char* name : {"ae1", "aes256"}) {
        SCOPED_TRACE(name);
        std::vector<unsigned char> bytes = mgtest::methodArchiveBytes(name);
        bytes[mgtest::centralHeaderOf(bytes, "tiny.txt") + 16] ^= 0xFF; // its CRC-32
        MethodArchive t(bytes);
        t.archive.setPassword("SECRET");
        if (std::string(name) == "ae1")
            EXPECT_EQ(failureOf(t, "tiny.txt").detail(), Detail::badCrc);
        else
            EXPECT_TRUE(t.archive.testEntry(t.indexOf("tiny.txt")));
    }
}

} // namespace
