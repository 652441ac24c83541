// Every compression method the engine reads, on archives made by other programs: each entry
// tests sound and extracts to exactly the bytes that were packed, whatever the size of the
// reads. Methods it does not read fail per entry, by name, before anything is fetched.
#include "MethodArchives.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using Detail = CZipException::Detail;
using mgtest::MethodArchive;

namespace {

// Every entry of `name` extracted and compared with what was packed.
void expectEveryEntryReads(const std::string& name, const std::string& password = {}) {
    MethodArchive t(name);
    if (!password.empty())
        t.archive.setPassword(password);
    mgtest::TempDir out("mgzip-methods");
    ASSERT_GT(t.archive.entryCount(), 0);
    for (uint16_t i = 0; i < t.archive.entryCount(); ++i) {
        CZipFileHeader header;
        ASSERT_TRUE(t.archive.getEntryInfo(header, i));
        SCOPED_TRACE(name + ": " + header.name());
        EXPECT_TRUE(t.archive.testEntry(i)) << t.archive.lastError();
        ASSERT_TRUE(t.archive.extractEntry(i, out.path())) << t.archive.lastError();
        EXPECT_EQ(mgtest::readFile(out.file(header.name())), mgtest::plainContents(header.name()));
    }
}

class ReadableMethod : public testing::TestWithParam<std::string> {};

TEST_P(ReadableMethod, EveryEntryReadsAsPacked) {
    expectEveryEntryReads(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Writers, ReadableMethod,
                         testing::Values("deflate64", "bzip2_7z", "bzip2_py", "lzma_eos",
                                         "lzma_noeos", "lzma_py", "xz_7z", "xz_tool", "zstd_tool"));

TEST(Methods, ReadsOfAnySizeGiveTheSameBytes) {
    struct Case {
        const char* archive;
        const char* entry;
    };
    for (const Case c : {Case{"deflate64", "repeat.bin"}, Case{"deflate64", "zeros.bin"},
                         Case{"lzma_noeos", "text.txt"}, Case{"zstd_tool", "both.bin"},
                         Case{"bzip2_7z", "text.txt"}, Case{"xz_7z", "repeat.bin"}}) {
        SCOPED_TRACE(std::string(c.archive) + ": " + c.entry);
        MethodArchive t(c.archive);
        ASSERT_TRUE(t.archive.openEntry(t.indexOf(c.entry)));
        std::string got;
        std::vector<char> buffer(4200);
        for (uint32_t step = 1, n = 0;; step = step % 4099 + 97) {
            n = t.archive.readEntryData(buffer.data(), step);
            if (n == 0)
                break;
            got.append(buffer.data(), n);
        }
        EXPECT_EQ(t.archive.closeEntry(), CZipArchive::closeComplete);
        EXPECT_TRUE(got == mgtest::plainContents(c.entry)) << got.size() << " bytes";
    }
}

// The central directory's packed size of text.txt cut to a third: the decoder runs out of
// input in the middle of its data.
std::vector<unsigned char> withTextCut(std::vector<unsigned char> bytes) {
    unsigned char* packed = &bytes[mgtest::centralHeaderOf(bytes, "text.txt") + 20];
    const uint32_t size = (packed[0] | packed[1] << 8 | packed[2] << 16) / 3;
    packed[0] = size & 0xFF, packed[1] = (size >> 8) & 0xFF, packed[2] = size >> 16;
    return bytes;
}

TEST(Methods, DataThatEndsTooSoonFailsInsteadOfHanging) {
    for (const char* name :
         {"deflate64", "bzip2_py", "lzma_eos", "lzma_noeos", "xz_tool", "zstd_tool"}) {
        SCOPED_TRACE(name);
        MethodArchive t(withTextCut(mgtest::methodArchiveBytes(name)));
        mgtest::TempDir out("mgzip-methods");
        try {
            t.archive.extractEntry(t.indexOf("text.txt"), out.path());
            FAIL() << "extracted";
        } catch (const CZipException& e) {
            EXPECT_FALSE(e.isEntryUnreadable()) << e.what();
        }
        EXPECT_TRUE(std::filesystem::is_empty(out.path()));
    }
}

TEST(Methods, UnreadMethodsFailPerEntryByNameBeforeAnythingIsFetched) {
    struct Case {
        const char* archive;
        const char* entry;
        const char* message;
    };
    for (const Case c : {
             Case{"ppmd", "text.txt", "compression method PPMd (98) is not supported"},
             Case{"odd_methods", "imploded.txt", "compression method implode (6) is not supported"},
             Case{"odd_methods", "shrunk.txt", "compression method shrink (1) is not supported"},
             Case{"odd_methods", "future.txt", "compression method 77 is not supported"},
             // The method under the encryption is named, not 99, and no password is asked.
             Case{"aes_ppmd", "text.txt", "compression method PPMd (98) is not supported"},
         }) {
        SCOPED_TRACE(c.entry);
        MethodArchive t(c.archive);
        int asked = 0;
        t.archive.setPasswordProvider([&](const CZipArchive::PasswordRequest&) {
            ++asked;
            return std::optional<std::string>("SECRET");
        });
        const std::size_t requests = t.source.requests.size();
        try {
            t.archive.testEntry(t.indexOf(c.entry));
            FAIL() << "tested sound";
        } catch (const CZipException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(e.detail(), Detail::unsupportedMethod);
            EXPECT_TRUE(e.isEntryUnreadable());
        }
        EXPECT_EQ(t.source.requests.size(), requests);
        EXPECT_EQ(asked, 0);
    }
    MethodArchive t("odd_methods");
    EXPECT_TRUE(t.archive.testEntry(t.indexOf("plain.txt")));
}

} // namespace
