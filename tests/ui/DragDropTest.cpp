// Dragging entries out of the list hands a file manager local copies made by the extract job
// (checked, inside a fresh folder of the temporary folder); dropping a link onto the window
// opens it as the URL bar does, and anything else is refused.
#include "UiTestSupport.h"

#include "RawZip.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryDrag.h"
#include "ui/ListRow.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"
#include "ui/UrlBar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

using namespace uitest;

namespace {

const std::string kAlpha = "alpha: the first file, kept in its folder\n";
const std::string kBravo = "bravo: the second file, at the top\n";

// Catches what a drag would offer, instead of running Qt's drag.
class DragCatcher {
public:
    DragCatcher() {
        EntryDrag::setRunnerForTests([this](QDrag& drag, Qt::DropActions offered) {
            ++drags;
            urls = drag.mimeData()->urls();
            formats = drag.mimeData()->formats();
            actions = offered;
        });
    }
    ~DragCatcher() { EntryDrag::setRunnerForTests({}); }
    int drags = 0;
    QList<QUrl> urls;
    QStringList formats;
    Qt::DropActions actions;
};

QModelIndex rowOf(CMarrowglenView& view, const QString& path, const QString& name) {
    QAbstractItemModel& model = *view.currentView().model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, ColName).data().toString() == name &&
            model.index(row, ColPath).data().toString() == path)
            return model.index(row, ColName);
    }
    return {};
}

// Selects the rows and drags the first of them with the mouse, as a user does.
void selectAndDrag(CMarrowglenView& view, const std::vector<QModelIndex>& rows) {
    QAbstractItemView& list = view.currentView();
    // The icon displays lay their items out in batches.
    ASSERT_TRUE(waitFor([&] { return list.visualRect(rows.front()).isValid(); }));
    list.selectionModel()->clearSelection();
    for (const QModelIndex& index : rows)
        list.selectionModel()->select(index, QItemSelectionModel::Select);
    const QPoint start = list.visualRect(rows.front()).center();
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, start);
    const QPoint step(QApplication::startDragDistance() + 5, 0);
    QTest::mouseMove(list.viewport(), start + step);
    QTest::mouseMove(list.viewport(), start + 2 * step);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, start + 2 * step);
}

std::string localFile(const QUrl& url) {
    return url.toLocalFile().toStdString();
}

bool isInside(const std::string& path, const std::string& folder) {
    const auto canonical = std::filesystem::weakly_canonical(path).string();
    const auto base = std::filesystem::weakly_canonical(folder).string();
    return canonical.rfind(base + "/", 0) == 0;
}

std::vector<std::string> dragFoldersIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        if (item.path().filename().string().rfind("drag-", 0) == 0)
            found.push_back(item.path().string());
    return found;
}

TEST(DragOut, OffersCheckedCopiesInTheirFoldersInEveryDisplayType) {
    Viewer viewer(makeZip({{"docs/alpha.txt", kAlpha}, {"bravo.txt", kBravo}, {"c.txt", "c"}}));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    const std::string tmp = viewer.scope.tmp().path();
    for (int command : {ID_VIEW_TABLE, ID_VIEW_LARGE_ICONS}) {
        SCOPED_TRACE(command);
        viewer.frame->commands().trigger(command);
        DragCatcher caught;
        selectAndDrag(view, {rowOf(view, "docs/", "alpha.txt"), rowOf(view, "", "bravo.txt")});
        ASSERT_EQ(caught.drags, 1);
        EXPECT_TRUE(caught.formats.contains("text/uri-list"));
        EXPECT_EQ(caught.actions, Qt::CopyAction);
        ASSERT_EQ(caught.urls.size(), 2);
        // The entry in a folder is offered as its folder, so the drop target keeps it there;
        // the order is the list's.
        std::map<std::string, std::string> offered;
        for (const QUrl& url : caught.urls)
            offered[std::filesystem::path(localFile(url)).filename()] = localFile(url);
        ASSERT_EQ(offered.count("docs"), 1u);
        ASSERT_EQ(offered.count("bravo.txt"), 1u);
        const std::string folder = offered["docs"];
        for (const QUrl& url : caught.urls)
            EXPECT_TRUE(isInside(localFile(url), tmp)) << localFile(url);
        EXPECT_EQ(mgtest::readFile(folder + "/alpha.txt"), kAlpha);
        EXPECT_EQ(mgtest::readFile(offered["bravo.txt"]), kBravo);
        // Only what was chosen: the drag's folder holds nothing else.
        EXPECT_FALSE(
            std::filesystem::exists(std::filesystem::path(folder).parent_path() / "c.txt"));
        EXPECT_TRUE(prompts::shownMessages().empty()); // no "Extraction complete!" mid-drag
        EXPECT_TRUE(viewer.jobsIdle());
    }
    ASSERT_EQ(dragFoldersIn(tmp).size(), 2u); // each drag has its own folder
    // The file manager may copy from them until the viewer ends; then they go.
    viewer.frame.reset();
    EXPECT_TRUE(dragFoldersIn(tmp).empty());
}

TEST(DragOut, ADamagedOrHostileEntryMeansNoDragAndNothingOutside) {
    std::vector<coretest::RawEntry> entries(3);
    entries[0].name = "good.txt";
    entries[0].data = kBravo;
    entries[1].name = "bad.txt";
    entries[1].data = kAlpha;
    entries[1].crc = 0x12345678; // the bytes do not match their checksum
    entries[2].name = "../evil.txt";
    entries[2].data = "escaped";
    Viewer viewer(coretest::buildZip(entries));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    const std::string tmp = viewer.scope.tmp().path();

    for (const QModelIndex& bad : {rowOf(view, "", "bad.txt"), rowOf(view, "../", "evil.txt")}) {
        ASSERT_TRUE(bad.isValid());
        prompts::clearRecords();
        DragCatcher caught;
        selectAndDrag(view, {rowOf(view, "", "good.txt"), bad});
        EXPECT_EQ(caught.drags, 0);
        ASSERT_FALSE(prompts::shownMessages().empty()); // the user is told which and why
        EXPECT_NE(prompts::shownMessages().back().text.indexOf("could not be extracted"), -1);
        EXPECT_TRUE(dragFoldersIn(tmp).empty()); // nothing is left for a later drop
    }
    const std::filesystem::path parent = std::filesystem::path(tmp).parent_path();
    EXPECT_FALSE(std::filesystem::exists(parent / "evil.txt"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(tmp) / "evil.txt"));

    // Whatever a run reports as written, only paths inside the drag's folder are offered.
    const QString folder = QString::fromStdString(tmp) + "/drag-x";
    const QList<QUrl> urls = EntryDrag::topLevelUrls(
        folder, {tmp + "/drag-x/../outside.txt", "/etc/passwd", tmp + "/drag-x/in/a.txt",
                 tmp + "/drag-x/in/b.txt", tmp + "/drag-xy/neighbour.txt"});
    EXPECT_EQ(urls, QList<QUrl>({QUrl::fromLocalFile(folder + "/in")}));
}

TEST(DragOut, CancelDuringTheExtractionMeansNoDrag) {
    Viewer viewer(makeZip({{"docs/alpha.txt", kAlpha}, {"bravo.txt", kBravo}}));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    DragCatcher caught;
    bool cancelShown = false;
    bool clicked = false;
    viewer.source.holdNextRange();
    // The drag waits for the job with the event loop turning: Cancel is there to be clicked.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (clicked || !viewer.source.isHeld())
            return;
        clicked = true;
        cancelShown =
            viewer.frame->cancelButton().isVisible() && viewer.frame->cancelButton().isEnabled();
        viewer.frame->cancelButton().click();
        viewer.source.release();
    });
    poll.start(20);
    selectAndDrag(view, {rowOf(view, "docs/", "alpha.txt"), rowOf(view, "", "bravo.txt")});
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(caught.drags, 0);
    EXPECT_TRUE(dragFoldersIn(viewer.scope.tmp().path()).empty());
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle(); }));
}

TEST(DragOut, AButtonLetGoDuringTheExtractionEndsTheGesture) {
    Viewer viewer(makeZip({{"bravo.txt", kBravo}}));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    DragCatcher caught;
    bool released = false;
    viewer.source.holdNextRange();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (released || !viewer.source.isHeld())
            return;
        released = true;
        QTest::mouseRelease(view.currentView().viewport(), Qt::LeftButton);
        viewer.source.release();
    });
    poll.start(20);
    selectAndDrag(view, {rowOf(view, "", "bravo.txt")});
    EXPECT_TRUE(released);
    EXPECT_EQ(caught.drags, 0); // a drag now would stick to the pointer
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle(); }));
}

// --- Dropping links onto the window ----------------------------------------------------------

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
};

DropResult dropOnto(QWidget& window, const QMimeData& data) {
    const QPoint centre = window.rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(centre, offered, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(&window, &enter);
    DropResult result;
    result.enterAccepted = enter.isAccepted();
    if (!result.enterAccepted)
        return result; // the cursor shows that it cannot be dropped: no drop follows
    QDropEvent drop(centre, offered, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(&window, &drop);
    result.dropAccepted = drop.isAccepted();
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction); // a file manager must not move the file
    return result;
}

bool listedFrom(Viewer& viewer, const std::string& address) {
    return waitFor([&] {
        return viewer.jobsIdle() && viewer.frame->view().itemCount() > 0 &&
               viewer.source.lastAddress() == address;
    });
}

TEST(DropIn, ATextOrAUrlListLinkOpensAsTheUrlBarDoes) {
    Viewer viewer(makeZip({{"readme.txt", "hello"}}));
    CMainFrame& frame = *viewer.frame;

    QMimeData text;
    text.setText("  http://127.0.0.1:8080/files/x.zip\n");
    const DropResult textDrop = dropOnto(frame, text);
    EXPECT_TRUE(textDrop.enterAccepted);
    EXPECT_TRUE(textDrop.dropAccepted);
    ASSERT_TRUE(listedFrom(viewer, "http://127.0.0.1:8080/files/x.zip"));
    EXPECT_EQ(frame.urlBar().edit()->text(), "http://127.0.0.1:8080/files/x.zip");

    // A browser's link: a URL list; the first address that can be opened is taken.
    QMimeData list;
    list.setUrls({QUrl("mailto:someone@example.org"), QUrl("ftp://127.0.0.1/pub/y.zip"),
                  QUrl("http://127.0.0.1/z.zip")});
    EXPECT_TRUE(dropOnto(frame, list).dropAccepted);
    ASSERT_TRUE(listedFrom(viewer, "ftp://127.0.0.1/pub/y.zip"));

    // A zip file from a file manager.
    const std::string zip = viewer.scope.tmp().file("local copy.zip");
    mgtest::writeFile(zip, "not read: the archive comes from the test's source");
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString(zip))});
    EXPECT_TRUE(dropOnto(frame, file).dropAccepted);
    ASSERT_TRUE(listedFrom(viewer, QUrl::fromLocalFile(QString::fromStdString(zip))
                                       .toString(QUrl::FullyEncoded)
                                       .toStdString()));

    // Its path as text, blanks and all, as a file manager's "copy path" gives it.
    const std::string other = viewer.scope.tmp().file("my other copy.zip");
    mgtest::writeFile(other, "not read either");
    QMimeData path;
    path.setText(QString::fromStdString(other) + "\n");
    EXPECT_TRUE(dropOnto(frame, path).dropAccepted);
    ASSERT_TRUE(listedFrom(viewer, QUrl::fromLocalFile(QString::fromStdString(other))
                                       .toString(QUrl::FullyEncoded)
                                       .toStdString()));
    EXPECT_TRUE(prompts::shownMessages().empty());
}

TEST(DropIn, ALinkDroppedWhileAJobRunsOpensWhenItHasEnded) {
    Viewer viewer(makeZip({{"readme.txt", "hello"}}));
    ASSERT_TRUE(viewer.openAndList("http://127.0.0.1/first.zip"));
    prompts::queueSaveFile(QString::fromStdString(viewer.scope.tmp().file("copy.zip")));
    viewer.source.holdNextRange();
    viewer.frame->commands().trigger(ID_SAVE_ZIP);
    ASSERT_TRUE(waitFor([&] { return viewer.source.isHeld(); }));
    QMimeData text;
    text.setText("http://127.0.0.1/second.zip");
    EXPECT_TRUE(dropOnto(*viewer.frame, text).dropAccepted);
    QTest::qWait(50);
    EXPECT_EQ(viewer.source.lastAddress(), "http://127.0.0.1/first.zip"); // the save goes on
    viewer.source.release();
    EXPECT_TRUE(listedFrom(viewer, "http://127.0.0.1/second.zip"));
    EXPECT_TRUE(std::filesystem::exists(viewer.scope.tmp().file("copy.zip")));
}

TEST(DropIn, AnythingElseIsRefused) {
    Viewer viewer(makeZip({{"readme.txt", "hello"}}));
    CMainFrame& frame = *viewer.frame;
    const std::string notZip = viewer.scope.tmp().file("notes.txt");
    mgtest::writeFile(notZip, "notes");
    const std::string folderNamedZip = viewer.scope.tmp().path() + "/folder.zip";
    std::filesystem::create_directories(folderNamedZip);

    std::vector<std::unique_ptr<QMimeData>> refused;
    for (const QString& words : {QString("hello world"), QString("see http://127.0.0.1/x.zip"),
                                 QString("127.0.0.1/x.zip"), QString("")}) {
        refused.push_back(std::make_unique<QMimeData>());
        refused.back()->setText(words);
    }
    for (const std::string& path : {notZip, folderNamedZip}) {
        refused.push_back(std::make_unique<QMimeData>());
        refused.back()->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    }
    refused.push_back(std::make_unique<QMimeData>());
    refused.back()->setImageData(QImage(4, 4, QImage::Format_RGB32));
    for (const auto& data : refused) {
        SCOPED_TRACE(data->text().toStdString());
        EXPECT_FALSE(dropOnto(frame, *data).enterAccepted);
    }
    QTest::qWait(50);
    EXPECT_EQ(viewer.source.lastAddress(), "");
    EXPECT_FALSE(viewer.doc.isOpen());
}

TEST(DropIn, AnInvalidLinkGetsTheUrlBarsMessage) {
    Viewer viewer(makeZip({{"readme.txt", "hello"}}));
    QMimeData text;
    text.setText("http://127.0.0.1:99999/x.zip"); // no such port
    EXPECT_TRUE(dropOnto(*viewer.frame, text).dropAccepted);
    ASSERT_TRUE(waitFor([] { return !prompts::shownMessages().empty(); }));
    EXPECT_EQ(prompts::shownMessages().back().text, "The entered URL is not valid");
    EXPECT_EQ(prompts::shownMessages().back().caption, "Can't open remote file");
    EXPECT_FALSE(viewer.doc.isOpen());
}

} // namespace
