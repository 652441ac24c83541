// The Qt desktop adapters and the checks that keep a preview from running a program.
#include "jobs/PreviewSafety.h"
#include "platform/qt/QtDesktopOpener.h"
#include "platform/qt/QtFileTypes.h"

#include "TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <future>
#include <sys/stat.h>

TEST(QtFileTypes, TypeNamesComeFromTheNameAlone) {
    QtFileTypes types;
    const FileTypeInfo zip = types.lookup("tmpfile.zip");
    EXPECT_EQ(zip.typeName, "Zip archive");
    EXPECT_EQ(zip.iconKey, "application/zip");
    EXPECT_EQ(types.lookup("tmpfile.qqqz").typeName, "QQQZ file");
    EXPECT_EQ(types.lookup("tmpfile.").typeName, "");
}

TEST(QtFileTypes, ThereIsAlwaysAnIcon) {
    // Offscreen has no icon theme: the chain must still end in an icon.
    QtFileTypes types(QString{});
    EXPECT_FALSE(types.icon("application/zip").isNull());
    EXPECT_FALSE(types.icon("no/such-type").isNull());
}

TEST(QtDesktopOpener, AnswersFromAWorkerThreadWithoutBlocking) {
    // The offscreen platform opens nothing; what matters is that the call from a worker is
    // carried to the application's thread and answered.
    QtDesktopOpener opener;
    auto answer = std::async(std::launch::async, [&] { return opener.openLocalFile("/tmp"); });
    while (answer.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_FALSE(answer.get());
}

TEST(PreviewSafety, ProgramsScriptsAndDesktopEntriesAreRecognised) {
    mgtest::TempDir dir("mg-safety");
    const std::vector<std::pair<std::string, std::string>> runnable = {
        {"notes.txt", std::string("\x7f"
                                  "ELF\x02\x01\x01",
                                  7)},
        {"readme.txt", "#!/bin/sh\nrm -rf ~\n"},
        {"picture.png", "MZ\x90\x00"},
        {"app.txt", "[Desktop Entry]\nType=Application\nExec=xterm\n"},
        {"setup.exe", "hello"},
        {"launcher.desktop", "plain"},
        {"commented.txt", "# made by hand\n\n[Desktop Entry]\nExec=xterm\n"},
    };
    for (const auto& [name, content] : runnable) {
        mgtest::writeFile(dir.file(name), content);
        EXPECT_TRUE(previewsafety::mayRunWhenOpened(dir.file(name))) << name;
    }
    // Data files are judged by what they are, not by a name that programs sometimes have.
    for (const char* name :
         {"letter.txt", "photo.jpg", "data.csv", "firmware.bin", "run.sh", "tool.py", "libx.so"}) {
        mgtest::writeFile(dir.file(name), "just some words\n");
        EXPECT_FALSE(previewsafety::mayRunWhenOpened(dir.file(name))) << name;
    }
    // The execute bit the archive gave the file makes it a program, whatever its name.
    ASSERT_EQ(chmod(dir.file("firmware.bin").c_str(), 0755), 0);
    EXPECT_TRUE(previewsafety::mayRunWhenOpened(dir.file("firmware.bin")));
}

TEST(PreviewSafety, ExecuteBitsAreRemoved) {
    mgtest::TempDir dir("mg-safety");
    mgtest::writeFile(dir.file("x"), "#!/bin/sh\n");
    ASSERT_EQ(chmod(dir.file("x").c_str(), 0755), 0);
    EXPECT_TRUE(previewsafety::removeExecutePermission(dir.file("x")));
    struct stat info {};
    ASSERT_EQ(stat(dir.file("x").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}
