#include "app/String.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mg_text_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        chmod((root_ + "/locked").c_str(), 0700);
        std::system(("rm -rf '" + root_ + "'").c_str());
    }
    void writeFile(const std::string& relative) { std::ofstream(root_ + "/" + relative) << "x"; }
    bool isFolder(const std::string& relative) {
        struct stat info {};
        return stat((root_ + "/" + relative).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    std::string root_;
};

TEST_F(FileHelpers, CreateFolderPathMakesEveryLevel) {
    const std::string base = root_ + "/base";
    createFolderPath(base.c_str(), "/x/y/z");
    EXPECT_TRUE(isFolder("base/x/y/z"));

    createFolderPath(nullptr, (root_ + "/abs/one/two/").c_str());
    EXPECT_TRUE(isFolder("abs/one/two"));

    createFolderPath(nullptr, ""); // nothing to do, nothing reported
}

TEST_F(FileHelpers, FolderExistsWithAndWithoutTheEnterTest) {
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);

    EXPECT_TRUE(folderExists(String(root_), false));
    EXPECT_TRUE(folderExists(String(root_), true));
    EXPECT_FALSE(folderExists(String(root_ + "/missing"), false));
    EXPECT_FALSE(folderExists(String(root_ + "/missing"), true));
    EXPECT_FALSE(folderExists(String(""), true));

    writeFile("plain");
    EXPECT_TRUE(folderExists(String(root_ + "/plain"), false)); // it exists
    EXPECT_FALSE(folderExists(String(root_ + "/plain"), true)); // but cannot be entered

    if (geteuid() != 0) { // root enters any folder
        ASSERT_EQ(mkdir((root_ + "/locked").c_str(), 0600), 0);
        EXPECT_FALSE(folderExists(String(root_ + "/locked"), true));
    }

    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after); // the working directory is never touched
}

TEST_F(FileHelpers, DeleteFileForcedRemovesReadOnlyFiles) {
    writeFile("readonly");
    const std::string path = root_ + "/readonly";
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(deleteFileForced(String(path)));
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_FALSE(deleteFileForced(String(path)));
}

TEST(ThousandsSeparators, GroupsOfThreeFromTheRight) {
    const std::pair<const char*, const char*> cases[] = {
        {"1234", "1,234"}, {"999", "999"}, {"1234567", "1,234,567"}, {"123456", "123,456"},
        {"0", "0"},        {"", ""},       {"-123", "-123"},         {"-1234", "-1,234"}};
    for (const auto& [input, expected] : cases) {
        String number(input);
        insertThousandsSeparators(number);
        EXPECT_STREQ(number.text(), expected) << input;
    }
}

TEST_F(FileHelpers, CollectFilesWalksTheTreeAndSkipsExcludedExtensions) {
    createFolderPath(nullptr, (root_ + "/a/b").c_str());
    writeFile("top.TXT");
    writeFile("a/keep.zip");
    writeFile("a/b/skip.tmp");
    writeFile("a/b/noext");
    writeFile("a/b/.hidden");
    std::vector<String> files;
    collectFiles(String(root_), files, {String("TXT"), String("tmp")});
    std::vector<std::string> paths;
    for (const String& f : files) {
        paths.push_back(f.str());
    }
    const std::vector<std::string> expected = {root_ + "/a/b/.hidden", root_ + "/a/b/noext",
                                               root_ + "/a/keep.zip"};
    EXPECT_EQ(paths, expected);
}

TEST_F(FileHelpers, CollectSubfoldersListsChildrenBeforeParents) {
    createFolderPath(nullptr, (root_ + "/a/b/c").c_str());
    createFolderPath(nullptr, (root_ + "/d").c_str());
    writeFile("a/file");
    ASSERT_EQ(symlink(root_.c_str(), (root_ + "/a/loop").c_str()), 0); // never walked
    std::vector<String> folders;
    collectSubfolders(String(root_ + "/"), folders);
    std::vector<std::string> paths;
    for (const String& f : folders) {
        paths.push_back(f.str());
    }
    const std::vector<std::string> expected = {root_ + "/a/b/c", root_ + "/a/b", root_ + "/a",
                                               root_ + "/d"};
    EXPECT_EQ(paths, expected);
    // The list removes the tree in order.
    for (const String& f : folders) {
        std::vector<String> files;
        collectFiles(f, files, {});
        for (const String& file : files) {
            if (file.str().rfind(f.str() + "/", 0) == 0) {
                deleteFileForced(file);
            }
        }
        EXPECT_EQ(rmdir(f.text()), 0) << f.text();
    }
}

} // namespace
