// The range cache behind the http path: bounded memory, the spill file, and never a wrong
// byte whatever was kept or forgotten.
#include "remote/RangeCache.h"
#include "HttpTestData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

RangeCacheLimits smallLimits(int64_t spillBytes) {
    RangeCacheLimits limits;
    limits.memoryBytes = 256 * 1024;
    limits.segmentBytes = 64 * 1024;
    limits.spillBytes = spillBytes;
    return limits;
}

// Every cached byte at the offsets asked must be the file's own.
void expectOnlyTrueBytes(RangeCache& cache, const std::string& file) {
    std::string buffer(10000, '\0');
    for (int64_t pos = 0; pos < static_cast<int64_t>(file.size()); pos += 4999) {
        std::size_t got = cache.copy(pos, buffer.data(), buffer.size());
        ASSERT_EQ(buffer.substr(0, got), file.substr(static_cast<std::size_t>(pos), got))
            << "at " << pos;
    }
}

TEST(RangeCache, KeepsMemoryBoundedAndServesTheRestFromTheSpillFile) {
    mgtest::TempDir folder("mgtest-rangecache");
    const std::string file = patternBytes(2 * 1024 * 1024, 5);
    RangeCache cache(smallLimits(64LL * 1024 * 1024));
    cache.setSpillFolder(folder.path());
    // Stored in odd pieces, some overlapping what is kept already.
    for (std::size_t pos = 0; pos < file.size(); pos += 70000)
        cache.store(static_cast<int64_t>(pos), file.data() + pos,
                    std::min<std::size_t>(90000, file.size() - pos));
    EXPECT_LE(cache.memoryBytes(), 256u * 1024);
    EXPECT_GT(cache.spilledBytes(), 0);
    for (int64_t pos : {0LL, 1LL, 1000000LL, 2LL * 1024 * 1024 - 1})
        EXPECT_TRUE(cache.contains(pos)) << pos;
    expectOnlyTrueBytes(cache, file);
    cache.clear();
    EXPECT_FALSE(cache.contains(0));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(RangeCache, ForgetsWhatFitsNowhereButNeverServesAWrongByte) {
    mgtest::TempDir folder("mgtest-rangecache");
    const std::string file = patternBytes(3 * 1024 * 1024, 6);
    RangeCache cache(smallLimits(512 * 1024));
    cache.setSpillFolder(folder.path());
    cache.store(0, file.data(), file.size());
    cache.store(0, file.data(), 100); // a repeat changes nothing
    EXPECT_LE(cache.memoryBytes(), 256u * 1024);
    EXPECT_LE(cache.spilledBytes(), 512 * 1024);
    EXPECT_FALSE(cache.contains(2 * 1024 * 1024)) << "more than memory and spill can hold";
    EXPECT_EQ(cache.nextCached(2 * 1024 * 1024), 3 * 1024 * 1024 - 256 * 1024);
    expectOnlyTrueBytes(cache, file);
}

TEST(RangeCache, StreamBytesAreNotSpilled) {
    mgtest::TempDir folder("mgtest-rangecache");
    const std::string file = patternBytes(1024 * 1024, 7);
    RangeCache cache(smallLimits(64LL * 1024 * 1024));
    cache.setSpillFolder(folder.path());
    cache.store(0, file.data(), file.size(), false);
    EXPECT_EQ(cache.spilledBytes(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    expectOnlyTrueBytes(cache, file);
}

} // namespace
