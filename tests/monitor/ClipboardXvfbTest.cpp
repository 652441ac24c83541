// A real X clipboard under Xvfb: a monitor process sees what another process copies.
#include "MonitorTestSupport.h"
#include "NginxServer.h"
#include "TestSupport.h"
#include "XvfbServer.h"
#include "app/settings/ProgramSettings.h"
#include "monitor/MonitorControl.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

class XvfbClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mgtest::XvfbServer::available())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(xserver.display().isEmpty()) << "Xvfb did not start";
        environment = xserver.environment();
        environment.insert(QStringLiteral("MG_LAUNCH_LOG"), log.file("launches").c_str());
        // The monitor asks the server before it announces a link, also a link named ".zip".
        environment.insert(QStringLiteral("MG_ALLOW_PRIVATE"), QStringLiteral("1"));
        for (const char* name : {"first.zip", "hidden.zip", "SECOND.ZIP"})
            mgtest::writeFile(www.file(name), std::string("PK\x03\x04", 4) + "rest");
        nginx = std::make_unique<mgtest::NginxServer>(www.path());
    }
    QString link(const char* name) const {
        return QString::fromStdString(nginx->httpUrl(std::string("/") + name));
    }
    void TearDown() override {
        monitor::stopRunningMonitor();
        for (auto& helper : helpers) {
            if (helper->state() != QProcess::NotRunning) {
                helper->kill();
                helper->waitForFinished(3000);
            }
        }
    }
    void startMonitorInMode(int mode) {
        ProgramSettings settings;
        settings.loadSettings();
        settings.monitorMode = mode;
        settings.saveSettings();
        helpers.emplace_back(mgtest::startHelper("monitor", {"/m"}, environment));
        ASSERT_TRUE(mgtest::waitUntil([] { return monitor::isMonitorRunning(); }));
        QTest::qWait(300); // let it settle on the display
    }
    // Another process copies `text` and keeps it on the clipboard for a while.
    void copy(const QString& text, bool secret = false) {
        QStringList arguments{text};
        if (secret)
            arguments << QStringLiteral("secret");
        helpers.emplace_back(mgtest::startHelper("setclip", arguments, environment));
        QTest::qWait(600);
    }
    QStringList launches() {
        const QString text = QString::fromStdString(mgtest::readFile(log.file("launches")));
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    mgtest::XvfbServer xserver;
    QProcessEnvironment environment;
    mgtest::TempDir log{"mg-monitor-xvfb"};
    mgtest::TempDir www{"mg-monitor-xvfb-www"};
    std::unique_ptr<mgtest::NginxServer> nginx;
    std::vector<std::unique_ptr<QProcess>> helpers;
};

TEST_F(XvfbClipboardTest, OpenModeStartsAViewerForEachNewZipLink) {
    mgtest::writeFile(log.file("launches"), "");
    startMonitorInMode(2);
    copy(link("first.zip"));
    ASSERT_TRUE(mgtest::waitUntil([&] { return launches().size() >= 1; }));
    copy(link("first.zip")); // the same text again
    copy("some words, not a link");
    copy(link("hidden.zip"), true); // marked secret by a password manager
    copy(link("missing.zip"));      // a dead link
    copy(link("SECOND.ZIP"));
    ASSERT_TRUE(mgtest::waitUntil([&] { return launches().size() >= 2; }));
    QTest::qWait(300);
    EXPECT_EQ(launches(), (QStringList{link("first.zip"), link("SECOND.ZIP")}));
}

TEST_F(XvfbClipboardTest, DontMonitorModeStartsNothing) {
    mgtest::writeFile(log.file("launches"), "");
    startMonitorInMode(1);
    copy("http://h.example/first.zip");
    QTest::qWait(300);
    EXPECT_TRUE(launches().isEmpty());
    EXPECT_TRUE(monitor::isMonitorRunning()); // it keeps running in mode 1
}

} // namespace
