// Local paths as addresses and the local source's guard against a file changed under it.
#include "TestSupport.h"
#include "platform/HttpClient.h"
#include "remote/Address.h"
#include "remote/RemoteArchiveSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

std::string normalized(const std::string& text) {
    String address(text);
    normalizeAddress(address);
    return address.str();
}

TEST(LocalAddresses, PathsBecomeFileAddressesAndHostsStayRemote) {
    EXPECT_EQ(normalized("/srv/my files/a#1.zip"), "file:///srv/my%20files/a%231.zip");
    EXPECT_EQ(normalized("/srv/./x/../a.zip"), "file:///srv/a.zip");
    EXPECT_EQ(normalized("FILE:///a.zip"), "FILE:///a.zip");
    EXPECT_EQ(normalized("example.org/a.zip"), "http://example.org/a.zip");

    mgtest::TempDir dir("mgtest-local-address");
    mgtest::writeFile(dir.file("here.zip"), "PK");
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(normalized("here.zip"), "file://" + dir.file("here.zip")); // exists: local
    EXPECT_EQ(normalized("../" + dir.path().substr(dir.path().rfind('/') + 1) + "/here.zip"),
              "file://" + dir.file("here.zip"));
    EXPECT_EQ(normalized("there.zip"), "http://there.zip"); // no such file: a host
    ASSERT_EQ(chdir(previous), 0);
    free(previous);

    EXPECT_TRUE(isValidUrl("file:///a.zip"));
    EXPECT_TRUE(isValidUrl("file://localhost/a.zip"));
    EXPECT_FALSE(isValidUrl("file://"));
    EXPECT_FALSE(isValidUrl("file:///"));
}

TEST(LocalSource, AFileChangedAfterOpeningServesNoMore) {
    mgtest::TempDir dir("mgtest-local-source");
    mgtest::writeFile(dir.file("a.zip"), std::string(1000, 'x'));
    RemoteArchiveSource source;
    RangeStream* slot = nullptr;
    source.setStorageFileSlot(&slot);
    String address(("file://" + dir.file("a.zip")).c_str());
    ASSERT_TRUE(source.connect(address));
    ASSERT_TRUE(source.openRemoteFile(address));
    EXPECT_EQ(source.length(), 1000);
    EXPECT_EQ(source.remoteFileName(), "a.zip");

    ASSERT_TRUE(source.requestRange(990, 1000, true));
    char buffer[32] = {};
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->read(buffer, sizeof buffer), 10u); // clipped at the end of the file

    mgtest::writeFile(dir.file("a.zip"), std::string(1200, 'y')); // rewritten in place
    EXPECT_FALSE(source.requestRange(0, 10, true));
    EXPECT_EQ(source.lastError(), SourceError::FileChanged);
    EXPECT_EQ(slot->read(buffer, sizeof buffer), 0u); // nothing of the new version
}

} // namespace
