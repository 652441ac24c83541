// The archive list over a real document: counts, previews, extraction with the overwrite
// question, context menus, header clicks, display types and the empty-list picture.
#include "UiTestSupport.h"

#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryListModel.h"
#include "ui/EntryViews.h"
#include "ui/MarrowglenView.h"
#include "ui/OverwriteDlg.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

using namespace uitest;

namespace {

const std::map<std::string, std::string> kFiles = {
    {"readme.txt", "hello"}, {"docs/guide.txt", std::string(5000, 'g')}, {"img/a.bin", "xyz"}};

int rowOf(CMarrowglenView& view, const QString& name) {
    for (int i = 0; i < view.itemCount(); ++i)
        if (view.model().row(i).cells[ColName] == name)
            return i;
    return -1;
}

QPoint centreOfRow(CMarrowglenView& view, int row) {
    return view.table().visualRect(view.model().index(row, ColName)).center();
}

std::function<int(QDialog&)> answerOverwrite(const char* buttonText) {
    return [buttonText](QDialog& dialog) {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == buttonText)
                button->click();
        return dialog.result();
    };
}

} // namespace

TEST(ListView, KeyboardSelectionLeavesTheCountAndClicksUpdateIt) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    view.table().setFocus();
    view.table().setCurrentIndex(view.model().index(0, 0));
    QTest::keyClick(view.table().viewport(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_SELECTED), "Selected files: 0");
    QTest::mouseClick(view.table().viewport(), Qt::LeftButton, Qt::NoModifier,
                      centreOfRow(view, 1));
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_SELECTED), "Selected files: 1");
    view.table().selectAll();
    QTest::keyClick(&view.table(), Qt::Key_Return);
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_SELECTED), "Selected files: 3");
    QTest::qWait(100);
    EXPECT_FALSE(viewer.doc.anyJobRunning()) << "Enter must not preview";
    EXPECT_TRUE(viewer.opener.opened().empty());
}

TEST(ListView, DoubleClickPreviewsTheSelectedEntries) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    const int guide = rowOf(view, "guide.txt");
    ASSERT_GE(guide, 0);
    QTest::mouseDClick(view.table().viewport(), Qt::LeftButton, Qt::NoModifier,
                       centreOfRow(view, guide));
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle() && !viewer.opener.opened().empty(); }));
    const std::string expected = viewer.scope.tmp().path() + "/docs/guide.txt";
    EXPECT_EQ(mgtest::readFile(expected), std::string(5000, 'g'));
    EXPECT_EQ(viewer.opener.opened().front(), expected);
}

TEST(ListView, PreviewWithNothingSelectedDoesNothing) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    viewer.frame->view().preview();
    QTest::qWait(50);
    EXPECT_FALSE(viewer.doc.anyJobRunning());
    EXPECT_TRUE(viewer.opener.opened().empty());
}

TEST(ListView, ExtractAsksBeforeOverwritingAndKeepsPaths) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir destination("mgui-extract");
    std::filesystem::create_directories(destination.file("docs"));
    mgtest::writeFile(destination.file("docs/guide.txt"), "old");
    CMarrowglenView& view = viewer.frame->view();
    view.selection().select(view.model().index(rowOf(view, "guide.txt"), 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);

    prompts::queueFolder(QString::fromStdString(destination.path()));
    prompts::queueDialogAction(answerOverwrite("No"));
    viewer.frame->commands().trigger(ID_EXTRACT_SELECTED);
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle(); }));
    QTest::qWait(50);
    EXPECT_EQ(mgtest::readFile(destination.file("docs/guide.txt")), "old");

    ASSERT_TRUE(
        waitFor([&] { return viewer.frame->commands().action(ID_EXTRACT_ZIP)->isEnabled(); }));
    prompts::queueFolder(QString::fromStdString(destination.path()));
    prompts::queueDialogAction(answerOverwrite("Yes"));
    viewer.frame->commands().trigger(ID_EXTRACT_ZIP);
    ASSERT_TRUE(waitFor([&] {
        return viewer.jobsIdle() && std::filesystem::exists(destination.file("img/a.bin"));
    }));
    EXPECT_EQ(mgtest::readFile(destination.file("docs/guide.txt")), std::string(5000, 'g'));
    EXPECT_EQ(mgtest::readFile(destination.file("readme.txt")), "hello");
    EXPECT_TRUE(viewer.opener.opened().empty()) << "extraction opens nothing";
}

TEST(ListView, ContextMenusDependOnWhereAndWhetherAnArchiveIsOpen) {
    Viewer viewer(makeZip(kFiles));
    CMarrowglenView& view = viewer.frame->view();
    EXPECT_EQ(view.contextMenuFor(QPoint(5, 5)), nullptr);
    ASSERT_TRUE(viewer.openAndList());
    QMenu* onRow = view.contextMenuFor(centreOfRow(view, 0));
    ASSERT_NE(onRow, nullptr);
    QStringList texts;
    for (QAction* action : onRow->actions())
        texts << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(texts, (QStringList{"Extract Selected", "-", "Refresh", "-", "Extract Archive",
                                  "&Save Zip File", "-", "View", "Arrange"}));
    QMenu* elsewhere = view.contextMenuFor(QPoint(5, view.table().viewport()->height() - 5));
    ASSERT_NE(elsewhere, nullptr);
    texts.clear();
    for (QAction* action : elsewhere->actions())
        texts << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(texts, (QStringList{"Refresh", "-", "&Save Zip File", "Extract Zip File", "-", "View",
                                  "Arrange"}));
}

TEST(ListView, HeaderClicksReverseTheSortedColumnAndStartOthersAscending) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    QHeaderView* header = view.table().header();
    auto clickHeader = [&](int column) {
        const int x = header->sectionViewportPosition(column) + 10;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 5));
    };
    clickHeader(ColSize);
    EXPECT_EQ(view.sortColumn(), sorting::BySize);
    EXPECT_FALSE(view.sortDescending());
    clickHeader(ColSize);
    EXPECT_TRUE(view.sortDescending());
    EXPECT_TRUE(view.model().arrowDescending());
    EXPECT_EQ(view.model().row(0).cells[ColName], "guide.txt");
    clickHeader(ColName);
    EXPECT_EQ(view.sortColumn(), sorting::ByName);
    EXPECT_FALSE(view.sortDescending());
    EXPECT_EQ(view.model().arrowColumn(), ColName);
    EXPECT_EQ(view.model().row(0).cells[ColName], "a.bin");
    EXPECT_TRUE(viewer.frame->commands().action(ID_SORT_NAME)->isChecked());
}

TEST(ListView, DisplayTypeAndSortOrderAreStoredWhenTheViewGoes) {
    Viewer viewer(makeZip(kFiles));
    viewer.frame->commands().trigger(ID_VIEW_LARGE_ICONS);
    EXPECT_EQ(viewer.frame->view().displayType(), LargeIcons);
    EXPECT_TRUE(viewer.frame->commands().action(ID_VIEW_LARGE_ICONS)->isChecked());
    EXPECT_FALSE(viewer.frame->commands().action(ID_VIEW_TABLE)->isChecked());
    viewer.frame->commands().trigger(ID_SORT_RATE);
    viewer.frame.reset();
    EXPECT_EQ(programSettings().viewMode, LargeIcons);
    EXPECT_EQ(programSettings().sortMode, sorting::ByRate);
}

TEST(ListView, EmptyListShowsThePictureCentred) {
    EXPECT_EQ(emptylist::position(QSize(800, 400)), QPoint(221, 135));
    EXPECT_EQ(emptylist::picture().size(), QSize(358, 129));
    Viewer viewer(makeZip(kFiles));
    EntryTableView& table = viewer.frame->view().table();
    const QImage shot = table.viewport()->grab().toImage();
    const QPoint origin = emptylist::position(table.viewport()->size());
    const QImage picture = emptylist::picture().toImage().convertToFormat(shot.format());
    EXPECT_EQ(shot.copy(QRect(origin, picture.size())), picture);
}

TEST(ListView, AStoredSortCodeOutsideTheRangeLeavesArrivalOrder) {
    Viewer viewer(makeZip(kFiles), [] { programSettings().sortMode = 9; });
    ASSERT_TRUE(viewer.openAndList());
    EXPECT_EQ(viewer.frame->view().model().arrowColumn(), -1);
    EXPECT_EQ(viewer.frame->view().sortColumn(), 9);
}

TEST(ListView, EveryDisplayTypeSelectsCountsPreviewsExtractsAndOffersTheRowMenu) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    // The job has ended and the frame has seen it (the commands are enabled again).
    auto settled = [&](const std::function<bool()>& done) {
        return waitFor([&] { return viewer.jobsIdle() && done(); }) &&
               waitFor([&] { return viewer.frame->commands().action(ID_PREVIEW)->isEnabled(); });
    };
    for (int id : {ID_VIEW_TABLE, ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST}) {
        SCOPED_TRACE(id);
        viewer.frame->commands().trigger(id);
        QAbstractItemView& shown = view.currentView();
        const QModelIndex guide = view.model().index(rowOf(view, "guide.txt"), ColName);
        ASSERT_TRUE(waitFor([&] { return shown.visualRect(guide).isValid(); }));
        const QPoint at = shown.visualRect(guide).center();
        QTest::mouseClick(shown.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(viewer.frame->paneText(ID_PANE_SELECTED).toStdString(), "Selected files: 1");
        QMenu* menu = view.contextMenuFor(at);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), "POPUP");

        mgtest::TempDir destination("mgui-extract");
        prompts::queueFolder(QString::fromStdString(destination.path()));
        ASSERT_TRUE(viewer.frame->commands().trigger(ID_EXTRACT_SELECTED));
        ASSERT_TRUE(
            settled([&] { return std::filesystem::exists(destination.file("docs/guide.txt")); }));

        const size_t opened = viewer.opener.opened().size();
        QTest::mouseDClick(shown.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_TRUE(settled([&] { return viewer.opener.opened().size() == opened + 1; }));
        EXPECT_EQ(viewer.opener.opened().back(), viewer.scope.tmp().path() + "/docs/guide.txt");
    }
}

TEST(ListView, TheMayRunQuestionAnswersNoToEnter) {
    Viewer viewer(makeZip({{"run.sh", "#!/bin/sh\necho hi\n"}}));
    ASSERT_TRUE(viewer.openAndList());
    QStringList asked;
    ModalDriver person([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        if (box == nullptr)
            return;
        asked << box->text();
        QWidget* focused = box->focusWidget() != nullptr ? box->focusWidget() : box;
        QTest::keyClick(focused, Qt::Key_Return);
    });
    CMarrowglenView& view = viewer.frame->view();
    QTest::mouseDClick(view.table().viewport(), Qt::LeftButton, Qt::NoModifier,
                       centreOfRow(view, 0));
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle() && asked.size() == 2; }));
    EXPECT_TRUE(asked[0].contains("may run it")) << asked[0].toStdString();
    EXPECT_TRUE(viewer.opener.opened().empty()) << "Enter opened the script";
}

TEST(ListView, SaveAsksBeforeReplacingTheFileTheSuffixNames) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    const std::string existing = viewer.scope.tmp().file("big.zip");
    mgtest::writeFile(existing, "keep me");
    int step = 0;
    QString question;
    ModalDriver person([&](QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            question += box->text();
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else
                box->accept();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(&modal); dialog && step++ == 0) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(QString::fromStdString(viewer.scope.tmp().file("big")));
            QTest::keyClick(name, Qt::Key_Return);
        } else if (dialog != nullptr) {
            dialog->reject();
        }
    });
    viewer.frame->commands().trigger(ID_SAVE_ZIP);
    ASSERT_TRUE(waitFor([&] { return step == 2 && QApplication::activeModalWidget() == nullptr; }));
    QTest::qWait(50);
    EXPECT_TRUE(question.contains("big.zip")) << question.toStdString();
    EXPECT_FALSE(viewer.doc.anyJobRunning());
    EXPECT_EQ(mgtest::readFile(existing), "keep me");
}

TEST(ListView, NamesWithoutADotShowTheDesktopsTypeName) {
    Viewer viewer(makeZip({{"Makefile", "all:\n"}}));
    ASSERT_TRUE(viewer.openAndList());
    const std::string expected =
        QMimeDatabase().mimeTypeForFile("Makefile").comment().toStdString();
    EXPECT_NE(expected, "MAKEFILE file");
    EXPECT_EQ(viewer.frame->view().model().row(0).cells[ColType].toStdString(), expected);
}

// Large Icons: cells of 104 × 72 filled left to right, each with its icon centred at the top
// and the name below; selection stays when switching to another display type and back.
TEST(ListView, LargeIconsShowsIconsAboveNamesInRowsOfCells) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    viewer.frame->commands().trigger(ID_VIEW_LARGE_ICONS);
    QAbstractItemView& icons = view.currentView();
    const QModelIndex first = view.model().index(0, ColName);
    const QModelIndex second = view.model().index(1, ColName);
    ASSERT_TRUE(waitFor([&] { return icons.visualRect(second).isValid(); }));
    const QRect a = icons.visualRect(first);
    const QRect b = icons.visualRect(second);
    EXPECT_EQ(b.top(), a.top());
    EXPECT_EQ(b.left() - a.left(), 104);
    const QImage picture = icons.viewport()->grab().toImage();
    const QColor background = picture.pixelColor(a.left() + 2, a.bottom() - 2);
    int iconPixels = 0;
    for (int y = a.top(); y < a.top() + 36; ++y)
        for (int x = a.center().x() - 16; x < a.center().x() + 16; ++x)
            iconPixels += picture.pixelColor(x, y) != background;
    EXPECT_GT(iconPixels, 100);
    for (int y = a.top(); y < a.top() + 32; ++y)
        EXPECT_EQ(picture.pixelColor(a.left() + 3, y), background) << y;

    icons.selectionModel()->select(second, QItemSelectionModel::Select);
    viewer.frame->commands().trigger(ID_VIEW_TABLE);
    viewer.frame->commands().trigger(ID_VIEW_LARGE_ICONS);
    EXPECT_EQ(view.selectedEntryNames().size(), 1u);
}
