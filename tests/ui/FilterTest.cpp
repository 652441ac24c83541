// The filter field above the list: Ctrl+F and Escape from the keyboard, live narrowing on the
// folder and name, and the counts and commands acting on the rows it shows, in each display
// type; the archive's total and Extract Archive stay whole.
#include "UiTestSupport.h"

#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryListModel.h"
#include "ui/EntryViews.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

using namespace uitest;

namespace {

const std::map<std::string, std::string> kFiles = {{"readme.txt", "hello"},
                                                   {"docs/guide.txt", "guide"},
                                                   {"docs/Guide2.md", "two"},
                                                   {"img/a.bin", "xyz"},
                                                   {"src/GUIDE/x.c", "c"}};

const int kDisplayTypes[] = {ID_VIEW_TABLE, ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST};

// Folder and name of each shown row, in list order.
std::vector<std::string> shownNames(CMarrowglenView& view) {
    std::vector<std::string> names;
    for (int i = 0; i < view.itemCount(); ++i)
        names.push_back((view.model().row(i).cells[ColPath] + view.model().row(i).cells[ColName])
                            .toStdString());
    return names;
}

// Every file below `folder`, relative to it, sorted.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

struct ActiveViewer {
    ActiveViewer() : viewer(makeZip(kFiles)) {
        viewer.frame->activateWindow();
        active = QTest::qWaitForWindowActive(viewer.frame.get());
        listed = viewer.openAndList();
    }
    // The job has ended and the frame has seen it (the commands are enabled again).
    bool settled(const std::function<bool()>& done) {
        return waitFor([&] { return viewer.jobsIdle() && done(); }) &&
               waitFor([&] { return viewer.frame->commands().action(ID_PREVIEW)->isEnabled(); });
    }
    Viewer viewer;
    bool active = false;
    bool listed = false;
};

} // namespace

TEST(Filter, CtrlFFocusesTypingNarrowsAndEscapeClearsInEveryDisplayType) {
    ActiveViewer a;
    ASSERT_TRUE(a.active && a.listed);
    CMainFrame& frame = *a.viewer.frame;
    CMarrowglenView& view = frame.view();
    QLineEdit& filter = view.filterField();
    EXPECT_EQ(filter.placeholderText(), "Filter by name (Ctrl+F)");
    const QString total = frame.paneText(ID_PANE_TOTAL);
    EXPECT_EQ(total, "Total files: 5");
    for (int id : kDisplayTypes) {
        SCOPED_TRACE(id);
        frame.commands().trigger(id);
        view.currentView().setFocus();
        QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
        ASSERT_TRUE(filter.hasFocus());

        // Case does not matter, and the folder counts as much as the name.
        QTest::keyClicks(&filter, "GUIDE2");
        EXPECT_EQ(shownNames(view), (std::vector<std::string>{"docs/Guide2.md"}));
        QTest::keyClick(&filter, Qt::Key_Backspace);
        EXPECT_EQ(view.itemCount(), 3);
        EXPECT_EQ(view.currentView().model()->rowCount(), 3);
        EXPECT_EQ(frame.paneText(ID_PANE_TOTAL), total);
        filter.clear();
        QTest::keyClicks(&filter, "x.C");
        EXPECT_EQ(shownNames(view), (std::vector<std::string>{"src/GUIDE/x.c"}));
        filter.clear();
        QTest::keyClicks(&filter, "s/g"); // from the folder into the name
        EXPECT_EQ(view.itemCount(), 2);
        QTest::keyClicks(&filter, "zzz");
        EXPECT_EQ(view.itemCount(), 0);

        QTest::keyClick(&filter, Qt::Key_Escape);
        EXPECT_TRUE(filter.text().isEmpty());
        EXPECT_EQ(view.itemCount(), 5);
        EXPECT_TRUE(view.currentView().hasFocus());
    }
}

TEST(Filter, SelectAllCountsAndExtractSelectedTakeOnlyTheShownRowsInEveryDisplayType) {
    ActiveViewer a;
    ASSERT_TRUE(a.active && a.listed);
    CMainFrame& frame = *a.viewer.frame;
    CMarrowglenView& view = frame.view();
    for (int id : kDisplayTypes) {
        SCOPED_TRACE(id);
        frame.commands().trigger(id);
        QAbstractItemView& shown = view.currentView();
        QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(&view.filterField(), "docs/");
        shown.setFocus();
        QTest::keyClick(&shown, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&shown, Qt::Key_Return); // Enter updates the count
        EXPECT_EQ(frame.paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 2");
        EXPECT_EQ(frame.paneText(ID_PANE_TOTAL).toStdString(), "Total files: 5");

        mgtest::TempDir selected("mgui-filter");
        prompts::queueFolder(QString::fromStdString(selected.path()));
        ASSERT_TRUE(frame.commands().trigger(ID_EXTRACT_SELECTED));
        ASSERT_TRUE(a.settled([&] { return filesIn(selected.path()).size() == 2; }));
        EXPECT_EQ(filesIn(selected.path()),
                  (std::vector<std::string>{"docs/Guide2.md", "docs/guide.txt"}));

        // Extract Archive extracts the whole archive, whatever is shown.
        mgtest::TempDir whole("mgui-filter");
        prompts::queueFolder(QString::fromStdString(whole.path()));
        ASSERT_TRUE(frame.commands().trigger(ID_EXTRACT_ZIP));
        ASSERT_TRUE(a.settled([&] { return filesIn(whole.path()).size() == 5; }));

        QTest::keyClick(&view.filterField(), Qt::Key_Escape);
        shown.clearSelection();
    }
}

TEST(Filter, TheRowMenuAndADoubleClickActOnTheShownRow) {
    ActiveViewer a;
    ASSERT_TRUE(a.active && a.listed);
    CMainFrame& frame = *a.viewer.frame;
    CMarrowglenView& view = frame.view();
    for (int id : kDisplayTypes) {
        SCOPED_TRACE(id);
        frame.commands().trigger(id);
        view.filterField().setText("README");
        ASSERT_EQ(view.itemCount(), 1);
        QAbstractItemView& shown = view.currentView();
        const QModelIndex only = view.model().index(0, ColName);
        ASSERT_TRUE(waitFor([&] { return shown.visualRect(only).isValid(); }));
        const QPoint at = shown.visualRect(only).center();
        QTest::mouseClick(shown.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(frame.paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 1");
        QMenu* menu = view.contextMenuFor(at);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), "POPUP");

        const size_t opened = a.viewer.opener.opened().size();
        QTest::mouseDClick(shown.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_TRUE(a.settled([&] { return a.viewer.opener.opened().size() == opened + 1; }));
        EXPECT_EQ(a.viewer.opener.opened().back(), a.viewer.scope.tmp().path() + "/readme.txt");
        view.filterField().clear();
    }
}

TEST(Filter, NarrowingKeepsTheSelectedRowsThatStayShown) {
    ActiveViewer a;
    ASSERT_TRUE(a.active && a.listed);
    CMainFrame& frame = *a.viewer.frame;
    CMarrowglenView& view = frame.view();
    view.table().setFocus();
    QTest::keyClick(&view.table(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view.table(), Qt::Key_Return);
    EXPECT_EQ(frame.paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 5");
    QTest::keyClicks(&view.filterField(), "guide");
    EXPECT_EQ(frame.paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 3");
    EXPECT_EQ(view.selectedEntryNames().size(), 3u);
    // The rows hidden meanwhile were let go: they stay unselected when they come back.
    view.filterField().clear();
    EXPECT_EQ(view.itemCount(), 5);
    EXPECT_EQ(frame.paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 3");
}

TEST(Filter, RefreshKeepsTheFieldAndOpeningAnArchiveEmptiesIt) {
    ActiveViewer a;
    ASSERT_TRUE(a.active && a.listed);
    CMarrowglenView& view = a.viewer.frame->view();
    view.filterField().setText("readme");
    EXPECT_EQ(view.itemCount(), 1);
    // Listed again under the filter: the rows arriving are narrowed as they come.
    ASSERT_TRUE(a.viewer.frame->commands().trigger(ID_REFRESH));
    ASSERT_TRUE(a.settled([&] { return view.model().totalCount() == 5; }));
    EXPECT_EQ(view.filterField().text(), "readme");
    EXPECT_EQ(shownNames(view), (std::vector<std::string>{"readme.txt"}));
    ASSERT_TRUE(a.viewer.openAndList());
    ASSERT_TRUE(waitFor([&] { return view.itemCount() == 5; }));
    EXPECT_TRUE(view.filterField().text().isEmpty());
}

TEST(FilterModel, RowsArrivingUnderAFilterAndSortingKeepToIt) {
    auto row = [](const QString& name, const QString& path, const QString& size) {
        return ListRow::fromTexts({name, "Text", size, "0 %", size, path, "Stored"}, -1, 0);
    };
    EntryListModel model;
    model.setFilter("Ab");
    std::vector<ListRow> batch;
    batch.push_back(row("xab.txt", "", "3"));
    batch.push_back(row("other.txt", "", "1"));
    batch.push_back(row("y.txt", "AB/", "2"));
    model.addRows(std::move(batch));
    EXPECT_EQ(model.count(), 2);
    EXPECT_EQ(model.totalCount(), 3);
    model.sortBy(sorting::BySize, false);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.row(0).cells[ColName], "y.txt");
    EXPECT_EQ(model.row(1).cells[ColName], "xab.txt");
    model.setFilter({});
    ASSERT_EQ(model.count(), 3);
    EXPECT_EQ(model.row(0).cells[ColName], "other.txt"); // sorted while hidden
    EXPECT_EQ(model.allRows().size(), 3u);
}

// Typing on narrows the rows already shown; a key that is not an extension of the last one
// (a letter changed or taken away) looks at every row again. Both keep the sort order.
TEST(FilterModel, TypingOnAndTakingBackLettersShowTheRowsThatMatchInSortOrder) {
    auto row = [](const QString& name, const QString& path, const QString& size) {
        return ListRow::fromTexts({name, "Text", size, "0 %", size, path, "Stored"}, -1, 0);
    };
    EntryListModel model;
    std::vector<ListRow> batch;
    batch.push_back(row("abc.txt", "", "4"));
    batch.push_back(row("abd.txt", "", "1"));
    batch.push_back(row("x.txt", "AB/", "3"));
    batch.push_back(row("cab.txt", "zz/", "2"));
    batch.push_back(row("other.txt", "", "0"));
    model.addRows(std::move(batch));
    model.sortBy(sorting::BySize, false);
    auto shown = [&] {
        std::vector<QString> names;
        for (int i = 0; i < model.count(); ++i)
            names.push_back(model.row(i).cells[ColName]);
        return names;
    };
    const std::vector<QString> allWithAb = {"abd.txt", "cab.txt", "x.txt", "abc.txt"};
    model.setFilter("a");
    EXPECT_EQ(shown(), allWithAb);
    model.setFilter("aB");
    EXPECT_EQ(shown(), allWithAb);
    model.setFilter("abc");
    EXPECT_EQ(shown(), std::vector<QString>{"abc.txt"});
    model.setFilter("abcd");
    EXPECT_TRUE(shown().empty());
    model.setFilter("bc");
    EXPECT_EQ(shown(), std::vector<QString>{"abc.txt"});
    model.setFilter("b");
    EXPECT_EQ(shown(), allWithAb);
    model.setFilter("b/");
    EXPECT_EQ(shown(), std::vector<QString>{"x.txt"});
    model.setFilter({});
    EXPECT_EQ(model.count(), 5);
}

TEST(ListModel, ALongListShowsEveryRowAndEachKeepsItsOwnTexts) {
    // More distinct types than the shared texts keep at once, in a list long enough that
    // batches are gathered before the views see them.
    const int total = 70000;
    EntryListModel model;
    for (int first = 0; first < total; first += 4096) {
        std::vector<ListRow> batch;
        for (int i = first; i < std::min(total, first + 4096); ++i) {
            const QString n = QString::number(i);
            batch.push_back(ListRow::fromTexts(
                {"f" + n, "Type " + n, n, "0 %", n, "d" + QString::number(i % 300) + "/", "Stored"},
                -1, uint32_t(i)));
        }
        model.addRows(std::move(batch));
    }
    EXPECT_EQ(model.totalCount(), total);
    ASSERT_TRUE(waitFor([&] { return model.count() == total; }));
    for (int i : {0, 4095, 4096, 5000, 69999}) {
        const ListRow& row = model.row(i);
        EXPECT_EQ(row.cells[ColType], "Type " + QString::number(i));
        EXPECT_EQ(row.typeKey, "type " + QString::number(i));
        EXPECT_EQ(row.pathKey(), "d" + QString::number(i % 300) + "/");
        EXPECT_EQ(row.nameKey(), "f" + QString::number(i));
    }
}

// A letter that every row has leaves the list as it was: the views are not laid out again, so
// the place scrolled to and the selection stay. Case and letters beyond ASCII fold as before.
TEST(FilterModel, ALetterEveryRowHasKeepsTheScrollPlaceAndMixedCaseMatchesAsBefore) {
    EntryListModel model;
    std::vector<ListRow> batch;
    for (int i = 0; i < 300; ++i)
        batch.push_back(ListRow::fromTexts(
            {"Ärger" + QString::number(i) + ".TXT", "Text", "1", "0 %", "1", "Ωmega/", "Stored"},
            -1, uint32_t(i)));
    batch.push_back(
        ListRow::fromTexts({"plain.txt", "Text", "1", "0 %", "1", "", "Stored"}, -1, 300));
    model.addRows(std::move(batch));
    EntryTableView table;
    table.setModel(&model);
    table.resize(300, 200);
    table.show();
    table.scrollToBottom();
    table.selectionModel()->select(model.index(299, 0), QItemSelectionModel::Select);
    QApplication::processEvents();
    const int scrolled = table.verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    model.setFilter("T");
    model.setFilter("tX");
    EXPECT_EQ(model.count(), 301);
    EXPECT_EQ(table.verticalScrollBar()->value(), scrolled);
    EXPECT_TRUE(table.selectionModel()->isSelected(model.index(299, 0)));
    model.setFilter("äRGER1");
    EXPECT_EQ(model.count(), 111); // 1, 10 to 19, 100 to 199
    model.setFilter("ωMEGA/ä");
    EXPECT_EQ(model.count(), 300);
    model.setFilter("ΩMEGA/Ärger299.t");
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.row(0).cells[ColName], "Ärger299.TXT");
}
