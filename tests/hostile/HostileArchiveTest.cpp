// Archives made to hurt, read through marrowglen-cli over HTTP (and the engine where the
// number of bytes written must be watched): each gets a clear error or a bounded, correct
// result; nothing is written outside the destination and nothing grows without bound.
#include "CliHarness.h"
#include "HostileZip.h"
#include "ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

using clitest::cli;
using hostile::Entry;
namespace fs = std::filesystem;

namespace {

// Serves one archive by ranges, as nginx would.
struct Served {
    explicit Served(std::string zip)
        : bytes(std::move(zip)), server([this](const mgtest::SeenRequest& r) {
              return mgtest::ScriptedReply::file(bytes, r);
          }) {}
    std::string url() const { return server.url("/hostile.zip"); }
    std::string bytes;
    mgtest::ScriptedHttpServer server;
};

// A destination two levels below a private root, so that an escape lands in the root.
struct Destination {
    mgtest::TempDir root{"mgtest-hostile"};
    std::string path = root.file("outer/dest");
    Destination() { fs::create_directories(path); }

    // Everything under the root that is not the destination or inside it.
    std::vector<std::string> outside() const {
        std::vector<std::string> found;
        for (const auto& item : fs::recursive_directory_iterator(root.path())) {
            const std::string p = item.path().string();
            if (p != root.file("outer") && p.rfind(path, 0) != 0)
                found.push_back(p);
        }
        return found;
    }
    uint64_t bytesWritten() const {
        uint64_t total = 0;
        for (const auto& item : fs::recursive_directory_iterator(path))
            if (fs::is_regular_file(fs::symlink_status(item.path())))
                total += item.file_size();
        return total;
    }
    bool has(const std::string& name) const {
        return fs::exists(fs::symlink_status(path + "/" + name));
    }
    std::string read(const std::string& name) const { return mgtest::readFile(path + "/" + name); }
};

Entry file(std::string name, std::string data) {
    Entry e;
    e.name = std::move(name);
    e.data = std::move(data);
    return e;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(HostileArchive, ZipSlipNamesAreRefusedAndNothingLandsOutside) {
    const std::string absolute = "/tmp/mg-hostile-abs-" + std::to_string(getpid()) + ".txt";
    Served zip(hostile::build({
        file("../evil.txt", "evil"),
        file(absolute, "absolute"),
        file("C:/drive.txt", "drive"),
        file("C:drive-relative.txt", "drive"),
        file("a/../../up.txt", "up"),
        file("./../dot.txt", "dot"),
        file("a/..\\../../mixed.txt", "mixed"),
        file("..\\backslash.txt", "backslash"),
        file("ok/fine.txt", "fine"),
    }));
    Destination out;
    auto run = cli({"extract", "-q", zip.url(), "-d", out.path});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    for (const char* name : {"../evil.txt", "C:/drive.txt", "C:drive-relative.txt",
                             "a/../../up.txt", "./../dot.txt", "a/..\\../../mixed.txt"})
        EXPECT_TRUE(contains(run.err, std::string(name) + ": FAILED: refused")) << name << run.err;
    EXPECT_TRUE(contains(run.err, absolute + ": FAILED: refused")) << run.err;
    EXPECT_FALSE(fs::exists(absolute));
    EXPECT_EQ(out.outside(), std::vector<std::string>{});
    EXPECT_EQ(out.read("ok/fine.txt"), "fine");
    // "\" is an ordinary character on Linux: the name stays one file inside the destination.
    EXPECT_EQ(out.read("..\\backslash.txt"), "backslash");
}

TEST(HostileArchive, SymbolicLinkEntriesCannotRedirectLaterEntries) {
    Entry link = file("link", "../../escaped");
    link.unixMode = 0120777;
    Entry absoluteLink = file("etc", "/etc");
    absoluteLink.unixMode = 0120777;
    Served zip(hostile::build(
        {link, file("link/payload.txt", "payload"), absoluteLink, file("etc/passwd-copy", "x")}));
    Destination out;
    auto run = cli({"extract", "-q", zip.url(), "-d", out.path});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "link/payload.txt: FAILED")) << run.err;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out.path + "/link")));
    EXPECT_EQ(out.read("link"), "../../escaped");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out.path + "/etc")));
    EXPECT_EQ(out.outside(), std::vector<std::string>{});
}

// Many central entries naming one local header: each would inflate the same megabyte again.
TEST(HostileArchive, SharedLocalHeaderIsRefusedInBoundedTimeAndSpace) {
    const std::string megabyte(1 << 20, '\0');
    Entry first = file("bomb-000", "");
    first.deflate = true;
    first.packed = hostile::deflateRaw(megabyte);
    first.size = static_cast<uint32_t>(megabyte.size());
    first.crc = hostile::crcOf(megabyte);
    std::vector<Entry> entries{first};
    for (int i = 1; i < 300; ++i) {
        Entry copy = first;
        copy.name = "bomb-" + std::string(3 - std::to_string(i).size(), '0') + std::to_string(i);
        copy.writeLocal = false;
        copy.offset = 0;
        entries.push_back(copy);
    }
    Served zip(hostile::build(entries));
    ASSERT_LT(zip.bytes.size(), 32u * 1024);
    Destination out;
    const auto start = std::chrono::steady_clock::now();
    auto test = cli({"test", zip.url()});
    auto extract = cli({"extract", "-q", zip.url(), "-d", out.path});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(test.exitCode, 1);
    EXPECT_EQ(extract.exitCode, 1);
    EXPECT_TRUE(contains(extract.err, "bomb-299: FAILED: the entry's data overlaps another"))
        << extract.err;
    EXPECT_EQ(out.bytesWritten(), 0u);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    // Generous for sanitizer builds; unbounded reading would exceed it by far.
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "KiB at the peak";
}

TEST(HostileArchive, LyingSizesWriteNoMoreThanDeclared) {
    const std::string big(1 << 20, 'B');
    Entry inflatesLarge = file("inflates-large.txt", big);
    inflatesLarge.deflate = true;
    inflatesLarge.size = 1000; // CRC of the whole megabyte: the first 1,000 bytes do not match
    Entry crcOfPrefix = inflatesLarge;
    crcOfPrefix.name = "prefix-crc.txt";
    crcOfPrefix.crc = hostile::crcOf(big.substr(0, 1000));
    Entry storedShort = file("stored-short.txt", std::string(100000, 's'));
    storedShort.packed = std::string(10, 's');
    Entry storedLong = file("stored-long.txt", std::string(10, 'l'));
    storedLong.packed = std::string(5000, 'l');
    Entry fourGiB = file("four-gib.txt", "tiny");
    fourGiB.size = 0xFFFFFFFE;
    Entry fourGiBStored = fourGiB;
    fourGiB.deflate = true;
    fourGiBStored.name = "four-gib-stored.txt";
    fourGiBStored.size = 0xFFFFFFFF; // the value that means "see the ZIP64 field"
    Served zip(hostile::build(
        {inflatesLarge, crcOfPrefix, storedShort, storedLong, fourGiB, fourGiBStored}));

    auto list = cli({"list", "--tsv", zip.url()});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(contains(list.out, "four-gib.txt\t4294967294\t")) << list.out;

    Destination out;
    auto run = cli({"extract", "-q", zip.url(), "-d", out.path});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "inflates-large.txt: FAILED: CRC error")) << run.err;
    EXPECT_TRUE(contains(run.err, "stored-short.txt: FAILED: the stored entry is shorter"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "four-gib.txt: FAILED: the entry's data ended early")) << run.err;
    EXPECT_TRUE(contains(run.err, "four-gib-stored.txt: FAILED: the stored entry is shorter"))
        << run.err;
    // What the directory declares, and no more: the 1,000 bytes its CRC-32 vouches for.
    EXPECT_EQ(out.read("prefix-crc.txt"), big.substr(0, 1000));
    EXPECT_EQ(out.read("stored-long.txt"), std::string(10, 'l'));
    for (const char* failed :
         {"inflates-large.txt", "stored-short.txt", "four-gib.txt", "four-gib-stored.txt"})
        EXPECT_FALSE(out.has(failed)) << failed;
    EXPECT_EQ(out.bytesWritten(), 1010u);
}

TEST(HostileArchive, DirectoryOutsideTheArchiveIsDamaged) {
    const std::vector<Entry> one{file("a.txt", "a")};
    hostile::Layout farOffset;
    farOffset.directoryOffsetShift = 0x7FFFFF00;
    hostile::Layout hugeSize;
    hugeSize.directorySize = 0x7FFFFFF0;
    hostile::Layout tooMany;
    tooMany.count = 1000;
    for (const auto& layout : {farOffset, hugeSize, tooMany}) {
        Served zip(hostile::build(one, layout));
        auto run = cli({"list", zip.url()});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(contains(run.err, "damaged")) << run.err;
    }
}

TEST(HostileArchive, FewerEntriesCountedThanWrittenListsTheCountedOnes) {
    hostile::Layout layout;
    layout.count = 1;
    Served zip(hostile::build({file("first.txt", "1"), file("second.txt", "2")}, layout));
    auto run = cli({"list", "--tsv", zip.url()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "first.txt"));
    EXPECT_FALSE(contains(run.out, "second.txt"));
}

TEST(HostileArchive, NameLengthRunningPastTheDirectoryIsDamaged) {
    std::string zip = hostile::build({file("a.txt", "a")});
    const std::size_t central = zip.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    for (uint16_t length : {uint16_t(30), uint16_t(60000)}) {
        std::string bent = zip;
        bent[central + 28] = static_cast<char>(length & 0xFF);
        bent[central + 29] = static_cast<char>(length >> 8);
        Served served(bent);
        auto run = cli({"list", served.url()});
        EXPECT_EQ(run.exitCode, 3) << length;
        EXPECT_TRUE(contains(run.err, "damaged")) << run.err;
    }
}

TEST(HostileArchive, NamesWithNulOrControlCharactersStayInside) {
    Served zip(hostile::build({file(std::string("nul\0.txt", 8), "nul"),
                               file("ctl\x01\x7f\n.txt", "ctl"), file("ok.txt", "ok")}));
    Destination out;
    auto run = cli({"extract", "-q", zip.url(), "-d", out.path});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_FALSE(out.has("nul")) << "the name was cut at its NUL byte";
    EXPECT_EQ(out.read("ctl\x01\x7f\n.txt"), "ctl");
    EXPECT_EQ(out.read("ok.txt"), "ok");
    EXPECT_EQ(out.outside(), std::vector<std::string>{});
}

// A name can carry terminal control sequences and NUL bytes; the command line must neither
// hand the sequences to the terminal nor lose the rest of a message at the NUL.
TEST(HostileArchive, MessagesShowNamesWithoutControlSequences) {
    Served zip(hostile::build(
        {file("\x1b]0;owned\x07\x1b[2J.txt", "x"), file(std::string("nul\0.txt", 8), "nul")}));
    for (const char* command : {"list", "test", "extract"}) {
        mgtest::TempDir out("mgtest-hostile");
        auto run = cli({command, zip.url(), "-d", out.path()});
        EXPECT_FALSE(contains(run.out + run.err, "\x1b")) << command;
    }
    mgtest::TempDir out("mgtest-hostile");
    auto run = cli({"extract", "-q", zip.url(), "-d", out.path()});
    EXPECT_TRUE(contains(run.err, "the name holds a NUL byte")) << run.err;
}

TEST(HostileArchive, DuplicateNamesFollowTheOverwriteChoice) {
    Served zip(hostile::build({file("dup.txt", "first"), file("dup.txt", "second")}));
    Destination always;
    auto run = cli({"extract", "-q", "-o", zip.url(), "-d", always.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(always.read("dup.txt"), "second");
    Destination never;
    run = cli({"extract", "-q", "-n", zip.url(), "-d", never.path});
    EXPECT_EQ(never.read("dup.txt"), "first");
    EXPECT_EQ(cli({"test", zip.url()}).exitCode, 0);
}

TEST(HostileArchive, EncryptedEntryIsRefusedWithoutAFile) {
    Entry secret = file("secret.txt", "0123456789ab");
    secret.flags = 1;
    Served zip(hostile::build({secret}));
    auto test = cli({"test", zip.url()});
    EXPECT_EQ(test.exitCode, 1);
    EXPECT_TRUE(contains(test.out + test.err, "encrypted and no password was given"))
        << test.out << test.err;
    // Twelve bytes of encryption header and no data: a password cannot make it readable.
    Destination guessOut;
    auto guessed = cli({"extract", "-q", "-P", "guess", zip.url(), "-d", guessOut.path});
    EXPECT_EQ(guessed.exitCode, 1);
    EXPECT_EQ(guessOut.bytesWritten(), 0u);
    EXPECT_FALSE(contains(guessed.out + guessed.err, "guess")) << guessed.err;
    Destination out;
    EXPECT_EQ(cli({"extract", "-q", zip.url(), "-d", out.path}).exitCode, 1);
    EXPECT_EQ(out.bytesWritten(), 0u);
}
