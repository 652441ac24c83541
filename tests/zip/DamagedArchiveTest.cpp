// One crafted archive per inconsistency, each failing with its own code and detail, at open
// or when its entry is tested, and leaving the archive usable afterwards.
#include "ZipTestArchives.h"

#include <gtest/gtest.h>

using Detail = CZipException::Detail;

namespace {

struct Damage {
    const char* archive;
    bool atOpen;
    int32_t code;
    Detail detail;
};

// Shown in the test's listing instead of the structure's bytes.
void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.archive;
}

class DamagedArchive : public testing::TestWithParam<Damage> {};

TEST_P(DamagedArchive, FailsWithItsOwnCodeAndDetail) {
    const Damage& d = GetParam();
    mgtest::ArchiveUnderTest t(d.archive);
    try {
        t.open();
        ASSERT_FALSE(t.archive.isClosed());
        ASSERT_FALSE(d.atOpen) << "opened";
        t.archive.testEntry(0);
        FAIL() << "tested sound";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.code(), d.code) << e.what();
        EXPECT_EQ(e.detail(), d.detail) << e.what();
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_EQ(t.archive.isClosed(), d.atOpen);
    if (!d.atOpen) { // the failed entry was released
        EXPECT_EQ(t.archive.closeEntry({}, true), CZipArchive::closeNothingOpen);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, DamagedArchive,
    testing::Values(Damage{"directory_outside", true, 10, Detail::directoryOutOfBounds},
                    Damage{"count_too_large", true, 10, Detail::tooManyEntries},
                    Damage{"entry_outside", false, 10, Detail::entryOutOfBounds},
                    Damage{"encrypted", false, 10, Detail::passwordNeeded},
                    Damage{"unsupported_method", false, 10, Detail::unsupportedMethod},
                    Damage{"stored_short", false, 10, Detail::storedSizeMismatch},
                    Damage{"corrupt_deflate", false, 6, Detail::inflateFailed},
                    Damage{"bad_crc", false, 11, Detail::badCrc},
                    Damage{"zip64_extra_missing", true, 10, Detail::impossibleValue},
                    Damage{"zip64_extra_short", true, 10, Detail::badZip64},
                    Damage{"zip64_record_missing", true, 10, Detail::badZip64},
                    Damage{"zip64_size_max", true, 10, Detail::impossibleValue},
                    Damage{"zip64_packed_past_end", true, 10, Detail::impossibleValue},
                    Damage{"zip64_count_too_large", true, 10, Detail::tooManyEntries},
                    Damage{"zip64_directory_outside", true, 10, Detail::directoryOutOfBounds},
                    Damage{"zip64_local_mismatch", false, 10, Detail::localMismatch}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.archive); });

} // namespace
