// The list's sort rules: primary keys, direction, tie-breaks and the number forms.
#include "ui/EntryListModel.h"
#include "ui/ListRow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ListRow row(const QString& name, const QString& path, const QString& size = "0",
            const QString& rate = "0 %", const QString& type = "Text", uint32_t number = 0) {
    return ListRow::fromTexts({name, type, size, rate, size, path}, -1, number);
}

std::vector<QString> namesAfterSort(std::vector<ListRow> rows, int code, bool descending) {
    EntryListModel model;
    for (ListRow& r : rows)
        model.addRow(std::move(r));
    model.sortBy(code, descending);
    std::vector<QString> names;
    for (int i = 0; i < model.count(); ++i)
        names.push_back(model.row(i).cells[ColPath] + model.row(i).cells[ColName]);
    return names;
}

} // namespace

TEST(SortNumbers, SeparatorsAreIgnoredAndRatesAreSigned) {
    EXPECT_EQ(sorting::numberValue("999"), 999u);
    EXPECT_EQ(sorting::numberValue("1,000"), 1000u);
    EXPECT_EQ(sorting::numberValue("12,345,678"), 12345678u);
    EXPECT_EQ(sorting::numberValue("3,000,000,000"), 3000000000u);
    EXPECT_EQ(sorting::numberValue(""), 0u);
    EXPECT_EQ(sorting::rateValue("-3 %"), -3);
    EXPECT_EQ(sorting::rateValue("45 %"), 45);
    EXPECT_EQ(sorting::rateValue("0 %"), 0);
}

TEST(SortRows, SizesSortNumericallyNotAsText) {
    const auto names =
        namesAfterSort({row("c", "", "12,345,678"), row("a", "", "1,000"), row("b", "", "999")},
                       sorting::BySize, false);
    EXPECT_EQ(names, (std::vector<QString>{"b", "a", "c"}));
    const auto reversed =
        namesAfterSort({row("c", "", "12,345,678"), row("a", "", "1,000"), row("b", "", "999")},
                       sorting::BySize, true);
    EXPECT_EQ(reversed, (std::vector<QString>{"c", "a", "b"}));
}

TEST(SortRows, RatesSortNumerically) {
    const auto names = namesAfterSort(
        {row("x", "", "1", "45 %"), row("y", "", "1", "-3 %"), row("z", "", "1", "0 %")},
        sorting::ByRate, false);
    EXPECT_EQ(names, (std::vector<QString>{"y", "z", "x"}));
}

TEST(SortRows, NameTieKeepsFoldersAscendingInBothDirections) {
    const std::vector<ListRow> rows = {row("readme", "b/"), row("readme", "a/"), row("Zed", "")};
    EXPECT_EQ(namesAfterSort(rows, sorting::ByName, false),
              (std::vector<QString>{"a/readme", "b/readme", "Zed"}));
    EXPECT_EQ(namesAfterSort(rows, sorting::ByName, true),
              (std::vector<QString>{"Zed", "a/readme", "b/readme"}));
}

TEST(SortRows, PathTieSortsNamesAscending) {
    const std::vector<ListRow> rows = {row("b", "x/"), row("A", "x/"), row("c", "y/")};
    EXPECT_EQ(namesAfterSort(rows, sorting::ByPath, true),
              (std::vector<QString>{"y/c", "x/A", "x/b"}));
}

TEST(SortRows, NumberTiesGoByPathAscendingThenNameInTheChosenDirection) {
    const std::vector<ListRow> rows = {row("a", "p/", "5"), row("b", "p/", "5"),
                                       row("c", "o/", "5"), row("d", "", "9")};
    EXPECT_EQ(namesAfterSort(rows, sorting::BySize, false),
              (std::vector<QString>{"o/c", "p/a", "p/b", "d"}));
    EXPECT_EQ(namesAfterSort(rows, sorting::BySize, true),
              (std::vector<QString>{"d", "o/c", "p/b", "p/a"}));
}

TEST(SortRows, TypeSortsCaseInsensitivelyWithTheSameTieBreaks) {
    const std::vector<ListRow> rows = {row("b", "", "1", "0 %", "text"),
                                       row("a", "", "1", "0 %", "Text"),
                                       row("c", "", "1", "0 %", "Archive")};
    EXPECT_EQ(namesAfterSort(rows, sorting::ByType, false), (std::vector<QString>{"c", "a", "b"}));
    EXPECT_EQ(namesAfterSort(rows, sorting::ByType, true), (std::vector<QString>{"b", "a", "c"}));
}

TEST(SortRows, EqualNameAndPathCompareEqual) {
    EXPECT_EQ(sorting::compareRows(row("A.txt", "d/"), row("a.TXT", "D/"), sorting::ByName, true),
              0);
    EXPECT_EQ(sorting::compareRows(row("a", ""), row("b", ""), 0, false), 0);
    EXPECT_FALSE(sorting::isValidCode(0));
    EXPECT_TRUE(sorting::isValidCode(sorting::ByMethod));
    EXPECT_FALSE(sorting::isValidCode(8));
}

TEST(SortModel, HeaderArrowFollowsTheSortedColumn) {
    EntryListModel model;
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
    model.sortBy(sorting::BySize, true);
    EXPECT_EQ(model.arrowColumn(), ColSize);
    EXPECT_TRUE(model.arrowDescending());
    EXPECT_TRUE(model.headerData(ColSize, Qt::Horizontal, Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.headerData(ColName, Qt::Horizontal, Qt::DecorationRole).isValid());
    EXPECT_EQ(model.headerData(ColSize, Qt::Horizontal, Qt::DisplayRole).toString(),
              "Size (bytes)");
}
