// The rows' texts: sizes, paths, exact rates and the icon and type cache.
#include "CoreTestSupport.h"
#include "RawZip.h"

#include "MemorySource.h"

#include <gtest/gtest.h>

#include <map>

using namespace coretest;

namespace {

std::vector<RawEntry> rateEntries() {
    return {
        {"docs/img/29of100.dat", std::string(29, 'x'), 100},
        {"1of3.dat", "x", 3},
        {"110of100.dat", std::string(110, 'x'), 100},
        {"empty.dat", "", -1},
        {"huge.iso", "0123456789", 3000000000LL},
    };
}

std::map<std::string, EntryRow> listRows(bool winzipRate, std::vector<RawEntry> entries) {
    mgtest::MemorySource source(buildZip(entries));
    DocHarness h(source);
    h.settings.winzipRate = winzipRate;
    EXPECT_TRUE(h.open());
    std::map<std::string, EntryRow> rows;
    for (const EntryRow& row : h.view.rows())
        rows[row.name.str()] = row;
    return rows;
}

} // namespace

TEST(DescribeEntry, RatesAreExactAndTruncated) {
    auto left = listRows(false, rateEntries());
    EXPECT_EQ(left["29of100.dat"].rate.str(), "29 %"); // floating point shows 28 %
    EXPECT_EQ(left["1of3.dat"].rate.str(), "33 %");
    EXPECT_EQ(left["110of100.dat"].rate.str(), "110 %");
    EXPECT_EQ(left["empty.dat"].rate.str(), "0 %");

    auto compressed = listRows(true, rateEntries());
    EXPECT_EQ(compressed["29of100.dat"].rate.str(), "71 %");
    EXPECT_EQ(compressed["1of3.dat"].rate.str(), "66 %");
    EXPECT_EQ(compressed["110of100.dat"].rate.str(), "-10 %");
    EXPECT_EQ(compressed["empty.dat"].rate.str(), "0 %");
}

TEST(DescribeEntry, SizesArePrintedUnsignedWithSeparatorsAndPathsKeepTheirSlash) {
    auto rows = listRows(false, rateEntries());
    EXPECT_EQ(rows["huge.iso"].size.str(), "3,000,000,000");
    EXPECT_EQ(rows["huge.iso"].packed.str(), "10");
    EXPECT_EQ(rows["huge.iso"].path.str(), "");
    EXPECT_EQ(rows["29of100.dat"].path.str(), "docs/img/");
    EXPECT_EQ(rows["29of100.dat"].size.str(), "100");
}

TEST(DescribeEntry, OneCacheSlotPerExtensionWhateverItsCase) {
    mgtest::MemorySource source(buildZip({{"A.TXT", "a"},
                                          {"b.txt", "b"},
                                          {"setup.EXE", "MZ"},
                                          {"tool.com", "MZ"},
                                          {"Readme", "r"},
                                          {"c.txt", "c"}}));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    std::map<std::string, EntryRow> rows;
    for (const EntryRow& row : h.view.rows())
        rows[row.name.str()] = row;

    EXPECT_EQ(rows["A.TXT"].iconIndex, rows["b.txt"].iconIndex);
    EXPECT_EQ(rows["A.TXT"].iconIndex, rows["c.txt"].iconIndex);
    EXPECT_EQ(rows["b.txt"].type.str(), "txt type");
    EXPECT_EQ(rows["setup.EXE"].iconIndex, 0);
    EXPECT_EQ(rows["tool.com"].iconIndex, 0);
    EXPECT_EQ(rows["setup.EXE"].type.str(), "exe type");

    // txt and Readme: asked once each; exe and com: their type every time, never cached.
    const std::vector<std::string> asked = h.fileTypes.asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "tmpfile.txt"), 1);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "Readme"), 1); // known by its whole name
    EXPECT_EQ(asked.size(), 4u);

    // The invariant: slot i describes one extension; 0 is the program's own.
    IconTypeCache& cache = h.doc->iconCache();
    ASSERT_EQ(cache.size(), 3);
    EXPECT_EQ(cache.slot(0).iconKey, IconTypeCache::programIconKey);
    EXPECT_EQ(cache.slot(rows["b.txt"].iconIndex).extension, "txt");
    EXPECT_EQ(cache.slot(rows["b.txt"].iconIndex).iconKey, "type/txt");
    EXPECT_EQ(cache.slot(rows["Readme"].iconIndex).extension, "readme");
}

TEST(DescribeEntry, AnUnreadableIndexGivesAnEmptyRow) {
    mgtest::MemorySource source(buildZip({{"a.txt", "a"}}));
    DocHarness h(source);
    ASSERT_TRUE(h.open());
    EntryRow row;
    EXPECT_TRUE(h.doc->describeEntry(row, 7));
    EXPECT_EQ(row.name.str(), "");
    EXPECT_EQ(row.path.str(), "");
    EXPECT_EQ(row.size.str(), "0");
    EXPECT_EQ(row.rate.str(), "0 %");
}
