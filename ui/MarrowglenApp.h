// Start-up and exit of the program: which mode the process runs in, what both modes share,
// and the viewer's window with its document.
#pragma once

#include <QString>
#include <QStringList>

class QApplication;

// The pictures live in the ui library; a static library needs them registered once.
void initMarrowglenResources();

class CMarrowglenApp {
public:
    static constexpr const char* saveFailedText =
        "Marrowglen is unable to save the program settings.\r\nPlease reboot before "
        "re-starting Marrowglen.";
    static constexpr const char* saveFailedCaption = "Settings error";

    // `arguments` starts with the program path. The whole command line is the path and the
    // arguments joined by single spaces; it asks for a monitor when it ends in "/m" and holds
    // no address with a scheme ("http://", "https://", "ftp://" or any other "://").
    static bool isMonitorCommandLine(const QStringList& arguments);
    // True for a switch such as "/m", "/M" or "/x" and for an option ("-x", "--name"):
    // arguments that are never taken for an address.
    static bool isSwitch(const QString& argument);
    // The address to open at start-up: the first argument that is no switch, normalised;
    // empty when there is none.
    static QString startAddress(const QStringList& arguments);

    // Runs the process in its mode; returns the exit code.
    int run(QApplication& app);
    // The viewer's exit: the settings go to the store, or the user is warned.
    static bool saveSettingsAtExit();

    QString m_strStartUrl;

private:
    int runViewer(QApplication& app, class TerminationSignals& endSignals);
    static void holdProcessLock();
};
