#include "monitor/MonitorControl.h"
#include "ui/MarrowglenApp.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

// Answered before any window or display is needed, so that packaging checks and shells
// can ask without a desktop.
bool answeredWithoutWindow(int argc, char** argv) {
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("marrowglen %s\n", MARROWGLEN_VERSION);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf("Usage: marrowglen [URL]\n"
                    "       marrowglen /m\n"
                    "       marrowglen --stop-monitor\n"
                    "Shows the entries of a zip archive on an http, https or ftp server without\n"
                    "downloading it. With /m it watches the clipboard for links to zip archives;\n"
                    "--stop-monitor ends that clipboard monitor. See marrowglen(1).\n");
        return true;
    }
    return false;
}

// Ends the running clipboard monitor: the way to stop it where no tray icon shows its menu.
int stopMonitor(int argc, char** argv) {
    QCoreApplication core(argc, argv);
    if (!monitor::isMonitorRunning()) {
        std::printf("No clipboard monitor is running.\n");
        return 0;
    }
    if (!monitor::stopRunningMonitor()) {
        std::fprintf(stderr, "marrowglen: the clipboard monitor did not end.\n");
        return 1;
    }
    std::printf("The clipboard monitor has ended.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv))
        return 0;
    if (argc == 2 && std::strcmp(argv[1], "--stop-monitor") == 0)
        return stopMonitor(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marrowglen");
    QApplication::setOrganizationName("Brindlecot");
    QGuiApplication::setDesktopFileName("marrowglen");
    CMarrowglenApp marrowglen;
    return marrowglen.run(app);
}
