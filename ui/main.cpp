#include "ui/MarrowglenApp.h"

#include <QApplication>

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
                    "Shows the entries of a zip archive on an http, https or ftp server without\n"
                    "downloading it. With /m it watches the clipboard for links to zip archives.\n"
                    "See marrowglen(1).\n");
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marrowglen");
    QApplication::setOrganizationName("Brindlecot");
    QGuiApplication::setDesktopFileName("marrowglen");
    CMarrowglenApp marrowglen;
    return marrowglen.run(app);
}
