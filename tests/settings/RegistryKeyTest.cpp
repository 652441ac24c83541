#include "SettingsTestSupport.h"

#include "app/settings/RegistryKey.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

const char* const SettingsKey =
    "HKEY_CURRENT_USER\\Software\\Brindlecot\\Marrowglen Demo\\Settings";

using RegistryKeyTest = PrivateSettingsFolder;

std::string readText(const RegistryKey& key, const char* name) {
    char buffer[256] = {};
    uint32_t type = 0;
    uint32_t size = sizeof buffer;
    if (!key.queryValue(name, &type, buffer, &size)) {
        return "<missing>";
    }
    return std::string(buffer, size);
}

TEST_F(RegistryKeyTest, RootNamesMatchExactly) {
    const char* roots[] = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                           "HKEY_LOCAL_MACHINE", "HKEY_USERS",          "HKEY_PERFORMANCE_DATA",
                           "HKEY_DYN_DATA"};
    for (const char* root : roots) {
        RegistryKey key;
        EXPECT_TRUE(key.open((std::string(root) + "\\A\\B").c_str(), true)) << root;
        EXPECT_EQ(key.subKeyPath(), "A\\B");
    }
    const char* wrong[] = {"hkey_current_user\\Software",
                           "HKEY_Current_User\\Software",
                           "HKCU\\Software",
                           "HKEY_CURRENT_USER/Software",
                           "",
                           "\\Software"};
    for (const char* path : wrong) {
        RegistryKey key;
        EXPECT_FALSE(key.parsePath(path)) << path;
        EXPECT_FALSE(key.open(path, true)) << path;
        EXPECT_FALSE(key.isOpen());
    }
    RegistryKey rootOnly; // a path without "\" is all root name
    EXPECT_TRUE(rootOnly.parsePath("HKEY_USERS"));
    EXPECT_EQ(rootOnly.subKeyPath(), "");
    EXPECT_TRUE(rootOnly.open("HKEY_USERS", false));
}

TEST_F(RegistryKeyTest, EachRootIsItsOwnFileUnderTheConfigFolder) {
    EXPECT_EQ(RegistryKey::storeFileFor(RegistryRoot::CurrentUser),
              root_ + "/config/marrowglen/HKEY_CURRENT_USER.ini");
    EXPECT_EQ(RegistryKey::storeFileFor(RegistryRoot::LocalMachine),
              root_ + "/config/marrowglen/HKEY_LOCAL_MACHINE.ini");

    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(RegistryKey::storeFileFor(RegistryRoot::CurrentUser),
              root_ + "/.config/marrowglen/HKEY_CURRENT_USER.ini");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(RegistryKey::storeFileFor(RegistryRoot::CurrentUser),
              root_ + "/.config/marrowglen/HKEY_CURRENT_USER.ini");
    setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(RegistryKeyTest, OpenWithoutCreateNeedsAnExistingKey) {
    RegistryKey key;
    EXPECT_FALSE(key.open(SettingsKey, false));
    struct stat info {};
    EXPECT_NE(stat(storeFile().c_str(), &info), 0) << "a failed open must not write";

    EXPECT_TRUE(key.open(SettingsKey, true));
    EXPECT_TRUE(key.close());
    EXPECT_FALSE(key.close());
    EXPECT_TRUE(key.open(SettingsKey, false));
    // Parents of an existing key exist; names compare without regard to case.
    EXPECT_TRUE(key.open("HKEY_CURRENT_USER\\Software\\Brindlecot", false));
    EXPECT_TRUE(
        key.open("HKEY_CURRENT_USER\\software\\BRINDLECOT\\marrowglen demo\\settings", false));
    EXPECT_FALSE(key.open("HKEY_CURRENT_USER\\Software\\Brindle", false));
    EXPECT_FALSE(key.open("HKEY_LOCAL_MACHINE\\Software\\Brindlecot", false));
}

TEST_F(RegistryKeyTest, ValuesKeepTheirTypeAndBytes) {
    RegistryKey key;
    ASSERT_TRUE(key.open(SettingsKey, true));
    const std::string awkward = "a=b [c] %41 ;x\\y\n\tz \xc3\xa4 ";
    ASSERT_TRUE(key.setValue("tmpfolder", REG_SZ, awkward.data(), awkward.size()));
    const uint32_t number = 0xfffffffe;
    ASSERT_TRUE(key.setValue("view", REG_DWORD, &number, 4));
    const unsigned char blob[] = {0, 1, 0xff, '\n', '='};
    ASSERT_TRUE(key.setValue("wstatus", REG_BINARY, blob, sizeof blob));
    ASSERT_TRUE(key.setValue("odd=name]", REG_SZ, "", 0));
    key.close();

    RegistryKey again;
    ASSERT_TRUE(again.open(SettingsKey, false));
    EXPECT_EQ(readText(again, "tmpfolder"), awkward);
    EXPECT_EQ(readText(again, "TMPFOLDER"), awkward);
    EXPECT_EQ(readText(again, "odd=name]"), "");
    EXPECT_EQ(readText(again, "wstatus"), std::string(reinterpret_cast<const char*>(blob), 5));

    uint32_t type = 0;
    uint32_t read = 0;
    uint32_t size = 4;
    ASSERT_TRUE(again.queryValue("view", &type, &read, &size));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(read, number);
    EXPECT_EQ(size, 4u);

    // No buffer: only the size. Too small a buffer: failure, the needed size, no bytes.
    size = 0;
    ASSERT_TRUE(again.queryValue("tmpfolder", &type, nullptr, &size));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, awkward.size());
    char small[4] = {'k', 'k', 'k', 'k'};
    size = sizeof small;
    EXPECT_FALSE(again.queryValue("tmpfolder", &type, small, &size));
    EXPECT_EQ(size, awkward.size());
    EXPECT_EQ(small[0], 'k');
    EXPECT_FALSE(again.queryValue("missing", &type, small, &size));

    again.close();
    size = 4;
    EXPECT_FALSE(again.queryValue("view", &type, &read, &size)) << "a closed key reads nothing";
    EXPECT_FALSE(again.setValue("view", REG_DWORD, &number, 4));
}

TEST_F(RegistryKeyTest, TheFileReadsLikeTheRegistry) {
    RegistryKey key;
    ASSERT_TRUE(key.open(SettingsKey, true));
    const uint32_t three = 3;
    key.setValue("monitor", REG_DWORD, &three, 4);
    key.setValue("tmpfolder", REG_SZ, "/home/u/Tmp", 11);
    const std::string text = readStore();
    EXPECT_NE(text.find("[Software\\Brindlecot\\Marrowglen Demo\\Settings]\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("monitor=dword:00000003\n"), std::string::npos) << text;
    EXPECT_NE(text.find("tmpfolder=sz:/home/u/Tmp\n"), std::string::npos) << text;
}

TEST_F(RegistryKeyTest, DamagedLinesAreSkippedAndTheRestKept) {
    writeStore("garbage before any section\n"
               "[Software\\Brindlecot\\Marrowglen Demo\\Settings]\r\n"
               "view=dword:00000000\r\n"
               "sorting=dword:xyz\n"
               "no equals sign\n"
               "monitor=hex(4):02,00,00,00\n"
               "[broken\n"
               "lost=sz:x\n");
    RegistryKey key;
    ASSERT_TRUE(key.open(SettingsKey, false));
    uint32_t value = 7;
    uint32_t size = 4;
    EXPECT_TRUE(key.queryValue("view", nullptr, &value, &size));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(key.queryValue("sorting", nullptr, &value, &size));
    EXPECT_TRUE(key.queryValue("monitor", nullptr, &value, &size));
    EXPECT_EQ(value, 2u);
    EXPECT_FALSE(key.queryValue("lost", nullptr, nullptr, &size));
    // Writing keeps what could be read.
    const uint32_t one = 1;
    EXPECT_TRUE(key.setValue("winziprate", REG_DWORD, &one, 4));
    EXPECT_TRUE(key.queryValue("view", nullptr, &value, &size));
}

TEST_F(RegistryKeyTest, AnOversizedFileIsNeitherReadNorOverwritten) {
    writeStore(std::string(SettingsFile::MaxFileBytes + 1, ';'));
    RegistryKey key;
    EXPECT_FALSE(key.open(SettingsKey, true));
    EXPECT_EQ(readStore().size(), static_cast<size_t>(SettingsFile::MaxFileBytes + 1));
}

TEST(SettingsFileFormat, SerializeAndParseAreInverse) {
    RegistryKeys keys;
    keys["A\\B"]["text"] = {REG_SZ, std::string("x\0y%", 4)};
    keys["A\\B"]["n"] = {REG_DWORD, std::string("\x01\x02\x03\x04", 4)};
    keys["A\\B"]["short"] = {REG_DWORD, std::string("\x01", 1)};
    keys["C"]["other"] = {7, "zz"};
    keys["C"]["empty"] = {REG_BINARY, ""};
    keys["Empty"];
    const RegistryKeys back = SettingsFile::parse(SettingsFile::serialize(keys));
    ASSERT_EQ(back.size(), keys.size());
    for (const auto& [path, values] : keys) {
        ASSERT_EQ(back.at(path).size(), values.size()) << path;
        for (const auto& [name, value] : values) {
            EXPECT_EQ(back.at(path).at(name).type, value.type) << name;
            EXPECT_EQ(back.at(path).at(name).data, value.data) << name;
        }
    }
}

} // namespace
