#include "platform/HttpClient.h"
#include "remote/Address.h"
#include "remote/ContentRange.h"

#include <gtest/gtest.h>

namespace {

std::string normalized(const char* text) {
    String address(text);
    normalizeAddress(address);
    return address.str();
}

struct Split {
    std::string address, user, password;
};

Split split(const char* text) {
    String address(text), user("stale"), password("stale");
    splitCredentials(address, user, password);
    return {address.str(), user.str(), password.str()};
}

TEST(NormalizeAddress, AddsOrReplacesTheScheme) {
    EXPECT_EQ(normalized("h/a.zip"), "http://h/a.zip");
    EXPECT_EQ(normalized("gopher://h/a.zip"), "http://h/a.zip");
    EXPECT_EQ(normalized("FTP://h/a.zip"), "FTP://h/a.zip");
    EXPECT_EQ(normalized("HTTPS://h:8443/a.zip"), "HTTPS://h:8443/a.zip");
}

TEST(SplitCredentials, TakesUserAndPasswordOutOfTheServerPart) {
    Split s = split("ftp://joe:secret@h/d/a.zip");
    EXPECT_EQ(s.address, "ftp://h/d/a.zip");
    EXPECT_EQ(s.user, "joe");
    EXPECT_EQ(s.password, "secret");

    s = split("http://h/d/a.zip");
    EXPECT_EQ(s.address, "http://h/d/a.zip");
    EXPECT_EQ(s.user, "");
    EXPECT_EQ(s.password, "");
}

TEST(SplitCredentials, AnAtSignInThePathIsNoUserName) {
    Split s = split("http://h/files/a@b.zip");
    EXPECT_EQ(s.address, "http://h/files/a@b.zip");
    EXPECT_EQ(s.user, "");
}

TEST(SplitCredentials, PasswordsMayHoldColonsAtSignsAndEscapes) {
    Split s = split("ftp://joe:pa:ss@word@h:2121/a.zip");
    EXPECT_EQ(s.address, "ftp://h:2121/a.zip");
    EXPECT_EQ(s.user, "joe");
    EXPECT_EQ(s.password, "pa:ss@word");

    s = split("ftp://j%40e:p%2Fw@h/a.zip");
    EXPECT_EQ(s.user, "j@e");
    EXPECT_EQ(s.password, "p/w");
}

TEST(InsertCredentials, RoundTripsThroughSplit) {
    String address("ftp://h/d/a.zip");
    insertCredentials(address, "joe", "secret");
    EXPECT_EQ(address.str(), "ftp://joe:secret@h/d/a.zip");

    String awkward("ftp://h/a.zip");
    insertCredentials(awkward, "a@b", "c:d/e");
    Split s = split(awkward.text());
    EXPECT_EQ(s.address, "ftp://h/a.zip");
    EXPECT_EQ(s.user, "a@b");
    EXPECT_EQ(s.password, "c:d/e");

    String already("ftp://x:y@h/a.zip");
    insertCredentials(already, "joe", "secret");
    EXPECT_EQ(already.str(), "ftp://x:y@h/a.zip");
}

TEST(ServerAndPathPart, SplitAtTheHostKeepingThePort) {
    EXPECT_EQ(serverPart("http://h/a/b.zip").str(), "http://h");
    EXPECT_EQ(pathPart("http://h/a/b.zip").str(), "/a/b.zip");
    EXPECT_EQ(serverPart("https://h:8443/a.zip").str(), "https://h:8443");
    EXPECT_EQ(pathPart("https://h:8443/a.zip").str(), "/a.zip");
    EXPECT_EQ(serverPart("ftp://joe:pw@h/d/a.zip").str(), "ftp://h");
    EXPECT_EQ(pathPart("http://h").str(), "");
}

TEST(FileNameFromUrl, LastSegmentDecodedWithoutQueryOrFragment) {
    EXPECT_EQ(fileNameFromUrl("http://h/d/my%20archive.zip?x=1&y=/z#top"), "my archive.zip");
    EXPECT_EQ(fileNameFromUrl("https://h:8443/%C3%BCber.zip"), "\xC3\xBC"
                                                               "ber.zip");
    EXPECT_EQ(fileNameFromUrl("http://h/a%2Fb.zip"), "a_b.zip");
    EXPECT_EQ(fileNameFromUrl("http://h/dir/"), "");
    EXPECT_EQ(fileNameFromUrl("http://h"), "");
    EXPECT_EQ(percentDecode("100%"), "100%");
    EXPECT_EQ(percentDecode("%zz%4"), "%zz%4");
}

TEST(ContentRangeHeader, ReadsTheThreeForms) {
    auto range = parseContentRange("bytes 100-130/5000");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 100);
    EXPECT_EQ(range->last, 130);
    EXPECT_EQ(range->total, 5000);

    range = parseContentRange("bytes */3000000000");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, ContentRange::Unknown);
    EXPECT_EQ(range->total, 3000000000LL);

    range = parseContentRange("bytes 0-0/*");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->total, ContentRange::Unknown);
}

TEST(ContentRangeHeader, RefusesMalformedOrInconsistentValues) {
    for (const char* bad :
         {"", "bytes", "bytes 5-4/10", "bytes 0-10/10", "items 0-1/2", "bytes -1-2/3",
          "bytes 0-1/2 junk", "bytes */*", "bytes 0-1/99999999999999999999999"})
        EXPECT_FALSE(parseContentRange(bad)) << bad;
}

TEST(IsValidUrl, NeedsSchemeHostAndAValidPort) {
    EXPECT_TRUE(isValidUrl("http://h/a.zip"));
    EXPECT_TRUE(isValidUrl("  https://h:8443/a.zip\n"));
    EXPECT_TRUE(isValidUrl("ftp://u:p@h/d/a.zip"));
    EXPECT_TRUE(isValidUrl("gopher://h/a.zip"));
    EXPECT_TRUE(isValidUrl("file:///etc/passwd")); // a local file: no host
    for (const char* bad : {"", "h/a.zip", "http:/h/a.zip", "http:///a.zip", "://h/a.zip",
                            "http://h:99999/a.zip", "http://h:12x/a.zip", "http://h:0/a.zip",
                            "http://h/a b.zip", "file://elsewhere/etc/passwd"})
        EXPECT_FALSE(isValidUrl(bad)) << bad;
}

} // namespace
