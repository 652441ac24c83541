// Address parsing rests on these: their exact results are relied upon.
#include "app/String.h"

#include <gtest/gtest.h>

namespace {

TEST(StringField, SplitsAnAddressIntoSchemeHostAndPath) {
    const String address("http://h/a/b.zip");
    EXPECT_STREQ(address.field("://", 1).text(), "http");
    EXPECT_STREQ(address.field("://", 2).text(), "h/a/b.zip");
    const char* expected[] = {"http:", "", "h", "a", "b.zip"};
    EXPECT_EQ(address.fieldCount("/"), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(address.field("/", i + 1).text(), expected[i]) << "field " << i + 1;
    }
    EXPECT_STREQ(address.field("/", 6).text(), "");
    EXPECT_STREQ(String("ftp://user@h/x.zip").field("/", 3).text(), "user@h");
}

TEST(StringField, SeparatorMissingOrTextEmpty) {
    const String plain("h/a.zip");
    EXPECT_STREQ(plain.field("://", 1).text(), "h/a.zip");
    EXPECT_STREQ(plain.field("://", 2).text(), "");
    EXPECT_STREQ(String().field("/", 1).text(), "");
    EXPECT_STREQ(String().field("/", 0).text(), "");
}

TEST(StringField, NumberBelowOneGivesTheFirstField) {
    EXPECT_STREQ(String("a/b").field("/", 0).text(), "a");
    EXPECT_STREQ(String("a/b").field("/", -3).text(), "a");
}

TEST(StringReplaceField, ReplacesTheScheme) {
    String address("gopher://h/a.zip");
    EXPECT_TRUE(address.replaceField("http", "://", 1));
    EXPECT_STREQ(address.text(), "http://h/a.zip");
}

TEST(StringReplaceField, EveryPositionOfTheTable) {
    String text("a/b/c");
    EXPECT_TRUE(text.replaceField("x", "/", 0));
    EXPECT_STREQ(text.text(), "x/a/b/c");

    text = "a/b/c";
    EXPECT_TRUE(text.replaceField("x", "/", 2));
    EXPECT_STREQ(text.text(), "a/x/c");

    text = "a/b/c";
    EXPECT_TRUE(text.replaceField("x", "/", 3));
    EXPECT_STREQ(text.text(), "a/b/x");

    text = "a/b/c";
    EXPECT_TRUE(text.replaceField("x", "/", 4));
    EXPECT_STREQ(text.text(), "a/b/c/x");

    text = "a/b/c";
    EXPECT_FALSE(text.replaceField("x", "/", 5));
    EXPECT_FALSE(text.replaceField("x", "/", -1));
    EXPECT_STREQ(text.text(), "a/b/c");

    text = "whole";
    EXPECT_TRUE(text.replaceField("new", "/", 1));
    EXPECT_STREQ(text.text(), "new");

    text = "a//c"; // an empty middle field
    EXPECT_TRUE(text.replaceField("b", "/", 2));
    EXPECT_STREQ(text.text(), "a/b/c");
}

TEST(StringReplaceField, MultiByteSeparator) {
    String text("ftp://h::21/x");
    EXPECT_TRUE(text.replaceField("u@h", "://", 2));
    EXPECT_STREQ(text.text(), "ftp://u@h");
}

// Found by fuzz/string_fuzzer: an empty separator never occurs, so field 1 is the whole text
// and replacing it must not keep the old text behind the new one.
TEST(StringReplaceField, EmptySeparatorReplacesTheWholeText) {
    String text("abc");
    EXPECT_TRUE(text.replaceField("z", "", 1));
    EXPECT_STREQ(text.text(), "z");
    EXPECT_TRUE(text.replaceField("y", nullptr, 1));
    EXPECT_STREQ(text.text(), "y");
}

} // namespace
