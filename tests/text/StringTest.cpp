#include "app/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

TEST(String, StorageAndCopiesAreIndependent) {
    String empty;
    EXPECT_EQ(empty.length(), 0);
    EXPECT_EQ(empty.capacity(), 1);
    EXPECT_TRUE(empty.isEmpty());

    String a("abc");
    String b(a);
    b.append("d");
    EXPECT_STREQ(a.text(), "abc");
    EXPECT_STREQ(b.text(), "abcd");

    String moved(std::move(b));
    EXPECT_STREQ(moved.text(), "abcd");
    EXPECT_STREQ(b.text(), ""); // NOLINT: a moved-from text stays usable
    b.append("again");
    EXPECT_STREQ(b.text(), "again");

    a.assign(static_cast<const char*>(nullptr));
    EXPECT_STREQ(a.text(), "");
    a.assign("x");
    a = a; // NOLINT: self-assignment keeps the text
    EXPECT_STREQ(a.text(), "x");
}

TEST(String, AssignFromItsOwnText) {
    String a("hello world");
    a.assign(a.charPtrAt(6));
    EXPECT_STREQ(a.text(), "world");
    a.append(a.text());
    EXPECT_STREQ(a.text(), "worldworld");
}

TEST(String, ResizeBufferLendsAndShrinks) {
    String a("abcdef");
    a.resizeBuffer(4);
    EXPECT_STREQ(a.text(), "abc");
    EXPECT_EQ(a.capacity(), 4);
    a.resizeBuffer(10);
    EXPECT_STREQ(a.text(), "abc");
    for (int i = 3; i < 10; ++i) {
        EXPECT_EQ(a.text()[i], '\0');
    }
    a.text()[3] = 'd'; // a system call filling the lent buffer
    a.shrinkToFit();
    EXPECT_STREQ(a.text(), "abcd");
    EXPECT_EQ(a.capacity(), 5);
    EXPECT_EQ(a.reserve(2), 5); // never shrinks
    EXPECT_EQ(a.reserve(64), 64);
    EXPECT_STREQ(a.text(), "abcd");
}

TEST(String, CharPtrAtOutOfRangeGivesTheTerminator) {
    const String a("abc");
    EXPECT_EQ(*a.charPtrAt(1), 'b');
    EXPECT_EQ(a.charPtrAt(3), a.text() + 3);
    EXPECT_EQ(a.charPtrAt(-1), a.text() + 3);
    EXPECT_EQ(a.charPtrAt(99), a.text() + 3);
}

TEST(String, ComparisonAndCase) {
    EXPECT_TRUE(String("ZIP").equalsNoCase("zip"));
    EXPECT_FALSE(String("ZIP").equals("zip"));
    EXPECT_TRUE(String("a").differs("b"));
    EXPECT_TRUE(String("").equals(static_cast<const char*>(nullptr)));
    String mixed("MiXeD.Zip");
    EXPECT_EQ(mixed.toLower(), 9);
    EXPECT_STREQ(mixed.text(), "mixed.zip");
    // UTF-8 bytes are left alone by case folding.
    EXPECT_FALSE(String("\xc3\x84").equalsNoCase("\xc3\xa4"));
}

TEST(String, SearchIsNonOverlappingFromTheLeft) {
    const String text("aaaa");
    EXPECT_EQ(text.count("aa"), 2);
    EXPECT_EQ(text.findLast("aa"), 2);
    EXPECT_EQ(String("aaa").findLast("aa"), 0);
    EXPECT_EQ(text.find("b"), -1);
    EXPECT_EQ(text.count("b"), 0);
    EXPECT_EQ(String("a/b/c").find("/"), 1);
    EXPECT_EQ(String("a/b/c").findLast("/"), 3);
    // An empty pattern occurs nowhere (a loop over it would never end).
    EXPECT_EQ(text.find(""), -1);
    EXPECT_EQ(text.count(""), 0);
    EXPECT_EQ(text.fieldCount(""), 1);
}

TEST(String, Pieces) {
    const String name("a.zip");
    EXPECT_STREQ(name.right(3).text(), "zip");
    EXPECT_STREQ(name.right(99).text(), "a.zip");
    EXPECT_STREQ(name.right(0).text(), "");
    EXPECT_STREQ(name.left(1).text(), "a");
    EXPECT_STREQ(name.left(99).text(), "a.zip");
    EXPECT_STREQ(name.left(-1).text(), "");
    EXPECT_STREQ(name.concat("/x").text(), "a.zip/x");
    EXPECT_STREQ(name.text(), "a.zip");
}

TEST(String, InsertAfterOnlyInsideTheText) {
    String text("abc");
    EXPECT_FALSE(text.insertAfter(3, "x"));
    EXPECT_FALSE(text.insertAfter(-1, "x"));
    EXPECT_STREQ(text.text(), "abc");
    EXPECT_TRUE(text.insertAfter(0, "x"));
    EXPECT_STREQ(text.text(), "axbc");
    EXPECT_TRUE(text.insertAfter(3, "!"));
    EXPECT_STREQ(text.text(), "axbc!");
}

TEST(String, Trimming) {
    String blanks("   ");
    blanks.trimRight();
    EXPECT_STREQ(blanks.text(), "   ");
    blanks.trimLeft();
    EXPECT_STREQ(blanks.text(), "");

    String padded(" \t\r\n\vtext \r\n");
    padded.trimLeft();
    padded.trimRight();
    EXPECT_STREQ(padded.text(), "text");

    String slashes("//a/b//");
    slashes.trimLeft("/");
    slashes.trimRight("/");
    EXPECT_STREQ(slashes.text(), "a/b");
}

TEST(String, CutAtLast) {
    String path("/tmp/a/b.zip");
    EXPECT_TRUE(path.cutAtLast("/"));
    EXPECT_STREQ(path.text(), "/tmp/a");
    EXPECT_FALSE(path.cutAtLast("\\"));
    EXPECT_STREQ(path.text(), "/tmp/a");
}

TEST(String, AddBackslashAppendsTheNativeSeparatorOnce) {
    String folder("/tmp");
    folder.addBackslash();
    EXPECT_STREQ(folder.text(), "/tmp/");
    folder.addBackslash();
    EXPECT_STREQ(folder.text(), "/tmp/");
    String windowsLooking("C:\\");
    windowsLooking.addBackslash(); // "\" is an ordinary character here
    EXPECT_STREQ(windowsLooking.text(), "C:\\/");
}

TEST(String, MakeProgramRelativeUsesTheExecutablesFolder) {
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string folder(exe);
    folder.resize(folder.rfind('/'));
    String tmp("Tmp");
    tmp.makeProgramRelative();
    EXPECT_EQ(tmp.str(), folder + "/Tmp");
}

TEST(String, Numbers) {
    EXPECT_STREQ(String::fromInt(0).text(), "0");
    EXPECT_STREQ(String::fromInt(-42).text(), "-42");
    EXPECT_STREQ(String::fromInt(INT32_MIN).text(), "-2147483648");
    EXPECT_EQ(String("  -17abc").toInt(), -17);
    EXPECT_EQ(String("+8").toInt(), 8);
    EXPECT_EQ(String("abc").toInt(), 0);
    EXPECT_EQ(String("").toInt(), 0);
    EXPECT_EQ(String("99999999999").toInt(), INT32_MAX);
    EXPECT_EQ(String("-99999999999").toInt(), INT32_MIN);
}

} // namespace
