#include "SettingsTestSupport.h"

#include "app/settings/ProgramSettings.h"
#include "app/settings/RegistryKey.h"

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ProgramSettingsTest = PrivateSettingsFolder;

std::string executableFolder() {
    char exe[4096] = {};
    if (readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0) {
        return {};
    }
    std::string folder(exe);
    return folder.substr(0, folder.rfind('/'));
}

// Stores raw values under the settings key, as another process or an older run would.
void store(const char* name, uint32_t type, const void* data, uint32_t size) {
    RegistryKey key;
    ASSERT_TRUE(key.open(ProgramSettings().settingsPath.text(), true));
    ASSERT_TRUE(key.setValue(name, type, data, size));
}

void storeNumber(const char* name, uint32_t value) {
    store(name, REG_DWORD, &value, 4);
}

void storeText(const char* name, const std::string& text) {
    store(name, REG_SZ, text.data(), static_cast<uint32_t>(text.size()));
}

ProgramSettings loaded() {
    ProgramSettings settings;
    EXPECT_TRUE(settings.loadSettings());
    return settings;
}

TEST_F(ProgramSettingsTest, AFirstStartRunsWithTheDefaults) {
    ProgramSettings fresh;
    EXPECT_STREQ(fresh.settingsPath.text(),
                 "HKEY_CURRENT_USER\\Software\\Brindlecot\\Marrowglen Demo\\Settings");
    EXPECT_TRUE(fresh.tmpFolder.isEmpty());
    EXPECT_EQ(fresh.monitorMode, 0);

    const ProgramSettings settings = loaded();
    EXPECT_EQ(settings.tmpFolder.str(), executableFolder() + "/Tmp");
    EXPECT_FALSE(settings.openWhenDone);
    EXPECT_TRUE(settings.winzipRate);
    EXPECT_EQ(settings.monitorMode, 3);
    EXPECT_EQ(settings.viewMode, 1);
    EXPECT_EQ(settings.sortMode, 6);
    EXPECT_NE(access(storeFile().c_str(), F_OK), 0) << "loading writes nothing";
}

TEST_F(ProgramSettingsTest, FlagsReadTwoAsTrueOneAsFalseZeroAsDefault) {
    const std::pair<uint32_t, bool> openWhenDone[] = {{0, false}, {1, false}, {2, true}, {5, true}};
    for (const auto& [stored, expected] : openWhenDone) {
        storeNumber("openwhendone", stored);
        EXPECT_EQ(loaded().openWhenDone, expected) << stored;
    }
    const std::pair<uint32_t, bool> winzipRate[] = {{0, true}, {1, false}, {2, true}};
    for (const auto& [stored, expected] : winzipRate) {
        storeNumber("winziprate", stored);
        EXPECT_EQ(loaded().winzipRate, expected) << stored;
    }
    // The stored type is not examined: the text "1" is the byte 0x31, not the number 1.
    storeText("winziprate", "1");
    EXPECT_TRUE(loaded().winzipRate);
}

TEST_F(ProgramSettingsTest, ViewAndSortingDefaultsComeFromTheirPresets) {
    storeNumber("monitor", 2); // the key exists but has no view or sorting yet
    ProgramSettings settings = loaded();
    EXPECT_EQ(settings.viewMode, 1);
    EXPECT_EQ(settings.sortMode, 6);

    storeNumber("view", 0);
    storeNumber("sorting", 0);
    settings = loaded();
    EXPECT_EQ(settings.viewMode, 0); // large icons
    EXPECT_EQ(settings.sortMode, 6);

    storeNumber("view", 0xffffffff);
    storeNumber("sorting", 0xfffffffe);
    settings = loaded();
    EXPECT_EQ(settings.viewMode, 1);
    EXPECT_EQ(settings.sortMode, -2); // taken as stored

    storeNumber("view", 3);
    storeNumber("sorting", 1);
    settings = loaded();
    EXPECT_EQ(settings.viewMode, 3);
    EXPECT_EQ(settings.sortMode, 1);
}

TEST_F(ProgramSettingsTest, MonitorModeZeroGivesDefaultMissingKeepsTheMember) {
    storeNumber("view", 1);
    ProgramSettings settings;
    settings.monitorMode = 2;
    settings.loadSettings();
    EXPECT_EQ(settings.monitorMode, 2) << "missing value keeps what the member held";

    storeNumber("monitor", 0);
    EXPECT_EQ(loaded().monitorMode, 3);
    storeNumber("monitor", 1);
    EXPECT_EQ(loaded().monitorMode, 1);
    storeNumber("monitor", 9);
    EXPECT_EQ(loaded().monitorMode, 9);
}

TEST_F(ProgramSettingsTest, TemporaryFolderReadRules) {
    const std::string defaultFolder = executableFolder() + "/Tmp";
    storeText("tmpfolder", "");
    EXPECT_EQ(loaded().tmpFolder.str(), defaultFolder);

    storeText("tmpfolder", "/data/previews");
    EXPECT_EQ(loaded().tmpFolder.str(), "/data/previews");

    const std::string longest = "/" + std::string(1022, 'a');
    storeText("tmpfolder", longest);
    EXPECT_EQ(loaded().tmpFolder.str(), longest);

    // One byte over the limit: the default, never a cut-off folder or a read past the buffer.
    storeText("tmpfolder", longest + "b");
    EXPECT_EQ(loaded().tmpFolder.str(), defaultFolder);

    // A stored zero byte ends the text.
    storeText("tmpfolder", std::string("/x\0y", 4));
    EXPECT_EQ(loaded().tmpFolder.str(), "/x");
}

TEST_F(ProgramSettingsTest, SaveWritesAllSixInTheirStoredForms) {
    ProgramSettings settings;
    settings.setDefaults();
    settings.tmpFolder = "/data/tmp";
    settings.openWhenDone = true;
    settings.winzipRate = false;
    settings.monitorMode = 2;
    settings.viewMode = 0;
    settings.sortMode = -3;
    ASSERT_TRUE(settings.saveSettings());

    RegistryKey key;
    ASSERT_TRUE(key.open(settings.settingsPath.text(), false));
    uint32_t type = 0;
    uint32_t size = 0;
    ASSERT_TRUE(key.queryValue("tmpfolder", &type, nullptr, &size));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 9u) << "no terminating zero is stored";
    const std::pair<const char*, uint32_t> numbers[] = {{"openwhendone", 2},
                                                        {"winziprate", 1},
                                                        {"monitor", 2},
                                                        {"view", 0},
                                                        {"sorting", static_cast<uint32_t>(-3)}};
    for (const auto& [name, expected] : numbers) {
        uint32_t value = 99;
        size = 4;
        ASSERT_TRUE(key.queryValue(name, &type, &value, &size)) << name;
        EXPECT_EQ(type, REG_DWORD) << name;
        EXPECT_EQ(value, expected) << name;
    }

    const ProgramSettings back = loaded();
    EXPECT_EQ(back.tmpFolder.str(), "/data/tmp");
    EXPECT_TRUE(back.openWhenDone);
    EXPECT_FALSE(back.winzipRate);
    EXPECT_EQ(back.monitorMode, 2);
    EXPECT_EQ(back.viewMode, 0);
    EXPECT_EQ(back.sortMode, -3);
}

TEST_F(ProgramSettingsTest, SaveFailsWhenTheKeyCannotBeCreated) {
    std::ofstream(root_ + "/config") << "a file where the folder should be";
    ProgramSettings settings;
    settings.setDefaults();
    EXPECT_FALSE(settings.saveSettings());
}

TEST_F(ProgramSettingsTest, ReloadMonitorModeSeesTheOtherProcess) {
    ProgramSettings settings;
    settings.setDefaults();
    settings.tmpFolder = "/chosen/in/this/run";
    settings.viewMode = 3;
    settings.monitorMode = 2;
    // No key yet: the mode falls back; the unsaved choices of this run stay.
    EXPECT_EQ(settings.reloadMonitorMode(), 3);
    EXPECT_EQ(settings.tmpFolder.str(), "/chosen/in/this/run");
    EXPECT_EQ(settings.viewMode, 3);

    storeNumber("monitor", 1);
    EXPECT_EQ(settings.reloadMonitorMode(), 1);
    storeNumber("monitor", 0);
    EXPECT_EQ(settings.reloadMonitorMode(), 3);
    EXPECT_EQ(settings.viewMode, 3);
}

TEST_F(ProgramSettingsTest, TheProcessHasOneRecord) {
    EXPECT_EQ(&programSettings(), &programSettings());
    EXPECT_FALSE(programSettings().settingsPath.isEmpty());
}

TEST_F(ProgramSettingsTest, TemporaryFolderFallsBackToTheCache) {
    const String cache(root_ + "/cache/marrowglen/Tmp");
    // Beside the program when it exists or can be made there.
    EXPECT_STREQ(chooseTemporaryFolder(String(root_ + "/Tmp"), cache).text(),
                 (root_ + "/Tmp").c_str());
    mkdir((root_ + "/Tmp").c_str(), 0700);
    EXPECT_STREQ(chooseTemporaryFolder(String(root_ + "/Tmp"), cache).text(),
                 (root_ + "/Tmp").c_str());
    // A place where no folder can be made (its parent is a file).
    std::ofstream(root_ + "/file") << "x";
    EXPECT_STREQ(chooseTemporaryFolder(String(root_ + "/file/Tmp"), cache).text(), cache.text());
    EXPECT_STREQ(chooseTemporaryFolder(String(root_ + "/file"), cache).text(), cache.text());
    EXPECT_EQ(defaultTemporaryFolder().str(), executableFolder() + "/Tmp");
    // An installed program never litters the system's tree, even when it could (root).
    EXPECT_STREQ(chooseTemporaryFolder(String("/usr/bin/Tmp"), cache).text(), cache.text());
    EXPECT_STREQ(chooseTemporaryFolder(String("/opt/marrowglen/bin/Tmp"), cache).text(),
                 cache.text());
}

TEST_F(ProgramSettingsTest, EnsureTemporaryFolderMakesOrReplacesIt) {
    ProgramSettings settings;
    settings.setDefaults();
    settings.tmpFolder = String(root_ + "/deep/er/Tmp");
    settings.ensureTemporaryFolder();
    EXPECT_EQ(settings.tmpFolder.str(), root_ + "/deep/er/Tmp");
    EXPECT_TRUE(folderExists(settings.tmpFolder, true));

    std::ofstream(root_ + "/file") << "x";
    settings.tmpFolder = String(root_ + "/file/Tmp");
    settings.ensureTemporaryFolder();
    EXPECT_EQ(settings.tmpFolder.str(), defaultTemporaryFolder().str());
}

} // namespace
