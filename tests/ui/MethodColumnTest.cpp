// The Method column of Table view on archives of every method and encryption (made by
// 7-Zip, Info-ZIP, Python's zipfile and the xz and zstd tools, as the zip tests make them):
// the names shown, the mark of encrypted entries, and sorting by the column.
#include "UiTestSupport.h"

#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryListModel.h"
#include "ui/EntryViews.h"
#include "ui/MarrowglenView.h"

#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace uitest;

namespace {

class MethodColumn : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<mgtest::TempDir>("mgui-methods");
        const auto made =
            mgtest::runCommand({mgtest::DebianPython, MG_MAKE_METHOD_ARCHIVES, folder->path()});
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    static void TearDownTestSuite() { folder.reset(); }

    static std::vector<unsigned char> archive(const std::string& name) {
        const std::string bytes = mgtest::readFile(folder->file(name + ".zip"));
        return {bytes.begin(), bytes.end()};
    }

    // Name → Method cell of every row of the archive, as Table view lists it.
    static std::map<std::string, std::string> methodsOf(const std::string& name) {
        Viewer viewer(archive(name));
        std::map<std::string, std::string> methods;
        if (!viewer.openAndList())
            return methods;
        const EntryListModel& model = viewer.frame->view().model();
        for (int i = 0; i < model.count(); ++i)
            methods[model.row(i).cells[ColName].toStdString()] =
                model.data(model.index(i, ColMethod), Qt::DisplayRole).toString().toStdString();
        return methods;
    }

    static std::unique_ptr<mgtest::TempDir> folder;
};
std::unique_ptr<mgtest::TempDir> MethodColumn::folder;

using Methods = std::map<std::string, std::string>;

} // namespace

TEST_F(MethodColumn, NamesEachMethodAndMarksEncryptedEntries) {
    EXPECT_EQ(methodsOf("odd_methods"), (Methods{{"imploded.txt", "Implode"},
                                                 {"shrunk.txt", "Shrink"},
                                                 {"future.txt", "Method 77"},
                                                 {"plain.txt", "Stored"}}));
    const Methods deflate64 = methodsOf("deflate64");
    EXPECT_EQ(deflate64.at("text.txt"), "Deflate64");
    EXPECT_EQ(deflate64.at("tiny.txt"), "Stored");
    EXPECT_EQ(methodsOf("bzip2_py").at("text.txt"), "BZip2");
    EXPECT_EQ(methodsOf("lzma_py").at("text.txt"), "LZMA");
    EXPECT_EQ(methodsOf("xz_7z").at("text.txt"), "XZ");
    EXPECT_EQ(methodsOf("zstd_tool").at("both.bin"), "Zstd");
    EXPECT_EQ(methodsOf("ppmd").at("text.txt"), "PPMd");
    // Encrypted entries show the method under the encryption.
    const Methods aes = methodsOf("aes256");
    EXPECT_EQ(aes.at("text.txt"), "Deflate (encrypted)");
    EXPECT_EQ(aes.at("random.bin"), "Stored (encrypted)");
    EXPECT_EQ(methodsOf("zipcrypto_info").at("text.txt"), "Deflate (encrypted)");
    EXPECT_EQ(methodsOf("aes128_lzma").at("text.txt"), "LZMA (encrypted)");
}

TEST_F(MethodColumn, ComesAfterTheOthersAndSortsFromItsHeaderAndTheArrangeMenu) {
    Viewer viewer(archive("odd_methods"));
    ASSERT_TRUE(viewer.openAndList());
    CMarrowglenView& view = viewer.frame->view();
    QHeaderView* header = view.table().header();
    EXPECT_EQ(view.model().headerData(ColPath, Qt::Horizontal, Qt::DisplayRole), "Path");
    EXPECT_EQ(view.model().headerData(ColMethod, Qt::Horizontal, Qt::DisplayRole), "Method");
    ASSERT_FALSE(header->isSectionHidden(ColMethod));
    ASSERT_GT(header->sectionSize(ColMethod), 0);

    const int x = header->sectionViewportPosition(ColMethod) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 5));
    EXPECT_EQ(view.sortColumn(), sorting::ByMethod);
    EXPECT_EQ(view.model().arrowColumn(), ColMethod);
    EXPECT_TRUE(viewer.frame->commands().action(ID_SORT_METHOD)->isChecked());
    auto order = [&] {
        std::vector<std::string> names;
        for (int i = 0; i < view.itemCount(); ++i)
            names.push_back(view.model().row(i).cells[ColName].toStdString());
        return names;
    };
    EXPECT_EQ(order(),
              (std::vector<std::string>{"imploded.txt", "future.txt", "shrunk.txt", "plain.txt"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 5));
    EXPECT_EQ(order(),
              (std::vector<std::string>{"plain.txt", "shrunk.txt", "future.txt", "imploded.txt"}));

    viewer.frame->commands().trigger(ID_SORT_NAME);
    EXPECT_EQ(order().front(), "future.txt");
    viewer.frame->commands().trigger(ID_SORT_METHOD);
    EXPECT_EQ(order().front(), "imploded.txt");
    viewer.frame.reset();
    EXPECT_EQ(programSettings().sortMode, sorting::ByMethod); // kept for the next start
}

TEST_F(MethodColumn, AStoredMethodSortOrderIsUsedAtTheNextStart) {
    Viewer viewer(archive("odd_methods"), [] { programSettings().sortMode = sorting::ByMethod; });
    ASSERT_TRUE(viewer.openAndList());
    EXPECT_EQ(viewer.frame->view().model().arrowColumn(), ColMethod);
    EXPECT_EQ(viewer.frame->view().model().row(0).cells[ColName], "imploded.txt");
}
