// Numbers and texts the monitor shares with the viewer and with itself: its private messages,
// the tray menu's command ids and texts, and the monitor modes.
#pragma once

namespace monitor {

// Private messages of the monitor (kept as numbers: they name what travels between the parts).
constexpr int WM_MONITOR_LAUNCH = 1147; // start a viewer on the last link
constexpr int WM_MONITOR_TRAY = 1174;   // tray icon callback
constexpr int WM_MONITOR_STOP = 1175;   // end this monitor

// Tray menu (resource 181).
constexpr int IDR_TRAY_MENU = 181;
constexpr int ID_TRAY_EXIT = 32799;
constexpr int ID_TRAY_LAUNCH = 32800;
constexpr int ID_TRAY_SHOW_LAST_URL = 32801;
constexpr int ID_TRAY_MONITOR_OPEN = 32803;
constexpr int ID_TRAY_MONITOR_ASK = 32804;
constexpr int ID_TRAY_DONT_MONITOR = 32805;

// Menu texts keep the "&" mnemonics; "&&" is a literal ampersand, as Qt reads it too.
constexpr const char* kTextShowLastUrl = "&Show Last URL";
constexpr const char* kTextLaunch = "&Launch Marrowglen";
constexpr const char* kTextDontMonitor = "&Don't Monitor";
constexpr const char* kTextMonitorOpen = "Monitor && &Open";
constexpr const char* kTextMonitorAsk = "Monitor && &Ask";
constexpr const char* kTextExit = "E&xit";

constexpr const char* kTrayToolTip = "Marrowglen Demo Clipboard Monitor";
constexpr int kTrayIconId = 181;

// Monitor modes as the settings hold them.
constexpr int kModeDontMonitor = 1;
constexpr int kModeOpen = 2;
constexpr int kModeAsk = 3;

constexpr int modeCommand(int mode) {
    return mode == kModeDontMonitor ? ID_TRAY_DONT_MONITOR
           : mode == kModeOpen      ? ID_TRAY_MONITOR_OPEN
                                    : ID_TRAY_MONITOR_ASK;
}

// How other processes find the running monitor: the per-user socket carries this name.
constexpr const char* kMonitorClassName = "Marrowglen_HiddenMonitorWindowClass";

// Timings of one announcement in mode 3 (milliseconds).
constexpr unsigned kTimeToShow = 500;
constexpr unsigned kTimeToStay = 5000;
constexpr unsigned kTimeToHide = 500;

} // namespace monitor
