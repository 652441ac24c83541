// The list's sort rules: primary keys, direction, tie-breaks and the number forms; the same
// order whether a list is sorted at once or on the worker thread, and a sort on the worker
// thread meeting newer sorts, new rows, a cleared list and a selection.
#include "UiTestSupport.h"

#include "ui/EntryListModel.h"
#include "ui/ListRow.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTableView>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
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

namespace {

// Ties of every kind: equal sizes, rates and types, names equal but for case in folders equal
// but for case, the same name in several folders, non-ASCII names and folders.
std::vector<ListRow> awkwardRows() {
    const char* const names[] = {"readme", "README",  "Äpfel.txt", "äpfel.txt", "Zürich",
                                 "zebra",  "a.TXT",   "A.txt",     "ß",         "émile",
                                 "Émile",  "日本.md", "x",         "X",         "_under",
                                 "10.log", "9.log",   "b",         "B",         "ñ"};
    const char* const folders[] = {"", "d/", "D/", "dir/sub/", "Ünter/", "d/"};
    const char* const types[] = {"Text", "text", "Archive", "Ä-Type", "Text"};
    const char* const rates[] = {"0 %", "-3 %", "45 %", "0 %", "12 %", "-3 %"};
    const char* const methods[] = {"Deflate", "Stored", "deflate", "BZip2"};
    std::vector<ListRow> rows;
    uint32_t number = 0;
    for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < std::size(names); ++i) {
            const size_t k = i + size_t(round) * 7;
            const QString size = QString::number((k * 37) % 5 * 1000);
            rows.push_back(ListRow::fromTexts(
                {QString::fromUtf8(names[i]), QString::fromUtf8(types[k % std::size(types)]), size,
                 rates[k % std::size(rates)], QString::number(k % 3),
                 QString::fromUtf8(folders[k % std::size(folders)]), methods[k % 4]},
                -1, number++));
        }
    return rows;
}

bool sortSettles(EntryListModel& model) {
    return uitest::waitFor([&] { return !model.sortPending(); });
}

// Arrival numbers of the rows in the model's order.
std::vector<uint32_t> modelOrder(const EntryListModel& model) {
    std::vector<uint32_t> order;
    for (int i = 0; i < model.count(); ++i)
        order.push_back(model.row(i).itemNumber);
    return order;
}

// A stable sort of `order` by the row comparison, the plain way.
void referenceSort(std::vector<uint32_t>& order, const std::vector<ListRow>& rows, int code,
                   bool descending) {
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return sorting::compareRows(rows[a], rows[b], code, descending) < 0;
    });
}

std::vector<uint32_t> arrivalOrder(size_t count) {
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    return order;
}

} // namespace

// Each sort starts from the order the one before left, so rows equal by every key must keep
// that order too.
TEST(SortOrder, EveryColumnBothWaysMatchesAStableSortByTheRowComparison) {
    const std::vector<ListRow> rows = awkwardRows();
    for (size_t backgroundFrom : {size_t(100000), size_t(0)}) {
        SCOPED_TRACE(backgroundFrom == 0 ? "on the worker thread" : "at once");
        EntryListModel model;
        model.setBackgroundSortFrom(backgroundFrom);
        model.addRows(rows);
        std::vector<uint32_t> expected = arrivalOrder(rows.size());
        for (bool descending : {false, true, false})
            for (int code = sorting::ByName; code <= sorting::ByMethod; ++code) {
                SCOPED_TRACE(testing::Message() << "code " << code << " descending " << descending);
                model.sortBy(code, descending);
                ASSERT_TRUE(sortSettles(model));
                referenceSort(expected, rows, code, descending);
                ASSERT_EQ(modelOrder(model), expected);
            }
    }
}

TEST(SortOrder, FilteredListShowsTheSortedRowsThatPass) {
    const std::vector<ListRow> rows = awkwardRows();
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows(rows);
    model.setFilter("ÄPFEL");
    model.sortBy(sorting::ByPath, true);
    ASSERT_TRUE(sortSettles(model));
    std::vector<uint32_t> expected = arrivalOrder(rows.size());
    referenceSort(expected, rows, sorting::ByPath, true);
    std::erase_if(expected, [&](uint32_t n) { return !rows[n].pathNameKey.contains("äpfel"); });
    EXPECT_EQ(modelOrder(model), expected);
    EXPECT_EQ(model.count(), 6);
}

TEST(SortInBackground, TheNewestOfTwoSortsDecidesTheOrder) {
    const std::vector<ListRow> rows = awkwardRows();
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows(rows);
    QSignalSpy finished(&model, &EntryListModel::sortFinished);
    model.sortBy(sorting::BySize, false);
    model.sortBy(sorting::ByName, true); // asked before the first one's order arrives
    ASSERT_TRUE(sortSettles(model));
    std::vector<uint32_t> expected = arrivalOrder(rows.size());
    referenceSort(expected, rows, sorting::ByName, true);
    EXPECT_EQ(modelOrder(model), expected);
    // The first sort's order, had it come after, would be a second change.
    model.sortBy(sorting::ByName, true);
    ASSERT_TRUE(sortSettles(model));
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(modelOrder(model), expected);
    EXPECT_EQ(model.arrowColumn(), ColName);
    EXPECT_TRUE(model.arrowDescending());
}

TEST(SortInBackground, RowsArrivingDuringASortFollowItAndTheNextSortPlacesThem) {
    std::vector<ListRow> rows = awkwardRows();
    const std::vector<ListRow> first(rows.begin(), rows.begin() + 40);
    const std::vector<ListRow> later(rows.begin() + 40, rows.end());
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows(first);
    model.sortBy(sorting::ByType, false);
    model.addRows(later);
    model.flush();
    ASSERT_TRUE(sortSettles(model));
    ASSERT_EQ(model.count(), int(rows.size()));
    std::vector<uint32_t> expected = arrivalOrder(first.size());
    referenceSort(expected, rows, sorting::ByType, false);
    for (uint32_t n = uint32_t(first.size()); n < rows.size(); ++n)
        expected.push_back(n);
    EXPECT_EQ(modelOrder(model), expected);

    model.sortBy(sorting::ByType, false);
    ASSERT_TRUE(sortSettles(model));
    referenceSort(expected, rows, sorting::ByType, false);
    EXPECT_EQ(modelOrder(model), expected);
}

TEST(SortInBackground, AClearedListIgnoresTheOrderOfTheRowsItHad) {
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows(awkwardRows());
    model.sortBy(sorting::BySize, true);
    model.clear();
    EXPECT_FALSE(model.sortPending());
    const std::vector<ListRow> rows = {row("c", ""), row("a", ""), row("b", "")};
    model.addRows(rows);
    model.flush();
    model.sortBy(sorting::ByName, false);
    ASSERT_TRUE(sortSettles(model));
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(model.row(0).cells[ColName], "a");
    EXPECT_EQ(model.row(2).cells[ColName], "c");
}

TEST(SortInBackground, SelectionAndCurrentRowFollowTheirRows) {
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows({row("a", "", "1"), row("b", "", "2"), row("c", "", "3"), row("d", "", "4")});
    QTableView view;
    view.setModel(&model);
    QItemSelectionModel& selection = *view.selectionModel();
    selection.select(QItemSelection(model.index(1, 0), model.index(1, ColumnCount - 1)),
                     QItemSelectionModel::Select);
    selection.select(QItemSelection(model.index(3, 0), model.index(3, ColumnCount - 1)),
                     QItemSelectionModel::Select);
    selection.setCurrentIndex(model.index(2, 0), QItemSelectionModel::NoUpdate);
    model.sortBy(sorting::BySize, true);
    ASSERT_TRUE(sortSettles(model));
    ASSERT_EQ(model.row(0).cells[ColName], "d");
    std::vector<QString> selected;
    for (const QModelIndex& index : selection.selectedRows())
        selected.push_back(model.row(index.row()).cells[ColName]);
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<QString>{"b", "d"}));
    EXPECT_EQ(model.row(selection.currentIndex().row()).cells[ColName], "c");
}

// Folders mostly distinct, sizes mostly equal: the folder ranks are worked out by sorting
// every row rather than by looking up a few distinct folders.
TEST(SortOrder, ManyDistinctFoldersSortAsTheRowComparisonSays) {
    std::vector<ListRow> rows;
    for (uint32_t i = 0; i < 3000; ++i)
        rows.push_back(
            ListRow::fromTexts({i % 2 ? "Name" : "name", "Text", QString::number(i % 3), "0 %", "1",
                                QString("Dir%1/").arg(i * 7919 % 2000), "Stored"},
                               -1, i));
    EntryListModel model;
    model.setBackgroundSortFrom(0);
    model.addRows(rows);
    std::vector<uint32_t> expected = arrivalOrder(rows.size());
    for (int code : {sorting::ByPath, sorting::BySize, sorting::ByName})
        for (bool descending : {true, false}) {
            model.sortBy(code, descending);
            ASSERT_TRUE(sortSettles(model));
            referenceSort(expected, rows, code, descending);
            ASSERT_EQ(modelOrder(model), expected) << "code " << code << " " << descending;
        }
}
